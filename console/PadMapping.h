#pragma once

#include "console/DriveState.h"

#include <QtGlobal>

// One reading of a game controller, in SDL's units: stick axes -32768 to
// 32767 with negative meaning up or left, triggers 0 to 32767.
struct PadReading {
    qint16 stickX = 0;
    qint16 stickY = 0;
    qint16 leftTrigger = 0;
    qint16 rightTrigger = 0;
    bool dpadUp = false;
    bool dpadDown = false;
    bool dpadLeft = false;
    bool dpadRight = false;
    // The east face button (B on most pads): stop.
    bool east = false;
};

// What the pad asks for: a direction on each drive axis, and whether the stop
// button went down with this reading.
struct PadDirections {
    qint16 throttle = Drive::Neutral;
    qint16 steering = Drive::Straight;
    bool stop = false;
    friend bool operator==(const PadDirections&, const PadDirections&) = default;
};

// Turns pad readings into drive directions. Each half of a stick axis and
// each trigger engages at one deflection and lets go only below a smaller
// one, so a stick resting near the edge cannot flicker between two codes.
// A pad drives only once it has read neutral: at the start, after
// requireNeutral() and after the stop button.
class PadMapping {
public:
    PadDirections read(const PadReading& reading);
    // Ignores the pad until it reads neutral again.
    void requireNeutral() { m_mayDrive = false; }
    bool mayDrive() const { return m_mayDrive; }

private:
    bool m_forward = false;
    bool m_back = false;
    bool m_left = false;
    bool m_right = false;
    bool m_rightTrigger = false;
    bool m_leftTrigger = false;
    bool m_east = false;
    bool m_mayDrive = false;
};
