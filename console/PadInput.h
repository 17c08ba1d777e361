#pragma once

#include "console/PadMapping.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class PadWatch;
class QTimer;
struct _SDL_GameController;

// The game controllers, read through SDL's game-controller API, which maps
// every known make of pad to one layout. SDL owns no window here, so it is
// polled from Qt's event loop: seldom while no pad is attached, and often
// while one is, unless its device can be watched (PadWatch), which then wakes
// the loop only when the pad has input. The first pad attached drives until
// it is unplugged; the others are not read at all, so two pads never fight.
class PadInput : public QObject {
    Q_OBJECT

public:
    explicit PadInput(QObject* parent = nullptr);
    ~PadInput() override;

    // Starts SDL's game controllers, which scan the input devices: a cost
    // kept off the path to the window. Does nothing when
    // VELMORA_NO_GAMEPAD=1 leaves game controllers out.
    void start();

    // The name of the pad that drives, or an empty text when there is none.
    QString padName() const { return m_name; }
    bool mayDrive() const { return m_mapping.mayDrive(); }
    // Ignores the pad until it reads neutral again; until then it asks for
    // nothing.
    void requireNeutral();
    // Whether the pad could drive now. While it cannot, a quick poll would
    // only cost CPU: the pad is then read just often enough to see it let go
    // or unplugged.
    void setWanted(bool wanted);

    // Where a pad's device is, for watching it; SDL's own answer unless
    // replaced (a stand-in device for tests and the bench).
    using DevicePath = std::function<QByteArray(_SDL_GameController*)>;
    void setDevicePath(DevicePath devicePath);

signals:
    // The driving pad's directions changed, or its stop button went down.
    void moved(const PadDirections& before, const PadDirections& now);
    // The driving pad was unplugged, or its device node failed (which may
    // come first); wasDriving when it asked for a motion.
    void unplugged(bool wasDriving);
    // The pad's name or whether it may drive changed.
    void padChanged();

private:
    void poll();
    void pollSoon();
    void openFirstPad();
    void closePad();
    void watchPad();
    void unwatchPad();
    void deviceLost();
    bool driving() const;
    void setPollInterval();

    QTimer* m_timer = nullptr;
    bool m_sdlReady = false;
    bool m_wanted = true;
    _SDL_GameController* m_pad = nullptr;
    // Set once SDL has updated the pad since it was opened.
    bool m_updatedSinceOpen = false;
    DevicePath m_devicePath;
    PadWatch* m_watch = nullptr;
    QString m_name;
    PadMapping m_mapping;
    PadDirections m_directions;
};
