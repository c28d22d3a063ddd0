#include "app/frmMainUnit.h"

void TfrmMain::Button9Click() {}
void TfrmMain::ImportLdif(const QString &) { importLines.clear(); }
void TfrmMain::ImportVCard(const QString &) { importLines.clear(); }
void TfrmMain::ImportOLDRBN(const QString &) { importLines.clear(); }
