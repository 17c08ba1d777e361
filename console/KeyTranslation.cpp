#include "console/KeyTranslation.h"

quint16 toVirtualKey(int, Qt::KeyboardModifiers)
{
    return 0;
}
