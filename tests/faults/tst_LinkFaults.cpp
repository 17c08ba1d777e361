// Faults of the network, met through the main window: a server that resets
// the connection or hangs up at once, a server that floods us, a host that
// does not exist, a port nobody listens on, and the program ending while a
// connect is still pending. The process first moves into a network namespace
// of its own, so nothing here can reach past loopback; what needs that
// namespace skips itself without it.
#include "console/frmMain.h"
#include "link/SocketControl.h"
#include "settings/SettingsFile.h"
#include "settings/mdlMain.h"
#include "support/Flood.h"
#include "support/HardReset.h"
#include "support/PrivateNetwork.h"
#include "support/WidgetTestCase.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <algorithm>

namespace {

// Reserved for names that must never resolve.
const QString UnknownHost = QStringLiteral("no-such-host.invalid");

constexpr qint64 MiB = 1024 * 1024;
constexpr qint64 FloodBytes = 100 * MiB;
constexpr qint64 AllowedGrowth = 10 * MiB;

} // namespace

class tst_LinkFaults : public WidgetTestCase {
    Q_OBJECT

private slots:
    void initTestCase();

    void peerResetsMidStream_data();
    void peerResetsMidStream();
    void peerHangsUpAtOnce_data();
    void peerHangsUpAtOnce();
    void floodFromThePeer();
    void connectFails_data();
    void connectFails();
    void programEndsDuringPendingConnect_data();
    void programEndsDuringPendingConnect();

private:
    void tearDown() override;

    QString m_whyNoPrivateNetwork;
};

void tst_LinkFaults::initTestCase()
{
    m_whyNoPrivateNetwork = PrivateNetwork::enter();
}

void tst_LinkFaults::tearDown()
{
    if (PrivateNetwork::isEntered())
        QCOMPARE(PrivateNetwork::removeRules(), QString());
}

void tst_LinkFaults::peerResetsMidStream_data()
{
    addBoolRows("keysGoOn", "reset between keys", "reset while a held key repeats");
}

void tst_LinkFaults::peerResetsMidStream()
{
    QFETCH(bool, keysGoOn);
    LoopbackPeer peer;
    auto w = openMainWindow(dir(), Loopback, peer.portText());
    const MainControls ui(*w);
    QList<qint16> states;
    connect(ui.Winsock, &SocketControl::stateChanged, this,
            [&states](qint16 state) { states << state; });

    // A held key: its press, then presses from the auto-repeat.
    sendKey(*w, QEvent::KeyPress, Qt::Key_Up);
    for (int i = 0; i < 10; ++i)
        sendKey(*w, QEvent::KeyPress, Qt::Key_Up, {}, true);
    QTRY_VERIFY_WITH_TIMEOUT(QRegularExpression(QStringLiteral("^2{11,}$"))
                                 .match(decodeDriveStream(peer.received()))
                                 .hasMatch(),
                             Timeout);
    QCOMPARE(peer.clients().size(), 1);
    peer.clearReceived();

    resetConnection(peer.clients().first());
    if (keysGoOn) {
        // The next repeats write into the reset connection before the
        // program has seen the reset, then open a new one and drive on.
        for (int i = 0; i < 10; ++i)
            sendKey(*w, QEvent::KeyPress, Qt::Key_Up, {}, true);
        QCOMPARE(ui.Winsock->State(), SocketState::Connected);
        QTRY_COMPARE_WITH_TIMEOUT(peer.connectionCount(), 2, Timeout);
        QTRY_VERIFY_WITH_TIMEOUT(peer.received().size() >= 16, Timeout);
        const QString codes = decodeDriveStream(peer.received());
        QCOMPARE(codes, QString(codes.size(), QLatin1Char('2')));
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(ui.Winsock->State(), SocketState::Closed, Timeout);
        QTRY_COMPARE_WITH_TIMEOUT(ui.lblWinsock->text(), QStringLiteral("Closed"), Timeout);
        QCOMPARE(peer.connectionCount(), 1);
        // The next key connects again by itself.
        sendKey(*w, QEvent::KeyPress, Qt::Key_Up, {}, true);
        QCOMPARE(ui.Winsock->State(), SocketState::Connected);
        QTRY_COMPARE_WITH_TIMEOUT(decodeDriveStream(peer.received()), QStringLiteral("2"), Timeout);
        QCOMPARE(peer.connectionCount(), 2);
    }

    sendKey(*w, QEvent::KeyRelease, Qt::Key_Up);
    QTRY_VERIFY_WITH_TIMEOUT(decodeDriveStream(peer.received()).endsWith(QLatin1Char('5')),
                             Timeout);
    QCOMPARE(ui.lblWinsock->text(), QStringLiteral("Connected"));
    // A server that went away is no error for the driver to acknowledge.
    QVERIFY(watcher().seen().isEmpty());
    QVERIFY(!states.contains(SocketState::Error));
    QVERIFY(states.contains(SocketState::Closed));
}

