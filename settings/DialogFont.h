#pragma once

#include <QFont>
#include <QList>
#include <QString>

// A text and the width of the fixed box it is shown in.
struct TextInBox {
    QString text;
    int width = 0;
};

// For a dialog laid out in fixed pixels for a classic 8-point dialog font:
// base's family at that size (11 pixels, 8 points at 96 dpi; Segoe UI on
// Windows, the desktop's font on Linux), or, where the family is wider, at
// the largest size at which every text fits its box. Sizes are in logical
// pixels, as the geometry is, so the fit holds at any display scaling.
QFont fittingDialogFont(const QFont& base, const QList<TextInBox>& texts);
