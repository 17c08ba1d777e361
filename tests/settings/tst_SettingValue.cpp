#include "settings/SettingValue.h"

#include <QObject>
#include <QTest>
#include <cmath>
#include <limits>
#include <optional>

using OptInt = std::optional<qint64>;
Q_DECLARE_METATYPE(OptInt)
Q_DECLARE_METATYPE(SettingValue)

class tst_SettingValue : public QObject {
    Q_OBJECT

private slots:
    void integerPartOfText_data();
    void integerPartOfText();
    void integerPartOfNumber_data();
    void integerPartOfNumber();
    void textOfValue_data();
    void textOfValue();
    void portFromFileAndFromDialogAgree();
    void parseDecimal_data();
    void parseDecimal();
};

void tst_SettingValue::integerPartOfText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<OptInt>("expected");

    QTest::newRow("plain") << "1500" << OptInt(1500);
    QTest::newRow("spaces around") << "  1500  " << OptInt(1500);
    QTest::newRow("plus sign") << "+2000" << OptInt(2000);
    QTest::newRow("fraction drops") << "1500.9" << OptInt(1500);
    QTest::newRow("negative rounds down") << "-1.5" << OptInt(-2);
    QTest::newRow("negative whole with zero fraction") << "-3.000" << OptInt(-3);
    QTest::newRow("small negative") << "-0.001" << OptInt(-1);
    QTest::newRow("minus zero") << "-0" << OptInt(0);
    QTest::newRow("exponent") << "1.5e3" << OptInt(1500);
    QTest::newRow("negative exponent") << "150000e-2" << OptInt(1500);
    QTest::newRow("point only before") << ".5" << OptInt(0);
    QTest::newRow("tiny negative exponent") << "-1e-999999999999" << OptInt(-1);
    // Exact, where a double would have rounded to 2^63 and overflowed.
    QTest::newRow("largest") << "9223372036854775807" << OptInt(std::numeric_limits<qint64>::max());
    QTest::newRow("smallest") << "-9223372036854775808"
                              << OptInt(std::numeric_limits<qint64>::min());
    QTest::newRow("smallest by rounding")
        << "-9223372036854775807.5" << OptInt(std::numeric_limits<qint64>::min());
    QTest::newRow("many nines") << "2.99999999999999999999999" << OptInt(2);

    QTest::newRow("one past largest") << "9223372036854775808" << OptInt();
    QTest::newRow("rounds below smallest") << "-9223372036854775808.1" << OptInt();
    QTest::newRow("huge") << "1e30" << OptInt();
    QTest::newRow("huge exponent") << "1e999999999999999999999" << OptInt();
    QTest::newRow("empty") << "" << OptInt();
    QTest::newRow("inf") << "inf" << OptInt();
    QTest::newRow("trailing letters") << "12abc" << OptInt();
    QTest::newRow("space after sign") << "- 1" << OptInt();
    QTest::newRow("exponent without digits") << "1e" << OptInt();
    QTest::newRow("tab is not a space") << "\t1500" << OptInt();
    QTest::newRow("Arabic-Indic digits") << QString::fromUtf8("\u0661\u0665") << OptInt();
}

void tst_SettingValue::integerPartOfText()
{
    QFETCH(QString, text);
    QFETCH(OptInt, expected);
    QCOMPARE(SettingValue::fromText(text).integerPart(), expected);
}

void tst_SettingValue::integerPartOfNumber_data()
{
    QTest::addColumn<double>("number");
    QTest::addColumn<OptInt>("expected");

    QTest::newRow("whole") << 1500.0 << OptInt(1500);
    QTest::newRow("fraction") << 1500.75 << OptInt(1500);
    QTest::newRow("negative fraction") << -1.5 << OptInt(-2);
    QTest::newRow("minus zero") << -0.0 << OptInt(0);
    QTest::newRow("2^63 does not fit") << 9223372036854775808.0 << OptInt();
    QTest::newRow("-2^63 fits") << -9223372036854775808.0
                                << OptInt(std::numeric_limits<qint64>::min());
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << OptInt();
    QTest::newRow("minus infinity") << -std::numeric_limits<double>::infinity() << OptInt();
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << OptInt();
}

