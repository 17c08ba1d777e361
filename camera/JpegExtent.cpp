#include "camera/JpegExtent.h"

namespace {

constexpr unsigned char MarkerByte = 0xFF;
constexpr unsigned char EndOfImage = 0xD9;
constexpr unsigned char StartOfScan = 0xDA;

// Markers that stand alone, without a length: the restart markers and TEM.
bool standsAlone(unsigned char marker)
{
    return (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01;
}

} // namespace

qsizetype JpegExtent::find(QByteArrayView bytes)
{
    const auto at = [&](qsizetype i) { return static_cast<unsigned char>(bytes[i]); };
    while (m_pos < bytes.size()) {
        switch (m_mode) {
        case Mode::Marker: {
            if (m_pos + 1 >= bytes.size())
                return 0;
            if (at(m_pos) != MarkerByte) {
                // Not the structure it should be: the end marker alone
                // tells where the picture ends.
                m_mode = Mode::Plain;
                break;
            }
            const unsigned char marker = at(m_pos + 1);
            if (marker == MarkerByte) {
                ++m_pos; // fill byte
            } else if (marker == EndOfImage) {
                return m_pos + 2;
            } else if (standsAlone(marker)) {
                m_pos += 2;
            } else {
                m_mode = Mode::Segment;
            }
            break;
        }
        case Mode::Segment: {
            if (m_pos + 3 >= bytes.size())
                return 0;
            const int length = (at(m_pos + 2) << 8) | at(m_pos + 3);
            if (length < 2) {
                m_mode = Mode::Plain;
                break;
            }
            const bool scan = at(m_pos + 1) == StartOfScan;
            m_pos += 2 + length;
            m_mode = scan ? Mode::CodedData : Mode::Marker;
            break;
        }
        case Mode::CodedData:
            // In coded data a marker byte followed by zero is data, and the
            // restart markers belong to it; any other marker ends it.
            if (at(m_pos) != MarkerByte) {
                ++m_pos;
            } else if (m_pos + 1 >= bytes.size()) {
                return 0;
            } else {
                const unsigned char next = at(m_pos + 1);
                if (next == 0x00 || (next >= 0xD0 && next <= 0xD7))
                    m_pos += 2;
                else if (next == MarkerByte)
                    ++m_pos;
                else
                    m_mode = Mode::Marker;
            }
            break;
        case Mode::Plain:
            if (at(m_pos) == MarkerByte && m_pos + 1 < bytes.size() && at(m_pos + 1) == EndOfImage)
                return m_pos + 2;
            if (at(m_pos) == MarkerByte && m_pos + 1 >= bytes.size())
                return 0;
            ++m_pos;
            break;
        }
    }
    return 0;
}
