#include "link/SocketErrors.h"
#include "link/SocketPlatform.h"

#include <QNetworkInterface>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace {

// address:port in the form the system calls take.
struct NativeAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;

    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
};

NativeAddress nativeAddress(const QHostAddress& address, quint16 port)
{
    NativeAddress result;
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&result.storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, bytes.c, sizeof bytes.c);
        if (!address.scopeId().isEmpty())
            in6->sin6_scope_id =
                quint32(QNetworkInterface::interfaceIndexFromName(address.scopeId()));
        result.length = sizeof(sockaddr_in6);
    } else {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&result.storage);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(port);
        in4->sin_addr.s_addr = htonl(address.toIPv4Address());
        result.length = sizeof(sockaddr_in);
    }
    return result;
}

} // namespace

namespace SocketPlatform {

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
        finishLater();
        return;
    }
    // Writable once the connect has ended, either way.
    auto* notifier = new QSocketNotifier(descriptor, QSocketNotifier::Write, this);
    connect(notifier, &QSocketNotifier::activated, this, &PendingConnect::onReady);
    m_watch = notifier;
}

PendingConnect::~PendingConnect()
{
    stopWatching();
    closeHandle(m_handle);
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

void PendingConnect::finishLater()
{
    QMetaObject::invokeMethod(this, &PendingConnect::finished, Qt::QueuedConnection);
}

void PendingConnect::stopWatching()
{
    if (auto* notifier = qobject_cast<QSocketNotifier*>(m_watch))
        notifier->setEnabled(false);
    // Later, not now: this may run inside the notifier's own signal.
    if (m_watch)
        m_watch->deleteLater();
    m_watch = nullptr;
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
