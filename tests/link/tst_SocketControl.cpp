#include "SocketTestKit.h"

#include "link/SocketControl.h"
#include "link/SocketErrors.h"
#include "support/HardReset.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <cerrno>

#if defined(Q_OS_WIN)
#include <winsock2.h>
#else
#include <unistd.h>
#endif

namespace {

constexpr int settleMs = 5000;
// Long enough for a stray queued signal to show up.
constexpr int quietMs = 300;

const QString loopback = QStringLiteral("127.0.0.1");

// Memory in use by this process, or -1 where it cannot be read.
qint64 residentBytes()
{
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer holds freed memory back on purpose to catch late use,
    // so the size of the process says nothing about what the socket keeps.
    return -1;
#else
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    if (fields.size() < 2)
        return -1;
#if defined(Q_OS_UNIX)
    return fields.at(1).toLongLong() * ::sysconf(_SC_PAGESIZE);
#else
    return -1;
#endif
#endif
}

void aim(SocketControl& socket, const QString& host, qint32 port, qint32 localPort = 0)
{
    socket.setRemoteHost(host);
    socket.setRemotePort(port);
    socket.setLocalPort(localPort);
}

} // namespace

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
    void refused_data();
    void refused();
    void peerEndingIsNotAnError_data();
    void peerEndingIsNotAnError();
    void floodIsDropped();
    void badInputIsAnError_data();
    void badInputIsAnError();
    void reconnectAfterError_data();
    void reconnectAfterError();
    void lateAnswersAreDropped_data();
    void lateAnswersAreDropped();
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
    QTest::newRow("address") << loopback << QList<qint16>{6, 7, 0};
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
    aim(socket, loopback, peer.port(), local);

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
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    SocketControl socket;
    aim(socket, loopback, server.serverPort());
    socket.Connect();
    QTRY_COMPARE_WITH_TIMEOUT(socket.State(), SocketState::Connected, settleMs);
    QTRY_VERIFY_WITH_TIMEOUT(server.hasPendingConnections(), settleMs);
    QTcpSocket* peerSide = server.nextPendingConnection();

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
    aim(socket, loopback, peer.port());

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
    QTest::newRow("connected") << loopback << true << int(SocketState::Connected);
    QTest::newRow("connecting") << loopback << true << int(SocketState::Connecting);
    QTest::newRow("resolving") << QStringLiteral("localhost") << true
                               << int(SocketState::ResolvingHost);
    QTest::newRow("after an error") << loopback << false << int(SocketState::Error);
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

void tst_SocketControl::refused_data()
{
    QTest::addColumn<bool>("stopListening");
    QTest::newRow("listener stopped") << true;
    QTest::newRow("port of a closed listener") << false;
}

void tst_SocketControl::refused()
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
    aim(socket, loopback, port);

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

void tst_SocketControl::peerEndingIsNotAnError_data()
{
    QTest::addColumn<bool>("reset");
    QTest::addColumn<bool>("keepSending");
    QTest::newRow("orderly close") << false << false;
    QTest::newRow("orderly close, while sending") << false << true;
    QTest::newRow("reset") << true << false;
    QTest::newRow("reset, while sending") << true << true;
}

