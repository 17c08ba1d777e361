#include "console/X11AutoRepeat.h"

bool enableDetectableAutoRepeat()
{
    return false;
}
