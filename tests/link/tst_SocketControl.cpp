#include "SocketTestKit.h"

#include "link/SocketControl.h"
#include "link/SocketErrors.h"
#include "support/TestSupport.h"

#include <QHostAddress>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <cerrno>

#if defined(Q_OS_WIN)
#include <winsock2.h>
#endif

class tst_SocketControl : public QObject {
    Q_OBJECT

private slots:
    void stateTexts_data();
    void stateTexts();
    void qtErrorsMapToNumbers_data();
    void qtErrorsMapToNumbers();
    void systemErrorsMapToNumbers_data();
    void systemErrorsMapToNumbers();
    void propertiesReadBackExactly_data();
    void propertiesReadBackExactly();
    void stateSequence_data();
    void stateSequence();
    void sendsExactBytesFromTheChosenLocalPort();
    void sendLeavesBeforeReturning();
    void sendsNothingUnlessConnected();
    void closeIsImmediate_data();
    void closeIsImmediate();
    void destructionIsQuiet_data();
    void destructionIsQuiet();
};

void tst_SocketControl::stateTexts_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("text");
    const char* const texts[] = {
        "Closed",         "Open",          "Listening",  "Connection Pending",
        "Resolving Host", "Host Resolved", "Connecting", "Connected",
        "Closing",        "Error"};
    for (int state = 0; state < 10; ++state)
        QTest::addRow("%d", state) << state << QString::fromLatin1(texts[state]);
    QTest::newRow("-1") << -1 << QString();
    QTest::newRow("10") << 10 << QString();
    QTest::newRow("32767") << 32767 << QString();
}

void tst_SocketControl::stateTexts()
{
    QFETCH(int, state);
    QFETCH(QString, text);
    const QString shown = socketStateText(qint16(state));
    QCOMPARE(shown, text);
    QCOMPARE(shown.isNull(), text.isNull());
}

void tst_SocketControl::qtErrorsMapToNumbers_data()
{
    using E = QAbstractSocket::SocketError;
    QTest::addColumn<QAbstractSocket::SocketError>("error");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("description");
    QTest::newRow("refused") << E::ConnectionRefusedError << 10061
                             << QStringLiteral("Connection refused");
    QTest::newRow("host not found")
        << E::HostNotFoundError << 11001 << QStringLiteral("Host not found");
    QTest::newRow("time-out") << E::SocketTimeoutError << 10060
                              << QStringLiteral("Connection timed out");
    QTest::newRow("network") << E::NetworkError << 10060 << QStringLiteral("Connection timed out");
    QTest::newRow("address in use")
        << E::AddressInUseError << 10048 << QStringLiteral("Address already in use");
    QTest::newRow("address not available")
        << E::SocketAddressNotAvailableError << 10049 << QStringLiteral("Address not available");
    QTest::newRow("access") << E::SocketAccessError << 10013 << QStringLiteral("Permission denied");
    QTest::newRow("peer closed") << E::RemoteHostClosedError << 10054
                                 << QStringLiteral("Connection reset by peer");
    QTest::newRow("unknown") << E::UnknownSocketError << 10053
                             << QStringLiteral("Connection aborted");
}

void tst_SocketControl::qtErrorsMapToNumbers()
{
    QFETCH(QAbstractSocket::SocketError, error);
    QFETCH(int, number);
    QFETCH(QString, description);
    const SocketErrorInfo info = fromQtSocketError(error);
    QCOMPARE(int(info.number), number);
    QCOMPARE(info.description, description);
    QCOMPARE(socketErrorDescription(info.number), description);
}

void tst_SocketControl::systemErrorsMapToNumbers_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("number");
#if defined(Q_OS_WIN)
    // Winsock's own codes, which are the numbers a driver sees.
    QTest::newRow("timed out") << int(WSAETIMEDOUT) << 10060;
    QTest::newRow("host unreachable") << int(WSAEHOSTUNREACH) << 10065;
    QTest::newRow("network unreachable") << int(WSAENETUNREACH) << 10051;
    QTest::newRow("reset") << int(WSAECONNRESET) << 10054;
    QTest::newRow("refused") << int(WSAECONNREFUSED) << 10061;
    QTest::newRow("host not found") << int(WSAHOST_NOT_FOUND) << 11001;
    QTest::newRow("unrelated") << int(WSAEINTR) << 0;
#else
    QTest::newRow("timed out") << int(ETIMEDOUT) << 10060;
    QTest::newRow("host unreachable") << int(EHOSTUNREACH) << 10065;
    QTest::newRow("network unreachable") << int(ENETUNREACH) << 10051;
    QTest::newRow("reset") << int(ECONNRESET) << 10054;
    QTest::newRow("refused") << int(ECONNREFUSED) << 10061;
    QTest::newRow("unrelated") << int(ENOENT) << 0;