void tst_SocketControl::peerEndingIsNotAnError()
{
    QFETCH(bool, reset);
    QFETCH(bool, keepSending);
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    SocketControl socket;
    SocketWatcher watcher(socket);
    aim(socket, loopback, server.serverPort());
    watcher.connectNow();
    QTRY_COMPARE_WITH_TIMEOUT(socket.State(), SocketState::Connected, settleMs);
    QTRY_VERIFY_WITH_TIMEOUT(server.hasPendingConnections(), settleMs);
    QTcpSocket* peerSide = server.nextPendingConnection();

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

void tst_SocketControl::floodIsDropped()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    SocketControl socket;
    SocketWatcher watcher(socket);
    aim(socket, loopback, server.serverPort());
    watcher.connectNow();
    QTRY_COMPARE_WITH_TIMEOUT(socket.State(), SocketState::Connected, settleMs);
    QTRY_VERIFY_WITH_TIMEOUT(server.hasPendingConnections(), settleMs);
    QTcpSocket* peerSide = server.nextPendingConnection();

    // 40 MB, handed over as fast as the connection takes it, with no more
    // than about a megabyte queued on the server's side at any time.
    constexpr qint64 total = 40 * 1024 * 1024;
    const QByteArray chunk(256 * 1024, 'x');
    qint64 queued = 0;
    const qint64 before = residentBytes();
    qint64 peak = before;
    QObject context;
    auto feed = [&] {
        while (queued < total && peerSide->bytesToWrite() < 1024 * 1024) {
            peerSide->write(chunk);
            queued += chunk.size();
        }
        peak = qMax(peak, residentBytes());
    };
    connect(peerSide, &QTcpSocket::bytesWritten, &context, feed);
    feed();
    QTRY_VERIFY_WITH_TIMEOUT(queued == total && peerSide->bytesToWrite() == 0, 15000);

    // The flood could only get through if the client kept reading; it must
    // not have kept what it read.
    if (before > 0)
        QVERIFY2(peak - before < 16 * 1024 * 1024,
                 qPrintable(QStringLiteral("memory grew by %1 bytes").arg(peak - before)));
    QCOMPARE(socket.State(), SocketState::Connected);
    QCOMPARE(watcher.states, (QList<qint16>{6, 7}));
    QVERIFY(watcher.errors.isEmpty());

    watcher.sendNow(QByteArray("6\0", 2));
    QTRY_COMPARE_WITH_TIMEOUT(peerSide->bytesAvailable(), qint64(2), settleMs);
    QCOMPARE(peerSide->readAll(), QByteArray("6\0", 2));
}

void tst_SocketControl::badInputIsAnError_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("remotePort");
    QTest::addColumn<int>("localPort");
    QTest::addColumn<bool>("occupyLocalPort");
    QTest::addColumn<int>("number");
    // A remote port of 1 stands for the live server's port.
    QTest::newRow("remote port 0") << loopback << 0 << 0 << false << 10049;
    QTest::newRow("remote port 70000") << loopback << 70000 << 0 << false << 10049;
    QTest::newRow("remote port -1") << loopback << -1 << 0 << false << 10049;
    QTest::newRow("bad port with a name")
        << QStringLiteral("localhost") << 0 << 0 << false << 10049;
    QTest::newRow("empty host") << QString() << 1 << 0 << false << 11001;
    QTest::newRow("unresolvable name")
        << QStringLiteral("no-such-host.invalid") << 1 << 0 << false << 11001;
    QTest::newRow("local port 70000") << loopback << 1 << 70000 << false << 10049;
    QTest::newRow("local port -5") << loopback << 1 << -5 << false << 10049;
    QTest::newRow("local port in use") << loopback << 1 << 0 << true << 10048;
}

void tst_SocketControl::badInputIsAnError()
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

void tst_SocketControl::reconnectAfterError_data()
{
    QTest::addColumn<bool>("closeFirst");
    QTest::newRow("connect again at once") << false;
    QTest::newRow("close, then connect") << true;
}

void tst_SocketControl::reconnectAfterError()
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
    aim(socket, loopback, refusing, local);
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

void tst_SocketControl::lateAnswersAreDropped_data()
{
    QTest::addColumn<QString>("firstHost");
    QTest::addColumn<bool>("firstPortBad");
    QTest::addColumn<bool>("thenConnect");
    QTest::newRow("queued error, then Close") << loopback << true << false;
    QTest::newRow("pending lookup, then Close") << QStringLiteral("localhost") << false << false;
    QTest::newRow("queued error, then Connect") << loopback << true << true;
    QTest::newRow("pending lookup, then Connect") << QStringLiteral("localhost") << false << true;
}

void tst_SocketControl::lateAnswersAreDropped()
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
        aim(socket, loopback, peer.port());
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

void tst_SocketControl::destructionIsQuiet_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("portBad");
    QTest::addColumn<bool>("waitForConnection");
    QTest::newRow("connected") << loopback << false << true;
    QTest::newRow("lookup pending") << QStringLiteral("localhost") << false << false;
    QTest::newRow("error queued") << loopback << true << false;
    QTest::newRow("connecting") << loopback << false << false;
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
