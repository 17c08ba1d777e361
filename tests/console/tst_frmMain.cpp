// The main window on the offscreen platform: its layout, menus, key preview,
// grid and the stop when it loses the focus. Keys go through the window's
// native window, as the platform delivers them.
#include "camera/frmCamera.h"
#include "console/Colours.h"
#include "console/frmMain.h"
#include "link/SocketControl.h"
#include "support/WidgetTestCase.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <QWindow>

namespace {

quint32 colourOf(const QWidget* panel)
{
    return toPacked(panel->palette().color(QPalette::Window));
}

} // namespace

class tst_frmMain : public WidgetTestCase {
    Q_OBJECT

private slots:
    void windowAndControls();
    void menus();
    void gridAtStart();
    void labelEmptyUntilFirstTick();
    void keysDriveAndPaint_data();
    void keysDriveAndPaint();
    void keySequences();
    void autoRepeatReleaseIsNotARelease();
    void otherKeysChangeNothing();
    void altAloneLeavesDriveKeysDriving();
    void keysIgnoredWhileAnotherWindowIsActive();
    void focusLossStopsTheCar();
    void focusLossNeverConnects();
    void cameraWindowDrivesWithEveryStop();
    void unloadClosesSocketThenWritesSettings();
    void exitMenuClosesTheWindow();
};

void tst_frmMain::windowAndControls()
{
    dir().writeSettings(Loopback, QStringLiteral("1"));
    frmMain w(dir().path());
    const MainControls ui(w);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    QCOMPARE(w.windowTitle(), QStringLiteral("Velmora"));
    QCOMPARE(w.centralWidget()->size(), QSize(500, 500));
    QCOMPARE(ui.cmdOpenClose->geometry(), QRect(100, 25, 99, 50));
    QCOMPARE(ui.cmdOpenClose->text(), QStringLiteral("&Open Comm"));
    QCOMPARE(ui.lblWinsock->geometry(), QRect(300, 25, 99, 50));
    QCOMPARE(w.appDir(), dir().path());
    QVERIFY(ui.tmrRepeat->isActive());
    QCOMPARE(ui.tmrRepeat->interval(), 1000);
    QCOMPARE(ui.Winsock->State(), SocketState::Closed);
    QCOMPARE(w.throttle(), qint16(1));
    QCOMPARE(w.steering(), qint16(1));

    // Resizing moves and resizes nothing.
    w.resize(800, 700);
    QTRY_COMPARE(w.centralWidget()->width(), 800);
    QCOMPARE(ui.cmdOpenClose->geometry(), QRect(100, 25, 99, 50));
    QCOMPARE(gridSquare(w, 9)->geometry(), QRect(300, 300, 99, 99));
}

void tst_frmMain::menus()
{
    dir().writeSettings(Loopback, QStringLiteral("1"));
    frmMain w(dir().path());
    QStringList titles;
    for (QAction* menu : w.menuBar()->actions())
        titles << menu->text();
    QCOMPARE(titles, (QStringList{"&File", "&Settings", "&View", "&Help"}));

    auto captions = [&w](const char* menu) {
        QStringList texts;
        for (QAction* item : control<QMenu>(w, menu)->actions())
            texts << (item->isSeparator() ? QStringLiteral("-") : item->text());
        return texts;
    };
    QCOMPARE(captions("mnuFile"), (QStringList{"&Exit"}));
    QCOMPARE(captions("mnuSettings"),
             (QStringList{"&COM Port...", "&Data...", "&Keys...", "Ca&mera..."}));
    QCOMPARE(captions("mnuView"), (QStringList{"&Camera"}));
    QCOMPARE(captions("mnuHelp"), (QStringList{"&How to use...", "-", "&About..."}));
    QVERIFY(control<QAction>(w, "mnuHelpBar")->isSeparator());

    QVERIFY(control<QAction>(w, "mnuExit")->isEnabled());
    QVERIFY(control<QAction>(w, "mnuCOMPort")->isEnabled());
    auto* data = control<QAction>(w, "mnuData");
    auto* keys = control<QAction>(w, "mnuKeys");
    QVERIFY(!data->isEnabled());
    QVERIFY(!keys->isEnabled());
    // A disabled item cannot be chosen, even programmatically.
    QSignalSpy triggered(data, &QAction::triggered);
    data->trigger();
    keys->trigger();
    QCOMPARE(triggered.count(), 0);
    QVERIFY(watcher().seen().isEmpty());
}

