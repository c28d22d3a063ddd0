#include "frmMainUnit.h"

#include "ContactListView.h"
#include "frmDoppioniUnit.h"
#include "store/ContactListModel.h"

#include <QItemSelectionModel>

// "Doppioni ...": the window of likely duplicates; after any change the list is the file's
// again, with the contact a merge made chosen and on the card.
void TfrmMain::Button10Click()
{
    int merged = 0;
    bool changed = false;
    {
        TfrmDoppioni window(this);
        window.FormCreate();
        window.exec();
        merged = window.mergedLine();
        changed = window.changedBook();
    }
    if (changed)
        Reload();
    if (merged > 0)
        chooseLines(merged, merged);
}
