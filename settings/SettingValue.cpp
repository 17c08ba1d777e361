#include "settings/SettingValue.h"

#include <QByteArray>
#include <QLocale>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

// A decimal number taken apart: sign, its significant digits with leading
// zeros dropped, and where the decimal point falls among those digits
// (pointAt 2 with digits "15" is 15, 0 is 0.15, -1 is 0.015, 4 is 1500).
// Working on the digits themselves keeps the integer part exact, however
// many digits the text carries.
struct DecimalParts {
    bool negative = false;
    QByteArray digits;
    qint64 pointAt = 0;
};

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Exponents beyond this make every nonzero number either far too big for 64
// bits or a fraction of one, so clamping them loses nothing and keeps the
// arithmetic below from overflowing.
constexpr qint64 ExponentClamp = 1'000'000'000;

std::optional<DecimalParts> scanDecimal(QStringView text)
{
    const QChar space = QLatin1Char(' ');
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == space)
        ++i;

    DecimalParts parts;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        parts.negative = text[i] == QLatin1Char('-');
        ++i;
    }

    qsizetype mantissaDigits = 0;
    bool seenPoint = false;
    for (; i < n; ++i) {
        const QChar c = text[i];
        if (isDigit(c)) {
            ++mantissaDigits;
            if (parts.digits.isEmpty() && c == QLatin1Char('0')) {
                // A leading zero moves the point one place to the left of the
                // first significant digit.
                if (seenPoint)
                    --parts.pointAt;
                continue;
            }
            parts.digits.append(char(c.unicode()));
            if (!seenPoint)
                ++parts.pointAt;
        } else if (c == QLatin1Char('.') && !seenPoint) {
            seenPoint = true;
        } else {
            break;
        }
    }
    if (mantissaDigits == 0)
        return std::nullopt;

    if (i < n && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        ++i;
        bool negativeExponent = false;
        if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
            negativeExponent = text[i] == QLatin1Char('-');
            ++i;
        }
        qint64 exponent = 0;
        qsizetype exponentDigits = 0;
        for (; i < n && isDigit(text[i]); ++i) {
            ++exponentDigits;
            exponent = std::min(exponent * 10 + (text[i].unicode() - '0'), ExponentClamp);
        }
        if (exponentDigits == 0)
            return std::nullopt;
        parts.pointAt += negativeExponent ? -exponent : exponent;
    }

    while (i < n && text[i] == space)
        ++i;
    if (i != n)
        return std::nullopt;
    return parts;
}

std::optional<qint64> floorOf(const DecimalParts& parts)
{
    if (parts.digits.isEmpty())
        return 0;
    // The first digit is nonzero, so pointAt digits before the point make at
    // least 10^(pointAt - 1); from 20 digits on that is beyond 64 bits.
    if (parts.pointAt > 19)
        return std::nullopt;

    quint64 whole = 0;
    for (qint64 k = 0; k < parts.pointAt; ++k) {
        const char digit = k < parts.digits.size() ? parts.digits.at(k) : '0';
        whole = whole * 10 + quint64(digit - '0');
    }
    bool hasFraction = false;
    for (qint64 k = std::max<qint64>(parts.pointAt, 0); k < parts.digits.size(); ++k) {
        if (parts.digits.at(k) != '0') {
            hasFraction = true;
            break;
        }
    }

    constexpr quint64 maxPositive = quint64(std::numeric_limits<qint64>::max());
    if (!parts.negative) {
        if (whole > maxPositive)
            return std::nullopt;
        return qint64(whole);
    }
    // Rounding down takes a negative number with a fraction one further
    // from zero: -1.5 becomes -2.
    const quint64 magnitude = whole + (hasFraction ? 1 : 0);
    if (magnitude > maxPositive + 1 || magnitude < whole)
        return std::nullopt;
    if (magnitude == maxPositive + 1)
        return std::numeric_limits<qint64>::min();
    return -qint64(magnitude);
}

std::optional<qint64> floorOf(double number)
{
    if (!std::isfinite(number))
        return std::nullopt;
    const double down = std::floor(number);
    // 2^63 is exact as a double; the qint64 range is [-2^63, 2^63).
    constexpr double limit = 9223372036854775808.0;
    if (down < -limit || down >= limit)
        return std::nullopt;
    return qint64(down);
}

} // namespace

SettingValue SettingValue::fromText(const QString& text)
{
    SettingValue v;
    v.m_value = text;
    return v;
}

SettingValue SettingValue::fromNumber(double number)
{
    SettingValue v;
    v.m_value = number;
    return v;
}

QString SettingValue::text() const
{
    if (const auto* text = std::get_if<QString>(&m_value))
        return *text;
    if (const auto* number = std::get_if<double>(&m_value)) {
        // Minus zero would otherwise come out as "-0".
        if (*number == 0)
            return QStringLiteral("0");
        return QString::number(*number, 'f', QLocale::FloatingPointShortest);
    }
    return {};
}

std::optional<qint64> SettingValue::integerPart() const
{
    if (const auto* text = std::get_if<QString>(&m_value)) {
        const std::optional<DecimalParts> parts = scanDecimal(*text);
        if (!parts)
            return std::nullopt;
        return floorOf(*parts);
    }
    if (const auto* number = std::get_if<double>(&m_value))
        return floorOf(*number);
    return 0;
}

std::optional<double> parseDecimal(QStringView text)
{
    const std::optional<DecimalParts> parts = scanDecimal(text);
    if (!parts)
        return std::nullopt;
    const double sign = parts->negative ? -1.0 : 1.0;
    if (parts->digits.isEmpty())
        return sign * 0.0;

    // Rebuild the number in a form from_chars reads the same in every
    // locale: significant digits as a fraction, then the exponent.
    QByteArray canonical = "0." + parts->digits + 'e' + QByteArray::number(parts->pointAt);
    double value = 0;
    const char* first = canonical.constData();
    const char* last = first + canonical.size();
    const auto [end, ec] = std::from_chars(first, last, value);
    if (ec == std::errc::result_out_of_range) {
        // Too large for a double is still a number, just an endless one; too
        // small is as near zero as a double gets, keeping its sign so that
        // rounding down still sees which side of zero it lies on.
        value = parts->pointAt > 0 ? std::numeric_limits<double>::infinity()
                                   : std::numeric_limits<double>::denorm_min();
    } else if (ec != std::errc() || end != last) {
        return std::nullopt;
    }
    return sign * value;
}
