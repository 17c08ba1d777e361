// A SocketControl meeting trouble on Loopback: nobody listening, a peer
// that hangs up or floods it, input it cannot use, answers that come after
// the caller has moved on.
#include "SocketTestKit.h"

#include "link/SocketControl.h"
#include "link/SocketErrors.h"
#include "support/Flood.h"
#include "support/HardReset.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <algorithm>

class tst_SocketControlFaults : public QObject {
    Q_OBJECT

private slots:
    void refused_data();
    void refused();
    void peerEndingIsNotAnError_data();
    void peerEndingIsNotAnError();
    void floodIsDropped();
    void badInputIsAnError_data();
    void badInputIsAnError();
    void reconnectAfterError_data();
    void reconnectAfterError();
    void refusedLocalPortIsReplaced_data();
    void refusedLocalPortIsReplaced();
    void lateAnswersAreDropped_data();
    void lateAnswersAreDropped();
};

void tst_SocketControlFaults::refused_data()
{
    addBoolRows("stopListening", "port of a closed listener", "listener stopped");
}

void tst_SocketControlFaults::refused()
{
    QFETCH(bool, stopListening);
    quint16 port = 0;
    LoopbackPeer peer;
    if (stopListening) {
        port = peer.port();
        peer.stopListening();
    } else {
        port = freePort();
    }
    QVERIFY(port != 0);
    SocketControl socket;
    SocketWatcher watcher(socket);
    aim(socket, Loopback, port);

    watcher.connectNow();
    QTRY_COMPARE_WITH_TIMEOUT(socket.State(), SocketState::Error, settleMs);
    QCOMPARE(watcher.errors.size(), 1);
    const SeenError& seen = watcher.errors.first();
    QCOMPARE(seen.number, qint16(10061));
    QCOMPARE(seen.description, QStringLiteral("Connection refused"));
    QCOMPARE(seen.scode, 10061);
    QCOMPARE(seen.source, QStringLiteral("Winsock"));
    QCOMPARE(seen.helpFile, QString());
    QCOMPARE(seen.helpContext, 0);
    QVERIFY(seen.hadCancelFlag);
    QCOMPARE(seen.cancelFlag, false);
    QVERIFY(!seen.duringCall);
    QCOMPARE(seen.stateSeen, SocketState::Error);
    QCOMPARE(watcher.states, (QList<qint16>{6, 9}));

    QSignalSpy errors(&socket, &SocketControl::Error);
    QVERIFY(!errors.wait(quietMs));
    QCOMPARE(socket.State(), SocketState::Error);
}

void tst_SocketControlFaults::peerEndingIsNotAnError_data()
{
    QTest::addColumn<bool>("reset");
    QTest::addColumn<bool>("keepSending");
    QTest::newRow("orderly close") << false << false;
    QTest::newRow("orderly close, while sending") << false << true;
    QTest::newRow("reset") << true << false;
    QTest::newRow("reset, while sending") << true << true;
}

void tst_SocketControlFaults::peerEndingIsNotAnError()
{
    QFETCH(bool, reset);
    QFETCH(bool, keepSending);
    QTcpServer server;
    SocketControl socket;
    SocketWatcher watcher(socket);
    QTcpSocket* peerSide = connectToNewServer(server, socket, watcher);
    QVERIFY(peerSide);

    if (reset) {
        if (!resetConnection(peerSide))
            QSKIP("cannot make the server side reset its connection here");
    } else {
        peerSide->disconnectFromHost();
    }
    QElapsedTimer clock;
    clock.start();
    while (socket.State() == SocketState::Connected && clock.elapsed() < settleMs) {
        if (keepSending)
            watcher.sendNow(QByteArray("5\0", 2));
        QTest::qWait(10);
    }
    QCOMPARE(socket.State(), SocketState::Closed);
    QCOMPARE(watcher.states, (QList<qint16>{6, 7, 0}));

    QSignalSpy changes(&socket, &SocketControl::stateChanged);
    QVERIFY(!changes.wait(quietMs));
    QVERIFY(watcher.errors.isEmpty());

    // And the next connection works as usual.
    watcher.connectNow();
    QTRY_COMPARE_WITH_TIMEOUT(socket.State(), SocketState::Connected, settleMs);
    QVERIFY(watcher.errors.isEmpty());
}

