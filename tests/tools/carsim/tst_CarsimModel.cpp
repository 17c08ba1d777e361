#include "tools/carsim/CarSession.h"

#include <QTest>

#include <cmath>

namespace {

constexpr double kFrame = 1.0 / 60;

void drive(CarModel& car, int code, double seconds)
{
    car.setCode(code);
    for (double t = 0; t < seconds - 1e-9; t += kFrame)
        car.advance(kFrame);
}

} // namespace

// The car's motion and its failsafe, stepped by hand at a fixed rate.
class tst_CarsimModel : public QObject {
    Q_OBJECT

private slots:
    void forwardForOneSecond();
    void firstHoldDrivesAcrossTheArena();
    void steering();
    void wallStopsTheCar();
    void silenceBrakesFromTheDeadline();
    void closedLinkStopsUntilNextCommand();
};

void tst_CarsimModel::forwardForOneSecond()
{
    CarModel car;
    const QPointF start = car.position();
    drive(car, 2, 1.0);
    // Up to full speed in half a second, then half a second at 2 m/s.
    QVERIFY2(std::abs(car.position().x() - start.x() - 1.5) < 0.05,
             qPrintable(QString::number(car.position().x() - start.x())));
    QCOMPARE(car.position().y(), start.y());

    drive(car, 8, 2.0);
    QVERIFY(car.speed() < 0 && car.speed() >= -1.0);
}

void tst_CarsimModel::firstHoldDrivesAcrossTheArena()
{
    // A newcomer's first hold of forward, from where the car starts.
    CarModel car;
    drive(car, 2, 2.5);
    QVERIFY(!car.isAtWall());
    QCOMPARE(car.speed(), 2.0);
}

void tst_CarsimModel::steering()
{
    CarModel car;
    const QPointF start = car.position();
    drive(car, 4, 0.5);
    QCOMPARE(car.position(), start);
    QCOMPARE(car.steer(), 30.0);

    drive(car, 1, 0.5);
    // Facing right, a left turn goes up and turns anticlockwise.
    QVERIFY(car.position().y() > start.y() + 0.05);
    QVERIFY(car.heading() > 0.2);
}

void tst_CarsimModel::wallStopsTheCar()
{
    CarModel car;
    drive(car, 2, 5.0);
    QVERIFY(car.isAtWall());
    QCOMPARE(car.speed(), 0.0);
    for (const QPointF& corner : car.corners())
        QVERIFY(CarModel::arena().contains(corner));
    QVERIFY(!car.isMoving());

    const double atWall = car.position().x();
    drive(car, 8, 0.5);
    QVERIFY(car.position().x() < atWall - 0.05);
    QVERIFY(!car.isAtWall());
}

void tst_CarsimModel::silenceBrakesFromTheDeadline()
{
    // One session drawn at 60 frames a second, one woken only late: the
    // failsafe must brake both from the same moment.
    CarSession framed;
    CarSession late;
    for (CarSession* session : {&framed, &late}) {
        session->linkOpened(QStringLiteral("127.0.0.1:40000"), 0);
        session->command(2, 0);
    }
    for (qint64 t = 0; t <= 3000; t += 16)
        framed.advanceTo(t);
    framed.advanceTo(3000);
    late.advanceTo(1400);
    QCOMPARE(late.stop(), Failsafe::Stop::None);
    late.advanceTo(3000);

    for (const CarSession* session : {&framed, &late}) {
        QCOMPARE(session->stop(), Failsafe::Stop::Silence);
        QCOMPARE(session->car().speed(), 0.0);
    }
    QVERIFY(std::abs(framed.car().position().x() - late.car().position().x()) < 0.01);
}

void tst_CarsimModel::closedLinkStopsUntilNextCommand()
{
    CarSession session;
    session.linkOpened(QStringLiteral("127.0.0.1:40000"), 0);
    session.command(2, 0);
    session.advanceTo(300);
    session.linkClosed(300);
    session.advanceTo(1000);
    QCOMPARE(session.stop(), Failsafe::Stop::LinkClosed);
    QCOMPARE(session.car().speed(), 0.0);
    QVERIFY(session.peer().isEmpty());

    // A new connection alone does not lift the stop; its first command does.
    session.linkOpened(QStringLiteral("127.0.0.1:40001"), 1000);
    session.advanceTo(1200);
    QCOMPARE(session.stop(), Failsafe::Stop::LinkClosed);
    const double stopped = session.car().position().x();
    session.command(2, 1200);
    session.advanceTo(1500);
    QCOMPARE(session.stop(), Failsafe::Stop::None);
    QVERIFY(session.car().position().x() > stopped + 0.1);
}

QTEST_GUILESS_MAIN(tst_CarsimModel)
#include "tst_CarsimModel.moc"
