#include "settings/mdlMain.h"

namespace mdlMain {

SettingValue RemoteHost;
SettingValue RemotePort;

} // namespace mdlMain
