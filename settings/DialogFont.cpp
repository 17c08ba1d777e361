#include "settings/DialogFont.h"

#include <QFontMetrics>

namespace {

constexpr int ClassicDialogPixels = 11;
// Smaller is no longer readable; a family that does not fit even then is
// shown at this size, cut short as little as can be.
constexpr int SmallestPixels = 8;

bool allFit(const QFont& font, const QList<TextInBox>& texts)
{
    const QFontMetrics metrics(font);
    for (const TextInBox& box : texts) {
        if (metrics.horizontalAdvance(box.text) > box.width)
            return false;
    }
    return true;
}

} // namespace

QFont fittingDialogFont(const QFont& base, const QList<TextInBox>& texts)
{
    QFont font = base;
    for (int pixels = ClassicDialogPixels; pixels > SmallestPixels; --pixels) {
        font.setPixelSize(pixels);
        if (allFit(font, texts))
            return font;
    }
    font.setPixelSize(SmallestPixels);
    return font;
}
