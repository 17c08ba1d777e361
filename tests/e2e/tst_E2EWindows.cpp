// The Windows build of the program, run under Wine on the virtual screen:
// one pass through what a driver does first, the camera window on the
// simulator's camera, and the loops of Windows' own (the window menu, a
// move) that take the keys while the main or the camera window stays
// active. Built only for the Windows stage, which names the program and how
// to run it.

#include "e2e/Carsim.h"
#include "e2e/GridReading.h"
#include "e2e/ProgramUnderTest.h"
#include "e2e/VirtualScreen.h"
#include "e2e/WireCodes.h"
#include "support/TestSupport.h"
#include "tools/carsim/CarsimColours.h"

#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>

namespace {

enum class WindowsLoop { WindowMenu, TitleBarDrag };

// Wine leaves the title bar to the window manager unless told to draw it
// itself; only a title bar of Windows' own runs Windows' move loop. Read by
// each program as it starts.
bool wineDrawsTitleBars(bool on)
{
    QStringList arguments{QStringLiteral("reg"),
                          on ? QStringLiteral("add") : QStringLiteral("delete"),
                          QStringLiteral("HKCU\\Software\\Wine\\X11 Driver"),
                          QStringLiteral("/v"),
                          QStringLiteral("Decorated"),
                          QStringLiteral("/f")};
    if (on)
        arguments << QStringLiteral("/d") << QStringLiteral("N");
    QProcess reg;
    reg.start(qEnvironmentVariable("VELMORA_E2E_WINDOWS_RUNNER"), arguments);
    return reg.waitForFinished(60000) && reg.exitStatus() == QProcess::NormalExit &&
           (reg.exitCode() == 0 || !on);
}

// The share of the pixels in a band below the middle of the picture that
// show the arena's floor, give or take what JPEG and scaling change: the car
// starts in the middle of the arena, so its camera sees floor there.
double floorShare(const QImage& grab)
{
    const QImage image = grab.convertToFormat(QImage::Format_RGB32);
    const QRect band(image.width() / 10, image.height() * 55 / 100, image.width() * 8 / 10,
                     image.height() / 4);
    const QColor floor = CarsimColours::kFloor;
    int matching = 0;
    for (int y = band.top(); y <= band.bottom(); ++y) {
        for (int x = band.left(); x <= band.right(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qAbs(qRed(pixel) - floor.red()) <= 16 &&
                qAbs(qGreen(pixel) - floor.green()) <= 16 &&
                qAbs(qBlue(pixel) - floor.blue()) <= 16)
                ++matching;
        }
    }
    return band.isEmpty() ? 0 : double(matching) / (band.width() * band.height());
}

} // namespace

Q_DECLARE_METATYPE(WindowsLoop)

class tst_E2EWindows : public ScreenTestCase {
    Q_OBJECT

private slots:
    void firstDrive();
    void cameraWindowShowsSimulatorAndDrives();
    void loopTakesReleaseOfHeldKey_data();
    void loopTakesReleaseOfHeldKey();
    void shiftCannotLoseKeypadRelease();
    void endOfSessionStopsAndSaves();
};

void tst_E2EWindows::firstDrive()
{
    LoopbackPeer peer;
    ProgramUnderTest program(screen());
    QVERIFY2(program.startReady(peer.port()), qPrintable(program.failure()));
    const QString layout = program.layoutFault();
    QVERIFY2(layout.isEmpty(), qPrintable(layout));

    XClient& x = screen().x();
    QVERIFY(x.key("Up", true));
    QVERIFY2(waitForCodes(peer, QStringLiteral("^2")), qPrintable(codesOf(peer)));
    QVERIFY(program.waitGrid(gridShowing(2)));
    QVERIFY(x.key("Up", false));
    QVERIFY2(waitForCodes(peer, QStringLiteral("^2+5")), qPrintable(codesOf(peer)));
    QVERIFY(program.waitGrid(gridShowing(5)));

    // Space goes to the focused button, which reads Close Comm by now.
    QVERIFY(x.tap("space"));
    QVERIFY2(QTest::qWaitFor([&] { return peer.openConnections() == 0; }, kE2ETimeoutMs),
             "Close Comm left the connection open");

    x.requestClose(program.window());
    QVERIFY2(program.waitExit(kE2ETimeoutMs), qPrintable(program.output()));
    QCOMPARE(program.process().exitCode(), 0);
    QCOMPARE(program.settingsFile(), ProgramUnderTest::settingsText(peer.port()));
    QVERIFY(QDir(program.workingFolder()).isEmpty());
}