void tst_LinkFaults::peerHangsUpAtOnce_data()
{
    QTest::addColumn<bool>("byKey");
    QTest::addColumn<bool>("withReset");
    QTest::newRow("key, orderly close") << true << false;
    QTest::newRow("key, reset") << true << true;
    QTest::newRow("button, orderly close") << false << false;
    QTest::newRow("button, reset") << false << true;
}

void tst_LinkFaults::peerHangsUpAtOnce()
{
    QFETCH(bool, byKey);
    QFETCH(bool, withReset);
    LoopbackPeer peer;
    bool hangUp = true;
    connect(&peer, &LoopbackPeer::clientConnected, this, [&] {
        if (!hangUp)
            return;
        QTcpSocket* client = peer.clients().last();
        if (withReset)
            resetConnection(client);
        else
            client->disconnectFromHost();
    });
    auto w = openMainWindow(dir(), Loopback, peer.portText());
    const MainControls ui(*w);

    // The wait for the connection ends however the server's hang-up lands,
    // long before the connect time-out would end it.
    QElapsedTimer clock;
    clock.start();
    if (byKey)
        QTest::keyPress(w->windowHandle(), Qt::Key_Up);
    else
        QTest::mouseClick(ui.cmdOpenClose, Qt::LeftButton);
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QStringLiteral("waited %1 ms; %2 connections")
                                                    .arg(clock.elapsed())
                                                    .arg(peer.connectionCount())));

    QTRY_COMPARE_WITH_TIMEOUT(ui.Winsock->State(), SocketState::Closed, Timeout);
    QTRY_COMPARE_WITH_TIMEOUT(ui.lblWinsock->text(), QStringLiteral("Closed"), Timeout);
    QCOMPARE(peer.connectionCount(), 1);
    QVERIFY(watcher().seen().isEmpty());

    // Once the server stays, the next key connects and drives.
    hangUp = false;
    peer.clearReceived();
    QTest::keyClick(w->windowHandle(), Qt::Key_Down);
    QTRY_VERIFY_WITH_TIMEOUT(QRegularExpression(QStringLiteral("85+$"))
                                 .match(decodeDriveStream(peer.received()))
                                 .hasMatch(),
                             Timeout);
    QCOMPARE(peer.connectionCount(), 2);
    QCOMPARE(ui.Winsock->State(), SocketState::Connected);
    QCOMPARE(ui.cmdOpenClose->text(), QStringLiteral("&Close Comm"));
    QVERIFY(watcher().seen().isEmpty());
}

void tst_LinkFaults::floodFromThePeer()
{
    if (residentBytes() < 0)
        QSKIP("the resident memory of the process cannot be read here");
    LoopbackPeer peer;
    auto w = openMainWindow(dir(), Loopback, peer.portText());
    const MainControls ui(*w);
    QTest::keyClick(w->windowHandle(), Qt::Key_Down);
    QTRY_VERIFY_WITH_TIMEOUT(QRegularExpression(QStringLiteral("^85+$"))
                                 .match(decodeDriveStream(peer.received()))
                                 .hasMatch(),
                             Timeout);
    QCOMPARE(peer.clients().size(), 1);
    const qint64 before = residentBytes();

    // A key in the middle of the flood goes out at once.
    peer.clearReceived();
    QElapsedTimer clock;
    qint64 arrivedAfter = -1;
    qint64 floodedBeforeArrival = -1;
    Flood flood(peer.clients().first(), FloodBytes, [&] {
        clock.start();
        QTest::keyPress(w->windowHandle(), Qt::Key_Up);
    });
    connect(&peer, &LoopbackPeer::bytesArrived, this, [&] {
        if (arrivedAfter < 0 && decodeDriveStream(peer.received()).contains(QLatin1Char('2'))) {
            arrivedAfter = clock.elapsed();
            floodedBeforeArrival = flood.written();
        }
    });
    QTRY_VERIFY_WITH_TIMEOUT(arrivedAfter >= 0, Timeout);
    QVERIFY2(arrivedAfter < 500, qPrintable(QStringLiteral("%1 ms").arg(arrivedAfter)));
#if !defined(Q_OS_WIN)
    // On Windows the peer's read notice queues behind the flood's own write
    // notices in this one process, so it may see the key only after the
    // flood; the time above is what the driver feels there.
    QVERIFY2(floodedBeforeArrival < FloodBytes, "the flood was over before the key went out");
#endif

    // The program takes everything off the wire, so a server that talks
    // cannot wedge itself writing to us.
    QTRY_VERIFY_WITH_TIMEOUT(flood.finished(), 20000);
    QTest::keyRelease(w->windowHandle(), Qt::Key_Up);
    QTRY_VERIFY_WITH_TIMEOUT(decodeDriveStream(peer.received()).endsWith(QLatin1Char('5')),
                             Timeout);

    QCOMPARE(ui.Winsock->State(), SocketState::Connected);
    QCOMPARE(peer.connectionCount(), 1);
    QVERIFY(watcher().seen().isEmpty());

    const qint64 growth = std::max(flood.peakResident(), residentBytes()) - before;
    if (AddressSanitizer)
        QSKIP("memory figures say nothing here: the address sanitizer holds freed memory back");
    QVERIFY2(growth < AllowedGrowth, qPrintable(QStringLiteral("grew by %1 KiB while taking %2 MiB")
                                                    .arg(growth / 1024)
                                                    .arg(FloodBytes / MiB)));
}

