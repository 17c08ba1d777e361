#include "link/SocketErrors.h"
#include "link/SocketPlatform.h"

#include "link/NativeAddress.h"

#include <QWinEventNotifier>

#include <utility>
#include <winsock2.h>
#include <ws2tcpip.h>

// Winsock's give-up time for unacknowledged data, in whole seconds, at the
// IPPROTO_TCP level. Some MinGW headers lack it; its value is documented.
#if !defined(TCP_MAXRT)
#define TCP_MAXRT 5
#endif

namespace {

// Closes the event once it is no longer watched: the notifier waits on it
// until the notifier itself is gone.
class ConnectEventNotifier : public QWinEventNotifier {
public:
    ConnectEventNotifier(void* event, QObject* parent) : QWinEventNotifier(event, parent) {}
    ~ConnectEventNotifier() override
    {
        setEnabled(false);
        ::WSACloseEvent(handle());
    }
};

// Bound to the wildcard address, a local port already in use may be
// reported only when the connect starts or ends, not at the bind.
bool isPortInUse(int error)
{
    return error == WSAEADDRINUSE;
}

} // namespace

namespace SocketPlatform {

Session::~Session()
{
    if (m_started)
        ::WSACleanup();
}

int Session::start()
{
    if (m_started)
        return 0;
    // The only Winsock call allowed before the start, and one that returns
    // its error itself: WSAGetLastError means nothing when it fails.
    WSADATA data{};
    const int error = ::WSAStartup(MAKEWORD(2, 2), &data);
    if (error != 0)
        return error;
    // A Winsock that offers only an older version has still been started,
    // and that start must be ended.
    if (LOBYTE(data.wVersion) != 2 || HIBYTE(data.wVersion) != 2) {
        ::WSACleanup();
        return WSAVERNOTSUPPORTED;
    }
    m_started = true;
    return 0;
}

PendingConnect::PendingConnect(const QHostAddress& remote, quint16 remotePort, quint16 localPort,
                               QObject* parent)
    : QObject(parent)
{
    // The owner has started Winsock (Session) before this runs.
    const bool v6 = remote.protocol() == QAbstractSocket::IPv6Protocol;
    const SOCKET socket = ::WSASocketW(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr,
                                       0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (socket == INVALID_SOCKET) {
        m_error = ::WSAGetLastError();
        finishLater();
        return;
    }
    m_handle = Handle(socket);
    // The end of the connect, success or failure, is signalled on an event
    // that is chosen before the connect starts, so it cannot be missed; this
    // also makes the socket non-blocking. A notifier that asks for
    // writability after the start misses a connect that failed at once.
    WSAEVENT event = ::WSACreateEvent();
    if (event == WSA_INVALID_EVENT) {
        m_error = ::WSAGetLastError();
        finishLater();
        return;
    }
    m_event = event;
    auto* notifier = new ConnectEventNotifier(event, this);
    notifier->setEnabled(false);
    m_watch = notifier;
    if (::WSAEventSelect(socket, event, FD_CONNECT) != 0) {
        m_error = ::WSAGetLastError();
        finishLater();
        return;
    }
    const NativeAddress local =
        nativeAddress(QHostAddress(v6 ? QHostAddress::AnyIPv6 : QHostAddress::AnyIPv4), localPort);
    const NativeAddress address = nativeAddress(remote, remotePort);
    if (::bind(socket, local.get(), local.length) != 0) {
        m_error = ::WSAGetLastError();
        // Port ranges reserved by the system (Hyper-V, WSL, Docker) refuse
        // with WSAEACCES.
        m_localPortRefused = isPortInUse(m_error) || m_error == WSAEACCES;
        finishLater();
        return;
    }
    if (::connect(socket, address.get(), address.length) != 0 &&
        ::WSAGetLastError() != WSAEWOULDBLOCK) {
        m_error = ::WSAGetLastError();
        m_localPortRefused = isPortInUse(m_error);
        finishLater();
        return;
    }
    connect(notifier, &QWinEventNotifier::activated, this, &PendingConnect::onReady);
    notifier->setEnabled(true);
}

Handle PendingConnect::take()
{
    stopWatching();
    // Qt's socket engine chooses its own events; the socket may carry only
    // one choice at a time.
    ::WSAEventSelect(SOCKET(m_handle), nullptr, 0);
    return std::exchange(m_handle, NoHandle);
}

void PendingConnect::onReady()
{
    WSANETWORKEVENTS events{};
    if (::WSAEnumNetworkEvents(SOCKET(m_handle), m_event, &events) != 0) {
        m_error = ::WSAGetLastError();
    } else if (!(events.lNetworkEvents & FD_CONNECT)) {
        return;
    } else {
        m_error = events.iErrorCode[FD_CONNECT_BIT];
        m_localPortRefused = isPortInUse(m_error);
    }
    stopWatching();
    emit finished();
}

void PendingConnect::disableWatch()
{
    if (auto* notifier = qobject_cast<QWinEventNotifier*>(m_watch))
        notifier->setEnabled(false);
}

void closeHandle(Handle handle)
{
    if (handle != NoHandle)
        ::closesocket(SOCKET(handle));
}

int lastError()
{
    return ::WSAGetLastError();
}

bool isHangUpAtConnect(int error)
{
    return error == WSAECONNRESET;
}

Handle keepWitness(Handle handle)
{
    // A duplicate shares the connection; closing Qt's descriptor leaves the
    // connection's end state readable through it. Like the socket itself, it
    // is not inherited: a program started from here would otherwise hold the
    // connection open after Velmora closed it.
    WSAPROTOCOL_INFOW info{};
    if (::WSADuplicateSocketW(SOCKET(handle), ::GetCurrentProcessId(), &info) != 0)
        return NoHandle;
    const SOCKET witness = ::WSASocketW(FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO,
                                        &info, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    return witness == INVALID_SOCKET ? NoHandle : Handle(witness);
}

int endReason(Handle witness)
{
    if (witness == NoHandle)
        return 0;
    // Only once the connection has ended does a read return at once; never
    // wait here on one that is still open.
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(SOCKET(witness), &readable);
    timeval now{};
    if (::select(0, &readable, nullptr, nullptr, &now) != 1)
        return 0;
    char byte = 0;
    if (::recv(SOCKET(witness), &byte, 1, MSG_PEEK) != SOCKET_ERROR)
        return 0;
    return ::WSAGetLastError();
}

bool isDeadLinkGiveUp(int error)
{
    // When the give-up time passes, Windows aborts the connection itself:
    // "an established connection was aborted by the software in your host
    // machine", which a peer's reset (WSAECONNRESET) never reads as.
    return error == WSAECONNABORTED || error == WSAETIMEDOUT;
}

bool isPeerHangUp(QAbstractSocket::SocketError error, int systemError)
{
    // Qt 6.4 on Windows reports a reset met while writing as NetworkError,
    // and by the time it says so the system's code is usually gone; only a
    // code that plainly says this machine gave up counts as a dead link.
    return (error == QAbstractSocket::RemoteHostClosedError ||
            error == QAbstractSocket::NetworkError) &&
           !isDeadLinkGiveUp(systemError);
}

void limitUnacknowledgedTime(Handle handle, int milliseconds)
{
    const DWORD seconds = DWORD(qMax(1, milliseconds / 1000));
    ::setsockopt(SOCKET(handle), IPPROTO_TCP, TCP_MAXRT, reinterpret_cast<const char*>(&seconds),
                 int(sizeof seconds));
}

} // namespace SocketPlatform

std::optional<SocketErrorInfo> fromSystemError(int code)
{
    using namespace SocketError;
    switch (code) {
    case WSAETIMEDOUT:
        return socketErrorInfo(TimedOut);
    case WSAECONNREFUSED:
        return socketErrorInfo(ConnectionRefused);
    case WSAECONNRESET:
        return socketErrorInfo(ConnectionReset);
    case WSAECONNABORTED:
        return socketErrorInfo(ConnectionAborted);
    case WSAEHOSTUNREACH:
        return socketErrorInfo(HostUnreachable);
    case WSAENETUNREACH:
        return socketErrorInfo(NetworkUnreachable);
    case WSAENETDOWN:
        return socketErrorInfo(NetworkDown);
    case WSAEADDRINUSE:
        return socketErrorInfo(AddressInUse);
    case WSAEADDRNOTAVAIL:
        return socketErrorInfo(AddressNotAvailable);
    case WSAEACCES:
        return socketErrorInfo(AccessDenied);
    case WSAENOBUFS:
        return socketErrorInfo(NoBufferSpace);
    case WSAHOST_NOT_FOUND:
    case WSANO_DATA:
        return socketErrorInfo(HostNotFound);
    case WSAEPROCLIM:
        return socketErrorInfo(ProcessLimit);
    case WSASYSNOTREADY:
        return socketErrorInfo(SystemNotReady);
    case WSAVERNOTSUPPORTED:
        return socketErrorInfo(VersionNotSupported);
    case WSANOTINITIALISED:
        return socketErrorInfo(NotInitialised);
    default:
        return std::nullopt;
    }
}
