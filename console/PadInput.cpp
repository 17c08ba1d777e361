#include "console/PadInput.h"

#include "console/PadWatch.h"

#include <QTimer>

#include <SDL.h>

namespace {

// For a pad that cannot be watched: often enough that its change reaches the
// wire within a few milliseconds; one poll costs about a microsecond. A
// watched pad is read at most this often.
constexpr int AttachedPollMs = 4;
// While such a pad cannot drive: to see it let go or unplugged.
constexpr int UnwantedPollMs = 50;
// To notice a pad being plugged in, and to keep SDL's books while a watched
// pad rests.
constexpr int IdlePollMs = 500;

QByteArray sdlDevicePath(SDL_GameController* pad)
{
    return QByteArray(SDL_GameControllerPath(pad));
}

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

// Whether SDL has taken the pad's drive axes from the device itself. From
// the pad's opening until then, SDL shows its triggers as let go, and a pad
// it reads over HIDAPI as all at rest: neither may pass for neutral.
bool axesReadFromDevice(SDL_GameController* pad)
{
    SDL_Joystick* joystick = SDL_GameControllerGetJoystick(pad);
    for (const auto axis : {SDL_CONTROLLER_AXIS_LEFTX, SDL_CONTROLLER_AXIS_LEFTY,
                            SDL_CONTROLLER_AXIS_TRIGGERLEFT, SDL_CONTROLLER_AXIS_TRIGGERRIGHT}) {
        const SDL_GameControllerButtonBind bind = SDL_GameControllerGetBindForAxis(pad, axis);
        Sint16 initial = 0;
        if (bind.bindType == SDL_CONTROLLER_BINDTYPE_AXIS &&
            !SDL_JoystickGetAxisInitialState(joystick, bind.value.axis, &initial))
            return false;
    }
    return true;
}

} // namespace

PadInput::PadInput(QObject* parent) : QObject(parent), m_devicePath(sdlDevicePath)
{
    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("tmrPad"));
    connect(m_timer, &QTimer::timeout, this, &PadInput::poll);
    setPollInterval();
}

void PadInput::start()
{
    if (m_sdlReady)
        return;
    // A driver whose pad misbehaves can leave game controllers out.
    if (qEnvironmentVariableIntValue("VELMORA_NO_GAMEPAD") == 1)
        return;
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
    openFirstPad();
    setPollInterval();
    m_timer->start();
    pollSoon();
    if (m_pad)
        emit padChanged();
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
    pollSoon();
}

void PadInput::setWanted(bool wanted)
{
    m_wanted = wanted;
    setPollInterval();
    if (wanted)
        pollSoon();
}

void PadInput::setDevicePath(DevicePath devicePath)
{
    m_devicePath = std::move(devicePath);
    if (!m_pad)
        return;
    watchPad();
    setPollInterval();
}

void PadInput::poll()
{
    // Reads the pads and notices plugging. The pad's state is read directly
    // below; of the events SDL queued meanwhile only plugging matters.
    SDL_GameControllerUpdate();
    if (m_pad)
        m_updatedSinceOpen = true;
    bool devicesChanged = false;
    SDL_Event event;
    while (SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) {
        if (event.type == SDL_CONTROLLERDEVICEADDED || event.type == SDL_CONTROLLERDEVICEREMOVED)
            devicesChanged = true;
    }
    if (m_pad && !SDL_GameControllerGetAttached(m_pad)) {
        const bool wasDriving = driving();
        closePad();
        emit unplugged(wasDriving);
        devicesChanged = true;
    }
    if (!m_pad && devicesChanged) {
        openFirstPad();
        setPollInterval();
        emit padChanged();
        pollSoon();
    }
    // Only a reading SDL took from the device after the pad's opening counts.
    if (!m_pad || !m_updatedSinceOpen || !axesReadFromDevice(m_pad))
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

void PadInput::pollSoon()
{
    // A pad at rest must be read now, not at its first move: a watched pad
    // says nothing until it is moved, and only a pad read neutral may drive.
    if (m_sdlReady)
        QMetaObject::invokeMethod(this, &PadInput::poll, Qt::QueuedConnection);
}

bool PadInput::driving() const
{
    return m_directions.throttle != Drive::Neutral || m_directions.steering != Drive::Straight;
}

void PadInput::openFirstPad()
{
    for (int i = 0; i < SDL_NumJoysticks() && !m_pad; ++i) {
        if (SDL_IsGameController(i))
            m_pad = SDL_GameControllerOpen(i);
    }
    if (!m_pad)
        return;
    m_updatedSinceOpen = false;
    const char* name = SDL_GameControllerName(m_pad);
    m_name = name && *name ? QString::fromUtf8(name) : tr("Unnamed gamepad");
    watchPad();
}

void PadInput::closePad()
{
    unwatchPad();
    SDL_GameControllerClose(m_pad);
    m_pad = nullptr;
    m_name.clear();
    // A pad plugged in later must read neutral before it drives.
    m_mapping = PadMapping();
    m_directions = {};
}

void PadInput::watchPad()
{
    unwatchPad();
    auto* watch = new PadWatch(m_devicePath(m_pad), AttachedPollMs, this);
    if (!watch->isWatching()) {
        delete watch;
        return;
    }
    m_watch = watch;
    connect(m_watch, &PadWatch::input, this, &PadInput::poll);
    connect(m_watch, &PadWatch::lost, this, &PadInput::deviceLost);
}

void PadInput::unwatchPad()
{
    if (!m_watch)
        return;
    // It may be telling its loss right now.
    m_watch->disconnect(this);
    m_watch->deleteLater();
    m_watch = nullptr;
}

void PadInput::deviceLost()
{
    // The system has taken the pad away; SDL hears of it a moment later. The
    // car stops now, and the pad is polled until SDL has caught up, and must
    // read neutral before it drives again should it turn out to be there.
    unwatchPad();
    const bool wasDriving = driving();
    requireNeutral();
    setPollInterval();
    if (wasDriving)
        emit unplugged(true);
}

void PadInput::setPollInterval()
{
    const bool polled = m_pad && !m_watch;
    const bool quick = polled && m_wanted;
    m_timer->setTimerType(quick ? Qt::PreciseTimer : Qt::CoarseTimer);
    m_timer->setInterval(quick ? AttachedPollMs : polled ? UnwantedPollMs : IdlePollMs);
}
