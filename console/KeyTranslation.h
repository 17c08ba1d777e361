#pragma once

#include <Qt>
#include <QtGlobal>

// Turns a Qt key event's key and modifiers into the platform-neutral
// virtual-key code that the drive handlers take. Keypad digits get their
// own codes (96 to 105) only when Qt flags the key as coming from the
// keypad; the digit row above the letters gives 48 to 57. With Num Lock off
// the keypad's 8, 4, 6 and 2 arrive as arrow keys and map to the arrow codes.
// Returns 0 for keys that have no code here.
quint16 toVirtualKey(int qtKey, Qt::KeyboardModifiers modifiers);
