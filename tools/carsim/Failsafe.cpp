#include "tools/carsim/Failsafe.h"

void Failsafe::linkOpened()
{
    m_linkOpen = true;
    m_lastCommand = -1;
}

void Failsafe::command(qint64 now)
{
    m_lastCommand = now;
    m_linkLost = false;
}

void Failsafe::linkClosed()
{
    m_linkOpen = false;
    m_linkLost = true;
    m_lastCommand = -1;
}

Failsafe::Stop Failsafe::stop(qint64 now) const
{
    if (m_linkLost)
        return Stop::LinkClosed;
    const qint64 deadline = silenceDeadline();
    if (deadline >= 0 && now >= deadline)
        return Stop::Silence;
    return Stop::None;
}

qint64 Failsafe::silenceDeadline() const
{
    if (!m_linkOpen || m_lastCommand < 0)
        return -1;
    return m_lastCommand + kSilenceMs;
}
