#include "e2e/GridReading.h"

namespace {

constexpr int kSquare = 99;
constexpr int kPitch = 100;
// The outer pixels of a square that keep its plain colour.
constexpr int kBand = 8;
constexpr QRgb kRed = 0xffff0000;
constexpr QRgb kGreen = 0xff00ff00;
// The background of the link line's "No answer" warning.
constexpr QRgb kWarningRed = 0xffb00000;

bool isSignal(QRgb pixel)
{
    return pixel == kRed || pixel == kGreen;
}

QChar squareColour(const QImage& image, QPoint topLeft)
{
    if (topLeft.x() + kSquare > image.width() || topLeft.y() + kSquare > image.height())
        return QLatin1Char('?');
    const QRgb first = image.pixel(topLeft);
    if (!isSignal(first))
        return QLatin1Char('?');
    const QRect inner(topLeft + QPoint(kBand, kBand),
                      QSize(kSquare - 2 * kBand, kSquare - 2 * kBand));
    for (int y = 0; y < kSquare; ++y)
        for (int x = 0; x < kSquare; ++x) {
            const QPoint at = topLeft + QPoint(x, y);
            if (!inner.contains(at) && image.pixel(at) != first)
                return QLatin1Char('?');
        }
    return first == kRed ? QLatin1Char('R') : QLatin1Char('G');
}

// True when no pixel of the lines that frame and separate the squares is
// red or green.
bool edgesClear(const QImage& image, QPoint origin)
{
    const int span = 3 * kPitch;
    const QRect bounds = image.rect();
    auto clearAt = [&](int x, int y) {
        return !bounds.contains(x, y) || !isSignal(image.pixel(x, y));
    };
    for (int line = 0; line <= 3; ++line) {
        const int offset = line * kPitch - 1;
        for (int along = -1; along < span; ++along) {
            if (!clearAt(origin.x() + offset, origin.y() + along) ||
                !clearAt(origin.x() + along, origin.y() + offset))
                return false;
        }
    }
    return true;
}

bool somethingIn(const QImage& image, const QRect& area)
{
    const QRect inside = area & image.rect();
    if (inside.isEmpty())
        return false;
    const QRgb first = image.pixel(inside.topLeft());
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            if (image.pixel(x, y) != first)
                return true;
    return false;
}

// True when most of the area is this colour: the text on it is the rest.
bool mostly(const QImage& image, const QRect& area, QRgb colour)
{
    const QRect inside = area & image.rect();
    qint64 matching = 0;
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            matching += image.pixel(x, y) == colour ? 1 : 0;
    return !inside.isEmpty() && 2 * matching > qint64(inside.width()) * inside.height();
}

} // namespace

GridReading readGrid(const QImage& source)
{
    GridReading reading;
    if (source.isNull())
        return reading;
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < image.height() && !reading.found; ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (isSignal(image.pixel(x, y))) {
                reading.found = true;
                reading.origin = QPoint(x, y);
                break;
            }
        }
    }
    if (!reading.found)
        return reading;
    for (int i = 0; i < 9; ++i) {
        const QPoint topLeft = reading.origin + QPoint((i % 3) * kPitch, (i / 3) * kPitch);
        reading.squares += squareColour(image, topLeft);
    }
    reading.edgesClear = edgesClear(image, reading.origin);
    reading.hintShown = somethingIn(
        image, QRect(reading.origin + QPoint(0, 3 * kPitch + 4), QSize(3 * kPitch - 1, 42)));
    const QRect linkLine(reading.origin - QPoint(0, 23), QSize(3 * kPitch - 1, 21));
    reading.linkShown = somethingIn(image, linkLine);
    reading.linkWarning = mostly(image, linkLine, kWarningRed);
    return reading;
}

QString gridShowing(int code)
{
    QString squares(9, QLatin1Char('R'));
    if (code >= 1 && code <= 9)
        squares[code - 1] = QLatin1Char('G');
    return squares;
}
