// Feeds arbitrary text to the number reading behind the port: the decimal
// reader, the integer part of a setting, and the dialog's port field; and
// arbitrary doubles to a setting held as a number. Checks that the ways a
// port can be read agree with one another.

#include "FuzzChecks.h"
#include "settings/SettingValue.h"
#include "settings/SettingsFile.h"
#include "settings/frmComm.h"

#include <QString>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

namespace {

// Below 2^53 every whole number is a double, so the double nearest a text
// and its whole part can be compared exactly.
constexpr double ExactWholeNumbers = 9007199254740992.0;
// 2^63: the first whole number beyond qint64.
constexpr double BeyondInt64 = 9223372036854775808.0;

// The integer part works on the text's own digits, the value is the nearest
// double; rounding may carry the value up onto the next whole number, but
// never further and never down below the integer part.
void checkWholePart(double value, const std::optional<qint64>& whole)
{
    // Only a text too long for a double reads as infinite.
    if (!std::isfinite(value)) {
        FUZZ_CHECK(!whole);
        return;
    }
    // Near 2^63 rounding decides which side of the limit the value lands on;
    // well inside or well outside, the integer part must follow.
    if (std::fabs(value) > BeyondInt64)
        FUZZ_CHECK(!whole);
    if (std::fabs(value) < BeyondInt64 / 2)
        FUZZ_CHECK(whole.has_value());
    if (whole && std::fabs(value) < ExactWholeNumbers) {
        const double down = std::floor(value);
        FUZZ_CHECK(double(*whole) == down || double(*whole) + 1 == value);
    }
}

// A number as the dialog keeps it and the text it is saved as must mean the
// same: reading the text gives the number back, and the same integer part.
void checkNumber(double number)
{
    const SettingValue kept = SettingValue::fromNumber(number);
    const QString text = kept.text();
    FUZZ_CHECK(!text.startsWith(QLatin1Char(' ')));
    const SettingValue reread = SettingValue::fromText(text);
    if (!std::isfinite(number)) {
        FUZZ_CHECK(!kept.integerPart());
        FUZZ_CHECK(!reread.integerPart());
        return;
    }
    FUZZ_CHECK(parseDecimal(text) == number);
    checkWholePart(number, kept.integerPart());
    if (std::fabs(number) < ExactWholeNumbers)
        FUZZ_CHECK(kept.integerPart() == reread.integerPart());
}

void checkText(const QString& text)
{
    const SettingValue asText = SettingValue::fromText(text);
    FUZZ_CHECK(asText.text() == text);

    const std::optional<double> value = parseDecimal(text);
    const std::optional<qint64> whole = asText.integerPart();
    // What is not a number has no integer part.
    if (!value)
        FUZZ_CHECK(!whole);
    else
        checkWholePart(*value, whole);

    // The dialog takes exactly the integer parts that are usable ports.
    const std::optional<int> port = portFromField(text);
    if (whole && *whole >= MinRemotePort && *whole <= MaxRemotePort)
        FUZZ_CHECK(port == *whole);
    else
        FUZZ_CHECK(!port);

    // A port stored by the dialog is saved and read back as the same port.
    if (port) {
        const SettingValue stored = SettingValue::fromNumber(*port);
        FUZZ_CHECK(stored.text() == QString::number(*port));
        const SettingsRead read =
            parseSettingsFile(formatSettingsFile(stored.text(), QStringLiteral("car")));
        FUZZ_CHECK(read.remotePort.has_value());
        FUZZ_CHECK(SettingValue::fromText(*read.remotePort).integerPart() == *port);
    }

    if (value)
        checkNumber(*value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    checkText(QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (size >= sizeof(double)) {
        double number = 0;
        std::memcpy(&number, data, sizeof number);
        checkNumber(number);
    }
    return 0;
}
