#pragma once

#include <QColor>

// The colours of the arena and the car, the same from above in the window
// and from the car's own camera.
namespace CarsimColours {
inline const QColor kBackground(0x2b, 0x2f, 0x36);
inline const QColor kFloor(0xf3, 0xf0, 0xe6);
inline const QColor kGrid(0xd2, 0xcd, 0xbd);
inline const QColor kWall(0x4a, 0x4a, 0x4a);
inline const QColor kTrail(0x3a, 0x7b, 0xd5);
inline const QColor kBody(0xe8, 0x6a, 0x12);
} // namespace CarsimColours
