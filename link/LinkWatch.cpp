#include "link/LinkWatch.h"

#include "link/LinkFigures.h"
#include "link/SocketControl.h"

#include <algorithm>

namespace {

// Readable, not flickering: at most four new lines a second.
constexpr qint64 LeastShowIntervalMs = 250;
// How often the figures are read while a command waits.
constexpr qint64 PollIntervalMs = 250;

} // namespace

LinkWatch::LinkWatch(SocketControl* socket, QObject* parent) : QObject(parent), m_socket(socket)
{
    m_clock.start();
    m_poll.setSingleShot(true);
    // The warning is due the moment a command has waited too long, not up to
    // a coarse timer's slack later.
    m_poll.setTimerType(Qt::PreciseTimer);
    connect(&m_poll, &QTimer::timeout, this, &LinkWatch::refresh);
    connect(socket, &SocketControl::sent, this, &LinkWatch::onSent);
    connect(socket, &SocketControl::stateChanged, this, &LinkWatch::onStateChanged);
}

void LinkWatch::onSent(SocketPlatform::Handle handle, qint64 bytes)
{
    if (bytes <= 0)
        return;
    if (handle != m_handle) {
        m_sends.clear();
        m_handle = handle;
    }
    m_sends.push_back({m_clock.elapsed(), bytes});
    refresh();
}

void LinkWatch::onStateChanged(qint16 state)
{
    if (state == SocketState::Connected)
        return;
    m_handle = SocketPlatform::NoHandle;
    m_sends.clear();
    refresh();
}

void LinkWatch::refresh()
{
    const qint64 now = m_clock.elapsed();
    const std::optional<LinkFigures> figures =
        m_socket->State() == SocketState::Connected ? readLinkFigures(m_handle) : std::nullopt;
    std::optional<LinkReading> reading;
    if (figures) {
        dropAcknowledged(figures->unacknowledgedBytes);
        reading = LinkReading{figures->roundTripUs, std::nullopt};
        if (!m_sends.empty())
            reading->oldestWaitingSentMs = m_sends.front().atMs;
    } else {
        m_sends.clear();
    }
    const LinkStatus status = describeLink(reading, now);
    show(status, now);

    // Polled only while something is left to tell: a command that waits, or
    // a line held back by the rate of showing.
    qint64 next = PollIntervalMs;
    if (status != m_status)
        next = m_shownAtMs + LeastShowIntervalMs - now;
    if (!m_sends.empty() && status.level != LinkLevel::NoAnswer)
        next = std::min(next, m_sends.front().atMs + NoAnswerAfterMs + 1 - now);
    if (m_sends.empty() && status == m_status)
        m_poll.stop();
    else
        m_poll.start(int(std::max<qint64>(next, 1)));
}

void LinkWatch::dropAcknowledged(qint64 waitingBytes)
{
    // The bytes still waiting are the newest ones written: the sends that
    // hold them are the newest sends.
    qint64 newer = 0;
    auto oldestWaiting = m_sends.end();
    while (oldestWaiting != m_sends.begin() && newer < waitingBytes) {
        --oldestWaiting;
        newer += oldestWaiting->bytes;
    }
    m_sends.erase(m_sends.begin(), oldestWaiting);
}

void LinkWatch::show(const LinkStatus& status, qint64 nowMs)
{
    if (status == m_status)
        return;
    const bool emptying = status.level == LinkLevel::Unknown;
    if (!emptying && m_status.level != LinkLevel::Unknown &&
        nowMs - m_shownAtMs < LeastShowIntervalMs)
        return;
    m_status = status;
    m_shownAtMs = nowMs;
    emit changed(m_status);
}
