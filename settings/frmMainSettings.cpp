#include "console/frmMain.h"

void frmMain::LoadSettings() {}
void frmMain::SaveSettings() {}
void frmMain::mnuCOMPort_Click() {}