#endif
    QTest::newRow("no error") << 0 << 0;
}

void tst_SocketControl::systemErrorsMapToNumbers()
{
    QFETCH(int, code);
    QFETCH(int, number);
    const auto info = fromSystemError(code);
    QCOMPARE(info.has_value(), number != 0);
    if (info) {
        QCOMPARE(int(info->number), number);
        QCOMPARE(info->description, socketErrorDescription(info->number));
        QVERIFY(info->description != socketErrorDescription(0));
    }
    // A code without a description of ours is reported as itself, never as
    // another error.
    if (code != 0 && !info) {
        const SocketErrorInfo own = fromAnySystemError(code);
        QCOMPARE(int(own.number), code);
        QVERIFY(!own.description.isEmpty());
    }
}

void tst_SocketControl::propertiesReadBackExactly_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::newRow("address") << QStringLiteral("127.0.0.2") << 1500;
    QTest::newRow("name with spaces and case") << QStringLiteral(" Car.Local ") << 65535;
    QTest::newRow("empty, zero") << QString() << 0;
    QTest::newRow("negative port") << QStringLiteral("car") << -1;
    QTest::newRow("port too large") << QStringLiteral("car") << 70000;
    QTest::newRow("largest integer") << QStringLiteral("car") << 2147483647;
}

void tst_SocketControl::propertiesReadBackExactly()
{
    QFETCH(QString, host);
    QFETCH(int, port);
    SocketControl socket;
    QCOMPARE(socket.State(), SocketState::Closed);
    QCOMPARE(socket.connectTimeout(), 5000);

    socket.setRemoteHost(host);
    socket.setRemotePort(port);
    QCOMPARE(socket.RemoteHost(), host);
    QCOMPARE(socket.RemotePort(), port);

    // A failed attempt does not rewrite what was set. (A connect to any of
    // these values ends at once: the bad ones are refused before any packet
    // goes out, and the well-formed one never gets the chance.)
    if (port < 1 || port > 65535 || host.isEmpty()) {
        socket.Connect();
        QTRY_COMPARE_WITH_TIMEOUT(socket.State(), SocketState::Error, settleMs);
    }
    socket.Close();
    QCOMPARE(socket.RemoteHost(), host);
    QCOMPARE(socket.RemotePort(), port);
}

void tst_SocketControl::stateSequence_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QList<qint16>>("states");
    QTest::newRow("address") << Loopback << QList<qint16>{6, 7, 0};
    QTest::newRow("name") << QStringLiteral("localhost") << QList<qint16>{4, 5, 6, 7, 0};
}

void tst_SocketControl::stateSequence()
{
    QFETCH(QString, host);
    QFETCH(QList<qint16>, states);
    LoopbackPeer peer;
    SocketControl socket;
    SocketWatcher watcher(socket);
    aim(socket, host, peer.port());

    watcher.connectNow();
    QVERIFY(socket.State() != SocketState::Closed);
    QTRY_COMPARE_WITH_TIMEOUT(socket.State(), SocketState::Connected, settleMs);
    watcher.closeNow();
    QCOMPARE(socket.State(), SocketState::Closed);

    QCOMPARE(watcher.states, states);
    QVERIFY(watcher.statesMatched);
    QVERIFY(watcher.errors.isEmpty());
}

void tst_SocketControl::sendsExactBytesFromTheChosenLocalPort()
{
    LoopbackPeer peer;
    SocketControl socket;
    SocketWatcher watcher(socket);
    const quint16 local = freePort();
    QVERIFY(local != 0);
    aim(socket, Loopback, peer.port(), local);

    watcher.connectNow();
    QTRY_COMPARE_WITH_TIMEOUT(socket.State(), SocketState::Connected, settleMs);
    QTRY_COMPARE_WITH_TIMEOUT(peer.connectionCount(), 1, settleMs);
    QCOMPARE(peer.lastClientPort(), local);

    const QList<QByteArray> messages = {QByteArray("2\0", 2), QByteArray("5\0", 2),
                                        QByteArray("\0\0", 2), QByteArray("\xff", 1),
                                        QByteArray("9\0", 2)};
    QByteArray expected;
    for (const QByteArray& message : messages) {
        watcher.sendNow(message);
        expected += message;
    }
    QTRY_COMPARE_WITH_TIMEOUT(peer.received().size(), expected.size(), settleMs);
    QCOMPARE(peer.received(), expected);
    QVERIFY(watcher.errors.isEmpty());
}

