#include "link/ChangeRepeater.h"

#include "link/DriveMessage.h"
#include "link/SocketControl.h"

#include <array>
#include <utility>

namespace {

// When the copies go out, in milliseconds after the change. The first one
// bounds how long a single lost command waits; the later ones cover a copy
// or an acknowledgement that was lost as well. Three copies per change, and
// none while no key changes, so an idle link still carries one command a
// second.
constexpr std::array<int, 3> copyTimesMs = {10, 30, 70};

} // namespace

ChangeRepeater::ChangeRepeater(SocketControl* socket, std::function<int()> currentCode,
                               QObject* parent)
    : QObject(parent), m_socket(socket), m_currentCode(std::move(currentCode)),
      m_lastCode(m_currentCode())
{
    m_timer.setSingleShot(true);
    // A coarse timer may be 5 % late, or early; these gaps are a few ms.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &ChangeRepeater::sendCopy);
}

void ChangeRepeater::sent(int code)
{
    if (code == m_lastCode)
        return;
    m_lastCode = code;
    m_copies = 0;
    scheduleNext();
}

void ChangeRepeater::sendCopy()
{
    // Only on the open connection: a copy never opens one.
    if (m_socket->State() != SocketState::Connected)
        return;
    const int code = m_currentCode();
    m_socket->SendData(driveMessage(code));
    ++m_copies;
    scheduleNext();
}

void ChangeRepeater::scheduleNext()
{
    if (m_copies >= int(copyTimesMs.size())) {
        m_timer.stop();
        return;
    }
    const int gap = copyTimesMs[std::size_t(m_copies)] -
                    (m_copies == 0 ? 0 : copyTimesMs[std::size_t(m_copies - 1)]);
    m_timer.start(gap);
}