void tst_LinkFaults::connectFails_data()
{
    QTest::addColumn<bool>("unknownHost");
    QTest::addColumn<bool>("byKey");
    QTest::addColumn<QString>("firstLine");
    const QString notFound = QStringLiteral("Winsock Error #11001\r\n");
    const QString refused = QStringLiteral("Winsock Error #10061\r\n");
    QTest::newRow("unknown host, key") << true << true << notFound;
    QTest::newRow("unknown host, button") << true << false << notFound;
    QTest::newRow("no listener, key") << false << true << refused;
    QTest::newRow("no listener, button") << false << false << refused;
}

void tst_LinkFaults::connectFails()
{
    QFETCH(bool, unknownHost);
    QFETCH(bool, byKey);
    QFETCH(QString, firstLine);
    // Looking a name up asks a name server; only where that cannot leave
    // this machine's loopback.
    if (unknownHost && !PrivateNetwork::isEntered())
        QSKIP(qPrintable(m_whyNoPrivateNetwork));
    LoopbackPeer peer;
    if (!unknownHost)
        peer.stopListening();
    auto w = openMainWindow(dir(), unknownHost ? UnknownHost : Loopback, peer.portText());
    const MainControls ui(*w);

    if (byKey)
        QTest::keyClick(w->windowHandle(), Qt::Key_Up);
    else
        QTest::mouseClick(ui.cmdOpenClose, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(watcher().seen().size(), 1, Timeout);
    const SeenMessage box = watcher().seen().first();
    QCOMPARE(box.title, QStringLiteral("Velmora v0.2"));
    QCOMPARE(box.icon, QMessageBox::Information);
    QVERIFY2(box.text.startsWith(firstLine), qPrintable(box.text));
    QVERIFY2(box.text.endsWith(QStringLiteral("\r\nSource: Winsock")), qPrintable(box.text));
    // Offscreen has no window manager to hand the focus back after a box.
    QVERIFY(activate(*w));
    QCOMPARE(ui.Winsock->State(), SocketState::Error);
    QTRY_COMPARE_WITH_TIMEOUT(ui.lblWinsock->text(), QStringLiteral("Error"), Timeout);
    QCOMPARE(ui.cmdOpenClose->text(), QStringLiteral("&Open Comm"));

    // The window stays usable: keys move the grid, without a new attempt or
    // a second message, and the menus answer.
    QTest::keyPress(w->windowHandle(), Qt::Key_Right);
    QCOMPARE(greenSquare(*w), 6);
    QTest::keyRelease(w->windowHandle(), Qt::Key_Right);
    QCOMPARE(greenSquare(*w), 5);
    control<QAction>(*w, "mnuAbout")->trigger();
    QCOMPARE(watcher().seen().size(), 2);
    QVERIFY(activate(*w));
    QCOMPARE(ui.Winsock->State(), SocketState::Error);
    QCOMPARE(peer.connectionCount(), 0);

    if (unknownHost) {
        // Mended settings name another host, so the next key closes the
        // failed socket and connects anew, no click needed.
        mdlMain::RemoteHost = SettingValue::fromText(Loopback);
    } else {
        // Same settings: the button clears the error; then the server is up.
        QTest::mouseClick(ui.cmdOpenClose, Qt::LeftButton);
        QCOMPARE(ui.Winsock->State(), SocketState::Closed);
        QCOMPARE(ui.lblWinsock->text(), QStringLiteral("Closed"));
        QVERIFY(peer.listenAgain());
    }
    QTest::keyPress(w->windowHandle(), Qt::Key_Left);
    QCOMPARE(ui.Winsock->State(), SocketState::Connected);
    QCOMPARE(ui.lblWinsock->text(), QStringLiteral("Connected"));
    QCOMPARE(ui.cmdOpenClose->text(), QStringLiteral("&Close Comm"));
    QTRY_VERIFY_WITH_TIMEOUT(QRegularExpression(QStringLiteral("^4+$"))
                                 .match(decodeDriveStream(peer.received()))
                                 .hasMatch(),
                             Timeout);
    QCOMPARE(peer.connectionCount(), 1);
    QCOMPARE(watcher().seen().size(), 2);
}

void tst_LinkFaults::programEndsDuringPendingConnect_data()
{
    QTest::addColumn<bool>("byKey");
    QTest::addColumn<bool>("byExitMenu");
    QTest::newRow("key waits, close box") << true << false;
    QTest::newRow("key waits, File > Exit") << true << true;
    QTest::newRow("button waits, close box") << false << false;
    QTest::newRow("button waits, File > Exit") << false << true;
}

void tst_LinkFaults::programEndsDuringPendingConnect()
{
    QFETCH(bool, byKey);
    QFETCH(bool, byExitMenu);
    if (!PrivateNetwork::isEntered())
        QSKIP(qPrintable(m_whyNoPrivateNetwork));
    LoopbackPeer peer;
    QCOMPARE(PrivateNetwork::dropConnectionsTo(peer.port()), QString());
    auto w = openMainWindow(dir(), Loopback, peer.portText());
    frmMain* window = w.get();
    // The file on disk now differs from what the exit must write.
    dir().writeRaw("stale");

    // Run the program's own event loop, as main() does: a drive key or the
    // button starts a connect that never completes, and the driver closes
    // the window from inside that wait.
    bool handlerReturned = false;
    qint16 stateWhileWaiting = -1;
    QTimer::singleShot(0, window, [&] {
        if (byKey)
            QTest::keyPress(window->windowHandle(), Qt::Key_Up);
        else
            QTest::mouseClick(control<QPushButton>(*window, "cmdOpenClose"), Qt::LeftButton);
        handlerReturned = true;
    });
    QTimer::singleShot(300, window, [&] {
        stateWhileWaiting = control<SocketControl>(*window, "Winsock")->State();
        if (byExitMenu)
            control<QAction>(*window, "mnuExit")->trigger();
        else
            window->windowHandle()->close();
    });
    bool gaveUp = false;
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, this, [&gaveUp] {
        gaveUp = true;
        QCoreApplication::exit(1);
    });
    guard.start(Timeout);
    QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
    const bool quitOnLast = QGuiApplication::quitOnLastWindowClosed();
    QGuiApplication::setQuitOnLastWindowClosed(true);
    const int exitCode = QApplication::exec();
    QGuiApplication::setQuitOnLastWindowClosed(quitOnLast);
    guard.stop();

    QVERIFY2(!gaveUp, "the event loop did not end after the last window closed");
    QCOMPARE(exitCode, 0);
    QCOMPARE(lastClosed.count(), 1);
    QVERIFY(handlerReturned);
    QCOMPARE(stateWhileWaiting, SocketState::Connecting);
    QVERIFY(!window->isVisible());
    QCOMPARE(control<SocketControl>(*window, "Winsock")->State(), SocketState::Closed);
    QCOMPARE(dir().readRaw(), formatSettingsFile(peer.portText(), Loopback));
    QVERIFY(watcher().seen().isEmpty());

    // As at the end of main(): the window goes right after the loop. What it
    // left queued must find nothing of it.
    w.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    // The attempt died with the window: once connects pass again, no late
    // retry of it reaches the server.
    QCOMPARE(PrivateNetwork::removeRules(), QString());
    QSignalSpy connected(&peer, &LoopbackPeer::clientConnected);
    QVERIFY(!connected.wait(1500));
    QCOMPARE(peer.connectionCount(), 0);
}

QTEST_MAIN(tst_LinkFaults)
#include "tst_LinkFaults.moc"
