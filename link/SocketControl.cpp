#include "link/SocketControl.h"

#include "link/SocketErrors.h"
#include "link/SocketTuning.h"

#include <QDeadlineTimer>
#include <QHostInfo>
#include <QNetworkInterface>
#include <QNetworkProxy>
#include <QSocketNotifier>
#include <QTcpSocket>

#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <winsock2.h>
#include <ws2tcpip.h>
#endif

namespace {

// A connection whose sent data stays unacknowledged this long is given up,
// so a car that drove out of reach shows as an error within seconds.
constexpr int deadLinkTimeoutMs = 3000;

// Incoming data is never used; reading it in small pieces keeps a peer that
// floods us from growing our memory.
constexpr qint64 readBufferBytes = 64 * 1024;

void limitUnacknowledgedTime(qintptr descriptor)
{
    if (descriptor == -1)
        return;
#if defined(Q_OS_LINUX) && defined(TCP_USER_TIMEOUT)
    const unsigned int milliseconds = deadLinkTimeoutMs;
    ::setsockopt(int(descriptor), IPPROTO_TCP, TCP_USER_TIMEOUT, &milliseconds,
                 sizeof milliseconds);
#elif defined(Q_OS_WIN) && defined(TCP_MAXRT)
    const DWORD seconds = deadLinkTimeoutMs / 1000;
    ::setsockopt(SOCKET(descriptor), IPPROTO_TCP, TCP_MAXRT,
                 reinterpret_cast<const char*>(&seconds), int(sizeof seconds));
#endif
}

// The car's server is reached over IPv4; a name with both kinds of address
// therefore uses its first IPv4 address.
QHostAddress preferredAddress(const QList<QHostAddress>& addresses)
{
    for (const QHostAddress& address : addresses) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            return address;
    }
    return addresses.first();
}

#if defined(Q_OS_UNIX)
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
#endif

} // namespace

QString socketStateText(qint16 state)
{
    static const std::array<const char*, 10> texts = {
        "Closed",         "Open",          "Listening",  "Connection Pending",
        "Resolving Host", "Host Resolved", "Connecting", "Connected",
        "Closing",        "Error"};
    if (state < 0 || state >= qint16(texts.size()))
        return {};
    return QString::fromLatin1(texts[std::size_t(state)]);
}

SocketControl::SocketControl(QObject* parent) : QObject(parent)
{
    m_connectTimer.setSingleShot(true);
    // A coarse timer may fire a little early; the limit is meant as given.
    m_connectTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_connectTimer, &QTimer::timeout, this, &SocketControl::onConnectTimeout);
}

SocketControl::~SocketControl()
{
    // The owner may be half destroyed by now: tell it nothing more.
    blockSignals(true);
    ++m_attempt;
    endAttempt();
}

void SocketControl::Connect()
{
    const quint64 attempt = ++m_attempt;
    endAttempt();

    if (m_connectTimeoutMs > 0)
        m_connectTimer.start(m_connectTimeoutMs);

    QHostAddress literal;
    const bool isLiteral = literal.setAddress(m_remoteHost);
    setState(isLiteral ? SocketState::Connecting : SocketState::ResolvingHost);
    if (attempt != m_attempt)
        return;

    if (m_remoteHost.isEmpty()) {
        fail(SocketError::HostNotFound, socketErrorDescription(SocketError::HostNotFound));
        return;
    }
    if (m_remotePort < 1 || m_remotePort > 65535 || m_localPort < 0 || m_localPort > 65535) {
        fail(SocketError::AddressNotAvailable,
             socketErrorDescription(SocketError::AddressNotAvailable));
        return;
    }
    if (isLiteral) {
        startSocket(literal);
        return;
    }
    m_lookupId = QHostInfo::lookupHost(m_remoteHost, this, [this, attempt](const QHostInfo& info) {
        onHostFound(attempt,
                    info.error() == QHostInfo::NoError ? info.addresses() : QList<QHostAddress>());
    });
}

void SocketControl::Close()
{
    ++m_attempt;
    endAttempt();
    setState(SocketState::Closed);
}

void SocketControl::SendData(const QByteArray& data)
{
    if (m_state != SocketState::Connected || !m_socket)
        return;
    QTcpSocket* socket = m_socket;
    socket->write(data);
    // Out now, not at the next pass of the event loop: each command should
    // reach the car the moment it is given.
    socket->flush();
}

