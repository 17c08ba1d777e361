#include "console/SessionPlatform.h"

#include <QtGlobal>

SessionEnvironment currentSessionEnvironment()
{
    return {qgetenv("QT_QPA_PLATFORM"), qgetenv("XDG_SESSION_TYPE"), qgetenv("WAYLAND_DISPLAY"),
            qgetenv("DISPLAY")};
}

QByteArray preferredPlatform(const SessionEnvironment& session)
{
    if (!session.qtPlatform.isEmpty())
        return {};
    const bool wayland = !session.waylandDisplay.isEmpty() || session.sessionType == "wayland";
    if (wayland && !session.x11Display.isEmpty())
        return QByteArrayLiteral("xcb");
    return {};
}