void tst_E2EWindows::cameraWindowShowsSimulatorAndDrives()
{
    Carsim sim(
        {QStringLiteral("--headless"), QStringLiteral("--camera-port"), QStringLiteral("0")});
    QVERIFY2(sim.waitListening() && sim.waitCamera(), qPrintable(sim.output()));
    LoopbackPeer peer;
    ProgramUnderTest program(screen());
    QString error;
    QVERIFY2(program.install(peer.port(), &error) &&
                 program.openCameraAtStart(sim.cameraUrl(), &error) && program.launch(&error),
             qPrintable(error));
    const WindowId camera = program.waitWindow(QStringLiteral("Velmora - Camera"));
    QVERIFY2(camera, qPrintable(program.output()));

    // The simulator's picture, read back from the X server, not the black of
    // a window without one.
    XClient& x = screen().x();
    double share = 0;
    QVERIFY2(
        QTest::qWaitFor([&] { return (share = floorShare(x.grab(camera))) > 0.5; }, kE2ETimeoutMs),
        qPrintable(QStringLiteral("%1% of the band shows the floor; program output:\n%2")
                       .arg(qRound(share * 100))
                       .arg(program.output())));

    // Made the active window, as a click on it would, and driven from.
    QVERIFY(QTest::qWaitFor([&] { return x.isManaged(camera); }, kE2ETimeoutMs));
    x.requestActivate(camera);
    QVERIFY2(QTest::qWaitFor([&] { return x.focusWindow() == camera; }, kE2ETimeoutMs),
             "the camera window never had the focus");
    QVERIFY(x.key("Up", true));
    QVERIFY2(waitForCodes(peer, QStringLiteral("^2")), qPrintable(codesOf(peer)));
    QVERIFY(x.key("Up", false));
    QVERIFY2(waitForCodes(peer, QStringLiteral("^2+5")), qPrintable(codesOf(peer)));

    // The main window's close ends the program with its camera window open.
    const WindowId mainWindow = program.waitWindow(QStringLiteral("Velmora"));
    QVERIFY(mainWindow);
    x.requestClose(mainWindow);
    QVERIFY2(program.waitExit(kE2ETimeoutMs), qPrintable(program.output()));
    QCOMPARE(program.process().exitCode(), 0);
}

void tst_E2EWindows::loopTakesReleaseOfHeldKey_data()
{
    QTest::addColumn<WindowsLoop>("loop");
    QTest::addColumn<bool>("cameraWindow");
    QTest::newRow("window menu by Alt+Space") << WindowsLoop::WindowMenu << false;
    QTest::newRow("title bar dragged") << WindowsLoop::TitleBarDrag << false;
    QTest::newRow("camera window's menu by Alt+Space") << WindowsLoop::WindowMenu << true;
    QTest::newRow("camera window's title bar dragged") << WindowsLoop::TitleBarDrag << true;
}

void tst_E2EWindows::loopTakesReleaseOfHeldKey()
{
    QFETCH(WindowsLoop, loop);
    QFETCH(bool, cameraWindow);
    const bool drag = loop == WindowsLoop::TitleBarDrag;
    QVERIFY(wineDrawsTitleBars(drag));
    auto restore = qScopeGuard([] { wineDrawsTitleBars(false); });

    LoopbackPeer peer;
    ProgramUnderTest program(screen());
    QVERIFY2(program.startReady(peer.port()), qPrintable(program.failure()));
    XClient& x = screen().x();
    WindowId driven = program.window();
    if (cameraWindow) {
        // Opened from the View menu; its camera is on the car's host, here
        // loopback, where none answers.
        QVERIFY(x.tapWithAlt("v") && x.tap("c"));
        driven = program.waitWindow(QStringLiteral("Velmora - Camera"));
        QVERIFY2(driven, qPrintable(program.output()));
        QVERIFY(QTest::qWaitFor([&] { return x.isManaged(driven); }, kE2ETimeoutMs));
        x.requestActivate(driven);
        QVERIFY2(QTest::qWaitFor([&] { return x.focusWindow() == driven; }, kE2ETimeoutMs),
                 "the camera window never had the focus");
    }
    const QRect window = x.screenRect(driven);
    // Inside the title bar, clear of the icon and the buttons.
    const QPoint titleBar(window.center().x(), window.top() + 10);

    QVERIFY(x.key("Up", true));
    QVERIFY2(waitForCodes(peer, QStringLiteral("^2+$")), qPrintable(codesOf(peer)));
    if (drag) {
        QVERIFY(x.movePointer(titleBar));
        QVERIFY(x.leftButton(true));
        // Up and to the left, so that the whole window stays on the screen,
        // where it can be read.
        QVERIFY(x.movePointer(titleBar - QPoint(20, 20)));
    } else {
        QVERIFY(x.tapWithAlt("space"));
    }
    // The loop has the keys: the car stops at once, and stays stopped while
    // the loop runs with Up still down, a timer repeat later too.
    QVERIFY2(waitForCodes(peer, QStringLiteral("^2+5+$")), qPrintable(codesOf(peer)));
    QVERIFY2(waitForCodes(peer, QStringLiteral("^2+55+$")), qPrintable(codesOf(peer)));
    if (drag) {
        // The window moves once the window manager has taken the drag on.
        int step = 0;
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         x.movePointer(titleBar - QPoint(40 + ++step % 2, 40));
                         return x.screenRect(driven).topLeft() != window.topLeft();
                     },
                     kE2ETimeoutMs),
                 "the window did not move");
    }
    QVERIFY(x.key("Up", false));
    if (drag) {
        QVERIFY(x.leftButton(false));
    } else {
        // The first Escape closes the menu, the second leaves the menu mode
        // that may remain.
        QVERIFY(x.tap("Escape"));
        QVERIFY(x.tap("Escape"));
    }
    // Up went up inside the loop: two timer repeats after it, all of them stop.
    const int before = int(codesOf(peer).size());
    QVERIFY2(QTest::qWaitFor([&] { return codesOf(peer).size() >= before + 2; }, kE2ETimeoutMs),
             qPrintable(codesOf(peer)));
    QVERIFY2(waitForCodes(peer, QStringLiteral("^2+5+$"), 0), qPrintable(codesOf(peer)));
    // The camera window may cover the main window's grid.
    QVERIFY(cameraWindow || program.waitGrid(gridShowing(5)));
    // The loop is over: the keys reach the window again.
    QVERIFY(x.key("Up", true));
    QVERIFY2(waitForCodes(peer, QStringLiteral("^2+5+2+$")), qPrintable(codesOf(peer)));
}

