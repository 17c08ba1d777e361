#include "console/DriveState.h"

int driveCode(const DriveState& state)
{
    return state.throttle * 3 + state.steering + 1;
}

namespace {

void setAxes(DriveState& state, qint16 throttle, qint16 steering)
{
    state.throttle = throttle;
    state.steering = steering;
}

} // namespace

bool applyDriveKey(DriveState& state, quint16 keyCode, KeyTransition transition)
{
    const bool down = transition == KeyTransition::Down;
    switch (keyCode) {
    case VirtualKey::Left:
    case VirtualKey::Numpad4:
        state.steering = down ? Drive::Left : Drive::Straight;
        return true;
    case VirtualKey::Right:
    case VirtualKey::Numpad6:
        state.steering = down ? Drive::Right : Drive::Straight;
        return true;
    case VirtualKey::Up:
    case VirtualKey::Numpad8:
        state.throttle = down ? Drive::Forward : Drive::Neutral;
        return true;
    case VirtualKey::Down:
    case VirtualKey::Numpad2:
        state.throttle = down ? Drive::Reverse : Drive::Neutral;
        return true;
    case VirtualKey::Numpad5:
        setAxes(state, Drive::Neutral, Drive::Straight);
        return true;
    case VirtualKey::Numpad7:
    case VirtualKey::Numpad9:
    case VirtualKey::Numpad1:
    case VirtualKey::Numpad3:
        if (!down) {
            setAxes(state, Drive::Neutral, Drive::Straight);
            return true;
        }
        setAxes(state,
                keyCode == VirtualKey::Numpad7 || keyCode == VirtualKey::Numpad9 ? Drive::Forward
                                                                                 : Drive::Reverse,
                keyCode == VirtualKey::Numpad7 || keyCode == VirtualKey::Numpad1 ? Drive::Left
                                                                                 : Drive::Right);
        return true;
    default:
        return false;
    }
}
