#include "support/VirtualPad.h"

#include <QtDebug>

#include <SDL.h>

VirtualPad::VirtualPad()
{
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    m_sdlReady = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0;
    if (!m_sdlReady) {
        qWarning("SDL: %s", SDL_GetError());
        return;
    }
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = SDL_CONTROLLER_AXIS_MAX;
    // The classic pad: face, shoulder, stick and D-pad buttons.
    desc.nbuttons = SDL_CONTROLLER_BUTTON_DPAD_RIGHT + 1;
    desc.name = "Velmora test pad";
    const int index = SDL_JoystickAttachVirtualEx(&desc);
    if (index < 0 || !(m_joystick = SDL_JoystickOpen(index)))
        qWarning("SDL: %s", SDL_GetError());
}

VirtualPad::~VirtualPad()
{
    unplug();
    if (m_sdlReady)
        SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
}

void VirtualPad::setAxis(int axis, qint16 value)
{
    SDL_JoystickSetVirtualAxis(m_joystick, axis, value);
}

void VirtualPad::setButton(int button, bool down)
{
    SDL_JoystickSetVirtualButton(m_joystick, button, down ? SDL_PRESSED : SDL_RELEASED);
}

void VirtualPad::stick(qint16 x, qint16 y)
{
    setAxis(SDL_CONTROLLER_AXIS_LEFTX, x);
    setAxis(SDL_CONTROLLER_AXIS_LEFTY, y);
}

void VirtualPad::rightTrigger(qint16 value)
{
    // The virtual pad's trigger spans the whole axis, -32768 when let go.
    setAxis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, qint16(qMax(0, int(value)) * 2 - 32768));
}

void VirtualPad::unplug()
{
    if (!m_joystick)
        return;
    const SDL_JoystickID id = SDL_JoystickInstanceID(m_joystick);
    SDL_JoystickClose(m_joystick);
    m_joystick = nullptr;
    for (int i = 0; i < SDL_NumJoysticks(); ++i) {
        if (SDL_JoystickGetDeviceInstanceID(i) == id) {
            SDL_JoystickDetachVirtual(i);
            return;
        }
    }
}
