// The line that tells the driver how the car hears the commands, as a
// function of the system's figures and the clock.
#include "link/LinkText.h"

#include <QTest>

class tst_LinkText : public QObject {
    Q_OBJECT

private slots:
    void linePerReading_data();
    void linePerReading();
};

void tst_LinkText::linePerReading_data()
{
    QTest::addColumn<bool>("known");
    QTest::addColumn<qint64>("roundTripUs");
    QTest::addColumn<qint64>("waitingSinceMs");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("level");
    const int good = int(LinkLevel::Good);
    const int slow = int(LinkLevel::Slow);
    const int noAnswer = int(LinkLevel::NoAnswer);
    // The clock reads 10000 ms; -1 means nothing waits.
    QTest::newRow("no figures") << false << qint64(4000) << qint64(-1) << QString()
                                << int(LinkLevel::Unknown);
    QTest::newRow("quick") << true << qint64(4000) << qint64(-1) << "Link 4 ms" << good;
    QTest::newRow("rounded to whole ms")
        << true << qint64(4600) << qint64(-1) << "Link 5 ms" << good;
    QTest::newRow("150 ms is not slow")
        << true << qint64(150000) << qint64(-1) << "Link 150 ms" << good;
    QTest::newRow("slow") << true << qint64(230000) << qint64(-1) << "Link slow: 230 ms" << slow;
    QTest::newRow("waited 0.5 s: not yet")
        << true << qint64(4000) << qint64(9500) << "Link 4 ms" << good;
    QTest::newRow("no answer") << true << qint64(4000) << qint64(9200)
                               << "No answer from the car for 0.8 s" << noAnswer;
    QTest::newRow("whole tenths only")
        << true << qint64(4000) << qint64(8701) << "No answer from the car for 1.2 s" << noAnswer;
    QTest::newRow("no answer over slow")
        << true << qint64(230000) << qint64(8000) << "No answer from the car for 2.0 s" << noAnswer;
}

void tst_LinkText::linePerReading()
{
    QFETCH(bool, known);
    QFETCH(qint64, roundTripUs);
    QFETCH(qint64, waitingSinceMs);
    QFETCH(QString, text);
    QFETCH(int, level);
    std::optional<LinkReading> reading;
    if (known) {
        reading = LinkReading{roundTripUs, std::nullopt};
        if (waitingSinceMs >= 0)
            reading->oldestWaitingSentMs = waitingSinceMs;
    }
    const LinkStatus status = describeLink(reading, 10000);
    QCOMPARE(status.text, text);
    QCOMPARE(int(status.level), level);
}

QTEST_APPLESS_MAIN(tst_LinkText)
#include "tst_LinkText.moc"
