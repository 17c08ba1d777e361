#include "bench/KeyToWire.h"

#include "bench/BenchFigures.h"
#include "bench/BenchPeer.h"
#include "bench/BenchSession.h"
#include "e2e/VirtualScreen.h"
#include "e2e/XClient.h"

#include <QProcess>
#include <QStringList>

#include <thread>

QString percentilesText(const QList<double>& latencies)
{
    return QStringLiteral("p50 %1 ms, p99 %2 ms")
        .arg(percentile(latencies, 50).value_or(-1), 0, 'f', 3)
        .arg(percentile(latencies, 99).value_or(-1), 0, 'f', 3);
}

QString latenciesText(const Latencies& latencies)
{
    return QStringLiteral("%1 (presses p50 %2 ms, releases p50 %3 ms)")
        .arg(percentilesText(latencies.all))
        .arg(percentile(latencies.presses, 50).value_or(-1), 0, 'f', 3)
        .arg(percentile(latencies.releases, 50).value_or(-1), 0, 'f', 3);
}

// Presses and releases Up and Down in turn, each event timed from just
// before it is flushed to the X server to the arrival of the command it
// causes. Every event changes the code, so a repeat of the timer can never
// pass for the answer.
Latencies keyToWire(XClient& x, BenchPeer& peer, int events, int pauseMs)
{
    Latencies latencies;
    for (int i = 0; i < events; ++i) {
        const bool press = i % 2 == 0;
        const bool up = (i / 2) % 2 == 0;
        const char expected = press ? (up ? '2' : '8') : '5';
        peer.drain();
        const auto sent = BenchClock::now();
        x.key(up ? "Up" : "Down", press);
        if (const auto arrived = peer.waitFor(expected, 2000)) {
            const double ms = msBetween(sent, *arrived);
            latencies.all.append(ms);
            (press ? latencies.presses : latencies.releases).append(ms);
        }
        // Spread the events over the repeat timer's phase.
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs + (i * 7) % 13));
    }
    return latencies;
}

// The same key-to-wire path in the least a Qt program can do; with `native`,
// sending from the raw X events.
QString measureMinimalQtWindow(VirtualScreen& screen, int events, int pauseMs, bool native)
{
    const QString name = native ? QStringLiteral("minimal Qt window reading raw X events")
                                : QStringLiteral("minimal Qt window");
    BenchPeer peer;
    QString error;
    if (!peer.listen(&error))
        return name + QStringLiteral(": not measured");
    QProcess minimal;
    minimal.setProcessEnvironment(screen.clientEnvironment());
    QStringList arguments{QString::number(peer.port())};
    if (native)
        arguments << QStringLiteral("native");
    minimal.start(QStringLiteral(VELMORA_MINIMAL_QT_PATH), arguments);
    XClient& x = screen.x();
    const bool ready = minimal.waitForStarted(kBenchWaitMs) && peer.accept(kBenchWaitMs) &&
                       pollUntil(
                           [&] {
                               const WindowId window = x.windowOfProcess(minimal.processId());
                               return window && x.isViewable(window) && x.focusWindow() == window;
                           },
                           kBenchWaitMs);
    QString text = name + QStringLiteral(": not measured");
    if (ready)
        text = name + QStringLiteral(": ") + latenciesText(keyToWire(x, peer, events, pauseMs));
    minimal.kill();
    minimal.waitForFinished(kBenchWaitMs);
    return text;
}

// The same key events delivered by the X server to a bare window of our
// own: what the server and the scheduler cost before the program does
// anything.
QString measureXBaseline(VirtualScreen& screen, int events, int pauseMs)
{
    XClient& x = screen.x();
    const WindowId window = x.createWindow(QStringLiteral("velmora-bench baseline"));
    const bool focused = pollUntil([&] { return x.isManaged(window); }, kBenchWaitMs) &&
                         (x.requestActivate(window), true) &&
                         pollUntil([&] { return x.focusWindow() == window; }, kBenchWaitMs);
    if (!focused) {
        x.destroyWindow(window);
        return QStringLiteral("X server alone: not measured");
    }
    QList<double> latencies;
    for (int i = 0; i < events; ++i) {
        const bool press = i % 2 == 0;
        x.discardEvents();
        const auto sent = BenchClock::now();
        x.key((i / 2) % 2 == 0 ? "Up" : "Down", press);
        if (x.waitForKeyEvent(2000))
            latencies.append(msBetween(sent, BenchClock::now()));
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs + (i * 7) % 13));
    }
    x.destroyWindow(window);
    return QStringLiteral("X server alone to a bare window: ") + percentilesText(latencies);
}
