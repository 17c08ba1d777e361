#include "console/PadWatch.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

PadWatch::PadWatch(const QByteArray& devicePath, int restMs, QObject* parent) : QObject(parent)
{
    // SDL also names things that are not device nodes (a virtual pad has no
    // name, a pad on libusb a bus address): those are polled.
    if (!devicePath.startsWith("/dev/"))
        return;
    // Our own descriptor beside SDL's: the kernel gives every reader its own
    // copy of the events, so reading ours takes nothing from SDL.
    m_fd = ::open(devicePath.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (m_fd < 0)
        return;
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PadWatch::drain);
    m_rest = new QTimer(this);
    m_rest->setSingleShot(true);
    m_rest->setTimerType(Qt::PreciseTimer);
    m_rest->setInterval(restMs);
    connect(m_rest, &QTimer::timeout, m_notifier, [this] { m_notifier->setEnabled(true); });
}

PadWatch::~PadWatch()
{
    delete m_notifier;
    if (m_fd >= 0)
        ::close(m_fd);
}

void PadWatch::drain()
{
    // Our copy only says when to look; the events themselves SDL reads from
    // its own descriptor. The buffer holds whole input events.
    char events[4096];
    for (;;) {
        const ssize_t n = ::read(m_fd, events, sizeof events);
        if (n > 0 || (n < 0 && errno == EINTR))
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        // An unplugged input node fails with ENODEV, a HID node with EIO.
        m_notifier->setEnabled(false);
        m_rest->stop();
        emit lost();
        return;
    }
    m_notifier->setEnabled(false);
    m_rest->start();
    emit input();
}