void tst_E2EWindows::shiftCannotLoseKeypadRelease()
{
    LoopbackPeer peer;
    ProgramUnderTest program(screen());
    QVERIFY2(program.startReady(peer.port()), qPrintable(program.failure()));
    XClient& x = screen().x();
    QVERIFY(x.setNumLock(true));
    // No repeats from the server, as on Windows, where Shift ends the
    // keypad key's repeat: a repeat under Shift would come as a press of
    // Home and give the release a press to match.
    QVERIFY(x.setAutoRepeat(60000, 40));

    // Keypad 7 goes down as such and, under Shift, comes up as Home: a
    // release of another virtual key than the press had.
    QVERIFY(x.key("KP_7", true));
    QVERIFY2(waitForCodes(peer, QStringLiteral("^1+$")), qPrintable(codesOf(peer)));
    QVERIFY(x.key("Shift_L", true));
    QVERIFY(x.key("KP_7", false));
    QVERIFY2(waitForCodes(peer, QStringLiteral("^1+5+$")), qPrintable(codesOf(peer)));
    QVERIFY(program.waitGrid(gridShowing(5)));
    QVERIFY(x.key("Shift_L", false));
}

void tst_E2EWindows::endOfSessionStopsAndSaves()
{
    LoopbackPeer peer;
    ProgramUnderTest program(screen());
    QVERIFY2(program.startReady(peer.port()), qPrintable(program.failure()));
    // A host changed in the dialog reaches the file only through the save.
    QVERIFY2(program.setHostInDialog(QStringLiteral("localhost")), qPrintable(program.failure()));
    QVERIFY(screen().x().key("Up", true));
    QVERIFY2(waitForCodes(peer, QStringLiteral("^2+$")), qPrintable(codesOf(peer)));

    // WM_QUERYENDSESSION and WM_ENDSESSION to every window, then Wine ends
    // whatever still runs at once, as Windows may.
    QProcess wineboot;
    wineboot.start(qEnvironmentVariable("VELMORA_E2E_WINDOWS_RUNNER"),
                   {QStringLiteral("wineboot"), QStringLiteral("--end-session"),
                    QStringLiteral("--shutdown")});
    QVERIFY2(QTest::qWaitFor([&] { return wineboot.state() == QProcess::NotRunning; }, 60000),
             "wineboot did not end");
    QVERIFY2(program.waitExit(kE2ETimeoutMs), qPrintable(program.output()));
    QVERIFY2(QTest::qWaitFor([&] { return peer.openConnections() == 0; }, kE2ETimeoutMs),
             "the connection was left open");
    QVERIFY2(waitForCodes(peer, QStringLiteral("^2+5$"), 0), qPrintable(codesOf(peer)));
    QCOMPARE(program.settingsFile(),
             ProgramUnderTest::settingsText(peer.port(), QStringLiteral("localhost")));
}

QTEST_GUILESS_MAIN(tst_E2EWindows)
#include "tst_E2EWindows.moc"
