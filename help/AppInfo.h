#pragma once

#include <QString>

// The caption of every message box the program shows.
inline QString applicationTitle()
{
    return QStringLiteral("Velmora v0.2");
}
