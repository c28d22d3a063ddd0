#include "app/frmMainUnit.h"

void TfrmMain::Button5Click() {}
