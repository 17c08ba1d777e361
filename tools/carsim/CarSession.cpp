#include "tools/carsim/CarSession.h"

#include <QLineF>

namespace {

// A new trail point every 2 cm, and no more than this many kept.
constexpr double kTrailStep = 0.02;
constexpr qsizetype kTrailMax = 20000;

} // namespace

void CarSession::linkOpened(const QString& peer, qint64 now)
{
    advanceTo(now);
    m_failsafe.linkOpened();
    m_peer = peer;
}

void CarSession::command(int code, qint64 now)
{
    advanceTo(now);
    m_failsafe.command(now);
    m_log.add(code, now);
    m_car.setCode(code);
}

void CarSession::linkClosed(qint64 now)
{
    advanceTo(now);
    m_failsafe.linkClosed();
    m_car.setCode(5);
    m_peer.clear();
}

void CarSession::advanceTo(qint64 now)
{
    if (now <= m_time)
        return;
    const qint64 deadline = m_failsafe.silenceDeadline();
    if (deadline > m_time && deadline <= now) {
        move(deadline - m_time);
        m_time = deadline;
        m_car.setCode(5);
    }
    move(now - m_time);
    m_time = now;
}

void CarSession::clearTrail()
{
    m_trail.clear();
}

void CarSession::restart()
{
    m_car.restart();
    m_trail.clear();
}

void CarSession::move(qint64 ms)
{
    if (ms <= 0)
        return;
    m_car.advance(static_cast<double>(ms) / 1000.0);
    const QPointF here = m_car.position();
    if (!m_trail.isEmpty() && QLineF(m_trail.constLast(), here).length() < kTrailStep)
        return;
    if (m_trail.size() >= kTrailMax)
        m_trail.remove(0, kTrailMax / 2);
    m_trail.append(here);
}
