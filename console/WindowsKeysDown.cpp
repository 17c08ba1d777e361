// The keys down, asked of Windows. The virtual-key code a key went down
// with names it here: Windows keeps the up/down state per virtual key.
#include "console/KeysDown.h"

#include <qt_windows.h>

KeyIsDown keysDownNow()
{
    // GetAsyncKeyState tells whether the key is down at the moment of the
    // call (the high bit of its result). GetKeyState would tell the state as
    // of the last key message this thread took from its queue, and a release
    // that a menu's or a move's own loop took instead would not count. Where
    // the foreground window belongs to another process, every key reads as up,
    // which leaves the car stopped.
    return [](quint32, quint16 code) {
        return code > 0 && code < 256 && (GetAsyncKeyState(int(code)) & 0x8000) != 0;
    };
}