void tst_frmMain::gridAtStart()
{
    dir().writeSettings(Loopback, QStringLiteral("1"));
    frmMain w(dir().path());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    for (int i = 1; i <= 9; ++i) {
        const QWidget* panel = gridSquare(w, i);
        QCOMPARE(panel->parentWidget(), w.centralWidget());
        QVERIFY(panel->isVisible());
        QVERIFY(panel->autoFillBackground());
        QCOMPARE(panel->geometry(),
                 QRect(((i - 1) % 3) * 100 + 100, ((i - 1) / 3) * 100 + 100, 99, 99));
        QCOMPARE(colourOf(panel), Colour::Red);
    }
    // Packed 0x00BBGGRR: 255 is pure red and 65280 pure green on screen.
    QCOMPARE(fromPacked(Colour::Red), QColor(255, 0, 0));
    QCOMPARE(fromPacked(Colour::Green), QColor(0, 255, 0));

    // What reaches the screen: the outer part of each square is pure red.
    const QImage shot = w.centralWidget()->grab().toImage();
    for (int i = 1; i <= 9; ++i)
        QCOMPARE(shot.pixelColor(gridSquare(w, i)->geometry().topLeft() + QPoint(4, 49)),
                 QColor(255, 0, 0));
}

void tst_frmMain::labelEmptyUntilFirstTick()
{
    dir().writeSettings(Loopback, QStringLiteral("1"));
    frmMain w(dir().path());
    const MainControls ui(w);
    QCOMPARE(ui.lblWinsock->text(), QString());
    QSignalSpy tick(ui.tmrRepeat, &QTimer::timeout);
    QVERIFY(tick.wait(Timeout));
    QCOMPARE(ui.lblWinsock->text(), QStringLiteral("Closed"));
}

void tst_frmMain::keysDriveAndPaint_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<int>("code");
    const Qt::KeyboardModifiers none = Qt::NoModifier;
    const Qt::KeyboardModifiers keypad = Qt::KeypadModifier;
    QTest::newRow("Up") << int(Qt::Key_Up) << none << 2;
    QTest::newRow("Down") << int(Qt::Key_Down) << none << 8;
    QTest::newRow("Left") << int(Qt::Key_Left) << none << 4;
    QTest::newRow("Right with Shift")
        << int(Qt::Key_Right) << Qt::KeyboardModifiers(Qt::ShiftModifier) << 6;
    QTest::newRow("Up with Ctrl") << int(Qt::Key_Up) << Qt::KeyboardModifiers(Qt::ControlModifier)
                                  << 2;
    QTest::newRow("keypad 7") << int(Qt::Key_7) << keypad << 1;
    QTest::newRow("keypad 8") << int(Qt::Key_8) << keypad << 2;
    QTest::newRow("keypad 9") << int(Qt::Key_9) << keypad << 3;
    QTest::newRow("keypad 4") << int(Qt::Key_4) << keypad << 4;
    QTest::newRow("keypad 5") << int(Qt::Key_5) << keypad << 5;
    QTest::newRow("keypad 6") << int(Qt::Key_6) << keypad << 6;
    QTest::newRow("keypad 1") << int(Qt::Key_1) << keypad << 7;
    QTest::newRow("keypad 2") << int(Qt::Key_2) << keypad << 8;
    QTest::newRow("keypad 3") << int(Qt::Key_3) << keypad << 9;
    QTest::newRow("keypad 8, Num Lock off") << int(Qt::Key_Up) << keypad << 2;
}

void tst_frmMain::keysDriveAndPaint()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(int, code);
    LoopbackPeer peer;
    auto w = openMainWindow(dir(), Loopback, peer.portText());

    QTest::keyPress(w->windowHandle(), Qt::Key(key), modifiers);
    QCOMPARE(w->throttle() * 3 + w->steering() + 1, code);
    QCOMPARE(greenSquare(*w), code);
    QTest::keyRelease(w->windowHandle(), Qt::Key(key), modifiers);
    QCOMPARE(greenSquare(*w), 5);
    QCOMPARE(w->throttle(), qint16(1));
    QCOMPARE(w->steering(), qint16(1));
}

void tst_frmMain::keySequences()
{
    LoopbackPeer peer;
    auto w = openMainWindow(dir(), Loopback, peer.portText());
    QWindow* window = w->windowHandle();

    QTest::keyPress(window, Qt::Key_Up);
    QTest::keyPress(window, Qt::Key_Left);
    QCOMPARE(greenSquare(*w), 1);
    QTest::keyRelease(window, Qt::Key_Left);
    QCOMPARE(greenSquare(*w), 2);
    QTest::keyRelease(window, Qt::Key_Up);
    QCOMPARE(greenSquare(*w), 5);

    // Releasing keypad 9 stops both axes while an arrow is still held.
    QTest::keyPress(window, Qt::Key_Down);
    QTest::keyPress(window, Qt::Key_9, Qt::KeypadModifier);
    QCOMPARE(greenSquare(*w), 3);
    QTest::keyRelease(window, Qt::Key_9, Qt::KeypadModifier);
    QCOMPARE(greenSquare(*w), 5);
}

