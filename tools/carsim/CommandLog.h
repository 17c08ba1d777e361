#pragma once

#include <QList>
#include <QtGlobal>

// The commands the car heard: the last few for the display, and how many
// came within the last second.
class CommandLog {
public:
    struct Entry {
        qint64 time = 0; // ms
        int code = 0;
    };

    static constexpr int kShown = 10;

    void add(int code, qint64 now);

    // The newest last; at most kShown.
    QList<Entry> recent() const;
    int perSecond(qint64 now) const;
    // The newest command's time, or -1 before the first.
    qint64 lastTime() const;

private:
    void forgetBefore(qint64 time);

    // Every command of the last second, and at least the last kShown.
    QList<Entry> m_entries;
};
