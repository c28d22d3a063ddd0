#include "frmMainUnit.h"

// Add, modify, delete, help and the card's links.

void TfrmMain::Button1Click() {}
void TfrmMain::Button2Click() {}
void TfrmMain::Button3Click() {}
void TfrmMain::BitBtn2Click() {}
void TfrmMain::cardLinkClick(QLabel *) {}
