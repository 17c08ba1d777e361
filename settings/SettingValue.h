#pragma once

#include <QString>
#include <QStringView>
#include <optional>
#include <variant>

// A connection setting as the program keeps it: empty, a text (as read from
// the settings file) or a number (as entered in the dialog).
class SettingValue {
public:
    SettingValue() = default;
    static SettingValue fromText(const QString& text);
    static SettingValue fromNumber(double number);

    bool isEmpty() const { return std::holds_alternative<std::monostate>(m_value); }
    bool isText() const { return std::holds_alternative<QString>(m_value); }
    bool isNumber() const { return std::holds_alternative<double>(m_value); }

    // Text unchanged; a number in plain decimal with no leading space
    // (1500 gives "1500"); empty gives "".
    QString text() const;

    // The value read as a number and rounded down. Empty reads as 0; a text
    // must be a decimal number (see parseDecimal). Anything that is not a
    // number, or whose whole part does not fit in 64 bits, has none.
    std::optional<qint64> integerPart() const;

    friend bool operator==(const SettingValue&, const SettingValue&) = default;

private:
    std::variant<std::monostate, QString, double> m_value;
};

// Reads a decimal number: optional spaces, an optional sign, digits with an
// optional decimal point and an optional exponent, optional spaces. Anything
// else, the empty text included, is not a number.
std::optional<double> parseDecimal(QStringView text);
