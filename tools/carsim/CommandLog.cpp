#include "tools/carsim/CommandLog.h"

namespace {

constexpr qint64 kRateWindowMs = 1000;

} // namespace

void CommandLog::add(int code, qint64 now)
{
    m_entries.append({now, code});
    forgetBefore(now - kRateWindowMs);
}

QList<CommandLog::Entry> CommandLog::recent() const
{
    return m_entries.mid(std::max<qsizetype>(0, m_entries.size() - kShown));
}

int CommandLog::perSecond(qint64 now) const
{
    int count = 0;
    for (const Entry& entry : m_entries) {
        if (entry.time > now - kRateWindowMs && entry.time <= now)
            ++count;
    }
    return count;
}

qint64 CommandLog::lastTime() const
{
    return m_entries.isEmpty() ? -1 : m_entries.constLast().time;
}

void CommandLog::forgetBefore(qint64 time)
{
    qsizetype drop = 0;
    while (drop < m_entries.size() - kShown && m_entries.at(drop).time <= time)
        ++drop;
    m_entries.remove(0, drop);
}
