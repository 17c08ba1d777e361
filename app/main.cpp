#include "console/SessionPlatform.h"
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
    window.show();
    return app.exec();
}