bool SocketControl::WaitForSent(int milliseconds)
{
    const QDeadlineTimer deadline(milliseconds);
    // The socket may go while waiting: the peer can hang up meanwhile.
    while (m_socket && m_socket->bytesToWrite() > 0 && !deadline.hasExpired()) {
        if (!m_socket->waitForBytesWritten(int(deadline.remainingTime())))
            break;
    }
    return m_socket && m_socket->bytesToWrite() == 0;
}

void SocketControl::setState(qint16 state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void SocketControl::onHostFound(quint64 attempt, const QList<QHostAddress>& addresses)
{
    if (attempt != m_attempt)
        return;
    m_lookupId = -1;
    if (addresses.isEmpty()) {
        fail(SocketError::HostNotFound, socketErrorDescription(SocketError::HostNotFound));
        return;
    }
    setState(SocketState::HostResolved);
    if (attempt != m_attempt)
        return;
    setState(SocketState::Connecting);
    if (attempt != m_attempt)
        return;
    startSocket(preferredAddress(addresses));
}

void SocketControl::startSocket(const QHostAddress& address)
{
#if defined(Q_OS_UNIX)
    // The handshake is done here rather than by QTcpSocket. Qt 6.4 finishes a
    // connect by calling connect() again; when the server resets the
    // connection the moment it accepts it, that call fails in a way Qt
    // ignores, and the next one quietly starts a new connection, thousands of
    // times a second. Reading the socket's own error instead tells us
    // plainly, and Qt takes over the connected socket.
    const bool v6 = address.protocol() == QAbstractSocket::IPv6Protocol;
    const int descriptor = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
    if (descriptor < 0) {
        failWithSystemError(errno);
        return;
    }
    m_pendingDescriptor = descriptor;
    ::fcntl(descriptor, F_SETFD, FD_CLOEXEC);
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) | O_NONBLOCK);
    // As QTcpSocket does: a local port still lingering from an earlier
    // connection may be used again.
    const int reuse = 1;
    ::setsockopt(descriptor, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);

    const NativeAddress local = nativeAddress(
        QHostAddress(v6 ? QHostAddress::AnyIPv6 : QHostAddress::AnyIPv4), quint16(m_localPort));
    if (::bind(descriptor, local.get(), local.length) != 0) {
        failWithSystemError(errno);
        return;
    }
    const NativeAddress remote = nativeAddress(address, quint16(m_remotePort));
    if (::connect(descriptor, remote.get(), remote.length) == 0) {
        onNativeConnectDone();
        return;
    }
    if (errno != EINPROGRESS) {
        failWithSystemError(errno);
        return;
    }
    m_connectNotifier = new QSocketNotifier(qintptr(descriptor), QSocketNotifier::Write, this);
    connect(m_connectNotifier, &QSocketNotifier::activated, this,
            &SocketControl::onNativeConnectDone);
#else
    // A fresh socket for every attempt: one that was bound and then failed
    // to connect refuses to bind again.
    auto* socket = new QTcpSocket(this);
    m_socket = socket;
    socket->setProxy(QNetworkProxy::NoProxy);

    const QHostAddress any(address.protocol() == QAbstractSocket::IPv6Protocol
                               ? QHostAddress::AnyIPv6
                               : QHostAddress::AnyIPv4);
    if (!socket->bind(any, quint16(m_localPort))) {
        const SocketErrorInfo info = fromQtSocketError(socket->error());
        fail(info.number, info.description);
        return;
    }
    watchSocket(socket);
    connect(socket, &QTcpSocket::connected, this, &SocketControl::onConnected);
    socket->connectToHost(address, quint16(m_remotePort));
#endif
}

