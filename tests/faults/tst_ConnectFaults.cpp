// Connects that fail or are cut short, met through the main window: a host
// that does not exist, a port nobody listens on, and the program ending
// while a connect is still pending. The process first moves into a network
// namespace of its own, so nothing here can reach past loopback; what needs
// that namespace skips itself without it.
#include "console/frmMain.h"
#include "help/Version.h"
#include "link/SocketControl.h"
#include "settings/SettingsFile.h"
#include "settings/mdlMain.h"
#include "support/PrivateNetwork.h"
#include "support/WidgetTestCase.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWindow>

namespace {

// Reserved for names that must never resolve.
const QString UnknownHost = QStringLiteral("no-such-host.invalid");

} // namespace

class tst_ConnectFaults : public WidgetTestCase {
    Q_OBJECT

private slots:
    void initTestCase();

    void connectFails_data();
    void connectFails();
    void programEndsDuringPendingConnect_data();
    void programEndsDuringPendingConnect();

private:
    void tearDown() override;

    QString m_whyNoPrivateNetwork;
};

void tst_ConnectFaults::initTestCase()
{
    m_whyNoPrivateNetwork = PrivateNetwork::enter();
}

void tst_ConnectFaults::tearDown()
{
    if (PrivateNetwork::isEntered())
        QCOMPARE(PrivateNetwork::removeRules(), QString());
}

void tst_ConnectFaults::connectFails_data()
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

void tst_ConnectFaults::connectFails()
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
    QCOMPARE(box.title, QStringLiteral("Velmora v" VELMORA_VERSION));
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

void tst_ConnectFaults::programEndsDuringPendingConnect_data()
{
    QTest::addColumn<bool>("byKey");
    QTest::addColumn<bool>("byExitMenu");
    QTest::newRow("key waits, close box") << true << false;
    QTest::newRow("key waits, File > Exit") << true << true;
    QTest::newRow("button waits, close box") << false << false;
    QTest::newRow("button waits, File > Exit") << false << true;
}

void tst_ConnectFaults::programEndsDuringPendingConnect()
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

QTEST_MAIN(tst_ConnectFaults)
#include "tst_ConnectFaults.moc"
