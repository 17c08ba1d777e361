#include "console/PadMapping.h"

namespace {

constexpr int FullDeflection = 32767;
// A stick engages at half deflection and lets go below a third.
constexpr int StickEngage = FullDeflection / 2;
constexpr int StickRelease = FullDeflection / 3;
// A trigger travels less and rests less exactly: a third and a fifth.
constexpr int TriggerEngage = FullDeflection / 3;
constexpr int TriggerRelease = FullDeflection / 5;

// Whether a deflection holds, given whether it held before.
bool latch(bool engaged, int value, int engageAt, int releaseBelow)
{
    return value >= (engaged ? releaseBelow : engageAt);
}

// One axis from its two opposite wishes: both at once cancel.
qint16 axis(bool low, bool high, qint16 lowValue, qint16 middle, qint16 highValue)
{
    if (low == high)
        return middle;
    return low ? lowValue : highValue;
}

} // namespace

PadDirections PadMapping::read(const PadReading& r)
{
    // Forward is the stick pushed away, which SDL reports as negative.
    m_forward = latch(m_forward, -int(r.stickY), StickEngage, StickRelease);
    m_back = latch(m_back, r.stickY, StickEngage, StickRelease);
    m_left = latch(m_left, -int(r.stickX), StickEngage, StickRelease);
    m_right = latch(m_right, r.stickX, StickEngage, StickRelease);
    m_rightTrigger = latch(m_rightTrigger, r.rightTrigger, TriggerEngage, TriggerRelease);
    m_leftTrigger = latch(m_leftTrigger, r.leftTrigger, TriggerEngage, TriggerRelease);

    PadDirections directions;
    const bool stopPressed = r.east && !m_east;
    m_east = r.east;
    if (stopPressed) {
        directions.stop = true;
        m_mayDrive = false;
        return directions;
    }

    const bool forward = r.dpadUp || m_forward || m_rightTrigger;
    const bool reverse = r.dpadDown || m_back || m_leftTrigger;
    const bool left = r.dpadLeft || m_left;
    const bool right = r.dpadRight || m_right;
    if (!forward && !reverse && !left && !right && !r.east)
        m_mayDrive = true;
    if (!m_mayDrive)
        return directions;
    directions.throttle = axis(forward, reverse, Drive::Forward, Drive::Neutral, Drive::Reverse);
    directions.steering = axis(left, right, Drive::Left, Drive::Straight, Drive::Right);
    return directions;
}