void tst_SocketControl::sendLeavesBeforeReturning()
{
    QTcpServer server;
    SocketControl socket;
    SocketWatcher watcher(socket);
    QTcpSocket* peerSide = connectToNewServer(server, socket, watcher);
    QVERIFY(peerSide);

    // Waiting on the server's socket alone runs no event loop for the
    // client, so the bytes arrive only if SendData handed them over itself.
    for (const char* message : {"8\0", "4\0"}) {
        socket.SendData(QByteArray(message, 2));
        QVERIFY(peerSide->waitForReadyRead(settleMs));
        QCOMPARE(peerSide->readAll(), QByteArray(message, 2));
    }
}

void tst_SocketControl::sendsNothingUnlessConnected()
{
    LoopbackPeer peer;
    SocketControl socket;
    SocketWatcher watcher(socket);
    aim(socket, Loopback, peer.port());

    watcher.sendNow(QByteArray("1\0", 2));
    watcher.connectNow();
    QCOMPARE(socket.State(), SocketState::Connecting);
    watcher.sendNow(QByteArray("3\0", 2));
    QTRY_COMPARE_WITH_TIMEOUT(socket.State(), SocketState::Connected, settleMs);
    watcher.sendNow(QByteArray("7\0", 2));
    QTRY_COMPARE_WITH_TIMEOUT(peer.received(), QByteArray("7\0", 2), settleMs);
    watcher.closeNow();
    watcher.sendNow(QByteArray("9\0", 2));
    QTRY_COMPARE_WITH_TIMEOUT(peer.openConnections(), 0, settleMs);
    QCOMPARE(peer.received(), QByteArray("7\0", 2));
    QVERIFY(watcher.errors.isEmpty());
}

void tst_SocketControl::closeIsImmediate_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("live");
    QTest::addColumn<int>("closeAt");
    QTest::newRow("connected") << Loopback << true << int(SocketState::Connected);
    QTest::newRow("connecting") << Loopback << true << int(SocketState::Connecting);
    QTest::newRow("resolving") << QStringLiteral("localhost") << true
                               << int(SocketState::ResolvingHost);
    QTest::newRow("after an error") << Loopback << false << int(SocketState::Error);
}

void tst_SocketControl::closeIsImmediate()
{
    QFETCH(QString, host);
    QFETCH(bool, live);
    QFETCH(int, closeAt);
    LoopbackPeer peer;
    if (!live)
        peer.stopListening();
    SocketControl socket;
    SocketWatcher watcher(socket);
    aim(socket, host, peer.port());

    watcher.connectNow();
    QTRY_COMPARE_WITH_TIMEOUT(int(socket.State()), closeAt, settleMs);
    const qsizetype errorsBefore = watcher.errors.size();
    watcher.closeNow();
    QCOMPARE(socket.State(), SocketState::Closed);
    QCOMPARE(watcher.states.last(), SocketState::Closed);

    // Nothing of the ended attempt comes back later.
    QSignalSpy changes(&socket, &SocketControl::stateChanged);
    QVERIFY(!changes.wait(quietMs));
    QCOMPARE(socket.State(), SocketState::Closed);
    QCOMPARE(watcher.errors.size(), errorsBefore);
    QTRY_COMPARE_WITH_TIMEOUT(peer.openConnections(), 0, settleMs);
}

void tst_SocketControl::destructionIsQuiet_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("portBad");
    QTest::addColumn<bool>("waitForConnection");
    QTest::newRow("connected") << Loopback << false << true;
    QTest::newRow("lookup pending") << QStringLiteral("localhost") << false << false;
    QTest::newRow("error queued") << Loopback << true << false;
    QTest::newRow("connecting") << Loopback << false << false;
}

void tst_SocketControl::destructionIsQuiet()
{
    QFETCH(QString, host);
    QFETCH(bool, portBad);
    QFETCH(bool, waitForConnection);
    LoopbackPeer peer;
    auto* socket = new SocketControl;
    int signalsAfterDelete = 0;
    bool deleted = false;
    QObject context;
    connect(socket, &SocketControl::stateChanged, &context, [&] { signalsAfterDelete += deleted; });
    connect(socket, &SocketControl::Error, &context, [&] { signalsAfterDelete += deleted; });
    aim(*socket, host, portBad ? 0 : peer.port());
    socket->Connect();
    if (waitForConnection)
        QTRY_COMPARE_WITH_TIMEOUT(socket->State(), SocketState::Connected, settleMs);

    // Flag first: the destructor itself must say nothing either.
    deleted = true;
    delete socket;
    QTest::qWait(quietMs);
    QCOMPARE(signalsAfterDelete, 0);
    QTRY_COMPARE_WITH_TIMEOUT(peer.openConnections(), 0, settleMs);
}

QTEST_GUILESS_MAIN(tst_SocketControl)
#include "tst_SocketControl.moc"
