#include "console/SessionPlatform.h"
#include "console/SignalWatcher.h"
#include "console/frmMain.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // Chosen before Qt picks a platform, so the driver never needs to set one.
    const QByteArray platform = preferredPlatform(currentSessionEnvironment());
    if (!platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", platform);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    frmMain window;
#ifdef Q_OS_UNIX
    // Logout, kill, the terminal closing and Ctrl+C end the run as closing
    // the window does. Windows sends a window program no signals: its
    // session's end reaches the window through Qt (frmMain::EndSession).
    SignalWatcher stopSignals;
    QObject::connect(&stopSignals, &SignalWatcher::stopRequested, &window, &frmMain::EndSession);
#endif
    window.show();
    return app.exec();
}
