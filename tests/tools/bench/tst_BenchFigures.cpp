// The arithmetic and parsing behind the benchmark table: a wrong percentile
// or a misread /proc field would report a target met that was not.

#include "bench/BenchFigures.h"

#include <QTest>

class tst_BenchFigures : public QObject {
    Q_OBJECT

private slots:
    void percentileByNearestRank_data();
    void percentileByNearestRank();
    void procFields_data();
    void procFields();
    void verdictAndTable();
};

void tst_BenchFigures::percentileByNearestRank_data()
{
    QTest::addColumn<QList<double>>("samples");
    QTest::addColumn<double>("p");
    QTest::addColumn<double>("expected");

    QList<double> hundred;
    for (int i = 100; i >= 1; --i)
        hundred << double(i);
    QTest::newRow("p50 of 1..100, given backwards") << hundred << 50.0 << 50.0;
    QTest::newRow("p99 of 1..100") << hundred << 99.0 << 99.0;
    QTest::newRow("p100 is the largest") << hundred << 100.0 << 100.0;
    // With few samples p99 is the worst one, not something in between.
    QTest::newRow("p99 of three") << QList<double>{0.2, 5.0, 0.3} << 99.0 << 5.0;
    QTest::newRow("one sample") << QList<double>{0.7} << 50.0 << 0.7;
    QTest::newRow("median of an even count is the lower middle")
        << QList<double>{4, 1, 3, 2} << 50.0 << 2.0;
}

void tst_BenchFigures::percentileByNearestRank()
{
    QFETCH(QList<double>, samples);
    QFETCH(double, p);
    QFETCH(double, expected);
    QCOMPARE(percentile(samples, p), std::optional<double>(expected));
    QCOMPARE(percentile({}, p), std::nullopt);
    QCOMPARE(percentile(samples, 0), std::nullopt);
}

void tst_BenchFigures::procFields_data()
{
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<qint64>("expected");

    const QByteArray status = "Name:\tvelmora\nVmPeak:\t  402380 kB\nVmHWM:\t   38112 kB\n"
                              "VmRSS:\t   37020 kB\nThreads:\t3\n";
    QTest::newRow("VmRSS") << status << QByteArray("VmRSS") << qint64(37020);
    QTest::newRow("VmHWM, not VmPeak") << status << QByteArray("VmHWM") << qint64(38112);
    QTest::newRow("missing field") << status << QByteArray("VmSwap") << qint64(-1);
    QTest::newRow("not in kB") << status << QByteArray("Threads") << qint64(-1);
    QTest::newRow("prefix of a name is not the name") << status << QByteArray("VmH") << qint64(-1);
}

void tst_BenchFigures::procFields()
{
    QFETCH(QByteArray, status);
    QFETCH(QByteArray, name);
    QFETCH(qint64, expected);
    QCOMPARE(statusKilobytes(status, name).value_or(-1), expected);

    QCOMPARE(schedstatCpuNs("1834756 29384 41\n"), std::optional<qint64>(1834756));
    QCOMPARE(schedstatCpuNs(""), std::nullopt);
    QCOMPARE(schedstatCpuNs("x 1 2"), std::nullopt);
    QCOMPARE(corePercent(5'000'000, 10'000'000'000), 0.05);
}

void tst_BenchFigures::verdictAndTable()
{
    const BenchRow onTarget{QStringLiteral("Start-up"), 250.0, QStringLiteral("ms"), 250, {}};
    const BenchRow over{QStringLiteral("Latency p99"), 2.4, QStringLiteral("ms"), 2,
                        QStringLiteral("400 events")};
    const BenchRow missing{QStringLiteral("Dead link"), std::nullopt, QStringLiteral("s"), 5,
                           QStringLiteral("no namespace")};
    const BenchRow shortMargin{QStringLiteral("Margin"), 2.4, QStringLiteral("s"), 2.5, {}, true};
    QCOMPARE(verdict(onTarget), QStringLiteral("yes"));
    QCOMPARE(verdict(over), QStringLiteral("NO"));
    QCOMPARE(verdict(missing), QStringLiteral("not measured"));
    QCOMPARE(verdict(shortMargin), QStringLiteral("NO"));

    const QStringList lines =
        markdownTable({onTarget, over, missing, shortMargin}, QStringLiteral("box"))
            .split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 7);
    QCOMPARE(lines.at(2), QStringLiteral("| Start-up | 250 ms | <= 250 ms | yes | box |"));
    QCOMPARE(lines.at(3),
             QStringLiteral("| Latency p99 | 2.40 ms (400 events) | <= 2 ms | NO | box |"));
    QCOMPARE(lines.at(4),
             QStringLiteral("| Dead link | - (no namespace) | <= 5 s | not measured | box |"));
    QCOMPARE(lines.at(5), QStringLiteral("| Margin | 2.40 s | >= 2.5 s | NO | box |"));
}

QTEST_GUILESS_MAIN(tst_BenchFigures)
#include "tst_BenchFigures.moc"
