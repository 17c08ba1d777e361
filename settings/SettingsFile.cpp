#include "settings/SettingsFile.h"

#include <QByteArrayView>
#include <QLatin1StringView>
#include <QStringDecoder>
#include <QStringView>
#include <QUrl>

namespace {

// Only the space character is trimmed: a tab belongs to the text.
QString trimSpaces(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == QLatin1Char(' '))
        ++begin;
    while (end > begin && text[end - 1] == QLatin1Char(' '))
        --end;
    return text.sliced(begin, end - begin).toString();
}

bool fitsLatin1(QStringView text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0xff)
            return false;
    }
    return true;
}

// Only a name with an encoded label is decoded, whatever its top-level
// domain (.local included); anything else, an address or a name the decoder
// would refuse, stays exactly as the file has it.
QString hostFromFile(const QString& host)
{
    if (!host.contains(QLatin1StringView("xn--")) || !fitsLatin1(host))
        return host;
    const QString decoded = QUrl::fromAce(host.toLatin1(), QUrl::IgnoreIDNWhitelist);
    return decoded.isEmpty() ? host : decoded;
}

bool isBlank(QStringView line)
{
    for (const QChar c : line) {
        if (!c.isSpace())
            return false;
    }
    return true;
}

// One key=value line: the key trimmed and lower-cased, the value trimmed;
// false for a comment or a line without "=".
bool splitLine(QStringView line, QString* key, QString* value)
{
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (equals < 0)
        return false;
    // The comment mark counts only as the very first character: a line that
    // starts with a space and then an apostrophe is an ordinary line.
    if (line.startsWith(QLatin1Char('\'')))
        return false;
    *key = trimSpaces(line.first(equals)).toLower();
    *value = trimSpaces(line.sliced(equals + 1));
    return true;
}

// The file's text. Windows PowerShell 5.1 (its > and Out-File) and Notepad's
// "UTF-16" choices write UTF-16 with a byte-order mark; anything else is read
// byte by byte. Some editors start a file they save as UTF-8 with a
// byte-order mark; it is no part of the first line's key.
QString textOf(const QByteArray& bytes)
{
    const auto decode = [&bytes](QStringConverter::Encoding encoding) {
        QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
        return QString(decoder(QByteArrayView(bytes).sliced(2)));
    };
    if (bytes.startsWith("\xFF\xFE"))
        return decode(QStringConverter::Utf16LE);
    if (bytes.startsWith("\xFE\xFF"))
        return decode(QStringConverter::Utf16BE);
    const qsizetype start = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    return QString::fromLatin1(QByteArrayView(bytes).sliced(start));
}

} // namespace

bool readSettingLines(const QByteArray& bytes,
                      const std::function<void(const QString&, const QString&)>& apply)
{
    bool holdsText = false;
    const QString text = textOf(bytes);
    QString key;
    QString value;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = text.size();
        QStringView line = QStringView(text).sliced(start, end - start);
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (!isBlank(line))
            holdsText = true;
        if (splitLine(line, &key, &value))
            apply(key, value);
        start = end + 1;
    }
    return holdsText;
}

SettingsRead parseSettingsFile(const QByteArray& bytes)
{
    SettingsRead read;
    read.holdsText = readSettingLines(bytes, [&read](const QString& key, const QString& value) {
        if (key == QLatin1StringView("remoteport"))
            read.remotePort = value.toLower();
        else if (key == QLatin1StringView("remotehost"))
            read.remoteHost = hostFromFile(value.toLower());
    });
    return read;
}

std::optional<QString> hostForFile(const QString& host)
{
    // A Latin-1 host is kept as typed, case and all, as files always had it.
    if (fitsLatin1(host))
        return host;
    const QByteArray ace = QUrl::toAce(host);
    if (ace.isEmpty())
        return std::nullopt;
    return QString::fromLatin1(ace);
}

QByteArray formatSettingsFile(const QString& remotePortText, const QString& remoteHostText)
{
    // The dialog refuses a host without a form the file can hold; should one
    // arrive anyway, an empty host is written rather than question marks.
    const QString host = hostForFile(remoteHostText).value_or(QString());
    const QString text =
        QStringLiteral("' Hi y'all! I'm writing this program and I got bored.\r\n"
                       "' So i'm writing this 2-line blurb. The end. (Make that 4-line.)\r\n") +
        QStringLiteral("RemotePort=") + remotePortText + QStringLiteral("\r\n") +
        QStringLiteral("RemoteHost=") + host + QStringLiteral("\r\n");
    return text.toLatin1();
}
