#pragma once

#include <bitset>

// The keys down on the keyboard at this moment, by X key code (what Qt
// reports as a key event's native scan code), asked of the X server. Returns
// false, and leaves `down` alone, where the platform cannot tell.
bool readKeysDown(std::bitset<256>& down);
