#include "tools/carsim/CarsimOptions.h"

#include <QTest>

class tst_CarsimOptions : public QObject {
    Q_OBJECT

private slots:
    void acceptsGoodArguments_data();
    void acceptsGoodArguments();
    void rejectsBadArguments_data();
    void rejectsBadArguments();
};

void tst_CarsimOptions::acceptsGoodArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("closeAfter");
    QTest::addColumn<bool>("flood");

    QTest::newRow("defaults") << QStringList{} << "127.0.0.1" << 1500 << 0 << false;
    QTest::newRow("port 0") << QStringList{"--port", "0"} << "127.0.0.1" << 0 << 0 << false;
    QTest::newRow("top port") << QStringList{"--port=65535"} << "127.0.0.1" << 65535 << 0 << false;
    QTest::newRow("IPv6 listen") << QStringList{"--listen", "::1"} << "::1" << 1500 << 0 << false;
    QTest::newRow("localhost") << QStringList{"--listen", "LocalHost"} << "127.0.0.1" << 1500 << 0
                               << false;
    QTest::newRow("everything") << QStringList{"--listen",      "127.0.0.2", "--port", "2000",
                                               "--close-after", "3",         "--flood"}
                                << "127.0.0.2" << 2000 << 3 << true;
}

void tst_CarsimOptions::acceptsGoodArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, address);
    QFETCH(int, port);
    QFETCH(int, closeAfter);
    QFETCH(bool, flood);

    arguments.prepend(QStringLiteral("velmora-carsim"));
    const CarsimArguments parsed = parseCarsimArguments(arguments);
    QCOMPARE(parsed.outcome, CarsimArguments::Outcome::Run);
    QCOMPARE(parsed.options.listenAddress, QHostAddress(address));
    QCOMPARE(parsed.options.port, port);
    QCOMPARE(parsed.options.closeAfter, closeAfter);
    QCOMPARE(parsed.options.flood, flood);
}

void tst_CarsimOptions::rejectsBadArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("errorPart");

    QTest::newRow("unknown option") << QStringList{"--fast"} << "fast";
    QTest::newRow("stray word") << QStringList{"1500"} << "1500";
    QTest::newRow("port missing") << QStringList{"--port"} << "--port";
    QTest::newRow("port too big") << QStringList{"--port", "65536"} << "65536";
    QTest::newRow("port with sign") << QStringList{"--port", "+80"} << "+80";
    QTest::newRow("port with blank") << QStringList{"--port", " 80"} << "--port";
    QTest::newRow("port huge") << QStringList{"--port", "99999999999999999999"} << "--port";
    QTest::newRow("host name") << QStringList{"--listen", "car.local"} << "car.local";
    QTest::newRow("empty address") << QStringList{"--listen="} << "--listen";
    QTest::newRow("close after 0") << QStringList{"--close-after", "0"} << "--close-after";
    QTest::newRow("flood takes no value") << QStringList{"--flood=yes"} << "flood";
    QTest::newRow("camera port too big") << QStringList{"--camera-port", "70000"} << "70000";
    QTest::newRow("camera port and none")
        << QStringList{"--camera-port", "8081", "--no-camera"} << "--no-camera";
}

void tst_CarsimOptions::rejectsBadArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, errorPart);

    arguments.prepend(QStringLiteral("velmora-carsim"));
    const CarsimArguments parsed = parseCarsimArguments(arguments);
    QCOMPARE(parsed.outcome, CarsimArguments::Outcome::Error);
    QVERIFY2(parsed.error.contains(errorPart), qPrintable(parsed.error));
}

QTEST_GUILESS_MAIN(tst_CarsimOptions)
#include "tst_CarsimOptions.moc"
