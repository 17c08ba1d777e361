#pragma once

#include <QByteArray>

// Stands in for a pad's device node where there is none to be had: a
// pseudo-terminal, whose far end wakes a reader when written to and fails
// its reads once closed, as an input node does when its pad is unplugged.
// Unix only.
class StandInDevice {
public:
    StandInDevice();
    ~StandInDevice();
    StandInDevice(const StandInDevice&) = delete;
    StandInDevice& operator=(const StandInDevice&) = delete;

    // Empty when no pseudo-terminal could be made.
    QByteArray path() const { return m_path; }
    // What the kernel does when the pad reports a change.
    void input();
    void unplug();

private:
    int m_master = -1;
    QByteArray m_path;
};
