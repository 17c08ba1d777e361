#pragma once

#include <QtGlobal>

// What a car's server must do when the remote control falls silent: stop.
// The remote sends a command at least once a second while it is connected,
// so 1.5 s without one means the driver is gone or the link is dead; a link
// that closes or breaks means the same at once. The car then brakes to a
// stop and stays stopped until a command arrives. Times are milliseconds on
// any clock that only goes forward.
class Failsafe {
public:
    enum class Stop { None, Silence, LinkClosed };

    static constexpr qint64 kSilenceMs = 1500;

    void linkOpened();
    void command(qint64 now);
    void linkClosed();

    Stop stop(qint64 now) const;
    // When the silence stop will begin, or -1 when none is pending.
    qint64 silenceDeadline() const;

private:
    bool m_linkOpen = false;
    bool m_linkLost = false;
    // The last command on the open link, or -1 before the first.
    qint64 m_lastCommand = -1;
};
