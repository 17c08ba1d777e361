#include "console/frmMain.h"

#include "help/HelpTexts.h"

void frmMain::mnuHowToUse_Click()
{
    ShowMessage(howToUseText());
}

void frmMain::mnuAbout_Click()
{
    ShowMessage(aboutText());
}