void tst_SocketControlFaults::floodIsDropped()
{
    QTcpServer server;
    SocketControl socket;
    SocketWatcher watcher(socket);
    QTcpSocket* peerSide = connectToNewServer(server, socket, watcher);
    QVERIFY(peerSide);

    // 40 MB, handed over as fast as the connection takes it.
    const qint64 before = residentBytes();
    Flood flood(peerSide, 40 * 1024 * 1024);
    QTRY_VERIFY_WITH_TIMEOUT(flood.finished(), 15000);

    // The flood could only get through if the client kept reading; it must
    // not have kept what it read.
    const qint64 growth = std::max(before, flood.peakResident()) - before;
    if (before > 0 && !AddressSanitizer)
        QVERIFY2(growth < 16 * 1024 * 1024,
                 qPrintable(QStringLiteral("memory grew by %1 bytes").arg(growth)));
    QCOMPARE(socket.State(), SocketState::Connected);
    QCOMPARE(watcher.states, (QList<qint16>{6, 7}));
    QVERIFY(watcher.errors.isEmpty());

    watcher.sendNow(QByteArray("6\0", 2));
    QTRY_COMPARE_WITH_TIMEOUT(peerSide->bytesAvailable(), qint64(2), settleMs);
    QCOMPARE(peerSide->readAll(), QByteArray("6\0", 2));
}

void tst_SocketControlFaults::badInputIsAnError_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("remotePort");
    QTest::addColumn<int>("localPort");
    QTest::addColumn<bool>("occupyLocalPort");
    QTest::addColumn<int>("number");
    // A remote port of 1 stands for the live server's port.
    QTest::newRow("remote port 0") << Loopback << 0 << 0 << false << 10049;
    QTest::newRow("remote port 70000") << Loopback << 70000 << 0 << false << 10049;
    QTest::newRow("remote port -1") << Loopback << -1 << 0 << false << 10049;
    QTest::newRow("bad port with a name")
        << QStringLiteral("localhost") << 0 << 0 << false << 10049;
    QTest::newRow("empty host") << QString() << 1 << 0 << false << 11001;
    QTest::newRow("unresolvable name")
        << QStringLiteral("no-such-host.invalid") << 1 << 0 << false << 11001;
    QTest::newRow("local port 70000") << Loopback << 1 << 70000 << false << 10049;
    QTest::newRow("local port -5") << Loopback << 1 << -5 << false << 10049;
    QTest::newRow("local port in use") << Loopback << 1 << 0 << true << 10048;
}

void tst_SocketControlFaults::badInputIsAnError()
{
    QFETCH(QString, host);
    QFETCH(int, remotePort);
    QFETCH(int, localPort);
    QFETCH(bool, occupyLocalPort);
    QFETCH(int, number);
    LoopbackPeer peer;
    QTcpServer occupant;
    if (occupyLocalPort) {
        QVERIFY(occupant.listen(QHostAddress::AnyIPv4, 0));
        localPort = occupant.serverPort();
    }
    SocketControl socket;
    SocketWatcher watcher(socket);
    aim(socket, host, remotePort == 1 ? peer.port() : remotePort, localPort);

    watcher.connectNow();
    QVERIFY(socket.State() != SocketState::Closed);
    QTRY_COMPARE_WITH_TIMEOUT(socket.State(), SocketState::Error, settleMs);
    QCOMPARE(watcher.errors.size(), 1);
    const SeenError& seen = watcher.errors.first();
    QCOMPARE(int(seen.number), number);
    QCOMPARE(seen.description, socketErrorDescription(seen.number));
    QCOMPARE(seen.source, QStringLiteral("Winsock"));
    QVERIFY(!seen.duringCall);
    QCOMPARE(seen.stateSeen, SocketState::Error);
    QVERIFY(watcher.statesMatched);

    QSignalSpy errors(&socket, &SocketControl::Error);
    QVERIFY(!errors.wait(quietMs));
    QCOMPARE(peer.connectionCount(), 0);
    watcher.closeNow();
    QCOMPARE(socket.State(), SocketState::Closed);
}

void tst_SocketControlFaults::reconnectAfterError_data()
{
    addBoolRows("closeFirst", "connect again at once", "close, then connect");
}

