// The keys down, asked of the X server; key events carry the X key code as
// their native scan code.
#include "console/KeysDown.h"

#include <QGuiApplication>

#include <bitset>

#ifdef VELMORA_HAVE_X11
// Xlib's macros clash with Qt's names, so it comes last and only here.
#include <X11/Xlib.h>
#endif

KeyIsDown keysDownNow()
{
#ifdef VELMORA_HAVE_X11
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->display())
        return {};
    char keys[32] = {};
    XQueryKeymap(x11->display(), keys);
    std::bitset<256> down;
    for (int code = 0; code < 256; ++code) {
        if ((keys[code / 8] >> (code % 8)) & 1)
            down.set(std::size_t(code));
    }
    return [down](quint32 scanCode, quint16) { return scanCode < 256 && down.test(scanCode); };
#else
    return {};
#endif
}
