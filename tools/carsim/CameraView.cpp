#include "tools/carsim/CameraView.h"

#include "tools/carsim/CarModel.h"
#include "tools/carsim/CarsimColours.h"

#include <QLineF>
#include <QPainter>
#include <QPolygonF>
#include <QtMath>

#include <array>
#include <cmath>
#include <vector>

using namespace CarsimColours;

namespace {

constexpr double kEyeHeight = 0.15;   // m above the floor
constexpr double kEyePitch = 8.0;     // degrees below the horizon
constexpr double kFieldOfView = 75.0; // degrees from the left edge to the right
constexpr double kWallHeight = 0.40;  // m
// Nothing nearer than this is drawn: the lens sits just behind the bumper.
constexpr double kNear = 0.05;

// Each wall its own muted colour, so the driver knows which way the car
// faces: the far wall at the start is blue.
const std::array<QColor, 4> kWallColours{
    QColor(0xb8, 0x8a, 0x7a), // bottom (y = 0)
    QColor(0x7d, 0x96, 0xb8), // right (x = width), ahead at the start
    QColor(0x8f, 0xab, 0x84), // top (y = height)
    QColor(0xb8, 0xad, 0x7a), // left (x = 0), behind at the start
};

// A point in the camera's own frame: how far ahead of the lens, to its left
// and above it, in metres.
struct Seen {
    double ahead = 0;
    double left = 0;
    double up = 0;
};

Seen between(const Seen& a, const Seen& b, double t)
{
    return {a.ahead + (b.ahead - a.ahead) * t, a.left + (b.left - a.left) * t,
            a.up + (b.up - a.up) * t};
}

class Lens {
public:
    explicit Lens(const CameraScene& scene)
        : m_cos(std::cos(scene.heading)), m_sin(std::sin(scene.heading)),
          m_pitchCos(std::cos(qDegreesToRadians(kEyePitch))),
          m_pitchSin(std::sin(qDegreesToRadians(kEyePitch))),
          m_focal(kCameraWidth / 2.0 / std::tan(qDegreesToRadians(kFieldOfView / 2)))
    {
        m_eye = scene.position + CarFigures::kLength / 2 * QPointF(m_cos, m_sin);
    }

    Seen see(QPointF floor, double height = 0) const
    {
        const double dx = floor.x() - m_eye.x();
        const double dy = floor.y() - m_eye.y();
        const double dz = height - kEyeHeight;
        const double ahead = dx * m_cos + dy * m_sin;
        return {ahead * m_pitchCos - dz * m_pitchSin, -dx * m_sin + dy * m_cos,
                ahead * m_pitchSin + dz * m_pitchCos};
    }

    // Only for points at least kNear ahead.
    QPointF project(const Seen& p) const
    {
        return {kCameraWidth / 2.0 - m_focal * p.left / p.ahead,
                kCameraHeight / 2.0 - m_focal * p.up / p.ahead};
    }

    // The part of the polygon in front of the lens, on the picture.
    QPolygonF project(const std::vector<Seen>& polygon) const
    {
        QPolygonF out;
        for (std::size_t i = 0; i < polygon.size(); ++i) {
            const Seen& a = polygon[i];
            const Seen& b = polygon[(i + 1) % polygon.size()];
            if (a.ahead >= kNear)
                out << project(a);
            if ((a.ahead >= kNear) != (b.ahead >= kNear))
                out << project(between(a, b, (kNear - a.ahead) / (b.ahead - a.ahead)));
        }
        return out;
    }

