// What the settings dialog makes of its two fields, checked without the
// dialog: the port read as a number, and why a host would be refused.

#include "settings/frmComm.h"

#include <QObject>
#include <QTest>

class tst_frmCommFields : public QObject {
    Q_OBJECT

private slots:
    void portFromField_data();
    void portFromField();
    void checkHostField_data();
    void checkHostField();
};

void tst_frmCommFields::portFromField_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected"); // 0: refused

    QTest::newRow("plain") << "1500" << 1500;
    QTest::newRow("fraction rounds down") << "1500.9" << 1500;
    QTest::newRow("highest") << "65535" << 65535;
    QTest::newRow("highest with fraction") << "65535.9" << 65535;
    QTest::newRow("many nines stay below the next port") << "65535.99999999999999999999" << 65535;
    QTest::newRow("spaces around") << "  80  " << 80;
    QTest::newRow("exponent") << "1.5e3" << 1500;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("letters") << "abc" << 0;
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("below one rounds to zero") << "0.99" << 0;
    QTest::newRow("small negative rounds below zero") << "-0.5" << 0;
    QTest::newRow("one past the highest") << "65536" << 0;
    QTest::newRow("beyond 64 bits") << "99999999999999999999999" << 0;
    QTest::newRow("wraps to a small port in 32 bits") << "4294968796" << 0;
}

void tst_frmCommFields::portFromField()
{
    QFETCH(QString, text);
    QFETCH(int, expected);

    const std::optional<int> port = ::portFromField(text);
    if (expected == 0)
        QVERIFY2(!port, qPrintable(QStringLiteral("accepted as %1").arg(port.value_or(0))));
    else
        QCOMPARE(port, std::optional<int>(expected));
}

void tst_frmCommFields::checkHostField_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<HostProblem>("expected");

    QTest::newRow("name in capitals") << "MyCar.LAN" << HostProblem::None;
    QTest::newRow("hyphens and digits") << "car-2.lan-1" << HostProblem::None;
    QTest::newRow("IPv4") << "127.0.0.1" << HostProblem::None;
    QTest::newRow("IPv6") << "::1" << HostProblem::None;
    QTest::newRow("IPv6 with a scope") << "fe80::1%eth0" << HostProblem::None;
    QTest::newRow("not ASCII") << QStringLiteral("caf\u00e9") << HostProblem::None;
    QTest::newRow("space after a name") << "car.local " << HostProblem::Space;
    QTest::newRow("spaces around an address") << " 127.0.0.1 " << HostProblem::Space;
    QTest::newRow("space inside") << "my car" << HostProblem::Space;
    QTest::newRow("scheme") << "http://car" << HostProblem::Scheme;
    QTest::newRow("path") << "car/drive" << HostProblem::Path;
    QTest::newRow("backslash") << "car\\x" << HostProblem::Path;
    QTest::newRow("port") << "127.0.0.1:1500" << HostProblem::Port;
    QTest::newRow("port after a name") << "car:1500" << HostProblem::Port;
    QTest::newRow("sign") << "car!" << HostProblem::NotAHostName;
    QTest::newRow("empty label") << "car..local" << HostProblem::NotAHostName;
    QTest::newRow("leading hyphen") << "-car" << HostProblem::NotAHostName;
    QTest::newRow("empty") << "" << HostProblem::Empty;
    QTest::newRow("spaces only") << "   " << HostProblem::Empty;
    QTest::newRow("line feed") << "car\nRemotePort=1" << HostProblem::ControlCharacter;
    QTest::newRow("tab") << "\tcar" << HostProblem::ControlCharacter;
    QTest::newRow("nul") << QString(QChar(0)) + "car" << HostProblem::ControlCharacter;
    QTest::newRow("next line") << QStringLiteral("car\u0085x") << HostProblem::ControlCharacter;
    QTest::newRow("line separator")
        << QStringLiteral("car\u2028x") << HostProblem::ControlCharacter;
    QTest::newRow("paragraph separator")
        << QStringLiteral("car\u2029x") << HostProblem::ControlCharacter;
}

void tst_frmCommFields::checkHostField()
{
    QFETCH(QString, text);
    QFETCH(HostProblem, expected);
    QCOMPARE(::checkHostField(text), expected);
}

QTEST_GUILESS_MAIN(tst_frmCommFields)
#include "tst_frmCommFields.moc"
