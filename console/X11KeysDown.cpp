#include "console/X11KeysDown.h"

#include <QGuiApplication>

#ifdef VELMORA_HAVE_X11
// Xlib's macros clash with Qt's names, so it comes last and only here.
#include <X11/Xlib.h>
#endif

bool readKeysDown(std::bitset<256>& down)
{
#ifdef VELMORA_HAVE_X11
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->display())
        return false;
    char keys[32] = {};
    XQueryKeymap(x11->display(), keys);
    down.reset();
    for (int code = 0; code < 256; ++code) {
        if ((keys[code / 8] >> (code % 8)) & 1)
            down.set(std::size_t(code));
    }
    return true;
#else
    Q_UNUSED(down);
    return false;
#endif
}
