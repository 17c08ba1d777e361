// The Windows build of the program, run under Wine on the virtual screen:
// one pass through what a driver does first. Built only for the Windows
// stage, which names the program and how to run it.

#include "e2e/GridReading.h"
#include "e2e/ProgramUnderTest.h"
#include "e2e/VirtualScreen.h"
#include "e2e/WireCodes.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QTest>

class tst_E2EWindows : public ScreenTestCase {
    Q_OBJECT

private slots:
    void firstDrive();
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

QTEST_GUILESS_MAIN(tst_E2EWindows)
#include "tst_E2EWindows.moc"
