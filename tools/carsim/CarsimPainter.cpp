#include "tools/carsim/CarsimPainter.h"

#include "tools/carsim/CarSession.h"
#include "tools/carsim/CarsimColours.h"
#include "tools/carsim/CarsimText.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QtMath>

#include <cmath>

using namespace CarsimColours;

namespace {

constexpr int kPanelWidth = 230;
constexpr int kMargin = 12;

const QColor kNose(0xff, 0xf2, 0xc0);
const QColor kWheel(0x1e, 0x1e, 0x1e);
const QColor kText(0xee, 0xee, 0xee);
const QColor kStop(0xc6, 0x28, 0x28);

// World (metres, y up) to the screen (pixels, y down).
struct View {
    QPointF origin; // the arena's top left corner on screen
    double scale = 1;

    QPointF map(QPointF p) const
    {
        return {origin.x() + p.x() * scale,
                origin.y() + (CarFigures::kArenaHeight - p.y()) * scale};
    }
};

void paintArena(QPainter& painter, const View& view)
{
    const QRectF floor(view.map({0, CarFigures::kArenaHeight}),
                       view.map({CarFigures::kArenaWidth, 0}));
    painter.fillRect(floor, kFloor);
    painter.setPen(QPen(kGrid, 1));
    for (int x = 1; x < CarFigures::kArenaWidth; ++x)
        painter.drawLine(view.map({double(x), 0}), view.map({double(x), CarFigures::kArenaHeight}));
    for (int y = 1; y < CarFigures::kArenaHeight; ++y)
        painter.drawLine(view.map({0, double(y)}), view.map({CarFigures::kArenaWidth, double(y)}));
    painter.setPen(QPen(kWall, 6, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(floor.adjusted(-3, -3, 3, 3));
}

void paintTrail(QPainter& painter, const View& view, const QList<QPointF>& trail)
{
    QPolygonF line;
    line.reserve(trail.size());
    for (const QPointF& p : trail)
        line << view.map(p);
    painter.setPen(QPen(kTrail, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(line);
}

// A wheel as a dark bar along `angle` (radians, world) around `centre`.
void paintWheel(QPainter& painter, const View& view, QPointF centre, double angle)
{
    const QPointF along = 0.065 * QPointF(std::cos(angle), std::sin(angle));
    const QPointF across = 0.03 * QPointF(-std::sin(angle), std::cos(angle));
    const QPolygonF wheel{view.map(centre - along + across), view.map(centre + along + across),
                          view.map(centre + along - across), view.map(centre - along - across)};
    painter.setPen(Qt::NoPen);
    painter.setBrush(kWheel);
    painter.drawPolygon(wheel);
}

void paintCar(QPainter& painter, const View& view, const CarModel& car)
{
    const double heading = car.heading();
    const QPointF ahead(std::cos(heading), std::sin(heading));
    const QPointF left(-std::sin(heading), std::cos(heading));
    const QPointF centre = car.position();
    const double axle = CarFigures::kWheelbase / 2;
    // The wheels stand out beside the body, so the steered pair shows its
    // angle.
    const double track = CarFigures::kWidth / 2 + 0.02;

    const double steer = heading + qDegreesToRadians(car.steer());
    for (const double side : {track, -track}) {
        paintWheel(painter, view, centre - axle * ahead + side * left, heading);
        paintWheel(painter, view, centre + axle * ahead + side * left, steer);
    }

    QPolygonF body;
    for (const QPointF& corner : car.corners())
        body << view.map(corner);
    painter.setPen(QPen(kBody.darker(160), 1.5));
    painter.setBrush(kBody);
    painter.drawPolygon(body);

    // A light wedge points where the car drives when it goes forward.
    const double half = CarFigures::kLength / 2;
    const QPolygonF nose{view.map(centre + (half - 0.02) * ahead),
                         view.map(centre + (half - 0.14) * ahead + 0.07 * left),
                         view.map(centre + (half - 0.14) * ahead - 0.07 * left)};
    painter.setPen(Qt::NoPen);
    painter.setBrush(kNose);
    painter.drawPolygon(nose);
}

// The code as an arrow as on a keypad seen from above, or a square for stop.
void paintCodeArrow(QPainter& painter, const QRectF& box, int code)
{
    const QPointF centre = box.center();
    const double size = box.width() / 2 - 2;
    painter.setPen(QPen(kText, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(kText);
    const int column = (code - 1) % 3 - 1; // -1 left, 0 straight, 1 right
    const int row = (code - 1) / 3 - 1;    // -1 forward, 0 no drive, 1 reverse
    if (column == 0 && row == 0) {
        painter.drawRect(QRectF(centre - QPointF(size / 2, size / 2), QSizeF(size, size)));
        return;
    }
    QPointF direction(column, row);
    direction /= std::hypot(direction.x(), direction.y());
    const QPointF tip = centre + size * direction;
    const QPointF normal(-direction.y(), direction.x());
    painter.drawLine(centre - size * direction, tip);
    painter.drawPolygon(
        QPolygonF{tip, tip - 12 * direction + 8 * normal, tip - 12 * direction - 8 * normal});
}

QString ageText(qint64 ms)
{
    return QStringLiteral("%1 s ago").arg(static_cast<double>(ms) / 1000.0, 0, 'f', 1);
}

void paintPanel(QPainter& painter, const QRectF& panel, const CarSession& session, qint64 now)
{
    const int code = session.car().code();
    painter.setPen(kText);
    QFont font = painter.font();
    font.setPixelSize(13);
    painter.setFont(font);
    const double line = 17;
    double y = panel.top();

    paintCodeArrow(painter, QRectF(panel.left(), y, 56, 56), code);
    QFont big = font;
    big.setPixelSize(18);
    big.setBold(true);
    painter.setFont(big);
    painter.setPen(kText);
    painter.drawText(QRectF(panel.left() + 66, y, panel.width() - 66, 56),
                     Qt::AlignVCenter | Qt::TextWordWrap,
                     QStringLiteral("%1 %2").arg(code).arg(motionWords(code)));
    painter.setFont(font);
    y += 66;

    const auto text = [&](const QString& words) {
        painter.drawText(QRectF(panel.left(), y, panel.width(), line), Qt::AlignLeft, words);
        y += line;
    };
    text(session.peer().isEmpty() ? QStringLiteral("Listening on %1").arg(session.listening())
                                  : QStringLiteral("Connected from %1").arg(session.peer()));
    const qint64 last = session.log().lastTime();
    text(QStringLiteral("Last command: %1")
             .arg(last < 0 ? QStringLiteral("none yet") : ageText(now - last)));
    text(QStringLiteral("Commands per second: %1").arg(session.log().perSecond(now)));
    y += line / 2;
    text(QStringLiteral("Last ten commands, newest first:"));
    const QList<CommandLog::Entry> recent = session.log().recent();
    for (auto entry = recent.crbegin(); entry != recent.crend(); ++entry)
        text(QStringLiteral("  %1 %2   (%3)")
                 .arg(entry->code)
                 .arg(motionWords(entry->code), ageText(now - entry->time)));

    painter.drawText(QRectF(panel.left(), panel.bottom() - line, panel.width(), line),
                     Qt::AlignLeft, QStringLiteral("C clears the trail, R restarts"));
}

void paintNotices(QPainter& painter, const QRectF& floor, const CarSession& session)
{
    QString banner;
    if (session.stop() == Failsafe::Stop::Silence)
        banner = QStringLiteral("STOPPED: no command for 1.5 s");
    else if (session.stop() == Failsafe::Stop::LinkClosed)
        banner = QStringLiteral("STOPPED: link closed");
    painter.save();
    QFont font = painter.font();
    if (!banner.isEmpty()) {
        font.setPixelSize(26);
        font.setBold(true);
        painter.setFont(font);
        const QRectF box(floor.left() + 10, floor.top() + 10, floor.width() - 20, 48);
        painter.fillRect(box, QColor(255, 255, 255, 170));
        painter.setPen(kStop);
        painter.drawText(box, Qt::AlignCenter, banner);
    }
    if (session.car().isAtWall()) {
        font.setPixelSize(16);
        font.setBold(true);
        painter.setFont(font);
        const QRectF box(floor.left() + 10, floor.bottom() - 38, floor.width() - 20, 28);
        painter.fillRect(box, QColor(255, 255, 255, 170));
        painter.setPen(kWall);
        painter.drawText(box, Qt::AlignCenter, QStringLiteral("The car stopped at a wall"));
    }
    painter.restore();
}

} // namespace

void paintCarsim(QPainter& painter, const QRect& area, const CarSession& session, qint64 now)
{
    painter.fillRect(area, kBackground);
    painter.setRenderHint(QPainter::Antialiasing);

    const QRectF field(area.left() + kMargin, area.top() + kMargin,
                       area.width() - kPanelWidth - 3 * kMargin, area.height() - 2 * kMargin);
    View view;
    view.scale = std::max(1.0, std::min(field.width() / CarFigures::kArenaWidth,
                                        field.height() / CarFigures::kArenaHeight));
    view.origin =
        field.topLeft() + QPointF(0, (field.height() - CarFigures::kArenaHeight * view.scale) / 2);
    const QRectF floor(view.map({0, CarFigures::kArenaHeight}),
                       view.map({CarFigures::kArenaWidth, 0}));

    paintArena(painter, view);
    painter.save();
    painter.setClipRect(floor);
    paintTrail(painter, view, session.trail());
    paintCar(painter, view, session.car());
    painter.restore();
    paintNotices(painter, floor, session);

    const QRectF panel(floor.right() + 2 * kMargin, area.top() + kMargin, kPanelWidth,
                       area.height() - 2 * kMargin);
    paintPanel(painter, panel, session, now);
}
