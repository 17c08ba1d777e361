// velmora-bench-pad: the gamepad's figures. SDL's virtual pad exists only
// inside the process that makes it, so this runs the program's own main
// window in this process (offscreen) against a peer on loopback, and prints
// one table: pad-to-wire latency, and the CPU while idle and connected with a
// pad attached and with none.
//
// A pad comes two ways. A watched pad, as on Linux, wakes the program through
// its device node; the virtual pad has none, so a stand-in node is written to
// at each change, as the kernel would. A polled pad, as on Windows or with no
// node to watch, is read on a quick timer; beside its CPU figure is the cost
// of the wake-ups alone: an empty timer at the same interval, no pad.

#include "bench/BenchFigures.h"
#include "bench/BenchMachine.h"
#include "bench/BenchPeer.h"
#include "console/PadInput.h"
#include "console/frmMain.h"
#include "support/StandInDevice.h"
#include "support/TestSupport.h"
#include "support/VirtualPad.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QRandomGenerator>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <functional>
#include <thread>

namespace {

constexpr int WaitMs = 10000;
constexpr int IdleMs = 10000;

void progress(const char* text)
{
    std::fprintf(stderr, "velmora-bench-pad: %s\n", text);
}

// Runs the event loop, sleeping between events, for the given time.
void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until done() holds or the time is up. Whatever makes
// done() true must wake the loop.
template <typename Condition> bool runUntil(Condition done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    QTimer wake;
    wake.start(timeoutMs);
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

qint64 processCpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// The share of a core the process uses while the event loop idles.
double idleCorePercent()
{
    QElapsedTimer wall;
    wall.start();
    const qint64 cpuStart = processCpuNs();
    runFor(IdleMs);
    return corePercent(processCpuNs() - cpuStart, wall.nsecsElapsed());
}

// The same with an empty timer firing as often as the pad is polled: what the
// wake-ups alone cost on this machine, whatever is done in them.
double bareTimerCorePercent(int intervalMs)
{
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(intervalMs);
    QObject::connect(&timer, &QTimer::timeout, &timer, [] {});
    timer.start();
    return idleCorePercent();
}

// Pad-to-wire latency. The peer reads on a thread of its own, so that its
// time stamps do not wait for this event loop. Event i pushes the stick
// forward (even) or lets it go (odd), and nudge() follows each push; the
// first event is not counted (it opens the connection on the first run).
QList<double> padToWire(BenchPeer& peer, VirtualPad& pad, int events, bool accept,
                        const std::function<void()>& nudge)
{
    std::vector<BenchClock::time_point> sent(size_t(events + 1)), arrived(size_t(events + 1));
    std::atomic<int> done{0};
    std::thread reader([&] {
        if (accept && !peer.accept(WaitMs))
            return;
        for (int i = 0; i <= events; ++i) {
            const auto at = peer.waitFor(i % 2 == 0 ? '2' : '5', WaitMs);
            if (!at)
                return;
            arrived[size_t(i)] = *at;
            done = i + 1;
            // A watched pad leaves the loop asleep: wake it to see this.
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [] {}, Qt::QueuedConnection);
        }
    });
    QList<double> latencies;
    for (int i = 0; i <= events; ++i) {
        sent[size_t(i)] = BenchClock::now();
        pad.stick(0, i % 2 == 0 ? -32767 : 0);
        nudge();
        if (!runUntil([&] { return done > i; }, WaitMs))
            break;
        if (i > 0)
            latencies << std::chrono::duration<double, std::milli>(arrived[size_t(i)] -
                                                                   sent[size_t(i)])
                             .count();
        // Spread the changes over the poll timer's phase.
        const int pauseMs = 20 + int(QRandomGenerator::global()->bounded(13));
        runFor(pauseMs);
    }
    reader.join();
    return latencies;
}

bool padDrives(const frmMain& window)
{
    const QString text = window.findChild<QLabel*>(QStringLiteral("lblPad"))->text();
    return text.startsWith(QLatin1String("Gamepad:")) && !text.contains(QLatin1Char('('));
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int events = argc > 1 ? QByteArray(argv[1]).toInt() : 400;

    BenchPeer peer;
    QString error;
    if (!peer.listen(&error)) {
        progress(qPrintable(error));
        return 1;
    }
    TempAppDir dir;
    dir.writeSettings(Loopback, QString::number(peer.port()));
    frmMain window(dir.path());
    VirtualPad pad;
    if (!activate(window) || !pad.isAttached() ||
        !runUntil([&] { return padDrives(window); }, WaitMs)) {
        progress("the window or the virtual pad did not come up");
        return 1;
    }

    PadInput* padInput = window.findChild<PadInput*>();
    StandInDevice device;
    const QByteArray devicePath = device.path();
    const auto watched = [devicePath](auto*) { return devicePath; };
    const auto polled = [](auto*) { return QByteArray(); };

    progress("pad-to-wire latency, a polled pad");
    padInput->setDevicePath(polled);
    const QList<double> polledLatencies = padToWire(peer, pad, events, true, [] {});
    progress("pad-to-wire latency, a watched pad");
    padInput->setDevicePath(watched);
    peer.drain();
    const QList<double> watchedLatencies =
        padToWire(peer, pad, events, false, [&] { device.input(); });

    progress("CPU while idle and connected: a watched pad, a polled one, none, none but an "
             "empty timer");
    const double withWatchedPad = idleCorePercent();
    padInput->setDevicePath(polled);
    const int pollMs = window.findChild<QTimer*>(QStringLiteral("tmrPad"))->interval();
    const double withPad = idleCorePercent();
    pad.unplug();
    runUntil([&] { return !padDrives(window); }, WaitMs);
    const double withoutPad = idleCorePercent();
    const double bareTimer = bareTimerCorePercent(pollMs);

    const QString where = QStringLiteral("the program's window in the bench's process");
    const QString watchedNote =
        QStringLiteral("%1 changes, a stand-in device node woken at each, %2")
            .arg(watchedLatencies.size())
            .arg(where);
    const QString polledNote = QStringLiteral("%1 changes, polled every %2 ms, %3")
                                   .arg(polledLatencies.size())
                                   .arg(pollMs)
                                   .arg(where);
    QList<BenchRow> rows;
    rows << BenchRow{QStringLiteral("Pad-to-wire p50, watched pad"),
                     percentile(watchedLatencies, 50), QStringLiteral("ms"), 10, watchedNote};
    rows << BenchRow{QStringLiteral("Pad-to-wire p99, watched pad"),
                     percentile(watchedLatencies, 99), QStringLiteral("ms"), 10, watchedNote};
    rows << BenchRow{QStringLiteral("Pad-to-wire p50, polled pad"), percentile(polledLatencies, 50),
                     QStringLiteral("ms"), 10, polledNote};
    rows << BenchRow{QStringLiteral("Pad-to-wire p99, polled pad"), percentile(polledLatencies, 99),
                     QStringLiteral("ms"), 10, polledNote};
    rows << BenchRow{QStringLiteral("CPU while idle and connected, watched pad attached, 10 s"),
                     withWatchedPad, QStringLiteral("% of a core"), 0.5,
                     QStringLiteral("a stand-in device node")};
    rows << BenchRow{QStringLiteral("CPU while idle and connected, polled pad attached, 10 s"),
                     withPad, QStringLiteral("% of a core"), 0.5,
                     QStringLiteral("polled every %1 ms; with no pad but an empty %1 ms timer: %2 "
                                    "% of a core")
                         .arg(pollMs)
                         .arg(bareTimer, 0, 'f', 3)};
    rows << BenchRow{QStringLiteral("CPU while idle and connected, no pad, 10 s"), withoutPad,
                     QStringLiteral("% of a core"), 0.1, QString()};
    std::fputs(qPrintable(markdownTable(rows, machineText())), stdout);
    return 0;
}
