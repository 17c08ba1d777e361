#include "console/frmMain.h"

#include "settings/frmComm.h"

frmMain::frmMain(const QString& appDir, QWidget* parent)
    : QMainWindow(parent), m_requestedAppDir(appDir)
{
}
frmMain::~frmMain() = default;
QString frmMain::settingsPath() const
{
    return {};
}
bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    return QMainWindow::eventFilter(watched, event);
}
void frmMain::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
}
void frmMain::closeEvent(QCloseEvent* event)
{
    QMainWindow::closeEvent(event);
}
void frmMain::ShowMessage(const QString&) {}
frmComm* frmMain::commDialog() const
{
    return m_comm;
}
