#include "bench/LinkLine.h"

#include "bench/BenchSession.h"
#include "bench/Firewall.h"
#include "bench/KeyToWire.h"
#include "e2e/VirtualScreen.h"

#include <QStringList>

#include <algorithm>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr int kWarningRuns = 5;
constexpr double kWarningTarget = 0.7;
constexpr double kMarginTarget = 2.5;
constexpr int kLossSeconds = 60;
constexpr double kLoss = 0.03;
// Rounds of the cost figures, each with the line and without it.
constexpr int kCostRounds = 3;
constexpr int kIdleSeconds = 10;

const QString Seconds = QStringLiteral("s");
const QString CorePercent = QStringLiteral("% of a core");
const QString Ms = QStringLiteral("ms");
const QString NeedsNamespace = QStringLiteral("needs a private network namespace");

// Reads the window until `holds` is true of what it shows, and says when:
// the moment the X server's picture that showed it came back, so never
// early, and not late by the time taken to look at the picture.
template <typename Holds>
std::optional<BenchClock::time_point> waitOnScreen(XClient& x, Session& session, Holds holds,
                                                   int timeoutMs)
{
    const auto deadline = BenchClock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const QImage picture = x.grab(session.program.window());
        const auto at = BenchClock::now();
        const bool held = holds(readGrid(picture));
        if (held)
            return at;
        if (at > deadline)
            return std::nullopt;
        std::this_thread::sleep_for(2ms);
    }
}

bool lineShown(const GridReading& reading)
{
    return reading.linkShown;
}

bool warningShown(const GridReading& reading)
{
    return reading.linkWarning;
}

// Started and connected, with the line showing the round trip; or, without
// the line (VELMORA_NO_LINK_LINE=1), with nothing where it would be.
bool connectSession(Session& session, XClient& x, bool withLine, QString* error)
{
    if (!withLine)
        qputenv("VELMORA_NO_LINK_LINE", "1");
    const bool started = session.start(error);
    qunsetenv("VELMORA_NO_LINK_LINE");
    if (!started)
        return false;
    if (!session.connect(x)) {
        *error = QStringLiteral("the program did not connect");
        return false;
    }
    const int waitMs = withLine ? kBenchWaitMs : 500;
    if (waitOnScreen(x, session, lineShown, waitMs).has_value() != withLine) {
        *error = withLine ? QStringLiteral("the link line never showed")
                          : QStringLiteral("a link line showed with VELMORA_NO_LINK_LINE=1");
        return false;
    }
    return true;
}

QList<BenchRow> measureWarning(VirtualScreen& screen, bool firewallAllowed)
{
    const QString warningFigure =
        QStringLiteral(
            "Link line: first unanswered command to \"No answer\" on screen, worst of %1")
            .arg(kWarningRuns);
    const QString marginFigure =
        QStringLiteral("Link line: that warning to the give-up's error box, least of %1")
            .arg(kWarningRuns);
    auto neither = [&](const QString& why) {
        BenchRow margin = notMeasured(marginFigure, Seconds, kMarginTarget, why);
        margin.atLeast = true;
        return QList<BenchRow>{notMeasured(warningFigure, Seconds, kWarningTarget, why), margin};
    };
    if (!firewallAllowed)
        return neither(NeedsNamespace);

    QList<double> warnings;
    QList<double> margins;
    QStringList each;
    for (int run = 0; run < kWarningRuns; ++run) {
        Session session(screen);
        XClient& x = screen.x();
        QString error;
        if (!connectSession(session, x, true, &error))
            return neither(error);
        // Just after a once-a-second send the next one is most of a second
        // away, so the key's command is the first the car does not answer.
        // Each run gives the key at another moment after that send.
        session.peer.drain();
        if (!session.peer.waitFor('5', 3000))
            return neither(QStringLiteral("the once-a-second send stopped"));
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + run * 53));
        Firewall firewall;
        if (!firewall.dropTrafficOf(session.peer.port(), &error))
            return neither(error);
        const auto sent = BenchClock::now();
        x.key("Down", true);
        x.key("Down", false);
        const std::optional<BenchClock::time_point> warned =
            waitOnScreen(x, session, warningShown, 5000);
        if (!warned)
            return neither(QStringLiteral("no warning within 5 s"));
        if (!waitForMessageBox(x, session.pid(), 30000))
            return neither(QStringLiteral("no error box within 30 s"));
        const auto gaveUp = BenchClock::now();
        warnings.append(msBetween(sent, *warned) / 1000);
        margins.append(msBetween(*warned, gaveUp) / 1000);
        each << QStringLiteral("%1 and %2 s")
                    .arg(warnings.last(), 0, 'f', 2)
                    .arg(msBetween(sent, gaveUp) / 1000, 0, 'f', 2);
    }
    const QString note =
        QStringLiteral("the warning and the error box after the command, in each run: %1")
            .arg(each.join(QStringLiteral("; ")));
    BenchRow margin{marginFigure, *std::min_element(margins.begin(), margins.end()), Seconds,
                    kMarginTarget, note};
    margin.atLeast = true;
    return {BenchRow{warningFigure, *std::max_element(warnings.begin(), warnings.end()), Seconds,
                     kWarningTarget, note},
            margin};
}