void tst_SettingValue::integerPartOfNumber()
{
    QFETCH(double, number);
    QFETCH(OptInt, expected);
    QCOMPARE(SettingValue::fromNumber(number).integerPart(), expected);
}

void tst_SettingValue::textOfValue_data()
{
    QTest::addColumn<SettingValue>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty") << SettingValue() << QString();
    QTest::newRow("text unchanged") << SettingValue::fromText(" Car.Local ") << " Car.Local ";
    QTest::newRow("number") << SettingValue::fromNumber(1500) << "1500";
    QTest::newRow("negative") << SettingValue::fromNumber(-7) << "-7";
    QTest::newRow("zero") << SettingValue::fromNumber(0) << "0";
    QTest::newRow("minus zero") << SettingValue::fromNumber(-0.0) << "0";
    QTest::newRow("fraction") << SettingValue::fromNumber(2.5) << "2.5";
    QTest::newRow("large, no exponent")
        << SettingValue::fromNumber(1e20) << "100000000000000000000";
}

void tst_SettingValue::textOfValue()
{
    QFETCH(SettingValue, value);
    QFETCH(QString, expected);
    QCOMPARE(value.text(), expected);
}

void tst_SettingValue::portFromFileAndFromDialogAgree()
{
    const SettingValue fromFile = SettingValue::fromText(QStringLiteral("1500"));
    const SettingValue fromDialog = SettingValue::fromNumber(1500);
    QCOMPARE(fromFile.text(), fromDialog.text());
    QCOMPARE(fromFile.integerPart(), fromDialog.integerPart());
    QCOMPARE(fromFile.integerPart(), OptInt(1500));
    // They stay different kinds of value all the same.
    QVERIFY(fromFile.isText());
    QVERIFY(fromDialog.isNumber());
    QVERIFY(!(fromFile == fromDialog));
    QCOMPARE(SettingValue().integerPart(), OptInt(0));
}

void tst_SettingValue::parseDecimal_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<double>("value");

    QTest::newRow("integer") << "1500" << true << 1500.0;
    QTest::newRow("spaces") << " 1500 " << true << 1500.0;
    QTest::newRow("negative fraction") << "-12.25" << true << -12.25;
    QTest::newRow("plus") << "+3" << true << 3.0;
    QTest::newRow("exponent") << "2.5e2" << true << 250.0;
    QTest::newRow("negative exponent") << "25E-1" << true << 2.5;
    QTest::newRow("leading point") << ".25" << true << 0.25;
    QTest::newRow("trailing point") << "4." << true << 4.0;
    QTest::newRow("leading zeros") << "0007" << true << 7.0;
    QTest::newRow("zero") << "0" << true << 0.0;
    QTest::newRow("overflow is endless")
        << "1e400" << true << std::numeric_limits<double>::infinity();
    QTest::newRow("negative overflow")
        << "-1e400" << true << -std::numeric_limits<double>::infinity();

    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("blank") << "  " << false << 0.0;
    QTest::newRow("word") << "port" << false << 0.0;
    QTest::newRow("inf") << "inf" << false << 0.0;
    QTest::newRow("infinity") << "-Infinity" << false << 0.0;
    QTest::newRow("nan") << "NaN" << false << 0.0;
    QTest::newRow("hex") << "0x10" << false << 0.0;
    QTest::newRow("comma") << "1,5" << false << 0.0;
    QTest::newRow("trailing junk") << "12abc" << false << 0.0;
    QTest::newRow("exponent only") << "e5" << false << 0.0;
    QTest::newRow("double exponent") << "1e5e5" << false << 0.0;
    QTest::newRow("NUL inside") << QString::fromLatin1("15\0"
                                                       "00",
                                                       5)
                                << false << 0.0;
}

void tst_SettingValue::parseDecimal()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QFETCH(double, value);
    const std::optional<double> parsed = ::parseDecimal(text);
    QCOMPARE(parsed.has_value(), accepted);
    if (accepted)
        QCOMPARE(*parsed, value);
}

QTEST_GUILESS_MAIN(tst_SettingValue)
#include "tst_SettingValue.moc"
