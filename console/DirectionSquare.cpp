#include "console/DirectionSquare.h"

#include <QEvent>
#include <QPainter>
#include <array>

namespace {

// The band along the edges that keeps the square's own colour, in pixels
// of a square that is 99 wide.
constexpr int OuterBand = 12;
constexpr int FrameWidth = 4;
constexpr int GlyphPixelSize = 44;

// Idle squares are darker inside than their red edge, and the commanded
// square stays bright green with a near-black frame and arrow: in grey alone
// the commanded square is several times brighter than the others. Pure red
// against pure green is only about 2.9 to 1 in luminance.
const QColor IdleInside(0xa0, 0x00, 0x00);
const QColor IdleGlyph(0xff, 0xff, 0xff);
const QColor CommandedMark(0x10, 0x10, 0x10);

struct Direction {
    const char16_t* glyph;
    const char* words;
};

constexpr std::array<Direction, 9> Directions{{
    {u"\u2196", "forward, left"},
    {u"\u2191", "forward"},
    {u"\u2197", "forward, right"},
    {u"\u2190", "left"},
    {u"\u25a0", "stop"},
    {u"\u2192", "right"},
    {u"\u2199", "reverse, left"},
    {u"\u2193", "reverse"},
    {u"\u2198", "reverse, right"},
}};

bool validCode(int code)
{
    return code >= 1 && code <= 9;
}

} // namespace

QString directionGlyph(int code)
{
    return validCode(code) ? QString::fromUtf16(Directions[code - 1].glyph) : QString();
}

QString directionWords(int code)
{
    return validCode(code) ? QString::fromLatin1(Directions[code - 1].words) : QString();
}

DirectionSquare::DirectionSquare(QWidget* parent) : QWidget(parent) {}

void DirectionSquare::setCode(int code)
{
    if (m_code == code)
        return;
    m_code = code;
    m_glyphsReady = false;
    update();
}

void DirectionSquare::setCommanded(bool commanded)
{
    if (m_commanded == commanded)
        return;
    m_commanded = commanded;
    update();
}

void DirectionSquare::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    // The background, in the palette's colour, is already filled. Sizes are
    // in logical pixels, so the arrow is drawn as text at the display's own
    // resolution and stays sharp at any scaling.
    QPainter painter(this);
    const QRect inside = rect().adjusted(OuterBand, OuterBand, -OuterBand, -OuterBand);
    if (m_commanded) {
        const QRect hole = inside.adjusted(FrameWidth, FrameWidth, -FrameWidth, -FrameWidth);
        painter.fillRect(QRect(inside.left(), inside.top(), inside.width(), FrameWidth),
                         CommandedMark);
        painter.fillRect(QRect(inside.left(), hole.bottom() + 1, inside.width(), FrameWidth),
                         CommandedMark);
        painter.fillRect(QRect(inside.left(), hole.top(), FrameWidth, hole.height()),
                         CommandedMark);
        painter.fillRect(QRect(hole.right() + 1, hole.top(), FrameWidth, hole.height()),
                         CommandedMark);
    } else {
        painter.fillRect(inside, IdleInside);
    }
    if (!m_glyphsReady)
        prepareGlyphs();
    const QStaticText& glyph = m_glyph[m_commanded];
    painter.setFont(m_glyphFont[m_commanded]);
    painter.setPen(m_commanded ? CommandedMark : IdleGlyph);
    const QSizeF size = glyph.size();
    painter.drawStaticText(QPointF(inside.x() + (inside.width() - size.width()) / 2,
                                   inside.y() + (inside.height() - size.height()) / 2),
                           glyph);
}

void DirectionSquare::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange)
        m_glyphsReady = false;
    QWidget::changeEvent(event);
}

void DirectionSquare::prepareGlyphs()
{
    for (const bool commanded : {false, true}) {
        // Fonts known to carry all nine arrows come first: Windows falls back
        // only to a short list of its own when a font lacks a character.
        QFont& glyphFont = m_glyphFont[commanded];
        glyphFont = font();
        glyphFont.setFamilies(
            {QStringLiteral("Segoe UI Symbol"), QStringLiteral("DejaVu Sans"), font().family()});
        glyphFont.setPixelSize(GlyphPixelSize);
        glyphFont.setBold(commanded);
        QStaticText& glyph = m_glyph[commanded];
        glyph.setTextFormat(Qt::PlainText);
        glyph.setText(directionGlyph(m_code));
        glyph.prepare(QTransform(), glyphFont);
    }
    m_glyphsReady = true;
}
