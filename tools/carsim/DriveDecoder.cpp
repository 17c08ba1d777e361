#include "tools/carsim/DriveDecoder.h"

namespace {

int codeOf(unsigned char byte)
{
    return byte >= '1' && byte <= '9' ? byte - '0' : 0;
}

} // namespace

QList<DecoderEvent> DriveDecoder::feed(QByteArrayView bytes)
{
    QList<DecoderEvent> events;
    for (const char c : bytes)
        takeByte(static_cast<unsigned char>(c), events);
    return events;
}

QList<DecoderEvent> DriveDecoder::finish()
{
    QList<DecoderEvent> events;
    if (m_pendingCode != 0)
        events.append({DecoderEvent::Kind::PartialAtClose, m_pendingCode, 0});
    m_pendingCode = 0;
    return events;
}

void DriveDecoder::takeByte(unsigned char byte, QList<DecoderEvent>& events)
{
    if (m_pendingCode != 0) {
        if (byte == 0) {
            events.append({DecoderEvent::Kind::Message, m_pendingCode, 0});
            m_pendingCode = 0;
            return;
        }
        events.append({DecoderEvent::Kind::MissingTerminator, m_pendingCode, byte});
        m_pendingCode = 0;
        // The stray byte may well be the start of the next message, so it
        // is read again as a code rather than thrown away.
    }
    if (const int code = codeOf(byte)) {
        m_pendingCode = code;
        return;
    }
    events.append({DecoderEvent::Kind::NotACode, 0, byte});
}
