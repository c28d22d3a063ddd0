#include "app/frmMainUnit.h"
#include "frmEsportaUnit.h"

void TfrmMain::Button5Click()
{
    // A fresh window for every export: it starts from the current selection.
    TfrmEsporta window(this);
    window.exec();
}
