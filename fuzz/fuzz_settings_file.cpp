// Feeds arbitrary bytes to the settings file reader, and the same bytes as a
// host typed in the dialog to the writer, and checks what must hold for any
// file a driver, an editor or a broken disk could leave beside the program.

#include "FuzzChecks.h"
#include "settings/SettingsFile.h"
#include "settings/frmComm.h"

#include <QByteArray>
#include <QString>
#include <QStringEncoder>
#include <cstddef>
#include <cstdint>

namespace {

QString trimSpaces(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == QLatin1Char(' '))
        ++begin;
    while (end > begin && text[end - 1] == QLatin1Char(' '))
        --end;
    return text.sliced(begin, end - begin);
}

bool isLatin1(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0xFF)
            return false;
    }
    return true;
}

// What the reader hands out: one line's value, trimmed of spaces, lower case.
void checkForm(const std::optional<QString>& value)
{
    if (!value)
        return;
    FUZZ_CHECK(!value->contains(QLatin1Char('\n')));
    FUZZ_CHECK(trimSpaces(*value) == *value);
    FUZZ_CHECK(value->toLower() == *value);
}

// From a single-byte file, moreover, nothing that file could not hold again.
void checkValue(const std::optional<QString>& value)
{
    checkForm(value);
    if (value)
        FUZZ_CHECK(isLatin1(*value));
}

bool sameRead(const SettingsRead& a, const SettingsRead& b)
{
    return a.remotePort == b.remotePort && a.remoteHost == b.remoteHost;
}

void checkReader(const QByteArray& bytes)
{
    const SettingsRead read = parseSettingsFile(bytes);
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        // A UTF-16 file may hold any script: only the form of a value holds.
        checkForm(read.remotePort);
        checkForm(read.remoteHost);
        return;
    }
    checkValue(read.remotePort);
    checkValue(read.remoteHost);

    // Writing what was read and reading it back gives the same settings (a
    // missing key comes back empty), and writing those again gives the same
    // bytes: a file goes through any number of runs unchanged.
    const QString port = read.remotePort.value_or(QString());
    const QString host = read.remoteHost.value_or(QString());
    const QByteArray written = formatSettingsFile(port, host);
    const SettingsRead again = parseSettingsFile(written);
    FUZZ_CHECK(again.remotePort == port);
    FUZZ_CHECK(again.remoteHost == host);
    FUZZ_CHECK(formatSettingsFile(*again.remotePort, *again.remoteHost) == written);

    // The reader carries nothing from one line to the next: an ended last
    // line, an empty line or a comment changes nothing, and complete lines
    // after the input decide alone.
    const QByteArray ended = bytes + '\n';
    FUZZ_CHECK(sameRead(parseSettingsFile(ended), read));
    FUZZ_CHECK(sameRead(parseSettingsFile(ended + "\r\n'remotehost=x\r\n"), read));
    FUZZ_CHECK(sameRead(parseSettingsFile(ended + written), again));

    // The same text saved as UTF-16 with its byte-order mark, as Windows
    // PowerShell writes it, in either byte order, reads the same.
    if (!bytes.startsWith("\xEF\xBB\xBF")) {
        const QString text = QString::fromLatin1(bytes);
        for (const auto encoding : {QStringConverter::Utf16LE, QStringConverter::Utf16BE}) {
            QStringEncoder encoder(encoding, QStringConverter::Flag::WriteBom);
            const QByteArray utf16 = encoder(text);
            FUZZ_CHECK(sameRead(parseSettingsFile(utf16), read));
        }
    }
}

// A host the dialog accepts must come back on the next start as typed, in
// lower case, and must not disturb the port line.
void checkTypedHost(const QString& host)
{
    if (checkHostField(host) != HostProblem::None)
        return;
    const QString port = QStringLiteral("1500");
    const SettingsRead read = parseSettingsFile(formatSettingsFile(port, host));
    FUZZ_CHECK(read.remotePort == port);
    FUZZ_CHECK(read.remoteHost.has_value());
    if (isLatin1(host)) {
        FUZZ_CHECK(*read.remoteHost == host.toLower());
        FUZZ_CHECK(checkHostField(*read.remoteHost) == HostProblem::None);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    checkReader(bytes);
    checkTypedHost(QString::fromLatin1(bytes));
    checkTypedHost(QString::fromUtf8(bytes));
    return 0;
}
