#include "console/X11AutoRepeat.h"

#include <QGuiApplication>

#ifdef VELMORA_HAVE_X11
// Xlib's macros clash with Qt's names, so it comes last and only here.
#include <X11/XKBlib.h>
#endif

bool enableDetectableAutoRepeat()
{
#ifdef VELMORA_HAVE_X11
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->display())
        return false;
    Bool supported = False;
    XkbSetDetectableAutoRepeat(x11->display(), True, &supported);
    return supported == True;
#else
    return false;
#endif
}
