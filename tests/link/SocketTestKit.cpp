#include "SocketTestKit.h"

#include "support/TestSupport.h"

#include <QHostAddress>
#include <QTest>

SocketWatcher::SocketWatcher(SocketControl& socket, QObject* parent)
    : QObject(parent), m_socket(socket)
{
    connect(&socket, &SocketControl::Error, this,
            [this](qint16 number, const QString& description, qint32 scode, const QString& source,
                   const QString& helpFile, qint32 helpContext, bool* cancelDisplay) {
                SeenError seen;
                seen.number = number;
                seen.description = description;
                seen.scode = scode;
                seen.source = source;
                seen.helpFile = helpFile;
                seen.helpContext = helpContext;
                seen.hadCancelFlag = cancelDisplay != nullptr;
                seen.cancelFlag = cancelDisplay ? *cancelDisplay : true;
                seen.duringCall = m_inCall;
                seen.stateSeen = m_socket.State();
                errors.append(seen);
                if (m_inCall)
                    ++signalsDuringCall;
            });
    connect(&socket, &SocketControl::stateChanged, this, [this](qint16 state) {
        states.append(state);
        if (state != m_socket.State())
            statesMatched = false;
    });
}

void SocketWatcher::connectNow()
{
    m_inCall = true;
    m_socket.Connect();
    m_inCall = false;
}

void SocketWatcher::closeNow()
{
    m_inCall = true;
    m_socket.Close();
    m_inCall = false;
}

void SocketWatcher::sendNow(const QByteArray& data)
{
    m_inCall = true;
    m_socket.SendData(data);
    m_inCall = false;
}

QTcpSocket* connectToNewServer(QTcpServer& server, SocketControl& socket, SocketWatcher& watcher)
{
    if (!server.listen(QHostAddress::LocalHost, 0))
        return nullptr;
    aim(socket, Loopback, server.serverPort());
    watcher.connectNow();
    if (!QTest::qWaitFor([&socket] { return socket.State() == SocketState::Connected; },
                         settleMs) ||
        !QTest::qWaitFor([&server] { return server.hasPendingConnections(); }, settleMs))
        return nullptr;
    return server.nextPendingConnection();
}

quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::AnyIPv4, 0))
        return 0;
    return probe.serverPort();
}

void aim(SocketControl& socket, const QString& host, qint32 port, qint32 localPort)
{
    socket.setRemoteHost(host);
    socket.setRemotePort(port);
    socket.setLocalPort(localPort);
}
