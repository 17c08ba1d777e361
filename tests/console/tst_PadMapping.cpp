// The pad's readings turned into drive directions, without a device.
#include "console/PadMapping.h"

#include <QTest>

namespace {

constexpr qint16 Full = 32767;

PadReading stick(double x, double y)
{
    PadReading r;
    r.stickX = qint16(x * Full);
    r.stickY = qint16(y * Full);
    return r;
}

// A mapping that has read neutral once, so that it may drive.
PadMapping ready()
{
    PadMapping mapping;
    mapping.read({});
    return mapping;
}

} // namespace

class tst_PadMapping : public QObject {
    Q_OBJECT

private slots:
    void stickHoldsBetweenItsThresholds();
    void triggersAndOppositesAtOnce();
    void drivesOnlyAfterReadingNeutral();
};

void tst_PadMapping::stickHoldsBetweenItsThresholds()
{
    PadMapping mapping = ready();
    // Up to half deflection nothing engages; each axis on its own.
    QCOMPARE(mapping.read(stick(0.45, -0.45)), PadDirections{});
    const PadDirections diagonal{Drive::Forward, Drive::Right};
    QCOMPARE(mapping.read(stick(0.55, -0.55)), diagonal);
    // A stick drifting back into the dead zone's edge stays engaged, and
    // one resting there does not flicker.
    for (double d : {0.4, 0.36, 0.45, 0.35})
        QCOMPARE(mapping.read(stick(d, -d)), diagonal);
    QCOMPARE(mapping.read(stick(0.3, -0.3)), PadDirections{});
    QCOMPARE(mapping.read(stick(0.45, -0.45)), PadDirections{});
    // The far end of each axis: full back and full left.
    PadReading far = stick(0, 1);
    far.stickX = -32768;
    QCOMPARE(mapping.read(far), (PadDirections{Drive::Reverse, Drive::Left}));
}

void tst_PadMapping::triggersAndOppositesAtOnce()
{
    PadMapping mapping = ready();
    PadReading r;
    r.rightTrigger = qint16(0.3 * Full);
    QCOMPARE(mapping.read(r), PadDirections{});
    r.rightTrigger = qint16(0.35 * Full);
    QCOMPARE(mapping.read(r).throttle, Drive::Forward);
    r.rightTrigger = qint16(0.21 * Full);
    QCOMPARE(mapping.read(r).throttle, Drive::Forward);
    // Forward and reverse asked at once is neutral; so are left and right.
    r.dpadDown = true;
    r.dpadLeft = true;
    r.dpadRight = true;
    QCOMPARE(mapping.read(r), PadDirections{});
    r.dpadDown = false;
    r.rightTrigger = qint16(0.19 * Full);
    r.leftTrigger = qint16(0.4 * Full);
    r.dpadRight = false;
    QCOMPARE(mapping.read(r), (PadDirections{Drive::Reverse, Drive::Left}));
}

void tst_PadMapping::drivesOnlyAfterReadingNeutral()
{
    // A pad that starts deflected, one told to wait, and one whose stop
    // button went down all ask for nothing until they have read neutral.
    PadMapping mapping;
    QCOMPARE(mapping.read(stick(0, -1)), PadDirections{});
    QCOMPARE(mapping.read(stick(0, 0)), PadDirections{});
    QCOMPARE(mapping.read(stick(0, -1)).throttle, Drive::Forward);

    mapping.requireNeutral();
    QCOMPARE(mapping.read(stick(0, -1)), PadDirections{});
    mapping.read({});

    PadReading r = stick(1, -1);
    QCOMPARE(mapping.read(r), (PadDirections{Drive::Forward, Drive::Right}));
    r.east = true;
    QCOMPARE(mapping.read(r), (PadDirections{Drive::Neutral, Drive::Straight, true}));
    QCOMPARE(mapping.read(r), PadDirections{});
    r.east = false;
    QCOMPARE(mapping.read(r), PadDirections{});
    QVERIFY(!mapping.mayDrive());
    mapping.read({});
    QVERIFY(mapping.mayDrive());
}

QTEST_APPLESS_MAIN(tst_PadMapping)
#include "tst_PadMapping.moc"
