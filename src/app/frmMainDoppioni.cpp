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
        chooseLine(merged);
}

void TfrmMain::chooseLine(int lineNumber)
{
    for (int row = 0, rows = m_model->rowCount(); row < rows; ++row) {
        if (m_model->lineNumber(row) == lineNumber) {
            const QModelIndex index = m_model->index(row, 0);
            lista->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            lista->scrollTo(index, QAbstractItemView::PositionAtCenter);
            return;
        }
    }
}
