#pragma once

#include "settings/SettingValue.h"

// The program-wide connection settings, alive for the whole run.
namespace mdlMain {

extern SettingValue RemoteHost;
extern SettingValue RemotePort;

// Forgets both settings, as they are before the settings file is first read.
void ClearSettings();

// The car's router on its own little network.
inline QString DefaultHost()
{
    return QStringLiteral("192.168.1.1");
}
constexpr int DefaultPort = 1500;

} // namespace mdlMain
