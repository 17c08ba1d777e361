#pragma once

#include <QPointF>
#include <QRectF>

#include <array>

// The numbers that make the car feel like a small RC car on a screen. The
// help text and the README quote them, so change them together.
namespace CarFigures {
inline constexpr double kArenaWidth = 6.0;   // m
inline constexpr double kArenaHeight = 4.0;  // m
inline constexpr double kLength = 0.40;      // m, bumper to bumper
inline constexpr double kWidth = 0.20;       // m
inline constexpr double kWheelbase = 0.26;   // m, rear axle to front axle
inline constexpr double kMaxForward = 2.0;   // m/s
inline constexpr double kMaxReverse = 1.0;   // m/s
inline constexpr double kAcceleration = 4.0; // m/s², full speed forward in 0.5 s
inline constexpr double kBraking = 8.0;      // m/s², 2 m/s to a stop in 0.25 s
inline constexpr double kMaxSteer = 30.0;    // degrees, either side
inline constexpr double kSteerRate = 180.0;  // degrees per second at the wheels
} // namespace CarFigures

// The car seen from above, moved by a kinematic bicycle model: the rear axle
// follows the heading, the front wheels set how fast the heading turns. The
// speed and the wheels move towards what the drive code asks for at limited
// rates, so a tap creeps and a hold drives. The arena's walls stop the car:
// a step that would take any corner of the body past a wall is not taken.
// Metres and seconds; x to the right, y up, heading 0 along +x.
class CarModel {
public:
    CarModel();

    // The drive code from 1 to 9 the car obeys from now on; 5 for anything
    // else.
    void setCode(int code);
    int code() const { return m_code; }

    // Moves the car on by `seconds`.
    void advance(double seconds);

    // Back to where a run starts, standing still: near the left wall in the
    // middle, facing right along the arena's long side, so a first hold of
    // forward drives for almost three seconds before it meets a wall.
    void restart();

    QPointF position() const { return m_position; } // the middle of the body
    double heading() const { return m_heading; }    // radians
    double speed() const { return m_speed; }        // m/s, negative in reverse
    double steer() const { return m_steer; }        // degrees, positive to the left
    bool isMoving() const;
    // The last step was refused by a wall; cleared when the car moves again.
    bool isAtWall() const { return m_atWall; }

    // The body's corners: rear left, front left, front right, rear right.
    std::array<QPointF, 4> corners() const;
    static QRectF arena();
    static QPointF startPosition();

private:
    void step(double seconds);
    std::array<QPointF, 4> cornersAt(QPointF position, double heading) const;

    int m_code = 5;
    QPointF m_position;
    double m_heading = 0;
    double m_speed = 0;
    double m_steer = 0;
    bool m_atWall = false;
};
