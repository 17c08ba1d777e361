#pragma once

#include <QtGlobal>

// The car's wanted motion as two axes, each 0, 1 or 2.
//   Throttle: 0 forward, 1 neutral, 2 reverse.
//   Steering: 0 left, 1 straight, 2 right.
namespace Drive {
constexpr qint16 Forward = 0;
constexpr qint16 Neutral = 1;
constexpr qint16 Reverse = 2;
constexpr qint16 Left = 0;
constexpr qint16 Straight = 1;
constexpr qint16 Right = 2;
} // namespace Drive

struct DriveState {
    qint16 throttle = Drive::Neutral;
    qint16 steering = Drive::Straight;

    bool isStopped() const { return throttle == Drive::Neutral && steering == Drive::Straight; }
    friend bool operator==(const DriveState&, const DriveState&) = default;
};

// The drive command code, 1 to 9: laid out like a keypad seen from above,
// top row forward. It is not the digit printed on the keypad key.
int driveCode(const DriveState& state);

// Virtual-key codes of the drive keys.
namespace VirtualKey {
constexpr quint16 Left = 37;
constexpr quint16 Up = 38;
constexpr quint16 Right = 39;
constexpr quint16 Down = 40;
constexpr quint16 Numpad0 = 96;
constexpr quint16 Numpad1 = 97;
constexpr quint16 Numpad2 = 98;
constexpr quint16 Numpad3 = 99;
constexpr quint16 Numpad4 = 100;
constexpr quint16 Numpad5 = 101;
constexpr quint16 Numpad6 = 102;
constexpr quint16 Numpad7 = 103;
constexpr quint16 Numpad8 = 104;
constexpr quint16 Numpad9 = 105;
} // namespace VirtualKey

enum class KeyTransition { Down, Up };

// Applies one key event to the drive state. Returns false, and leaves the
// state alone, for a key that does not drive. The last event always wins:
// nothing remembers which keys are held.
bool applyDriveKey(DriveState& state, quint16 keyCode, KeyTransition transition);