    // The part of the line from a to b in front of the lens; false when
    // none is.
    bool project(Seen a, Seen b, QLineF* line) const
    {
        if (a.ahead < kNear && b.ahead < kNear)
            return false;
        if (a.ahead < kNear)
            a = between(a, b, (kNear - a.ahead) / (b.ahead - a.ahead));
        else if (b.ahead < kNear)
            b = between(b, a, (kNear - b.ahead) / (a.ahead - b.ahead));
        *line = QLineF(project(a), project(b));
        return true;
    }

private:
    QPointF m_eye;
    double m_cos;
    double m_sin;
    double m_pitchCos;
    double m_pitchSin;
    double m_focal;
};

void filmFloor(QPainter& painter, const Lens& lens, const std::array<QPointF, 4>& corners)
{
    std::vector<Seen> floor;
    for (const QPointF& corner : corners)
        floor.push_back(lens.see(corner));
    painter.setPen(Qt::NoPen);
    painter.setBrush(kFloor);
    painter.drawPolygon(lens.project(floor));

    QList<QLineF> grid;
    QLineF line;
    for (int x = 1; x < CarFigures::kArenaWidth; ++x) {
        if (lens.project(lens.see({double(x), 0}), lens.see({double(x), CarFigures::kArenaHeight}),
                         &line))
            grid << line;
    }
    for (int y = 1; y < CarFigures::kArenaHeight; ++y) {
        if (lens.project(lens.see({0, double(y)}), lens.see({CarFigures::kArenaWidth, double(y)}),
                         &line))
            grid << line;
    }
    painter.setPen(QPen(kGrid, 2));
    painter.drawLines(grid);
}

void filmTrail(QPainter& painter, const Lens& lens, const QList<QPointF>& trail)
{
    QList<QLineF> lines;
    lines.reserve(trail.size());
    QLineF line;
    for (qsizetype i = 1; i < trail.size(); ++i) {
        if (lens.project(lens.see(trail[i - 1]), lens.see(trail[i]), &line))
            lines << line;
    }
    painter.setPen(QPen(kTrail, 3, Qt::SolidLine, Qt::RoundCap));
    painter.drawLines(lines);
}

void filmWalls(QPainter& painter, const Lens& lens, const std::array<QPointF, 4>& corners)
{
    // Seen from inside the arena, no wall hides another: any order draws
    // them right.
    for (std::size_t i = 0; i < corners.size(); ++i) {
        const QPointF from = corners[i];
        const QPointF to = corners[(i + 1) % corners.size()];
        painter.setPen(Qt::NoPen);
        painter.setBrush(kWallColours[i]);
        painter.drawPolygon(lens.project(std::vector<Seen>{
            lens.see(from), lens.see(to), lens.see(to, kWallHeight), lens.see(from, kWallHeight)}));

        // A post every metre, so turning shows.
        QList<QLineF> posts;
        QLineF line;
        const double length = QLineF(from, to).length();
        for (int m = 1; m < length; ++m) {
            const QPointF at = from + (to - from) * (m / length);
            if (lens.project(lens.see(at), lens.see(at, kWallHeight), &line))
                posts << line;
        }
        if (lens.project(lens.see(from, kWallHeight), lens.see(to, kWallHeight), &line))
            posts << line;
        painter.setPen(QPen(kWall, 2));
        painter.drawLines(posts);
    }
}

// The tip of the car's own bonnet at the foot of the picture, so the driver
// sees where straight ahead is.
void filmBonnet(QPainter& painter)
{
    const double middle = kCameraWidth / 2.0;
    const double foot = kCameraHeight;
    painter.setPen(QPen(kBody.darker(160), 2));
    painter.setBrush(kBody);
    painter.drawPolygon(QPolygonF{{middle - 110, foot + 2},
                                  {middle - 70, foot - 24},
                                  {middle + 70, foot - 24},
                                  {middle + 110, foot + 2}});
}

} // namespace

QImage filmCameraView(const CameraScene& scene)
{
    QImage image(kCameraWidth, kCameraHeight, QImage::Format_RGB32);
    image.fill(kBackground);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    const QRectF arena = CarModel::arena();
    const std::array<QPointF, 4> corners{arena.topLeft(), arena.topRight(), arena.bottomRight(),
                                         arena.bottomLeft()};
    const Lens lens(scene);
    filmFloor(painter, lens, corners);
    filmTrail(painter, lens, scene.trail);
    filmWalls(painter, lens, corners);
    filmBonnet(painter);
    return image;
}
