#include "support/StandInDevice.h"

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

StandInDevice::StandInDevice()
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0)
        return;
    const char* name =
        grantpt(m_master) == 0 && unlockpt(m_master) == 0 ? ptsname(m_master) : nullptr;
    if (name)
        m_path = name;
}

StandInDevice::~StandInDevice()
{
    unplug();
}

void StandInDevice::input()
{
    // A whole line, as the terminal's line discipline hands out no less.
    if (m_master >= 0 && ::write(m_master, "\n", 1) != 1)
        unplug();
}

void StandInDevice::unplug()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}