void tst_SocketControlFaults::reconnectAfterError()
{
    QFETCH(bool, closeFirst);
    LoopbackPeer peer;
    const quint16 refusing = freePort();
    const quint16 local = freePort();
    QVERIFY(refusing != 0 && local != 0 && refusing != local);
    SocketControl socket;
    SocketWatcher watcher(socket);

    // The same local port both times: a socket that was bound and failed
    // would refuse to bind it again.
    aim(socket, Loopback, refusing, local);
    watcher.connectNow();
    QTRY_COMPARE_WITH_TIMEOUT(socket.State(), SocketState::Error, settleMs);
    QCOMPARE(watcher.errors.size(), 1);
    if (closeFirst)
        watcher.closeNow();

    socket.setRemotePort(peer.port());
    watcher.connectNow();
    QTRY_COMPARE_WITH_TIMEOUT(socket.State(), SocketState::Connected, settleMs);
    QTRY_COMPARE_WITH_TIMEOUT(peer.connectionCount(), 1, settleMs);
    QCOMPARE(peer.lastClientPort(), local);
    watcher.sendNow(QByteArray("5\0", 2));
    QTRY_COMPARE_WITH_TIMEOUT(peer.received(), QByteArray("5\0", 2), settleMs);
    QCOMPARE(watcher.errors.size(), 1);
}

void tst_SocketControlFaults::refusedLocalPortIsReplaced_data()
{
    addBoolRows("anotherIsFree", "every port taken", "another port free");
}

void tst_SocketControlFaults::refusedLocalPortIsReplaced()
{
    QFETCH(bool, anotherIsFree);
    LoopbackPeer peer;
    // A port the system picked, held by a listener so that no bind gets it.
    QTcpServer holder;
    QVERIFY(holder.listen(QHostAddress::AnyIPv4, 0));
    const quint16 taken = holder.serverPort();
    const quint16 free = freePort();
    QVERIFY(free != 0 && free != taken);
    SocketControl socket;
    SocketWatcher watcher(socket);
    aim(socket, Loopback, peer.port(), taken);
    int asked = 0;
    socket.setLocalPortChooser([&] {
        ++asked;
        return anotherIsFree && asked == 2 ? free : taken;
    });

    watcher.connectNow();
    if (anotherIsFree) {
        QTRY_COMPARE_WITH_TIMEOUT(socket.State(), SocketState::Connected, settleMs);
        QTRY_COMPARE_WITH_TIMEOUT(peer.connectionCount(), 1, settleMs);
        QCOMPARE(peer.lastClientPort(), free);
        QCOMPARE(socket.LocalPort(), qint32(free));
        QVERIFY(watcher.errors.isEmpty());
    } else {
        // A few tries, then the system's refusal as it stands.
        QTRY_COMPARE_WITH_TIMEOUT(watcher.errors.size(), 1, settleMs);
        QCOMPARE(watcher.errors.first().number, SocketError::AddressInUse);
        QVERIFY2(asked >= 2 && asked <= 10, qPrintable(QString::number(asked)));
    }
}

void tst_SocketControlFaults::lateAnswersAreDropped_data()
{
    QTest::addColumn<QString>("firstHost");
    QTest::addColumn<bool>("firstPortBad");
    QTest::addColumn<bool>("thenConnect");
    QTest::newRow("queued error, then Close") << Loopback << true << false;
    QTest::newRow("pending lookup, then Close") << QStringLiteral("localhost") << false << false;
    QTest::newRow("queued error, then Connect") << Loopback << true << true;
    QTest::newRow("pending lookup, then Connect") << QStringLiteral("localhost") << false << true;
}

void tst_SocketControlFaults::lateAnswersAreDropped()
{
    QFETCH(QString, firstHost);
    QFETCH(bool, firstPortBad);
    QFETCH(bool, thenConnect);
    LoopbackPeer peer;
    SocketControl socket;
    SocketWatcher watcher(socket);
    aim(socket, firstHost, firstPortBad ? 0 : peer.port());

    watcher.connectNow();
    if (thenConnect) {
        aim(socket, Loopback, peer.port());
        watcher.connectNow();
        QTRY_COMPARE_WITH_TIMEOUT(socket.State(), SocketState::Connected, settleMs);
    } else {
        watcher.closeNow();
        QCOMPARE(socket.State(), SocketState::Closed);
    }
    const qint16 settled = socket.State();

    QSignalSpy changes(&socket, &SocketControl::stateChanged);
    QVERIFY(!changes.wait(quietMs));
    QCOMPARE(socket.State(), settled);
    QVERIFY(watcher.errors.isEmpty());
    QCOMPARE(peer.connectionCount(), thenConnect ? 1 : 0);
}

QTEST_GUILESS_MAIN(tst_SocketControlFaults)
#include "tst_SocketControlFaults.moc"
