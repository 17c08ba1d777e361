#pragma once

#include <QtGlobal>

struct _SDL_Joystick;

// A game controller that exists only inside this process (SDL's virtual
// joystick): no device, udev or /dev/input needed, on Linux and under Wine.
// Its axes and buttons are numbered as SDL's game-controller axes and
// buttons. A pad attached while a PadInput polls is seen at its next poll.
class VirtualPad {
public:
    VirtualPad();
    ~VirtualPad();
    VirtualPad(const VirtualPad&) = delete;
    VirtualPad& operator=(const VirtualPad&) = delete;

    // False when SDL could not make the pad; the reason is logged.
    bool isAttached() const { return m_joystick != nullptr; }
    void setAxis(int axis, qint16 value);
    void setButton(int button, bool down);
    // Pushes the left stick: -32768 to 32767, negative is up or left.
    void stick(qint16 x, qint16 y);
    // Holds the right trigger: 0 is let go, 32767 fully in.
    void rightTrigger(qint16 value);
    void unplug();

private:
    _SDL_Joystick* m_joystick = nullptr;
    bool m_sdlReady = false;
};
