#pragma once

#include "link/SocketControl.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>

// The longest wait for a loopback connection to settle.
constexpr int settleMs = 5000;
// Long enough for a stray queued signal to show up.
constexpr int quietMs = 300;

// Points the socket at host:port, from localPort (0 lets the system choose).
void aim(SocketControl& socket, const QString& host, qint32 port, qint32 localPort = 0);

// One Error signal as the owner saw it.
struct SeenError {
    qint16 number = 0;
    QString description;
    qint32 scode = 0;
    QString source;
    QString helpFile;
    qint32 helpContext = -1;
    bool hadCancelFlag = false;
    bool cancelFlag = true;
    // True when the signal came from inside Connect, Close or SendData.
    bool duringCall = false;
    qint16 stateSeen = -1;
};

// Watches a SocketControl as its owner would: every Error and every state
// change, and whether one arrived while a call into the socket was running.
class SocketWatcher : public QObject {
    Q_OBJECT

public:
    explicit SocketWatcher(SocketControl& socket, QObject* parent = nullptr);

    void connectNow();
    void closeNow();
    void sendNow(const QByteArray& data);

    QList<SeenError> errors;
    QList<qint16> states;
    // Stays true while every stateChanged value matched State() at that time.
    bool statesMatched = true;
    int signalsDuringCall = 0;

private:
    SocketControl& m_socket;
    bool m_inCall = false;
};

// Starts server on Loopback, connects socket to it through watcher and
// returns the server's side of the connection; nullptr when a step did not
// come within settleMs.
QTcpSocket* connectToNewServer(QTcpServer& server, SocketControl& socket, SocketWatcher& watcher);

// Reserves a port nobody listens on (briefly bound, then released).
quint16 freePort();
