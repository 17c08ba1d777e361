// Connecting to an address with Winsock started by nobody but Velmora, as on
// a real Windows. Wine's own libraries start Winsock while a process loads,
// so every start this process has is ended first; the simulator, in a
// process of its own, stands in for the car, so that no socket of this
// process needs Winsock before the connect.
#include "SocketTestKit.h"

#include "link/SocketControl.h"
#include "support/TestSupport.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <winsock2.h>

namespace {

// Ends every start of Winsock in this process; true once Winsock says that
// it is not started.
bool endEveryStart()
{
    for (int i = 0; i < 100; ++i) {
        if (::WSACleanup() == SOCKET_ERROR)
            return ::WSAGetLastError() == WSANOTINITIALISED;
    }
    return false;
}

} // namespace

class tst_WinsockStart : public QObject {
    Q_OBJECT

private slots:
    void connectsWithWinsockNotStarted();
};

void tst_WinsockStart::connectsWithWinsockNotStarted()
{
    QProcess simulator;
    simulator.start(QStringLiteral(VELMORA_CARSIM_PATH),
                    {QStringLiteral("--listen"), Loopback, QStringLiteral("--port"),
                     QStringLiteral("0"), QStringLiteral("--no-camera")});
    const QRegularExpression listening(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)"));
    QString output;
    const auto seen = [&](const QRegularExpression& pattern) {
        return QTest::qWaitFor(
            [&] {
                output += QString::fromLocal8Bit(simulator.readAllStandardOutput());
                return pattern.match(output).hasMatch();
            },
            settleMs);
    };
    QVERIFY2(seen(listening), qPrintable(output));
    const quint16 port = listening.match(output).captured(1).toUShort();

    QVERIFY(endEveryStart());
    {
        SocketControl socket;
        SocketWatcher watcher(socket);
        aim(socket, Loopback, port);
        watcher.connectNow();
        QTRY_COMPARE_WITH_TIMEOUT(socket.State(), SocketState::Connected, settleMs);
        watcher.sendNow(QByteArray("2\0", 2));
        // The simulator names each command it gets after the time.
        QVERIFY2(seen(QRegularExpression(QStringLiteral(" 2 \\w+"))), qPrintable(output));
        QVERIFY(watcher.errors.isEmpty());
    }
    // Velmora ended its own start with the socket. What may be left is the
    // one start Qt makes at its first socket and keeps for the process.
    ::WSACleanup();
    QCOMPARE(::WSACleanup(), SOCKET_ERROR);
    QCOMPARE(::WSAGetLastError(), WSANOTINITIALISED);
    simulator.kill();
    simulator.waitForFinished(settleMs);
}

QTEST_MAIN(tst_WinsockStart)
#include "tst_WinsockStart.moc"
