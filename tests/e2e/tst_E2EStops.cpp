// The car stops whenever the driver lets go, also where the key events take
// another way: a menu that takes the keyboard while a key is held, Shift
// pressed between a keypad key's press and its release, and the connection
// closed on purpose while a key is held.

#include "e2e/GridReading.h"
#include "e2e/ProgramUnderTest.h"
#include "e2e/VirtualScreen.h"
#include "e2e/WireCodes.h"
#include "support/TestSupport.h"

#include <QTest>

namespace {

enum class CloseWay { CloseCommKeys, CloseRequest };

} // namespace

Q_DECLARE_METATYPE(CloseWay)

class tst_E2EStops : public ScreenTestCase {
    Q_OBJECT

private slots:
    void menuStopsHeldKeyUntilItCloses();
    void shiftCannotLoseKeypadRelease();
    void closingSendsStopFirst_data();
    void closingSendsStopFirst();
};

void tst_E2EStops::menuStopsHeldKeyUntilItCloses()
{
    LoopbackPeer peer;
    ProgramUnderTest program(screen());
    QVERIFY2(program.startReady(peer.port()), qPrintable(program.failure()));
    XClient& x = screen().x();

    // No repeats from the server: the car may drive again only because the
    // program finds Up still down, not because a repeat of it came in.
    QVERIFY(x.setAutoRepeat(60000, 40));
    QVERIFY(x.key("Up", true));
    QVERIFY2(waitForCodes(peer, QStringLiteral("^2+$")), qPrintable(codesOf(peer)));
    // The open menu has the keyboard: the car stops at once.
    QVERIFY2(program.openFileMenu(), "the File menu did not open");
    QVERIFY2(waitForCodes(peer, QStringLiteral("^2+5+$")), qPrintable(codesOf(peer)));
    QVERIFY(program.waitGrid(gridShowing(5)));
    QVERIFY2(program.waitHint(true), "no hint while the menu has the keys");
    // Closed with Up still held: the car drives on the key really held.
    QVERIFY(x.tap("Escape"));
    QVERIFY2(waitForCodes(peer, QStringLiteral("^2+5+2+$")), qPrintable(codesOf(peer)));

    // Up is let go while the menu has the keyboard, so its release never
    // comes to the window; the car must stay stopped after the menu closes.
    QVERIFY2(program.openFileMenu(), "the File menu did not open again");
    QVERIFY2(waitForCodes(peer, QStringLiteral("^2+5+2+5+$")), qPrintable(codesOf(peer)));
    QVERIFY(x.key("Up", false));
    QVERIFY(x.tap("Escape"));
    QVERIFY2(QTest::qWaitFor([&] { return x.popupOfProcess(program.process().processId()) == 0; },
                             kE2ETimeoutMs),
             "the File menu did not close");
    // Two timer repeats after the menu closed, all of them stop.
    const int before = int(codesOf(peer).size());
    QVERIFY2(QTest::qWaitFor([&] { return codesOf(peer).size() >= before + 2; }, kE2ETimeoutMs),
             qPrintable(codesOf(peer)));
    QVERIFY2(waitForCodes(peer, QStringLiteral("^2+5+2+5{3,}$"), 0), qPrintable(codesOf(peer)));
    QVERIFY(program.waitGrid(gridShowing(5)));
}

void tst_E2EStops::shiftCannotLoseKeypadRelease()
{
    LoopbackPeer peer;
    ProgramUnderTest program(screen());
    QVERIFY2(program.startReady(peer.port()), qPrintable(program.failure()));
    XClient& x = screen().x();
    QVERIFY(x.setNumLock(true));

    // Under Shift, keypad 7 releases as Home; it is still the key that went
    // down as 7.
    QVERIFY(x.key("KP_7", true));
    QVERIFY2(waitForCodes(peer, QStringLiteral("^1+$")), qPrintable(codesOf(peer)));
    QVERIFY(x.key("Shift_L", true));
    QVERIFY(x.key("KP_7", false));
    QVERIFY2(waitForCodes(peer, QStringLiteral("^1+5+$")), qPrintable(codesOf(peer)));
    QVERIFY(program.waitGrid(gridShowing(5)));
    QVERIFY(x.key("Shift_L", false));
}

void tst_E2EStops::closingSendsStopFirst_data()
{
    QTest::addColumn<CloseWay>("way");
    QTest::newRow("Close Comm by Alt+C") << CloseWay::CloseCommKeys;
    QTest::newRow("window closed") << CloseWay::CloseRequest;
}

void tst_E2EStops::closingSendsStopFirst()
{
    QFETCH(CloseWay, way);

    LoopbackPeer peer;
    ProgramUnderTest program(screen());
    QVERIFY2(program.startReady(peer.port()), qPrintable(program.failure()));
    XClient& x = screen().x();

    QVERIFY(x.key("Up", true));
    QVERIFY2(waitForCodes(peer, QStringLiteral("^2+$")), qPrintable(codesOf(peer)));
    if (way == CloseWay::CloseCommKeys) {
        QVERIFY(x.tapWithAlt("c"));
    } else {
        x.requestClose(program.window());
    }
    QVERIFY2(QTest::qWaitFor([&] { return peer.openConnections() == 0; }, kE2ETimeoutMs),
             "the connection was left open");
    // The last word the car heard on that connection, with Up still held.
    QVERIFY2(waitForCodes(peer, QStringLiteral("^2+5$"), 0), qPrintable(codesOf(peer)));
}

QTEST_GUILESS_MAIN(tst_E2EStops)
#include "tst_E2EStops.moc"