// A driver on a weak link: a key change every half second for a minute
// while packets are lost at random each way, the window read every 20 ms.
// The warning stays at least a quarter of a second, so none slips by.
BenchRow measureFalseWarnings(VirtualScreen& screen, bool firewallAllowed)
{
    const QString figure =
        QStringLiteral("Link line: \"No answer\" warnings in %1 s of driving at 3 % loss each way")
            .arg(kLossSeconds);
    const QString unit = QStringLiteral("warnings");
    if (!firewallAllowed)
        return notMeasured(figure, unit, 0, NeedsNamespace);
    Session session(screen);
    XClient& x = screen.x();
    QString error;
    Firewall firewall;
    if (!connectSession(session, x, true, &error) ||
        !firewall.dropRandomly(session.peer.port(), kLoss, &error))
        return notMeasured(figure, unit, 0, error);

    int warnings = 0;
    int reads = 0;
    int changes = 0;
    bool warning = false;
    bool held = false;
    const auto start = BenchClock::now();
    auto nextChange = start;
    while (BenchClock::now() - start < std::chrono::seconds(kLossSeconds)) {
        if (BenchClock::now() >= nextChange) {
            held = !held;
            x.key("Up", held);
            ++changes;
            nextChange += std::chrono::milliseconds(500 + (changes * 7) % 13);
        }
        const bool shown = session.program.readGrid().linkWarning;
        ++reads;
        warnings += shown && !warning ? 1 : 0;
        warning = shown;
        std::this_thread::sleep_for(20ms);
    }
    if (held)
        x.key("Up", false);
    const bool gaveUp = x.windowsOfProcess(session.pid()).size() >= 2;
    return BenchRow{figure, double(warnings), unit, 0,
                    QStringLiteral("%1 key changes; the window read %2 times%3")
                        .arg(changes)
                        .arg(reads)
                        .arg(gaveUp ? QStringLiteral("; the connection gave up!") : QString())};
}

QString spreadText(QList<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return QStringLiteral("runs %1 to %2")
        .arg(samples.first(), 0, 'f', 3)
        .arg(samples.last(), 0, 'f', 3);
}

