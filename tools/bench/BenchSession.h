#pragma once

// What every measurement of the benchmark shares: the program started
// against its peer, waiting by polling, and progress on stderr.

#include "bench/BenchFigures.h"
#include "bench/BenchPeer.h"
#include "e2e/ProgramUnderTest.h"
#include "e2e/XClient.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <chrono>
#include <cstdio>
#include <thread>

constexpr int kBenchWaitMs = 10000;

inline void progress(const QString& text)
{
    std::fprintf(stderr, "velmora-bench: %s\n", qPrintable(text));
    std::fflush(stderr);
}

inline double msBetween(BenchClock::time_point from, BenchClock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

inline qint64 nsBetween(BenchClock::time_point from, BenchClock::time_point to)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(to - from).count();
}

// CPU time of all the process's threads so far.
inline qint64 cpuNs(qint64 pid)
{
    qint64 total = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file(tasks.filePath(task + QStringLiteral("/schedstat")));
        if (file.open(QIODevice::ReadOnly))
            total += schedstatCpuNs(file.readAll()).value_or(0);
    }
    return total;
}

inline BenchRow notMeasured(const QString& figure, const QString& unit, double limit,
                            const QString& why)
{
    return BenchRow{figure, std::nullopt, unit, limit, why};
}

// Polls (every half millisecond) until `done` holds or the time is up.
template <typename Condition> bool pollUntil(Condition done, int timeoutMs)
{
    const auto deadline = BenchClock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (BenchClock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return true;
}

// The program, started and ready for keys, with the peer it is set up for.
struct Session {
    explicit Session(VirtualScreen& screen) : program(screen) {}

    bool start(QString* error)
    {
        return peer.listen(error) && program.start(peer.port(), error) && program.waitReady(error);
    }

    qint64 pid() { return program.process().processId(); }

    // Presses and releases Up, which connects, and waits for both commands.
    bool connect(XClient& x)
    {
        return x.key("Up", true) && peer.accept(kBenchWaitMs) && peer.waitFor('2', kBenchWaitMs) &&
               x.key("Up", false) && peer.waitFor('5', kBenchWaitMs);
    }

    BenchPeer peer;
    ProgramUnderTest program;
};

// The program's error message box: a second window of its own.
inline bool waitForMessageBox(XClient& x, qint64 pid, int timeoutMs)
{
    return pollUntil([&] { return x.windowsOfProcess(pid).size() >= 2; }, timeoutMs);
}
