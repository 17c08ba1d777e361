#pragma once

#include "help/Version.h"

#include <QString>

// The caption of every message box the program shows.
inline QString applicationTitle()
{
    return QStringLiteral("Velmora v" VELMORA_VERSION);
}
