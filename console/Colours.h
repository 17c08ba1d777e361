#pragma once

#include <QColor>
#include <QtGlobal>

// Colours are kept as packed 0x00BBGGRR values.
namespace Colour {
constexpr quint32 Red = 255;
constexpr quint32 Green = 65280;
} // namespace Colour

inline QColor fromPacked(quint32 packed)
{
    return QColor(int(packed & 0xFF), int((packed >> 8) & 0xFF), int((packed >> 16) & 0xFF));
}

inline quint32 toPacked(const QColor& colour)
{
    return quint32(colour.red()) | (quint32(colour.green()) << 8) | (quint32(colour.blue()) << 16);
}
