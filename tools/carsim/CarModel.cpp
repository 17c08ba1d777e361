#include "tools/carsim/CarModel.h"

#include <QtMath>

#include <algorithm>
#include <cmath>
#include <numbers>

using namespace CarFigures;

namespace {

// Long frames are cut into steps this short, so the path does not depend on
// how often the window happens to draw.
constexpr double kMaxStep = 0.005;

double approach(double value, double target, double maxChange)
{
    if (value < target)
        return std::min(value + maxChange, target);
    return std::max(value - maxChange, target);
}

// What each code asks for: speed in m/s and wheel angle in degrees.
double targetSpeed(int code)
{
    if (code >= 1 && code <= 3)
        return kMaxForward;
    if (code >= 7 && code <= 9)
        return -kMaxReverse;
    return 0;
}

double targetSteer(int code)
{
    switch (code % 3) {
    case 1:
        return kMaxSteer;
    case 0:
        return -kMaxSteer;
    default:
        return 0;
    }
}

} // namespace

CarModel::CarModel()
{
    restart();
}

void CarModel::setCode(int code)
{
    m_code = code >= 1 && code <= 9 ? code : 5;
}

void CarModel::advance(double seconds)
{
    while (seconds > 0) {
        const double dt = std::min(seconds, kMaxStep);
        step(dt);
        seconds -= dt;
    }
}

void CarModel::restart()
{
    m_position = startPosition();
    m_heading = 0;
    m_speed = 0;
    m_steer = 0;
    m_atWall = false;
}

bool CarModel::isMoving() const
{
    // Pushing against a wall moves nothing until the code changes.
    return m_speed != 0 || m_steer != targetSteer(m_code) ||
           (targetSpeed(m_code) != 0 && !m_atWall);
}

std::array<QPointF, 4> CarModel::corners() const
{
    return cornersAt(m_position, m_heading);
}

QRectF CarModel::arena()
{
    return {0, 0, kArenaWidth, kArenaHeight};
}

QPointF CarModel::startPosition()
{
    // The rear stays 0.4 m from the wall: room to reverse a little.
    return {0.6, kArenaHeight / 2};
}

void CarModel::step(double dt)
{
    m_steer = approach(m_steer, targetSteer(m_code), kSteerRate * dt);

    const double target = targetSpeed(m_code);
    // Speeding up in the direction of travel uses the motor; anything else
    // (slowing down, or a change of direction) brakes first.
    const bool speedingUp = std::abs(target) > std::abs(m_speed) && target * m_speed >= 0;
    m_speed = approach(m_speed, target, (speedingUp ? kAcceleration : kBraking) * dt);
    if (m_speed == 0)
        return;

    // The middle of the body sits half a wheelbase ahead of the rear axle.
    const double halfBase = kWheelbase / 2;
    const QPointF rear = m_position - halfBase * QPointF(std::cos(m_heading), std::sin(m_heading));
    const double heading =
        m_heading + m_speed / kWheelbase * std::tan(qDegreesToRadians(m_steer)) * dt;
    const QPointF newRear = rear + m_speed * dt * QPointF(std::cos(m_heading), std::sin(m_heading));
    const QPointF position = newRear + halfBase * QPointF(std::cos(heading), std::sin(heading));

    const QRectF walls = arena();
    for (const QPointF& corner : cornersAt(position, heading)) {
        if (corner.x() < walls.left() || corner.x() > walls.right() || corner.y() < walls.top() ||
            corner.y() > walls.bottom()) {
            m_speed = 0;
            m_atWall = true;
            return;
        }
    }
    m_position = position;
    m_heading = std::remainder(heading, 2 * std::numbers::pi);
    m_atWall = false;
}

std::array<QPointF, 4> CarModel::cornersAt(QPointF position, double heading) const
{
    const QPointF ahead = kLength / 2 * QPointF(std::cos(heading), std::sin(heading));
    const QPointF left = kWidth / 2 * QPointF(-std::sin(heading), std::cos(heading));
    return {position - ahead + left, position + ahead + left, position + ahead - left,
            position - ahead - left};
}
