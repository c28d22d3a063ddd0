#include "app/frmMainUnit.h"

void TfrmMain::Button7Click() {}
