// velmora-bench: measures the real program in a private X server against a
// peer on loopback and prints one table of figures and their targets. It
// measures; it does not judge a run a failure.

#include "bench/BenchFigures.h"
#include "bench/BenchMachine.h"
#include "bench/BenchPeer.h"
#include "bench/BenchSession.h"
#include "bench/CameraFigures.h"
#include "bench/DroppedPackets.h"
#include "bench/Firewall.h"
#include "bench/KeyToWire.h"
#include "bench/LinkLine.h"
#include "bench/LossyLink.h"
#include "e2e/ProgramUnderTest.h"
#include "e2e/VirtualScreen.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSysInfo>
#include <QThread>

#include <cstdio>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr int kWaitMs = kBenchWaitMs;
constexpr qint64 kFloodBytes = 100'000'000;

std::optional<qint64> statusKb(qint64 pid, const QByteArray& field)
{
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return statusKilobytes(file.readAll(), field);
}

double kbToMb(qint64 kb)
{
    return double(kb) * 1024.0 / 1e6;
}

// The start-up with the pad support and, as the reference, without it
// (VELMORA_NO_GAMEPAD=1), run by turns so that both see the same load.
QList<BenchRow> measureStartUp(VirtualScreen& screen, int runs)
{
    const QString figure =
        QStringLiteral("Start-up: process start to window mapped, median of %1").arg(runs);
    const QString reference = QStringLiteral("Start-up without the pad support, median of %1 "
                                             "(VELMORA_NO_GAMEPAD=1, by turns with the above)")
                                  .arg(runs);
    QList<double> samples[2];
    for (int run = 0; run < 2 * runs; ++run) {
        const bool withoutPad = run % 2 == 1;
        const QString& name = withoutPad ? reference : figure;
        BenchPeer peer;
        ProgramUnderTest program(screen);
        QString error;
        if (!peer.listen(&error) || !program.install(peer.port(), &error))
            return {notMeasured(name, QStringLiteral("ms"), 250, error)};
        if (withoutPad)
            qputenv("VELMORA_NO_GAMEPAD", "1");
        XClient& x = screen.x();
        const auto started = BenchClock::now();
        const bool launched = program.launch(&error);
        qunsetenv("VELMORA_NO_GAMEPAD");
        if (!launched)
            return {notMeasured(name, QStringLiteral("ms"), 250, error)};
        const qint64 pid = program.process().processId();
        const bool mapped = pollUntil(
            [&] {
                const WindowId window = x.windowOfProcess(pid);
                return window && x.isViewable(window);
            },
            kWaitMs * 2);
        if (!mapped)
            return {notMeasured(name, QStringLiteral("ms"), 250,
                                QStringLiteral("the window never appeared"))};
        samples[withoutPad].append(msBetween(started, BenchClock::now()));
    }
    QList<BenchRow> rows;
    for (QList<double>& sample : samples) {
        std::sort(sample.begin(), sample.end());
        rows << BenchRow{&sample == &samples[0] ? figure : reference, median(sample),
                         QStringLiteral("ms"), 250,
                         QStringLiteral("runs %1 to %2 ms")
                             .arg(sample.first(), 0, 'f', 0)
                             .arg(sample.last(), 0, 'f', 0)};
    }
    return rows;
}

