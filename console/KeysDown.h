#pragma once

#include <QtGlobal>

#include <functional>

// Whether a held key is down at this moment: the key by its native scan
// code, with the virtual-key code it went down with.
using KeyIsDown = std::function<bool(quint32 scanCode, quint16 code)>;

// Asks the keyboard itself which keys are down now, for the moments when
// the key events may have gone elsewhere. Returns an empty function where
// the platform cannot tell. One implementation per platform:
// X11KeysDown.cpp and WindowsKeysDown.cpp.
KeyIsDown keysDownNow();
