#include "tools/carsim/CarsimText.h"

#include <QHostAddress>
#include <QTcpServer>

#include <numeric>

namespace {

QString byteText(unsigned char byte)
{
    QString text = QStringLiteral("0x%1").arg(byte, 2, 16, QLatin1Char('0'));
    if (byte >= 0x20 && byte < 0x7f)
        text += QStringLiteral(" '%1'").arg(QLatin1Char(static_cast<char>(byte)));
    return text;
}

} // namespace

QString motionWords(int code)
{
    static const std::array<const char*, 9> words = {
        "forward, left",   "forward",       "forward, right", "left, no drive", "stop",
        "right, no drive", "reverse, left", "reverse",        "reverse, right",
    };
    if (code < 1 || code > 9)
        return {};
    return QString::fromLatin1(words[static_cast<std::size_t>(code - 1)]);
}

QString describeEvent(const DecoderEvent& event)
{
    switch (event.kind) {
    case DecoderEvent::Kind::Message:
        return QStringLiteral("%1 %2").arg(event.code).arg(motionWords(event.code));
    case DecoderEvent::Kind::NotACode:
        return QStringLiteral("malformed: byte %1 where a code belongs").arg(byteText(event.byte));
    case DecoderEvent::Kind::MissingTerminator:
        return QStringLiteral("malformed: code %1 not followed by 0x00 (got %2)")
            .arg(event.code)
            .arg(byteText(event.byte));
    case DecoderEvent::Kind::PartialAtClose:
        return QStringLiteral("malformed: partial message at close (code %1 without its 0x00)")
            .arg(event.code);
    }
    return {};
}

QString stampedLine(const QTime& time, const QString& text)
{
    return time.toString(QStringLiteral("HH:mm:ss.zzz")) + QLatin1Char(' ') + text;
}

QString endpointText(const QHostAddress& address, quint16 port)
{
    bool isIPv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIPv4);
    if (isIPv4)
        return QStringLiteral("%1:%2").arg(QHostAddress(ipv4).toString()).arg(port);
    return QStringLiteral("[%1]:%2").arg(address.toString()).arg(port);
}

QString listenError(const QTcpServer& server, const QString& where)
{
    if (server.serverError() == QAbstractSocket::AddressInUseError)
        return QStringLiteral("cannot listen on %1: the port is busy (address already in use).")
            .arg(where);
    return QStringLiteral("cannot listen on %1: %2.").arg(where, server.errorString());
}

void Tally::count(const DecoderEvent& event)
{
    if (event.isMalformed())
        ++m_malformed;
    else if (event.code >= 1 && event.code <= 9)
        ++m_perCode[static_cast<std::size_t>(event.code - 1)];
}

int Tally::messages(int code) const
{
    if (code < 1 || code > 9)
        return 0;
    return m_perCode[static_cast<std::size_t>(code - 1)];
}

int Tally::totalMessages() const
{
    return std::accumulate(m_perCode.begin(), m_perCode.end(), 0);
}

QStringList Tally::summaryLines() const
{
    QStringList lines{QStringLiteral("summary:")};
    for (int code = 1; code <= 9; ++code)
        lines << QStringLiteral("  %1 %2: %3").arg(code).arg(motionWords(code)).arg(messages(code));
    lines << QStringLiteral("  messages: %1").arg(totalMessages())
          << QStringLiteral("  malformed: %1").arg(malformed())
          << QStringLiteral("  connections: %1").arg(connections());
    return lines;
}
