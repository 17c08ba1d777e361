#pragma once

// The program with its camera window, watched on the screen: what the
// camera figures share.

#include "bench/BenchSession.h"
#include "bench/CameraServer.h"
#include "bench/ScreenPatch.h"

#include <QList>
#include <QString>

#include <optional>
#include <vector>

class VirtualScreen;

// utime + stime of all the process's threads, from /proc/<pid>/stat.
qint64 statCpuNs(qint64 pid);
qint64 rssKb(qint64 pid);
double mb(qint64 kb);

// The program with its camera window open on `url` (none: no camera), its
// car peer on loopback.
struct CameraProgram {
    explicit CameraProgram(VirtualScreen& screen);

    bool start(const QString& url, QString* error);
    qint64 pid() { return program.process().processId(); }
    // Presses and releases Up, which connects, and waits for both commands.
    bool connectCar();

    BenchPeer peer;
    ProgramUnderTest program;
    XClient& x;
    WindowId window = 0;
};

struct Seen {
    int code;
    BenchClock::time_point at;
};

// The frame codes the window showed, each when it first appeared, polled
// every half millisecond; the first is what showed at the start.
QList<Seen> watch(const ScreenPatch& patch, CameraProgram& camera, BenchClock::duration length);

// For a picture that appeared: how long since its frame's last byte was
// written, and how many newer frames had been written by then.
struct Age {
    double ms;
    qint64 behind;
};

std::optional<Age> ageOf(const Seen& seen, const std::vector<CameraServer::Written>& written,
                         int client);