QList<BenchRow> measureConnected(VirtualScreen& screen, int events, int pauseMs,
                                 const QString& baseline, bool latencyOnly)
{
    const QString p50Figure = QStringLiteral("Key-to-wire latency p50");
    const QString p99Figure = QStringLiteral("Key-to-wire latency p99");
    const QString idleFigure = QStringLiteral("CPU while idle and connected, 10 s");
    const QString rssFigure = QStringLiteral("Peak RSS idle");
    const QString growthFigure = QStringLiteral("RSS growth while the peer sends 100 MB");

    Session session(screen);
    XClient& x = screen.x();
    QString error;
    if (!session.start(&error) || !session.connect(x)) {
        if (error.isEmpty())
            error = QStringLiteral("the program did not connect");
        return {notMeasured(p50Figure, QStringLiteral("ms"), 0.5, error),
                notMeasured(p99Figure, QStringLiteral("ms"), 2, error),
                notMeasured(idleFigure, QStringLiteral("% of a core"), 0.1, error),
                notMeasured(rssFigure, QStringLiteral("MB"), 40, error),
                notMeasured(growthFigure, QStringLiteral("MB"), 2, error)};
    }
    const qint64 pid = session.pid();
    QList<BenchRow> rows;

    if (!latencyOnly) {
        progress(QStringLiteral("idle and connected for 10 s"));
        std::this_thread::sleep_for(1s);
        const qint64 idleCpuStart = cpuNs(pid);
        const auto idleStart = BenchClock::now();
        std::this_thread::sleep_for(10s);
        const qint64 idleCpu = cpuNs(pid) - idleCpuStart;
        const qint64 idleWall = nsBetween(idleStart, BenchClock::now());
        session.peer.drain();
        const bool stillSending = session.peer.waitFor('5', 3000).has_value();
        rows << BenchRow{
            idleFigure, corePercent(idleCpu, idleWall), QStringLiteral("% of a core"), 0.1,
            QStringLiteral("%1 ms of CPU%2")
                .arg(double(idleCpu) / 1e6, 0, 'f', 2)
                .arg(stillSending ? QString() : QStringLiteral("; the repeats had stopped!"))};
        const std::optional<qint64> idlePeak = statusKb(pid, "VmHWM");
        rows << BenchRow{rssFigure,
                         idlePeak ? std::optional<double>(kbToMb(*idlePeak)) : std::nullopt,
                         QStringLiteral("MB"), 40, QStringLiteral("VmHWM")};
    }

    progress(QStringLiteral("%1 key events for the latency").arg(events));
    const Latencies measured = keyToWire(x, session.peer, events, pauseMs);
    const QList<double>& latencies = measured.all;
    const auto lost = events - latencies.size();
    const QString latencyNote =
        QStringLiteral("%1 events, %2 without an answer; presses p50 %3 ms, releases p50 %4 ms; %5")
            .arg(latencies.size())
            .arg(lost)
            .arg(percentile(measured.presses, 50).value_or(-1), 0, 'f', 3)
            .arg(percentile(measured.releases, 50).value_or(-1), 0, 'f', 3)
            .arg(baseline);
    rows << BenchRow{p50Figure, percentile(latencies, 50), QStringLiteral("ms"), 0.5, latencyNote}
         << BenchRow{p99Figure, percentile(latencies, 99), QStringLiteral("ms"), 2, latencyNote};

    if (latencyOnly)
        return rows;

    progress(QStringLiteral("the peer sends 100 MB"));
    const qint64 rssBefore = statusKb(pid, "VmRSS").value_or(0);
    qint64 rssMax = rssBefore;
    auto sample = [&] { rssMax = std::max(rssMax, statusKb(pid, "VmRSS").value_or(0)); };
    const auto floodStart = BenchClock::now();
    const qint64 flooded = session.peer.flood(kFloodBytes, 60000, sample);
    const double floodSeconds = msBetween(floodStart, BenchClock::now()) / 1000;
    // Memory may still grow while the program reads what is left.
    const auto settle = BenchClock::now() + 500ms;
    while (BenchClock::now() < settle) {
        sample();
        std::this_thread::sleep_for(5ms);
    }
    session.peer.drain();
    const bool aliveAfterFlood = session.peer.waitFor('5', 3000).has_value();
    rows << BenchRow{
        growthFigure, kbToMb(rssMax - rssBefore), QStringLiteral("MB"), 2,
        QStringLiteral("%1 MB taken in %2 s%3")
            .arg(double(flooded) / 1e6, 0, 'f', 0)
            .arg(floodSeconds, 0, 'f', 1)
            .arg(aliveAfterFlood ? QString() : QStringLiteral("; the repeats had stopped!"))};

    return rows;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-bench"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Measures the real program under Xvfb against a loopback peer."));
    parser.addHelpOption();
    const QCommandLineOption cameraOption(
        QStringLiteral("camera-only"),
        QStringLiteral("Measure only the camera window's figures, beside ffmpeg's."));
    const QCommandLineOption cameraRssOption(
        QStringLiteral("camera-rss-seconds"),
        QStringLiteral("How long the camera's memory is watched under a stream (>= 70)."),
        QStringLiteral("S"), QStringLiteral("600"));
    parser.addOptions({cameraOption, cameraRssOption});
    const QCommandLineOption eventsOption(QStringLiteral("events"),
                                          QStringLiteral("Key events for the latency (>= 200)."),
                                          QStringLiteral("N"), QStringLiteral("400"));
    const QCommandLineOption noFirewall(
        QStringLiteral("no-firewall"),
        QStringLiteral("Skip the figures that need packets dropped (pending connect, dead "
                       "link)."));
    const QCommandLineOption pauseOption(
        QStringLiteral("pause"),
        QStringLiteral("Least pause between key events, in ms; up to 12 ms more is added to "
                       "spread them over the repeat timer."),
        QStringLiteral("MS"), QStringLiteral("5"));
    const QCommandLineOption latencyOption(
        QStringLiteral("latency-only"),
        QStringLiteral("Measure only the key-to-wire latency and its reference points."));
    const QCommandLineOption lossyOption(
        QStringLiteral("lossy-only"),
        QStringLiteral("Measure only the figures of a link that loses packets at random."));
    const QCommandLineOption startUpOption(
        QStringLiteral("start-up-only"),
        QStringLiteral("Measure only the start-up, with and without the pad support."));
    const QCommandLineOption linkOption(
        QStringLiteral("link-only"),
        QStringLiteral("Measure only the link line's figures, with and without the line."));
    const QCommandLineOption changesOption(
        QStringLiteral("changes"),
        QStringLiteral("Key changes per loss rate on the lossy link (>= 300)."),
        QStringLiteral("N"), QStringLiteral("300"));
    const QCommandLineOption programOption(
        QStringLiteral("program"),
        QStringLiteral("Measure this build of velmora instead, for a before and after."),
        QStringLiteral("PATH"));
    parser.addOptions({eventsOption, pauseOption, noFirewall, latencyOption, lossyOption,
                       startUpOption, linkOption, changesOption, programOption});
    parser.process(app);
    if (parser.isSet(programOption))
        ProgramUnderTest::setExecutable(parser.value(programOption));
    // Whole press and release pairs, so that each run ends with no key held.
    const int changes = (std::max(300, parser.value(changesOption).toInt()) + 1) / 2 * 2;
    const int events = std::max(200, parser.value(eventsOption).toInt());
    const int pauseMs = std::max(0, parser.value(pauseOption).toInt());
    const bool latencyOnly = parser.isSet(latencyOption);

    bool firewallAllowed = !parser.isSet(noFirewall);
    if (firewallAllowed && !Firewall::insideLoopbackOnlyNamespace()) {
        progress(QStringLiteral("not inside a loopback-only network namespace: the figures "
                                "that drop packets are left out"));
        firewallAllowed = false;
    }

    const QString machine = machineText();
    VirtualScreen screen;
    QString error;
    if (!screen.start(&error)) {
        progress(error);
        return 1;
    }

    if (parser.isSet(cameraOption)) {
        const CameraBenchOptions camera{events, pauseMs,
                                        std::max(70, parser.value(cameraRssOption).toInt())};
        std::fputs(qPrintable(markdownTable(measureCamera(screen, camera), machine)), stdout);
        return 0;
    }
    if (parser.isSet(startUpOption)) {
        std::fputs(qPrintable(markdownTable(measureStartUp(screen, 5), machine)), stdout);
        return 0;
    }
    if (parser.isSet(lossyOption)) {
        std::fputs(
            qPrintable(markdownTable(measureLossyLink(screen, changes, firewallAllowed), machine)),
            stdout);
        return 0;
    }
    if (parser.isSet(linkOption)) {
        const QList<BenchRow> link = measureLinkLine(screen, events, pauseMs, firewallAllowed);
        std::fputs(qPrintable(markdownTable(link, machine)), stdout);
        return 0;
    }

    QList<BenchRow> rows;
    progress(QStringLiteral("start-up"));
    const QList<BenchRow> startUp = latencyOnly ? QList<BenchRow>() : measureStartUp(screen, 5);
    progress(QStringLiteral("%1 key events to a bare window").arg(events));
    QString baseline = measureXBaseline(screen, events, pauseMs);
    progress(QStringLiteral("%1 key events to a minimal Qt window").arg(events));
    baseline += QStringLiteral("; ") + measureMinimalQtWindow(screen, events, pauseMs, false);
    progress(
        QStringLiteral("%1 key events to a minimal Qt window reading raw X events").arg(events));
    baseline += QStringLiteral("; ") + measureMinimalQtWindow(screen, events, pauseMs, true);
    const QList<BenchRow> connected =
        measureConnected(screen, events, pauseMs, baseline, latencyOnly);
    if (latencyOnly) {
        std::fputs(qPrintable(markdownTable(connected, machine)), stdout);
        return 0;
    }
    progress(QStringLiteral("dropping every packet of a connection"));
    const QList<BenchRow> deadLink = measureDeadLink(screen, 3, firewallAllowed);
    progress(QStringLiteral("a connect whose requests are dropped"));
    const QList<BenchRow> pending = measurePendingConnect(screen, firewallAllowed);
    const QList<BenchRow> lossy = measureLossyLink(screen, changes, firewallAllowed);
    const QList<BenchRow> link = measureLinkLine(screen, events, pauseMs, firewallAllowed);

    // In the order of the targets.
    auto take = [&](const QList<BenchRow>& from, const QString& prefix) {
        for (const BenchRow& row : from) {
            if (row.figure.startsWith(prefix))
                rows << row;
        }
    };
    take(connected, QStringLiteral("Key-to-wire"));
    rows << pending;
    take(connected, QStringLiteral("CPU while idle"));
    rows << startUp;
    take(connected, QStringLiteral("Peak RSS"));
    take(connected, QStringLiteral("RSS growth"));
    rows << deadLink;
    rows << lossy << link;

    std::fputs(qPrintable(markdownTable(rows, machine)), stdout);
    return 0;
}
