#include "app/frmMainUnit.h"

#include "frmAboutUnit.h"

void TfrmMain::Button7Click()
{
    // Created for this showing only; nothing of it is kept.
    TfrmAbout window(this);
    window.exec();
}
