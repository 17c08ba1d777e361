// The real program on a real X server: what its window looks like, and that
// a held key stops the car when another window takes the focus.

#include "e2e/GridReading.h"
#include "e2e/ProgramUnderTest.h"
#include "e2e/VirtualScreen.h"
#include "e2e/WireCodes.h"
#include "support/TestSupport.h"

#include <QTest>

class tst_E2EWindow : public ScreenTestCase {
    Q_OBJECT

private slots:
    void windowHasTitleSizeAndRedGrid();
    void focusLossStopsHeldKey();
    void hintShowsWhileAnotherWindowIsActive();
};

void tst_E2EWindow::windowHasTitleSizeAndRedGrid()
{
    LoopbackPeer peer;
    ProgramUnderTest program(screen());
    QVERIFY2(program.startReady(peer.port()), qPrintable(program.failure()));

    const QString layout = program.layoutFault();
    QVERIFY2(layout.isEmpty(), qPrintable(layout));

    const GridReading grid = program.readGrid();
    QVERIFY(grid.found);
    QCOMPARE(grid.squares, gridShowing(0));
    QVERIFY2(grid.edgesClear, "a square spills over its 99 x 99 pixels");
    // Nothing is sent before the driver touches a key.
    QCOMPARE(peer.connectionCount(), 0);
}

void tst_E2EWindow::focusLossStopsHeldKey()
{
    LoopbackPeer peer;
    ProgramUnderTest program(screen());
    QVERIFY2(program.startReady(peer.port()), qPrintable(program.failure()));
    XClient& x = screen().x();

    QVERIFY(x.key("Up", true));
    QVERIFY2(waitForCodes(peer, QStringLiteral("^2")), qPrintable(codesOf(peer)));
    QVERIFY(program.waitGrid(gridShowing(2)));

    const WindowId other = x.createWindow(QStringLiteral("Another program"));
    QVERIFY(QTest::qWaitFor([&] { return x.isManaged(other); }, kE2ETimeoutMs));
    x.requestActivate(other);
    QVERIFY(QTest::qWaitFor([&] { return x.focusWindow() == other; }, kE2ETimeoutMs));

    // The key is still down, but the program will not see its release.
    const QString stopped = QStringLiteral("^2+5+$");
    QVERIFY2(waitForCodes(peer, stopped), qPrintable(codesOf(peer)));
    QVERIFY(program.waitGrid(gridShowing(5)));

    // Releasing the key elsewhere changes nothing, and the repeats that
    // follow keep the car stopped.
    QVERIFY(x.key("Up", false));
    const qsizetype sent = peer.received().size();
    QVERIFY(QTest::qWaitFor([&] { return peer.received().size() > sent; }, kE2ETimeoutMs));
    QVERIFY2(waitForCodes(peer, stopped, 0), qPrintable(codesOf(peer)));
    x.destroyWindow(other);
}

void tst_E2EWindow::hintShowsWhileAnotherWindowIsActive()
{
    LoopbackPeer peer;
    ProgramUnderTest program(screen());
    QVERIFY2(program.startReady(peer.port()), qPrintable(program.failure()));
    XClient& x = screen().x();
    QVERIFY2(program.waitHint(false), "a hint while the window has the keys");

    const WindowId other = x.createWindow(QStringLiteral("Another program"));
    QVERIFY(QTest::qWaitFor([&] { return x.isManaged(other); }, kE2ETimeoutMs));
    x.requestActivate(other);
    QVERIFY(QTest::qWaitFor([&] { return x.focusWindow() == other; }, kE2ETimeoutMs));
    QVERIFY2(program.waitHint(true), "no hint while another window has the keys");

    x.requestActivate(program.window());
    QVERIFY(QTest::qWaitFor([&] { return x.focusWindow() == program.window(); }, kE2ETimeoutMs));
    QVERIFY2(program.waitHint(false), "the hint stayed after the window got the keys back");
    const GridReading grid = program.readGrid();
    QCOMPARE(grid.squares, gridShowing(0));
    QVERIFY(grid.edgesClear);
    x.destroyWindow(other);
}

QTEST_GUILESS_MAIN(tst_E2EWindow)
#include "tst_E2EWindow.moc"
