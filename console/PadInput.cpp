#include "console/PadInput.h"

#include <QTimer>

#include <SDL.h>

namespace {

// Often enough that a pad's change reaches the wire within a few
// milliseconds; one poll costs about a microsecond.
constexpr int AttachedPollMs = 4;
// While the pad cannot drive: to see it let go or unplugged.
constexpr int UnwantedPollMs = 50;
// Only to notice a pad being plugged in.
constexpr int IdlePollMs = 500;

PadReading readPad(SDL_GameController* pad)
{
    const auto button = [pad](SDL_GameControllerButton b) {
        return SDL_GameControllerGetButton(pad, b) != 0;
    };
    PadReading r;
    r.stickX = SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_LEFTX);
    r.stickY = SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_LEFTY);
    r.leftTrigger = SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_TRIGGERLEFT);
    r.rightTrigger = SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_TRIGGERRIGHT);
    r.dpadUp = button(SDL_CONTROLLER_BUTTON_DPAD_UP);
    r.dpadDown = button(SDL_CONTROLLER_BUTTON_DPAD_DOWN);
    r.dpadLeft = button(SDL_CONTROLLER_BUTTON_DPAD_LEFT);
    r.dpadRight = button(SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
    r.east = button(SDL_CONTROLLER_BUTTON_B);
    return r;
}

} // namespace

PadInput::PadInput(QObject* parent) : QObject(parent)
{
    // SDL would otherwise turn Ctrl+C and kill into an event nobody reads.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // SDL has no window to be active here; which window may drive is for
    // this program to decide.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    // The stop button is the east one wherever its label puts it.
    SDL_SetHint(SDL_HINT_GAMECONTROLLER_USE_BUTTON_LABELS, "0");
    m_sdlReady = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0;
    if (!m_sdlReady) {
        qWarning("Game controllers are not available: %s", SDL_GetError());
        return;
    }
    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("tmrPad"));
    connect(m_timer, &QTimer::timeout, this, &PadInput::poll);
    openFirstPad();
    setPollInterval();
    m_timer->start();
}

PadInput::~PadInput()
{
    if (!m_sdlReady)
        return;
    if (m_pad)
        SDL_GameControllerClose(m_pad);
    SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
}

void PadInput::requireNeutral()
{
    const bool couldDrive = mayDrive();
    m_mapping.requireNeutral();
    m_directions = {};
    if (couldDrive)
        emit padChanged();
}

void PadInput::setWanted(bool wanted)
{
    m_wanted = wanted;
    if (m_timer)
        setPollInterval();
}

void PadInput::poll()
{
    // Reads the pads and notices plugging. The pad's state is read directly
    // below; of the events SDL queued meanwhile only plugging matters.
    SDL_GameControllerUpdate();
    bool devicesChanged = false;
    SDL_Event event;
    while (SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) {
        if (event.type == SDL_CONTROLLERDEVICEADDED || event.type == SDL_CONTROLLERDEVICEREMOVED)
            devicesChanged = true;
    }
    if (m_pad && !SDL_GameControllerGetAttached(m_pad)) {
        const bool wasDriving =
            m_directions.throttle != Drive::Neutral || m_directions.steering != Drive::Straight;
        closePad();
        emit unplugged(wasDriving);
        devicesChanged = true;
    }
    if (!m_pad && devicesChanged) {
        openFirstPad();
        setPollInterval();
        emit padChanged();
    }
    if (!m_pad)
        return;

    const bool couldDrive = mayDrive();
    const PadDirections now = m_mapping.read(readPad(m_pad));
    if (mayDrive() != couldDrive)
        emit padChanged();
    if (now == m_directions)
        return;
    const PadDirections before = m_directions;
    m_directions = now;
    m_directions.stop = false;
    emit moved(before, now);
}

void PadInput::openFirstPad()
{
    for (int i = 0; i < SDL_NumJoysticks() && !m_pad; ++i) {
        if (SDL_IsGameController(i))
            m_pad = SDL_GameControllerOpen(i);
    }
    if (!m_pad)
        return;
    const char* name = SDL_GameControllerName(m_pad);
    m_name = name && *name ? QString::fromUtf8(name) : tr("Unnamed gamepad");
}

void PadInput::closePad()
{
    SDL_GameControllerClose(m_pad);
    m_pad = nullptr;
    m_name.clear();
    // A pad plugged in later must read neutral before it drives.
    m_mapping = PadMapping();
    m_directions = {};
}

void PadInput::setPollInterval()
{
    const bool quick = m_pad && m_wanted;
    m_timer->setTimerType(quick ? Qt::PreciseTimer : Qt::CoarseTimer);
    m_timer->setInterval(quick ? AttachedPollMs : m_pad ? UnwantedPollMs : IdlePollMs);
}