void tst_frmMain::autoRepeatReleaseIsNotARelease()
{
    LoopbackPeer peer;
    auto w = openMainWindow(dir(), Loopback, peer.portText());

    sendKey(*w, QEvent::KeyPress, Qt::Key_Up);
    for (int i = 0; i < 5; ++i) {
        // What X11 sends for a held key: a flagged release, a flagged press.
        sendKey(*w, QEvent::KeyRelease, Qt::Key_Up, {}, true);
        QCOMPARE(w->throttle(), qint16(0));
        sendKey(*w, QEvent::KeyPress, Qt::Key_Up, {}, true);
        QCOMPARE(greenSquare(*w), 2);
    }
    sendKey(*w, QEvent::KeyRelease, Qt::Key_Up);
    QCOMPARE(w->throttle(), qint16(1));
    QCOMPARE(greenSquare(*w), 5);
}

void tst_frmMain::otherKeysChangeNothing()
{
    LoopbackPeer peer;
    auto w = openMainWindow(dir(), Loopback, peer.portText());
    QWindow* window = w->windowHandle();

    QTest::keyPress(window, Qt::Key_Right);
    QTRY_VERIFY_WITH_TIMEOUT(!peer.received().isEmpty(), Timeout);
    const QByteArray before = peer.received().left(2);
    QTest::keyClick(window, Qt::Key_0, Qt::KeypadModifier);
    QTest::keyClick(window, Qt::Key_8);
    QTest::keyClick(window, Qt::Key_A);
    QTest::keyClick(window, Qt::Key_Space);
    QTest::keyClick(window, Qt::Key_Clear, Qt::KeypadModifier);
    QCOMPARE(greenSquare(*w), 6);
    QCOMPARE(w->steering(), qint16(2));
    // None of them drove. Space went its ordinary way to the focused Close
    // Comm button, which ends the connection with a stop; the release of
    // Right then opens a new one.
    QTest::keyRelease(window, Qt::Key_Right);
    // The stop that closed the first connection, then at least one on the
    // second, each perhaps followed by its copies.
    QTRY_COMPARE_WITH_TIMEOUT(peer.connectionCount(), 2, Timeout);
    QTRY_VERIFY_WITH_TIMEOUT(QRegularExpression(QStringLiteral("^6+55+$"))
                                 .match(decodeDriveStream(peer.received()))
                                 .hasMatch(),
                             Timeout);
    QCOMPARE(peer.received().left(2), before);
}

void tst_frmMain::altAloneLeavesDriveKeysDriving()
{
    // The Windows style, Windows' own default, moves the keyboard to the
    // menu bar on Alt alone; Down would then open the File menu.
    const QString style = QApplication::style()->name();
    QApplication::setStyle(QStringLiteral("Windows"));
    const auto restore = qScopeGuard([&] { QApplication::setStyle(style); });
    LoopbackPeer peer;
    auto w = openMainWindow(dir(), Loopback, peer.portText());

    QTest::keyClick(w->windowHandle(), Qt::Key_Alt);
    QTest::keyPress(w->windowHandle(), Qt::Key_Down);
    QCOMPARE(QApplication::activePopupWidget(), nullptr);
    QCOMPARE(greenSquare(*w), 8);
}

void tst_frmMain::keysIgnoredWhileAnotherWindowIsActive()
{
    LoopbackPeer peer;
    auto w = openMainWindow(dir(), Loopback, peer.portText());

    QWidget other;
    QVERIFY(activate(other));
    // The platform sends keys to the window with the focus.
    QCOMPARE(QGuiApplication::focusWindow(), other.windowHandle());
    QTest::keyPress(QGuiApplication::focusWindow(), Qt::Key_Up);
    QCOMPARE(w->throttle(), qint16(1));
    QCOMPARE(greenSquare(*w), 0);
    QCOMPARE(peer.connectionCount(), 0);
}

void tst_frmMain::focusLossStopsTheCar()
{
    LoopbackPeer peer;
    auto w = openMainWindow(dir(), Loopback, peer.portText());

    QTest::keyPress(w->windowHandle(), Qt::Key_Up);
    QTRY_COMPARE_WITH_TIMEOUT(driveChanges(peer.received()), QStringLiteral("2"), Timeout);

    // The release goes to another window.
    QWidget other;
    QVERIFY(activate(other));
    QCOMPARE(w->throttle(), qint16(1));
    QCOMPARE(greenSquare(*w), 5);
    // The stop and its three quick copies, all out before the next check;
    // on a slow machine the copies could otherwise land after it.
    QTRY_VERIFY_WITH_TIMEOUT(QRegularExpression(QStringLiteral("^2+5{4}"))
                                 .match(decodeDriveStream(peer.received()))
                                 .hasMatch(),
                             Timeout);

    // Already stopped: losing the focus again sends nothing extra.
    QVERIFY(activate(*w));
    peer.clearReceived();
    QVERIFY(activate(other));
    QCOMPARE(peer.received(), QByteArray());
}

