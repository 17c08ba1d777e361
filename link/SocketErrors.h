#pragma once

#include <QAbstractSocket>
#include <QString>
#include <QtGlobal>

#include <optional>

// Socket errors are numbered like the Windows socket codes, so that a driver
// who looks a number up finds the usual meaning.
namespace SocketError {
constexpr qint16 AccessDenied = 10013;
constexpr qint16 InvalidArgument = 10022;
constexpr qint16 OperationNotSupported = 10045;
constexpr qint16 AddressInUse = 10048;
constexpr qint16 AddressNotAvailable = 10049;
constexpr qint16 NetworkDown = 10050;
constexpr qint16 NetworkUnreachable = 10051;
constexpr qint16 ConnectionAborted = 10053;
constexpr qint16 ConnectionReset = 10054;
constexpr qint16 NoBufferSpace = 10055;
constexpr qint16 TimedOut = 10060;
constexpr qint16 ConnectionRefused = 10061;
constexpr qint16 HostUnreachable = 10065;
constexpr qint16 ProcessLimit = 10067;
constexpr qint16 SystemNotReady = 10091;
constexpr qint16 VersionNotSupported = 10092;
constexpr qint16 NotInitialised = 10093;
constexpr qint16 HostNotFound = 11001;
} // namespace SocketError

struct SocketErrorInfo {
    qint16 number;
    QString description;
};

// The source named in every error the socket reports.
inline QString socketErrorSource()
{
    return QStringLiteral("Winsock");
}

// A clear English description for one of the numbers above; a generic text
// for any other number.
QString socketErrorDescription(qint16 number);

// The number with its description.
SocketErrorInfo socketErrorInfo(qint16 number);

// Maps a Qt socket error to a number and description. Qt folds several causes
// into NetworkError; without more detail it is reported as a time-out, the
// usual way a connection to a car that went out of reach ends.
SocketErrorInfo fromQtSocketError(QAbstractSocket::SocketError error);

// Maps an operating-system error code (errno on Unix, the Winsock code on
// Windows) to a number and description, for the causes Qt does not tell
// apart; nothing for codes without a match. Each platform's table is in its
// SocketPlatform file.
std::optional<SocketErrorInfo> fromSystemError(int code);

// As fromSystemError, but any other code keeps its own number, with the
// system's own text for it: no error is passed off as another.
SocketErrorInfo fromAnySystemError(int code);

// Qt's error with the system's code read at once: the system's code tells
// apart what Qt folds into NetworkError or leaves unknown.
SocketErrorInfo fromQtAndSystemError(QAbstractSocket::SocketError error, int systemError);
