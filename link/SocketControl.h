#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include "link/SocketPlatform.h"
#include "link/SocketState.h"

#include <functional>
#include <utility>

class QTcpSocket;

// A TCP client socket with a small, polled interface: set the remote host,
// remote port and local port, call Connect(), and watch State() move on while
// events are processed until it reads Connected or Error. Failures arrive as
// the Error signal, always from the event loop, never from inside a call.
//
// Each connection attempt gets a fresh QTcpSocket: a socket that was bound and
// then failed to connect refuses a second bind.
class SocketControl : public QObject {
    Q_OBJECT

public:
    explicit SocketControl(QObject* parent = nullptr);
    ~SocketControl() override;

    QString RemoteHost() const { return m_remoteHost; }
    void setRemoteHost(const QString& host) { m_remoteHost = host; }
    qint32 RemotePort() const { return m_remotePort; }
    void setRemotePort(qint32 port) { m_remotePort = port; }
    qint32 LocalPort() const { return m_localPort; }
    void setLocalPort(qint32 port) { m_localPort = port; }
    // When the system will not give LocalPort (in use, or reserved), the
    // attempt asks this for another one, a few times, before it fails; the
    // port it then uses reads back as LocalPort.
    void setLocalPortChooser(std::function<qint32()> chooser)
    {
        m_localPortChooser = std::move(chooser);
    }
    qint16 State() const { return m_state; }

    // Starts a connection to RemoteHost:RemotePort from LocalPort and returns
    // at once.
    void Connect();
    // Ends the connection or attempt; State() is Closed afterwards.
    void Close();
    // Sends the bytes on the open connection and hands them to the operating
    // system before returning. Does nothing unless Connected.
    void SendData(const QByteArray& data);
    // Waits at most this long for what SendData() could not hand over at
    // once (a peer that does not read fills the system's buffer). True when
    // everything went out.
    bool WaitForSent(int milliseconds);

    // How long an attempt may take before it ends in Error 10060; zero or
    // less means no limit of its own.
    void setConnectTimeout(int milliseconds) { m_connectTimeoutMs = milliseconds; }
    int connectTimeout() const { return m_connectTimeoutMs; }

signals:
    // number, description, error code, source, help file, help context and
    // the cancel-display flag, in that order.
    void Error(qint16 number, const QString& description, qint32 scode, const QString& source,
               const QString& helpFile, qint32 helpContext, bool* cancelDisplay);
    // Emitted whenever State() changes; useful for waiting without polling.
    void stateChanged(qint16 state);
    // Emitted after SendData() has handed bytes to the system, with the
    // open connection's socket, valid until State() leaves Connected, for
    // reading the system's own figures of it.
    void sent(SocketPlatform::Handle handle, qint64 bytes);

private:
    void setState(qint16 state);
    void onHostFound(quint64 attempt, const QList<QHostAddress>& addresses);
    void startSocket(const QHostAddress& address);
    void watchSocket(QTcpSocket* socket);
    void onNativeConnectDone();
    void endWithSystemError(int code);
    // Lets go of the connect in progress, if any.
    void releasePendingConnect();
    void onConnected();
    void onSocketError();
    void onDisconnected();
    void onConnectTimeout();
    void discardIncoming();
    // Ends the current attempt and reports the error from the event loop.
    void endWithError(qint16 number, const QString& description);
    // Stops and lets go of everything the current attempt has running (the
    // timer, the connect, the socket), telling no one.
    void stopAttempt();

    // Started before the first socket call and ended after the last one.
    SocketPlatform::Session m_session;
    QString m_remoteHost;
    qint32 m_remotePort = 0;
    qint32 m_localPort = 0;
    std::function<qint32()> m_localPortChooser;
    // Other local ports this attempt may still try.
    int m_localPortRetries = 0;
    QHostAddress m_address;
    qint16 m_state = SocketState::Closed;
    int m_connectTimeoutMs = 5000;
    // Bumped by Connect() and Close() and whenever an attempt ends, so that
    // late answers from an earlier attempt (a host lookup, a queued error) are
    // recognised and dropped.
    quint64 m_attempt = 0;
    QTcpSocket* m_socket = nullptr;
    // The connect in progress, before a QTcpSocket takes the socket over.
    SocketPlatform::PendingConnect* m_pending = nullptr;
    // Tells why the open connection ended where Qt loses that (Windows);
    // -1 (SocketPlatform::NoHandle) for none.
    qintptr m_witness = -1;
    QTimer m_connectTimer;
};
