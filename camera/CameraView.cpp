#include "camera/CameraView.h"

#include "console/DirectionSquare.h"

#include <QPaintEvent>
#include <QPainter>

namespace {

constexpr int Margin = 8;
constexpr int Padding = 6;
const QColor HudBack(0, 0, 0, 170);
const QColor SlowText(0xFF, 0xC0, 0x40);
const QColor NoAnswerBack(0xB0, 0x00, 0x00, 230);

// A line of text in a dark box, its corner at `anchor` on the side the
// alignment names.
void paintBox(QPainter& painter, const QString& text, const QRect& area, Qt::Alignment corner,
              const QColor& textColour = Qt::white, const QColor& back = HudBack)
{
    if (text.isEmpty())
        return;
    const QFontMetrics metrics(painter.font());
    QRect box = metrics.boundingRect(area, int(corner) | Qt::TextSingleLine, text);
    box.adjust(-Padding, -Padding / 2, Padding, Padding / 2);
    box.moveLeft(corner & Qt::AlignRight     ? area.right() - box.width() + 1
                 : corner & Qt::AlignHCenter ? area.center().x() - box.width() / 2
                                             : area.left());
    box.moveTop(corner & Qt::AlignBottom    ? area.bottom() - box.height() + 1
                : corner & Qt::AlignVCenter ? area.center().y() - box.height() / 2
                                            : area.top());
    painter.fillRect(box, back);
    painter.setPen(textColour);
    painter.drawText(box, Qt::AlignCenter | Qt::TextSingleLine, text);
}

} // namespace

CameraView::CameraView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("picCamera"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(160, 120);
    setAccessibleName(QStringLiteral("Camera picture"));
}

void CameraView::setPicture(const QImage& picture)
{
    m_picture = picture;
    update();
}

void CameraView::clearPicture()
{
    m_picture = QImage();
    update();
}

void CameraView::setOrientation(int turn, bool mirror)
{
    const QSize drawnBefore = drawnSize();
    m_turn = turn;
    m_mirror = mirror;
    update();
    if (drawnSize() != drawnBefore)
        emit drawnSizeChanged(drawnSize());
}

void CameraView::setHud(const CameraHud& hud)
{
    if (hud == m_hud)
        return;
    m_hud = hud;
    setAccessibleDescription(hud.pictureState.isEmpty() ? hud.pictureFigures : hud.pictureState);
    update();
}

QTransform CameraView::orientation() const
{
    QTransform transform;
    transform.rotate(m_turn);
    if (m_mirror)
        transform.scale(-1, 1);
    return transform;
}

QImage CameraView::oriented(const QImage& picture) const
{
    if (picture.isNull() || (m_turn == 0 && !m_mirror))
        return picture;
    return picture.transformed(orientation());
}

QSize CameraView::oriented(const QSize& size) const
{
    return m_turn == 90 || m_turn == 270 ? size.transposed() : size;
}

QSize CameraView::drawnSize() const
{
    return oriented((QSizeF(size()) * devicePixelRatioF()).toSize());
}

void CameraView::resizeEvent(QResizeEvent*)
{
    emit drawnSizeChanged(drawnSize());
}

void CameraView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!m_picture.isNull()) {
        const QSize shown = oriented(m_picture.size()).scaled(size(), Qt::KeepAspectRatio);
        const QRect target(QPoint((width() - shown.width()) / 2, (height() - shown.height()) / 2),
                           shown);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        // Turned about the target's centre, the picture is drawn in the
        // target's frame before the turn: its sides swap for 90 and 270.
        painter.translate(target.center());
        painter.setTransform(orientation(), true);
        const QSize drawn = m_turn == 90 || m_turn == 270 ? shown.transposed() : shown;
        painter.drawImage(QRect(QPoint(-drawn.width() / 2, -drawn.height() / 2), drawn), m_picture);
        painter.resetTransform();
    }
    paintHud(painter);
}

void CameraView::paintHud(QPainter& painter)
{
    const QRect area = rect().adjusted(Margin, Margin, -Margin, -Margin);
    QFont font = this->font();
    font.setPixelSize(qBound(12, height() / 30, 22));
    painter.setFont(font);

    QString state = m_hud.linkState;
    if (!m_hud.link.text.isEmpty())
        state += QStringLiteral(" · ") + m_hud.link.text;
    if (m_hud.link.level == LinkLevel::NoAnswer)
        paintBox(painter, state, area, Qt::AlignLeft | Qt::AlignTop, Qt::white, NoAnswerBack);
    else if (m_hud.link.level == LinkLevel::Slow)
        paintBox(painter, state, area, Qt::AlignLeft | Qt::AlignTop, SlowText);
    else
        paintBox(painter, state, area, Qt::AlignLeft | Qt::AlignTop);
    paintBox(painter, m_hud.pictureFigures, area, Qt::AlignRight | Qt::AlignTop);
    paintBox(painter, m_hud.notice, area, Qt::AlignLeft | Qt::AlignBottom);

    QFont big = font;
    big.setPixelSize(font.pixelSize() * 3 / 2);
    big.setBold(true);
    painter.setFont(big);
    paintBox(painter, m_hud.pictureState, area, Qt::AlignCenter);

    // The arrow, in the fonts that carry all nine of them, as the grid's.
    QFont arrow = font;
    arrow.setFamilies(
        {QStringLiteral("Segoe UI Symbol"), QStringLiteral("DejaVu Sans"), font.family()});
    arrow.setPixelSize(font.pixelSize() * 3);
    arrow.setBold(true);
    painter.setFont(arrow);
    paintBox(painter, directionGlyph(m_hud.command), area, Qt::AlignRight | Qt::AlignBottom,
             m_hud.command == 5 ? Qt::white : QColor(0x40, 0xFF, 0x40));
}
