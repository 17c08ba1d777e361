#include "link/SocketErrors.h"
#include "link/SocketPlatform.h"

#include "link/NativeAddress.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace SocketPlatform {

Session::~Session() = default;

int Session::start()
{
    m_started = true;
    return 0;
}

PendingConnect::PendingConnect(const QHostAddress& remote, quint16 remotePort, quint16 localPort,
                               QObject* parent)
    : QObject(parent)
{
    const bool v6 = remote.protocol() == QAbstractSocket::IPv6Protocol;
    const int descriptor = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
    if (descriptor < 0) {
        m_error = errno;
        finishLater();
        return;
    }
    m_handle = descriptor;
    ::fcntl(descriptor, F_SETFD, FD_CLOEXEC);
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) | O_NONBLOCK);
    // As QTcpSocket does: a local port still lingering from an earlier
    // connection may be used again.
    const int reuse = 1;
    ::setsockopt(descriptor, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);

    const NativeAddress local =
        nativeAddress(QHostAddress(v6 ? QHostAddress::AnyIPv6 : QHostAddress::AnyIPv4), localPort);
    const NativeAddress address = nativeAddress(remote, remotePort);
    if (::bind(descriptor, local.get(), local.length) != 0 ||
        (::connect(descriptor, address.get(), address.length) != 0 && errno != EINPROGRESS)) {
        m_error = errno;
        m_localPortRefused = m_error == EADDRINUSE;
        finishLater();
        return;
    }
    // Writable once the connect has ended, either way.
    auto* notifier = new QSocketNotifier(descriptor, QSocketNotifier::Write, this);
    connect(notifier, &QSocketNotifier::activated, this, &PendingConnect::onReady);
    m_watch = notifier;
}

Handle PendingConnect::take()
{
    stopWatching();
    return std::exchange(m_handle, NoHandle);
}

void PendingConnect::onReady()
{
    stopWatching();
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(int(m_handle), SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    m_error = error;
    emit finished();
}

void PendingConnect::disableWatch()
{
    if (auto* notifier = qobject_cast<QSocketNotifier*>(m_watch))
        notifier->setEnabled(false);
}

void closeHandle(Handle handle)
{
    if (handle != NoHandle)
        ::close(int(handle));
}

int lastError()
{
    return errno;
}

bool isHangUpAtConnect(int error)
{
    return error == ECONNRESET || error == EPIPE;
}

Handle keepWitness(Handle handle)
{
    Q_UNUSED(handle);
    return NoHandle;
}

int endReason(Handle witness)
{
    Q_UNUSED(witness);
    return 0;
}

bool isDeadLinkGiveUp(int error)
{
    return error == ETIMEDOUT;
}

bool isPeerHangUp(QAbstractSocket::SocketError error, int systemError)
{
    return error == QAbstractSocket::RemoteHostClosedError && !isDeadLinkGiveUp(systemError);
}

void limitUnacknowledgedTime(Handle handle, int milliseconds)
{
#if defined(TCP_USER_TIMEOUT)
    const auto value = static_cast<unsigned int>(milliseconds);
    ::setsockopt(int(handle), IPPROTO_TCP, TCP_USER_TIMEOUT, &value, sizeof value);
#else
    Q_UNUSED(handle);
    Q_UNUSED(milliseconds);
#endif
}

} // namespace SocketPlatform

std::optional<SocketErrorInfo> fromSystemError(int code)
{
    using namespace SocketError;
    switch (code) {
    case ETIMEDOUT:
        return socketErrorInfo(TimedOut);
    case ECONNREFUSED:
        return socketErrorInfo(ConnectionRefused);
    case ECONNRESET:
    case EPIPE:
        return socketErrorInfo(ConnectionReset);
    case ECONNABORTED:
        return socketErrorInfo(ConnectionAborted);
    case EHOSTUNREACH:
        return socketErrorInfo(HostUnreachable);
    case ENETUNREACH:
        return socketErrorInfo(NetworkUnreachable);
    case ENETDOWN:
        return socketErrorInfo(NetworkDown);
    case EADDRINUSE:
        return socketErrorInfo(AddressInUse);
    case EADDRNOTAVAIL:
        return socketErrorInfo(AddressNotAvailable);
    case EACCES:
    case EPERM:
        return socketErrorInfo(AccessDenied);
    case ENOBUFS:
    case ENOMEM:
        return socketErrorInfo(NoBufferSpace);
    default:
        return std::nullopt;
    }
}
