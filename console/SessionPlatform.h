#pragma once

#include <QByteArray>

// What the desktop session tells a starting program about its display.
struct SessionEnvironment {
    QByteArray qtPlatform;     // QT_QPA_PLATFORM
    QByteArray sessionType;    // XDG_SESSION_TYPE
    QByteArray waylandDisplay; // WAYLAND_DISPLAY
    QByteArray x11Display;     // DISPLAY
};

// The environment of this process.
SessionEnvironment currentSessionEnvironment();

// The Qt platform Velmora should ask for, or an empty value to leave Qt's
// own choice. On a Wayland session that also offers an X server (XWayland)
// this is "xcb": only the X server can tell which keys are still held after
// a menu closes, and only it gives held keys without repeated releases.
// A platform the driver named explicitly always wins.
QByteArray preferredPlatform(const SessionEnvironment& session);