void tst_frmMain::focusLossNeverConnects()
{
    LoopbackPeer peer;
    auto w = openMainWindow(dir(), Loopback, peer.portText());
    const MainControls ui(*w);

    QTest::keyPress(w->windowHandle(), Qt::Key_Down);
    QTRY_COMPARE_WITH_TIMEOUT(peer.connectionCount(), 1, Timeout);
    // The car's server hangs up; the socket reads Closed.
    peer.closeClients();
    QTRY_COMPARE_WITH_TIMEOUT(ui.Winsock->State(), SocketState::Closed, Timeout);

    QWidget other;
    QVERIFY(activate(other));
    QCOMPARE(w->throttle(), qint16(1));
    QCOMPARE(greenSquare(*w), 5);
    QCOMPARE(ui.Winsock->State(), SocketState::Closed);
    QCOMPARE(peer.connectionCount(), 1);
}

void tst_frmMain::cameraWindowDrivesWithEveryStop()
{
    LoopbackPeer peer;
    auto w = openMainWindow(dir(), Loopback, peer.portText());
    // Not connected to any camera: only its keys are under test.
    frmCamera camera(w->driveKeys(), 0, false);
    QVERIFY(activate(camera));

    QTest::keyPress(camera.windowHandle(), Qt::Key_Up);
    QTRY_COMPARE_WITH_TIMEOUT(driveChanges(peer.received()), QStringLiteral("2"), Timeout);
    QVERIFY(!control<QLabel>(*w, "lblHint")->isVisibleTo(w.get()));
    // Held into the main window, let go there.
    QVERIFY(activate(*w));
    QTest::keyRelease(w->windowHandle(), Qt::Key_Up);
    QTRY_VERIFY_WITH_TIMEOUT(driveChanges(peer.received()).endsWith(QLatin1Char('5')), Timeout);
    QCOMPARE(w->throttle(), qint16(1));

    // The camera window loses the keys with one held: the car stops.
    QVERIFY(activate(camera));
    QTest::keyPress(camera.windowHandle(), Qt::Key_Left);
    QTRY_VERIFY_WITH_TIMEOUT(driveChanges(peer.received()).endsWith(QLatin1Char('4')), Timeout);
    QWidget other;
    QVERIFY(activate(other));
    QCOMPARE(w->steering(), qint16(1));
    QTRY_VERIFY_WITH_TIMEOUT(driveChanges(peer.received()).endsWith(QLatin1Char('5')), Timeout);
    QVERIFY(control<QLabel>(*w, "lblHint")->isVisibleTo(w.get()));
}

void tst_frmMain::unloadClosesSocketThenWritesSettings()
{
    LoopbackPeer peer;
    // A file written by hand, so that a rewrite shows in its bytes.
    dir().writeRaw("RemoteHost=127.0.0.1\nRemotePort=" + peer.portText().toLatin1() + "\n");
    frmMain w(dir().path());
    const MainControls ui(w);
    QVERIFY(activate(w));
    QTest::mouseClick(ui.cmdOpenClose, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(ui.Winsock->State(), SocketState::Connected, Timeout);

    QByteArray fileWhenClosed;
    connect(ui.Winsock, &SocketControl::stateChanged, this, [&](qint16 state) {
        if (state == SocketState::Closed)
            fileWhenClosed = dir().readRaw();
    });
    QVERIFY(w.close());
    QVERIFY(fileWhenClosed.startsWith("RemoteHost=127.0.0.1\n"));
    QCOMPARE(ui.Winsock->State(), SocketState::Closed);
    QVERIFY(dir().readRaw().startsWith("' Hi y'all!"));
    QTRY_COMPARE_WITH_TIMEOUT(peer.openConnections(), 0, Timeout);
}

void tst_frmMain::exitMenuClosesTheWindow()
{
    dir().writeRaw("RemotePort=1500\r\nRemoteHost=127.0.0.1\r\n");
    frmMain w(dir().path());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    control<QAction>(w, "mnuExit")->trigger();
    QVERIFY(!w.isVisible());
    QCOMPARE(dir().readRaw(),
             QByteArray("' Hi y'all! I'm writing this program and I got bored.\r\n"
                        "' So i'm writing this 2-line blurb. The end. (Make that 4-line.)\r\n"
                        "RemotePort=1500\r\nRemoteHost=127.0.0.1\r\n"));
}

QTEST_MAIN(tst_frmMain)
#include "tst_frmMain.moc"
