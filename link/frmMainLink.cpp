#include "console/frmMain.h"

void frmMain::UpdateLabel() {}