#if defined(Q_OS_UNIX)
void SocketControl::onNativeConnectDone()
{
    if (m_pendingDescriptor < 0)
        return;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(m_pendingDescriptor, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    if (error == ECONNRESET || error == EPIPE) {
        // The server took the connection and hung up at once.
        peerClosed();
        return;
    }
    if (error != 0) {
        failWithSystemError(error);
        return;
    }

    const int descriptor = std::exchange(m_pendingDescriptor, -1);
    dropPendingConnect();
    auto* socket = new QTcpSocket(this);
    m_socket = socket;
    socket->setProxy(QNetworkProxy::NoProxy);
    if (!socket->setSocketDescriptor(descriptor, QAbstractSocket::ConnectedState)) {
        ::close(descriptor);
        const SocketErrorInfo info = fromQtSocketError(socket->error());
        fail(info.number, info.description);
        return;
    }
    watchSocket(socket);
    onConnected();
}

void SocketControl::failWithSystemError(int code)
{
    const SocketErrorInfo info = fromSystemError(code).value_or(SocketErrorInfo{
        SocketError::ConnectionAborted, socketErrorDescription(SocketError::ConnectionAborted)});
    fail(info.number, info.description);
}

void SocketControl::dropPendingConnect()
{
    if (m_connectNotifier) {
        m_connectNotifier->setEnabled(false);
        // Later, not now: this may run inside the notifier's own signal.
        m_connectNotifier->deleteLater();
        m_connectNotifier = nullptr;
    }
    if (m_pendingDescriptor >= 0)
        ::close(std::exchange(m_pendingDescriptor, -1));
}
#endif

void SocketControl::watchSocket(QTcpSocket* socket)
{
    socket->setReadBufferSize(readBufferBytes);
    connect(socket, &QTcpSocket::errorOccurred, this, &SocketControl::onSocketError);
    connect(socket, &QTcpSocket::disconnected, this, &SocketControl::onDisconnected);
    connect(socket, &QTcpSocket::readyRead, this, &SocketControl::discardIncoming);
}

void SocketControl::onConnected()
{
    if (!m_socket)
        return;
    m_connectTimer.stop();
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    limitUnacknowledgedTime(m_socket->socketDescriptor());
    tuneForLossyLink(m_socket->socketDescriptor());
    setState(SocketState::Connected);
}

void SocketControl::onSocketError()
{
    // Read first: Qt folds several system errors into one of its own, and the
    // system's code is what tells a time-out from an unreachable host.
#if defined(Q_OS_UNIX)
    const int systemError = errno;
#else
    const int systemError = 0;
#endif
    if (!m_socket)
        return;
    const QAbstractSocket::SocketError error = m_socket->error();
    if (m_state == SocketState::Connected && error == QAbstractSocket::RemoteHostClosedError) {
        peerClosed();
        return;
    }
    SocketErrorInfo info = fromQtSocketError(error);
    if (error == QAbstractSocket::NetworkError || error == QAbstractSocket::UnknownSocketError) {
        if (const auto refined = fromSystemError(systemError))
            info = *refined;
    }
    fail(info.number, info.description);
}

void SocketControl::onDisconnected()
{
    if (m_state == SocketState::Connected)
        peerClosed();
    else
        fail(SocketError::ConnectionAborted,
             socketErrorDescription(SocketError::ConnectionAborted));
}

void SocketControl::onConnectTimeout()
{
    if (m_state != SocketState::Connected)
        fail(SocketError::TimedOut, socketErrorDescription(SocketError::TimedOut));
}

void SocketControl::discardIncoming()
{
    if (!m_socket)
        return;
    // Reading until nothing is left (not skipping) also tells the socket
    // that its buffer has room again, so it keeps draining the connection.
    std::array<char, 4096> sink;
    while (m_socket && m_socket->read(sink.data(), qint64(sink.size())) > 0) {
    }
}

void SocketControl::peerClosed()
{
    // The peer ending the connection, in order or by a reset, is not an
    // error: the connection is simply closed.
    ++m_attempt;
    endAttempt();
    setState(SocketState::Closed);
}

void SocketControl::fail(qint16 number, const QString& description)
{
    const quint64 attempt = ++m_attempt;
    endAttempt();
    // Reported from the event loop, never from inside a call of the owner's,
    // so a handler that shows a message box or reconnects runs on clean
    // ground. A Close() or Connect() before then drops the report.
    QMetaObject::invokeMethod(
        this,
        [this, attempt, number, description] {
            if (attempt != m_attempt)
                return;
            setState(SocketState::Error);
            if (attempt != m_attempt)
                return;
            bool cancelDisplay = false;
            emit Error(number, description, number, socketErrorSource(), QString(), 0,
                       &cancelDisplay);
        },
        Qt::QueuedConnection);
}

void SocketControl::endAttempt()
{
    m_connectTimer.stop();
#if defined(Q_OS_UNIX)
    dropPendingConnect();
#endif
    if (m_lookupId != -1) {
        QHostInfo::abortHostLookup(m_lookupId);
        m_lookupId = -1;
    }
    dropSocket();
}

void SocketControl::dropSocket()
{
    QTcpSocket* socket = std::exchange(m_socket, nullptr);
    if (!socket)
        return;
    socket->disconnect(this);
    socket->abort();
    // Later, not now: this may run inside one of the socket's own signals.
    socket->deleteLater();
}