// The CPU idle and connected, and the key-to-wire latency, with the line
// and without it, by turns (with, without, without, with, ...) so that both
// see the same drift of the machine's load.
QList<BenchRow> measureCost(VirtualScreen& screen, int events, int pauseMs)
{
    const QString cpuWith =
        QStringLiteral("Link line: CPU while idle and connected, with the line, median of %1 x "
                       "%2 s")
            .arg(kCostRounds)
            .arg(kIdleSeconds);
    const QString cpuWithout = QStringLiteral(
        "Link line: the same without the line (VELMORA_NO_LINK_LINE=1, by turns with the above)");
    const QString cpuDifference = QStringLiteral("Link line: CPU with the line minus without");
    const QString latencyWith = QStringLiteral("Link line: key-to-wire latency p50, with the line");
    const QString latencyWithout =
        QStringLiteral("Link line: key-to-wire latency p50, without the line (by turns)");
    const QString ratio = QStringLiteral("Link line: key-to-wire p50 with the line over without");
    auto none = [&](const QString& why) {
        return QList<BenchRow>{notMeasured(cpuWith, CorePercent, 0.1, why),
                               notMeasured(cpuWithout, CorePercent, 0.1, why),
                               notMeasured(cpuDifference, CorePercent, 0, why),
                               notMeasured(latencyWith, Ms, 0.5, why),
                               notMeasured(latencyWithout, Ms, 0.5, why),
                               notMeasured(ratio, QStringLiteral("x"), 1.05, why)};
    };

    // Whole press and release pairs, so that each round ends with no key
    // held.
    const int perRound = std::max(2, events / kCostRounds / 2 * 2);
    QList<double> cpu[2];
    QList<double> latencies[2];
    QStringList roundMedians[2];
    for (int turn = 0; turn < 2 * kCostRounds; ++turn) {
        const int side = (turn / 2 + turn) % 2;
        const bool withLine = side == 0;
        progress(QStringLiteral("link line: %1 s idle, then %2 key events, %3 the line")
                     .arg(kIdleSeconds)
                     .arg(perRound)
                     .arg(withLine ? QStringLiteral("with") : QStringLiteral("without")));
        Session session(screen);
        XClient& x = screen.x();
        QString error;
        if (!connectSession(session, x, withLine, &error))
            return none(error);
        const qint64 pid = session.pid();
        std::this_thread::sleep_for(1s);
        const qint64 cpuStart = cpuNs(pid);
        const auto idleStart = BenchClock::now();
        std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
        cpu[side].append(
            corePercent(cpuNs(pid) - cpuStart, nsBetween(idleStart, BenchClock::now())));
        const QList<double> round = keyToWire(x, session.peer, perRound, pauseMs).all;
        latencies[side] += round;
        roundMedians[side] << QString::number(median(round).value_or(-1), 'f', 3);
    }

    const double cpuMedian[2] = {*median(cpu[0]), *median(cpu[1])};
    // A difference within what the runs of one side already differ by
    // cannot be told from chance.
    auto spread = [](const QList<double>& samples) {
        const auto [least, most] = std::minmax_element(samples.begin(), samples.end());
        return *most - *least;
    };
    const double noise = std::max(spread(cpu[0]), spread(cpu[1]));
    auto latencyNote = [&](int side) {
        return QStringLiteral("%1 events of %2, p99 %3 ms; p50 of each round %4 ms")
            .arg(latencies[side].size())
            .arg(perRound * kCostRounds)
            .arg(percentile(latencies[side], 99).value_or(-1), 0, 'f', 3)
            .arg(roundMedians[side].join(QStringLiteral(", ")));
    };
    const std::optional<double> p50[2] = {percentile(latencies[0], 50),
                                          percentile(latencies[1], 50)};
    std::optional<double> over;
    if (p50[0] && p50[1] && *p50[1] > 0)
        over = *p50[0] / *p50[1];
    return {BenchRow{cpuWith, cpuMedian[0], CorePercent, 0.1, spreadText(cpu[0])},
            BenchRow{cpuWithout, cpuMedian[1], CorePercent, 0.1, spreadText(cpu[1])},
            BenchRow{cpuDifference, cpuMedian[0] - cpuMedian[1], CorePercent, noise,
                     QStringLiteral("target: within the runs' own spread")},
            BenchRow{latencyWith, p50[0], Ms, 0.5, latencyNote(0)},
            BenchRow{latencyWithout, p50[1], Ms, 0.5, latencyNote(1)},
            BenchRow{ratio, over, QStringLiteral("x"), 1.05, {}}};
}

} // namespace

QList<BenchRow> measureLinkLine(VirtualScreen& screen, int events, int pauseMs,
                                bool firewallAllowed)
{
    progress(QStringLiteral("link line: the car stops answering, %1 runs").arg(kWarningRuns));
    QList<BenchRow> rows = measureWarning(screen, firewallAllowed);
    progress(QStringLiteral("link line: %1 s of driving at 3 % loss each way").arg(kLossSeconds));
    rows << measureFalseWarnings(screen, firewallAllowed);
    rows << measureCost(screen, events, pauseMs);
    return rows;
}
