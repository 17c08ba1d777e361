#include "link/SocketControl.h"

#include "link/SocketErrors.h"
#include "link/SocketTuning.h"

#include <QDeadlineTimer>
#include <QHostInfo>
#include <QNetworkProxy>
#include <QTcpSocket>

#include <array>
#include <utility>

namespace {

// A connection whose sent data stays unacknowledged this long is given up,
// so a car that drove out of reach shows as an error within seconds.
constexpr int deadLinkTimeoutMs = 3000;

// Incoming data is never used; reading it in small pieces keeps a peer that
// floods us from growing our memory.
constexpr qint64 readBufferBytes = 64 * 1024;

// How many other local ports an attempt tries when the system refuses one.
constexpr int localPortRetries = 5;

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

} // namespace

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
    stopAttempt();
    // Connects let go of earlier close their sockets now, while the socket
    // library is still started, not with the other children after it ended.
    qDeleteAll(findChildren<SocketPlatform::PendingConnect*>(Qt::FindDirectChildrenOnly));
}

void SocketControl::Connect()
{
    const quint64 attempt = ++m_attempt;
    stopAttempt();

    if (m_connectTimeoutMs > 0)
        m_connectTimer.start(m_connectTimeoutMs);
    m_localPortRetries = localPortRetries;

    QHostAddress literal;
    const bool isLiteral = literal.setAddress(m_remoteHost);
    setState(isLiteral ? SocketState::Connecting : SocketState::ResolvingHost);
    if (attempt != m_attempt)
        return;

    if (m_remoteHost.isEmpty()) {
        endWithError(SocketError::HostNotFound, socketErrorDescription(SocketError::HostNotFound));
        return;
    }
    if (m_remotePort < 1 || m_remotePort > 65535 || m_localPort < 0 || m_localPort > 65535) {
        endWithError(SocketError::AddressNotAvailable,
                     socketErrorDescription(SocketError::AddressNotAvailable));
        return;
    }
    if (isLiteral) {
        startSocket(literal);
        return;
    }
    // The lookup is never aborted: Qt 6.4 leaks the callback of an aborted
    // lookup, and a late answer is dropped by its attempt number anyway.
    QHostInfo::lookupHost(m_remoteHost, this, [this, attempt](const QHostInfo& info) {
        onHostFound(attempt,
                    info.error() == QHostInfo::NoError ? info.addresses() : QList<QHostAddress>());
    });
}

void SocketControl::Close()
{
    ++m_attempt;
    stopAttempt();
    setState(SocketState::Closed);
}

void SocketControl::SendData(const QByteArray& data)
{
    if (m_state != SocketState::Connected || !m_socket)
        return;
    QTcpSocket* socket = m_socket;
    const qint64 written = socket->write(data);
    // Out now, not at the next pass of the event loop: each command should
    // reach the car the moment it is given.
    socket->flush();
    emit sent(socket->socketDescriptor(), written);
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
    if (addresses.isEmpty()) {
        endWithError(SocketError::HostNotFound, socketErrorDescription(SocketError::HostNotFound));
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
    // Winsock is started by whoever calls it, before the first call: not
    // by Qt, whose lookup an address skips.
    if (const int error = m_session.start()) {
        endWithSystemError(error);
        return;
    }
    // The handshake is ours, and Qt takes over the connected socket: Qt 6.4
    // finishes a connect by calling connect() again, and when the server
    // resets the connection as it accepts it, Qt ignores that failure and
    // starts a new connection, thousands of times a second.
    m_address = address;
    m_pending = new SocketPlatform::PendingConnect(address, quint16(m_remotePort),
                                                   quint16(m_localPort), this);
    connect(m_pending, &SocketPlatform::PendingConnect::finished, this,
            &SocketControl::onNativeConnectDone);
}

void SocketControl::onNativeConnectDone()
{
    if (!m_pending)
        return;
    const int error = m_pending->error();
    if (m_pending->localPortRefused() && m_localPortChooser && m_localPortRetries > 0) {
        // Choosing the local port is this program's job, not the driver's:
        // another one is tried before anything is reported.
        --m_localPortRetries;
        m_localPort = m_localPortChooser();
        releasePendingConnect();
        startSocket(m_address);
        return;
    }
    if (SocketPlatform::isHangUpAtConnect(error)) {
        // The server took the connection and hung up at once: not an error.
        Close();
        return;
    }
    if (error != 0) {
        endWithSystemError(error);
        return;
    }

    const SocketPlatform::Handle handle = m_pending->take();
    releasePendingConnect();
    auto* socket = new QTcpSocket(this);
    m_socket = socket;
    socket->setProxy(QNetworkProxy::NoProxy);
    if (!socket->setSocketDescriptor(handle, QAbstractSocket::ConnectedState)) {
        SocketPlatform::closeHandle(handle);
        const SocketErrorInfo info = fromQtSocketError(socket->error());
        endWithError(info.number, info.description);
        return;
    }
    m_witness = SocketPlatform::keepWitness(handle);
    watchSocket(socket);
    onConnected();
}

void SocketControl::endWithSystemError(int code)
{
    const SocketErrorInfo info = fromAnySystemError(code);
    endWithError(info.number, info.description);
}

void SocketControl::releasePendingConnect()
{
    // Later, not now: this may run inside the attempt's own signal.
    if (m_pending)
        std::exchange(m_pending, nullptr)->deleteLater();
}

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
    SocketPlatform::limitUnacknowledgedTime(m_socket->socketDescriptor(), deadLinkTimeoutMs);
    tuneForLossyLink(m_socket->socketDescriptor());
    setState(SocketState::Connected);
}

void SocketControl::onSocketError()
{
    // Read first: Qt folds several system errors into one of its own, and the
    // system's code is what tells a time-out from an unreachable host, or
    // this machine giving up on a dead link from the peer hanging up.
    int systemError = SocketPlatform::lastError();
    if (!m_socket)
        return;
    if (const int reason = SocketPlatform::endReason(m_witness))
        systemError = reason;
    const QAbstractSocket::SocketError error = m_socket->error();
    if (m_state == SocketState::Connected) {
        // The peer ending the connection, in order or by a reset, is not an
        // error: the connection is simply closed.
        if (SocketPlatform::isPeerHangUp(error, systemError)) {
            Close();
            return;
        }
        if (SocketPlatform::isDeadLinkGiveUp(systemError)) {
            endWithError(SocketError::TimedOut, socketErrorDescription(SocketError::TimedOut));
            return;
        }
    }
    const SocketErrorInfo info = fromQtAndSystemError(error, systemError);
    endWithError(info.number, info.description);
}

void SocketControl::onDisconnected()
{
    if (m_state == SocketState::Connected)
        Close();
    else
        endWithError(SocketError::ConnectionAborted,
                     socketErrorDescription(SocketError::ConnectionAborted));
}

void SocketControl::onConnectTimeout()
{
    if (m_state != SocketState::Connected)
        endWithError(SocketError::TimedOut, socketErrorDescription(SocketError::TimedOut));
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

void SocketControl::endWithError(qint16 number, const QString& description)
{
    const quint64 attempt = ++m_attempt;
    stopAttempt();
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

void SocketControl::stopAttempt()
{
    m_connectTimer.stop();
    releasePendingConnect();
    SocketPlatform::closeHandle(std::exchange(m_witness, SocketPlatform::NoHandle));
    QTcpSocket* socket = std::exchange(m_socket, nullptr);
    if (!socket)
        return;
    socket->disconnect(this);
    socket->abort();
    // Later, not now: this may run inside one of the socket's own signals.
    socket->deleteLater();
}
