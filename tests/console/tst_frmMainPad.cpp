// Driving with a gamepad through the real window: SDL's virtual pad in this
// process and a peer on 127.0.0.1.
#include "console/frmMain.h"
#include "support/VirtualPad.h"
#include "support/WidgetTestCase.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

constexpr qint16 Full = 32767;

QLabel* padLine(const frmMain& window)
{
    return control<QLabel>(window, "lblPad");
}

// Waits until the window drives with the pad: it has seen it and read it
// neutral.
bool padReady(const frmMain& window)
{
    return QTest::qWaitFor(
        [&] {
            const QString text = padLine(window)->text();
            return text.startsWith(QLatin1String("Gamepad:")) && !text.contains(QLatin1Char('('));
        },
        Timeout);
}

// Lets the window read the pad a few times over.
bool fewPolls(const frmMain& window)
{
    QSignalSpy polls(control<QTimer>(window, "tmrPad"), &QTimer::timeout);
    return QTest::qWaitFor([&] { return polls.count() >= 5; }, Timeout);
}

} // namespace

class tst_frmMainPad : public WidgetTestCase {
    Q_OBJECT

private slots:
    void stickDrives();
    void padStartsOnlyOnceTheWindowIsShown();
    void padPluggedInDeflectedWaitsForNeutral();
    void triggerHeldAtPlugInWaitsForNeutral();
    void unplugWhileDrivingStops();
    void deactivationWhileHeldStopsUntilNeutral();
};

void tst_frmMainPad::stickDrives()
{
    LoopbackPeer peer;
    auto w = openMainWindow(dir(), Loopback, peer.portText());
    QCOMPARE(padLine(*w)->text(), QStringLiteral("No gamepad"));
    VirtualPad pad;
    QVERIFY(pad.isAttached());
    QVERIFY(padReady(*w));

    // The pad opens the connection as a key does.
    pad.stick(0, -Full);
    QTRY_COMPARE_WITH_TIMEOUT(driveChanges(peer.received()), QStringLiteral("2"), Timeout);
    QCOMPARE(greenSquare(*w), 2);
    pad.stick(-Full, -Full);
    QTRY_COMPARE_WITH_TIMEOUT(driveChanges(peer.received()), QStringLiteral("21"), Timeout);
    pad.stick(Full, Full);
    QTRY_COMPARE_WITH_TIMEOUT(driveChanges(peer.received()), QStringLiteral("219"), Timeout);
    pad.stick(0, 0);
    QTRY_COMPARE_WITH_TIMEOUT(driveChanges(peer.received()), QStringLiteral("2195"), Timeout);
}

void tst_frmMainPad::padStartsOnlyOnceTheWindowIsShown()
{
    dir().writeSettings(Loopback, QStringLiteral("1500"));
    VirtualPad pad;
    frmMain w(dir().path());
    // SDL's start scans the input devices: the window must not wait for it.
    QVERIFY(!control<QTimer>(w, "tmrPad")->isActive());
    QCOMPARE(padLine(w)->text(), QStringLiteral("No gamepad"));
    QVERIFY(activate(w));
    QVERIFY(padReady(w));
}

void tst_frmMainPad::padPluggedInDeflectedWaitsForNeutral()
{
    LoopbackPeer peer;
    auto w = openMainWindow(dir(), Loopback, peer.portText());
    VirtualPad pad;
    pad.stick(0, -Full);
    QTRY_VERIFY_WITH_TIMEOUT(padLine(*w)->text().contains(QLatin1Char('(')), Timeout);
    QVERIFY(fewPolls(*w));
    QCOMPARE(peer.connectionCount(), 0);

    pad.stick(0, 0);
    QVERIFY(padReady(*w));
    pad.stick(0, -Full);
    QTRY_COMPARE_WITH_TIMEOUT(driveChanges(peer.received()), QStringLiteral("2"), Timeout);
}

void tst_frmMainPad::triggerHeldAtPlugInWaitsForNeutral()
{
    // SDL shows a trigger as let go from the pad's opening until it has read
    // the device: a pad plugged in, or taking over, with its trigger held
    // must not pass that for neutral.
    LoopbackPeer peer;
    auto w = openMainWindow(dir(), Loopback, peer.portText());
    VirtualPad first;
    first.rightTrigger(Full);
    QTRY_VERIFY_WITH_TIMEOUT(padLine(*w)->text().startsWith(QLatin1String("Gamepad:")), Timeout);
    QVERIFY(fewPolls(*w));
    QCOMPARE(peer.connectionCount(), 0);
    first.rightTrigger(0);
    QVERIFY(padReady(*w));

    VirtualPad second;
    second.rightTrigger(Full);
    QVERIFY(fewPolls(*w));
    first.unplug();
    QVERIFY(fewPolls(*w));
    QCOMPARE(peer.connectionCount(), 0);
    QVERIFY(padLine(*w)->text().contains(QLatin1Char('(')));
}

void tst_frmMainPad::unplugWhileDrivingStops()
{
    LoopbackPeer peer;
    auto w = openMainWindow(dir(), Loopback, peer.portText());
    VirtualPad pad;
    QVERIFY(padReady(*w));
    pad.stick(0, -Full);
    QTRY_COMPARE_WITH_TIMEOUT(driveChanges(peer.received()), QStringLiteral("2"), Timeout);

    pad.unplug();
    QTRY_COMPARE_WITH_TIMEOUT(driveChanges(peer.received()), QStringLiteral("25"), Timeout);
    QCOMPARE(padLine(*w)->text(), QStringLiteral("No gamepad"));
}

void tst_frmMainPad::deactivationWhileHeldStopsUntilNeutral()
{
    LoopbackPeer peer;
    auto w = openMainWindow(dir(), Loopback, peer.portText());
    VirtualPad pad;
    QVERIFY(padReady(*w));
    pad.stick(0, Full);
    QTRY_COMPARE_WITH_TIMEOUT(driveChanges(peer.received()), QStringLiteral("8"), Timeout);

    QWidget other;
    QVERIFY(activate(other));
    QTRY_COMPARE_WITH_TIMEOUT(driveChanges(peer.received()), QStringLiteral("85"), Timeout);
    // Let go and pushed again while another window is active: still nothing.
    pad.stick(0, 0);
    QVERIFY(fewPolls(*w));
    pad.stick(0, Full);
    QVERIFY(fewPolls(*w));
    QCOMPARE(driveChanges(peer.received()), QStringLiteral("85"));
    // Back in the window, the stick still held does not drive, and nor does
    // a new push before it has been let go.
    QVERIFY(activate(*w));
    pad.stick(0, -Full);
    QVERIFY(fewPolls(*w));
    QCOMPARE(driveChanges(peer.received()), QStringLiteral("85"));

    pad.stick(0, 0);
    QVERIFY(padReady(*w));
    pad.stick(0, -Full);
    QTRY_COMPARE_WITH_TIMEOUT(driveChanges(peer.received()), QStringLiteral("852"), Timeout);
}

QTEST_MAIN(tst_frmMainPad)
#include "tst_frmMainPad.moc"
