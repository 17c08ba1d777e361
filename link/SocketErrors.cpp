#include "link/SocketErrors.h"

#include <limits>

QString socketErrorDescription(qint16 number)
{
    using namespace SocketError;
    switch (number) {
    case AccessDenied:
        return QStringLiteral("Permission denied");
    case InvalidArgument:
        return QStringLiteral("Invalid argument");
    case OperationNotSupported:
        return QStringLiteral("Operation not supported");
    case AddressInUse:
        return QStringLiteral("Address already in use");
    case AddressNotAvailable:
        return QStringLiteral("Address not available");
    case NetworkDown:
        return QStringLiteral("Network is down");
    case NetworkUnreachable:
        return QStringLiteral("Network is unreachable");
    case ConnectionAborted:
        return QStringLiteral("Connection aborted");
    case ConnectionReset:
        return QStringLiteral("Connection reset by peer");
    case NoBufferSpace:
        return QStringLiteral("No buffer space available");
    case TimedOut:
        return QStringLiteral("Connection timed out");
    case ConnectionRefused:
        return QStringLiteral("Connection refused");
    case HostUnreachable:
        return QStringLiteral("Host unreachable");
    case ProcessLimit:
        return QStringLiteral("Too many programs are using Winsock");
    case SystemNotReady:
        return QStringLiteral("The network system is not ready");
    case VersionNotSupported:
        return QStringLiteral("Winsock 2.2 is not available");
    case NotInitialised:
        return QStringLiteral("Winsock was not started");
    case HostNotFound:
        return QStringLiteral("Host not found");
    default:
        return QStringLiteral("Socket error");
    }
}

SocketErrorInfo socketErrorInfo(qint16 number)
{
    return {number, socketErrorDescription(number)};
}

SocketErrorInfo fromAnySystemError(int code)
{
    if (const auto known = fromSystemError(code))
        return *known;
    const QString text = qt_error_string(code);
    if (code > 0 && code <= std::numeric_limits<qint16>::max())
        return {qint16(code), text};
    return {SocketError::ConnectionAborted, text};
}

namespace {
// The error of that number, with the description the driver is shown.
SocketErrorInfo describedError(qint16 number)
{
    return socketErrorInfo(number);
}
} // namespace

SocketErrorInfo fromQtSocketError(QAbstractSocket::SocketError error)
{
    using namespace SocketError;
    using E = QAbstractSocket::SocketError;
    switch (error) {
    case E::ConnectionRefusedError:
    case E::ProxyConnectionRefusedError:
        return describedError(ConnectionRefused);
    case E::RemoteHostClosedError:
    case E::ProxyConnectionClosedError:
        return describedError(ConnectionReset);
    case E::HostNotFoundError:
    case E::ProxyNotFoundError:
        return describedError(HostNotFound);
    case E::SocketAccessError:
        return describedError(AccessDenied);
    case E::SocketResourceError:
        return describedError(NoBufferSpace);
    case E::SocketTimeoutError:
    case E::ProxyConnectionTimeoutError:
    case E::NetworkError:
        return describedError(TimedOut);
    case E::AddressInUseError:
        return describedError(AddressInUse);
    case E::SocketAddressNotAvailableError:
        return describedError(AddressNotAvailable);
    case E::UnsupportedSocketOperationError:
    case E::DatagramTooLargeError:
        return describedError(OperationNotSupported);
    case E::OperationError:
    case E::UnfinishedSocketOperationError:
        return describedError(InvalidArgument);
    case E::ProxyAuthenticationRequiredError:
    case E::SslHandshakeFailedError:
    case E::ProxyProtocolError:
    case E::SslInternalError:
    case E::SslInvalidUserDataError:
    case E::TemporaryError:
    case E::UnknownSocketError:
        break;
    }
    return describedError(ConnectionAborted);
}

SocketErrorInfo fromQtAndSystemError(QAbstractSocket::SocketError error, int systemError)
{
    if (error == QAbstractSocket::NetworkError || error == QAbstractSocket::UnknownSocketError) {
        if (const auto refined = fromSystemError(systemError))
            return *refined;
    }
    return fromQtSocketError(error);
}
