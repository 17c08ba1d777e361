#include "settings/mdlMain.h"

namespace mdlMain {

SettingValue RemoteHost;
SettingValue RemotePort;

void ClearSettings()
{
    RemoteHost = SettingValue();
    RemotePort = SettingValue();
}

} // namespace mdlMain
