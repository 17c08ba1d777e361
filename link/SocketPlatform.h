#pragma once

#include <QAbstractSocket>
#include <QHostAddress>
#include <QObject>
#include <QtGlobal>

// The socket calls that differ between Unix and Windows, each platform in a
// file of its own (what they share is in SocketPlatform.cpp). Velmora makes
// the connection itself and hands the connected socket to QTcpSocket, which
// cannot be trusted to make it (see SocketControl::startSocket); reading the
// socket's own error tells plainly how a connect ended.
namespace SocketPlatform {

using Handle = qintptr;
constexpr Handle NoHandle = -1;

// The system's socket library, started for as long as this lives. Windows
// wants Winsock started before any socket call of this program's own, and
// ended once for every start; the library Qt or the system may have started
// for themselves is theirs, not ours to rely on. Unix needs nothing.
class Session {
public:
    Session() = default;
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Starts the library unless this session already did: 0 once started,
    // else the system's code of why it cannot start (tried again next time).
    int start();

private:
    bool m_started = false;
};

// A connection being made, watched from the event loop: each platform
// learns in its own way that a non-blocking connect has ended.
class PendingConnect : public QObject {
    Q_OBJECT

public:
    // Opens a non-blocking socket bound to localPort (0 for any) and starts
    // the connect to remote:remotePort.
    PendingConnect(const QHostAddress& remote, quint16 remotePort, quint16 localPort,
                   QObject* parent);
    // Closes the socket unless it was taken.
    ~PendingConnect() override;

    // 0 once connected; else the system's code of why it failed.
    int error() const { return m_error; }
    // Whether it failed because the system would not give this socket its
    // local port (in use, or reserved for something else).
    bool localPortRefused() const { return m_localPortRefused; }
    // Hands the connected socket on, to be closed by whoever takes it.
    Handle take();

signals:
    // Emitted once, from the event loop, when the attempt has ended.
    void finished();

private:
    void onReady();
    void finishLater();
    void stopWatching();
    // The platform's own half of stopWatching().
    void disableWatch();

    Handle m_handle = NoHandle;
    int m_error = 0;
    bool m_localPortRefused = false;
    QObject* m_watch = nullptr;
    // Windows: the event that the socket's connect signals.
    void* m_event = nullptr;
};

void closeHandle(Handle handle);

// The system's code of the last failed socket call on this thread.
int lastError();
// Whether a connect's error says that the server took the connection and
// hung up at once, rather than that it could not be made.
bool isHangUpAtConnect(int error);
// Whether an error on an open connection says that this machine gave up on
// a link that no longer carries anything (as opposed to the peer ending it).
bool isDeadLinkGiveUp(int error);
// Whether Qt's error on an open connection, with the system's code read at
// once, means the peer ended it (in order or by a reset).
bool isPeerHangUp(QAbstractSocket::SocketError error, int systemError);

// A second handle on a connected socket, kept to learn why the connection
// ended after Qt has closed its own: Qt 6.4 on Windows reports this machine
// giving up on a dead link just as the peer hanging up, and the system's
// code is gone by then. NoHandle where the code survives (Unix).
Handle keepWitness(Handle handle);
// The system's code of why the connection of a witness ended, 0 for an
// orderly end or when unknown.
int endReason(Handle witness);

// Makes an open connection give up, with an error, once sent data has gone
// unacknowledged for this long.
void limitUnacknowledgedTime(Handle handle, int milliseconds);

} // namespace SocketPlatform
