#include "console/frmMain.h"

void frmMain::mnuHowToUse_Click() {}
void frmMain::mnuAbout_Click() {}
