#pragma once

// X11 reports a held key as release+press pairs. Asking the X server for
// "detectable" auto-repeat gives presses only, so a held key never looks
// released. Does nothing on other platforms. Returns true when the server
// agreed.
bool enableDetectableAutoRepeat();
