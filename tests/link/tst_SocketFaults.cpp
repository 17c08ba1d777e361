// Faults that need packets to vanish: the whole process moves into a network
// namespace of its own and drops packets there with iptables.

#include "SocketTestKit.h"

#include "link/SocketControl.h"
#include "support/PrivateNetwork.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

class tst_SocketFaults : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void connectTimesOut_data();
    void connectTimesOut();
    void deadLinkEndsInError();
};

void tst_SocketFaults::initTestCase()
{
    const QString problem = PrivateNetwork::enter();
    if (!problem.isEmpty())
        QSKIP(qPrintable(problem));
}

void tst_SocketFaults::cleanup()
{
    QCOMPARE(PrivateNetwork::removeRules(), QString());
}

void tst_SocketFaults::connectTimesOut_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("timeoutMs");
    QTest::newRow("address, short limit") << Loopback << 700;
    QTest::newRow("name, short limit") << QStringLiteral("localhost") << 700;
    // 0 stands for "as a new SocketControl comes".
    QTest::newRow("address, default limit") << Loopback << 0;
}

void tst_SocketFaults::connectTimesOut()
{
    QFETCH(QString, host);
    QFETCH(int, timeoutMs);
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    QCOMPARE(PrivateNetwork::dropConnectionsTo(server.serverPort()), QString());

    SocketControl socket;
    SocketWatcher watcher(socket);
    if (timeoutMs > 0)
        socket.setConnectTimeout(timeoutMs);
    else
        timeoutMs = 5000;
    QCOMPARE(socket.connectTimeout(), timeoutMs);
    socket.setRemoteHost(host);
    socket.setRemotePort(server.serverPort());

    QElapsedTimer clock;
    clock.start();
    watcher.connectNow();
    QTRY_COMPARE_WITH_TIMEOUT(socket.State(), SocketState::Error, timeoutMs + 3000);
    const qint64 took = clock.elapsed();
    QVERIFY2(took >= timeoutMs - 50, qPrintable(QString::number(took)));
    QVERIFY2(took < timeoutMs + 1500, qPrintable(QString::number(took)));

    QCOMPARE(watcher.errors.size(), 1);
    QCOMPARE(watcher.errors.first().number, qint16(10060));
    QCOMPARE(watcher.errors.first().description, QStringLiteral("Connection timed out"));
    QCOMPARE(watcher.errors.first().source, QStringLiteral("Winsock"));
    QVERIFY(!watcher.errors.first().duringCall);
    QVERIFY(!server.hasPendingConnections());
}

void tst_SocketFaults::deadLinkEndsInError()
{
    LoopbackPeer peer;
    SocketControl socket;
    SocketWatcher watcher(socket);
    socket.setRemoteHost(Loopback);
    socket.setRemotePort(peer.port());
    watcher.connectNow();
    QTRY_COMPARE_WITH_TIMEOUT(socket.State(), SocketState::Connected, Timeout);
    watcher.sendNow(QByteArray("5\0", 2));
    QTRY_COMPARE_WITH_TIMEOUT(peer.received(), QByteArray("5\0", 2), Timeout);

    // The car drives out of reach: nothing gets through any more, in either
    // direction, while the program goes on sending as it does.
    QCOMPARE(PrivateNetwork::dropAllTraffic(peer.port()), QString());
    QTimer repeat;
    repeat.setInterval(300);
    connect(&repeat, &QTimer::timeout, &socket,
            [&watcher] { watcher.sendNow(QByteArray("5\0", 2)); });
    QElapsedTimer clock;
    clock.start();
    repeat.start();
    QTRY_COMPARE_WITH_TIMEOUT(socket.State(), SocketState::Error, 8000);
    repeat.stop();
    const qint64 took = clock.elapsed();
    QVERIFY2(took < 6000, qPrintable(QString::number(took)));

    QCOMPARE(watcher.errors.size(), 1);
    QCOMPARE(watcher.errors.first().number, qint16(10060));
    QCOMPARE(watcher.errors.first().source, QStringLiteral("Winsock"));
    QVERIFY(!watcher.errors.first().duringCall);
    QCOMPARE(watcher.states, (QList<qint16>{6, 7, 9}));
}

QTEST_GUILESS_MAIN(tst_SocketFaults)
#include "tst_SocketFaults.moc"
