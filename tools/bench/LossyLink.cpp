#include "bench/LossyLink.h"

#include "bench/BenchSession.h"
#include "bench/Firewall.h"
#include "e2e/VirtualScreen.h"

#include <algorithm>

namespace {

using namespace std::chrono_literals;

// A change's command that has not arrived after this long counts as lost.
constexpr int kAnswerMs = 3000;
constexpr int kIdleSeconds = 60;

struct LossyRun {
    QList<double> latencies;
    int unanswered = 0;
    // Changes before which the peer's last command was not the last key's.
    int stale = 0;
    bool lastIsLastKey = false;
    bool errorShown = false;
};

// Presses and releases Up and Down in turn, about 150 ms apart, each change
// timed from the key to the arrival of its command. TCP keeps the stream in
// order, so once a change's command has arrived only copies of it may
// follow; anything else on the wire before the next key is out of order.
LossyRun driveThroughLoss(Session& session, XClient& x, int changes)
{
    LossyRun run;
    char lastKey = '5';
    for (int i = 0; i < changes; ++i) {
        const bool press = i % 2 == 0;
        const bool up = (i / 2) % 2 == 0;
        const char expected = press ? (up ? '2' : '8') : '5';
        session.peer.drain();
        if (session.peer.lastCode() != lastKey)
            ++run.stale;
        const auto sent = BenchClock::now();
        x.key(up ? "Up" : "Down", press);
        if (const auto arrived = session.peer.waitFor(expected, kAnswerMs))
            run.latencies.append(msBetween(sent, *arrived));
        else
            ++run.unanswered;
        lastKey = expected;
        // A link the program has given up on answers nothing more: the rest
        // counts as lost, and the run ends instead of waiting out each one.
        if (run.unanswered > 0 && x.windowsOfProcess(session.pid()).size() >= 2) {
            run.unanswered += changes - 1 - i;
            break;
        }
        // Spread the changes over the phase of the once-a-second send.
        std::this_thread::sleep_for(std::chrono::milliseconds(150 + (i * 7) % 13));
    }
    // Time for the last retransmissions to land.
    std::this_thread::sleep_for(1s);
    session.peer.drain();
    run.lastIsLastKey = session.peer.lastCode() == lastKey;
    run.errorShown = x.windowsOfProcess(session.pid()).size() >= 2;
    return run;
}

double at(const QList<double>& latencies, double p)
{
    return percentile(latencies, p).value_or(-1);
}

QString runText(const LossyRun& run, int changes)
{
    const auto slow = std::count_if(run.latencies.begin(), run.latencies.end(),
                                    [](double ms) { return ms > 100; });
    const double max = run.latencies.isEmpty()
                           ? -1
                           : *std::max_element(run.latencies.begin(), run.latencies.end());
    return QStringLiteral("p50 %1 ms, p90 %2 ms, p95 %3 ms, p99 %4 ms, max %5 ms; %6 changes, "
                          "%7 slower than 100 ms, %8 without an answer, %9 out of order%10")
        .arg(at(run.latencies, 50), 0, 'f', 1)
        .arg(at(run.latencies, 90), 0, 'f', 1)
        .arg(at(run.latencies, 95), 0, 'f', 1)
        .arg(at(run.latencies, 99), 0, 'f', 1)
        .arg(max, 0, 'f', 1)
        .arg(changes)
        .arg(slow)
        .arg(run.unanswered)
        .arg(run.stale)
        .arg(run.errorShown ? QStringLiteral("; an error was shown!") : QString());
}

struct LossRate {
    int percent;
    QList<std::pair<double, double>> percentileTargets;
};

} // namespace

QList<BenchRow> measureLossyLink(VirtualScreen& screen, int changes, bool firewallAllowed)
{
    const QList<LossRate> rates = {{3, {{99, 30}}}, {10, {{95, 30}, {99, 100}}}};
    const QString orderFigure =
        QStringLiteral("Lossy link: commands lost or out of order, or the last not the last key's");
    const QString alarmFigure =
        QStringLiteral("Lossy link: false alarms in %1 s idle at 10 % loss").arg(kIdleSeconds);
    auto figureOf = [](int percent, double p) {
        return QStringLiteral("Lossy link, %1 % loss each way: key-to-wire p%2")
            .arg(percent)
            .arg(p);
    };
    auto allNotMeasured = [&](const QString& why) {
        QList<BenchRow> rows;
        for (const LossRate& rate : rates) {
            for (const auto& [p, limit] : rate.percentileTargets)
                rows << BenchRow{figureOf(rate.percent, p), std::nullopt, QStringLiteral("ms"),
                                 limit, why};
        }
        rows << BenchRow{orderFigure, std::nullopt, QStringLiteral("commands"), 0, why}
             << BenchRow{alarmFigure, std::nullopt, QStringLiteral("errors"), 0, why};
        return rows;
    };
    if (!firewallAllowed)
        return allNotMeasured(QStringLiteral("needs a private network namespace"));

    QList<BenchRow> rows;
    int disorder = 0;
    int falseAlarms = 0;
    QString alarmNote;
    for (const LossRate& rate : rates) {
        progress(QStringLiteral("%1 changes at %2 % loss each way").arg(changes).arg(rate.percent));
        Session session(screen);
        XClient& x = screen.x();
        QString error;
        // Connected first: this measures driving, not the handshake.
        if (!session.start(&error) || !session.connect(x))
            return allNotMeasured(error.isEmpty() ? QStringLiteral("no connection") : error);
        Firewall firewall;
        if (!firewall.dropRandomly(session.peer.port(), rate.percent / 100.0, &error))
            return allNotMeasured(error);
        const LossyRun run = driveThroughLoss(session, x, changes);
        const QString note = runText(run, changes);
        for (const auto& [p, limit] : rate.percentileTargets)
            rows << BenchRow{figureOf(rate.percent, p), percentile(run.latencies, p),
                             QStringLiteral("ms"), limit, note};
        disorder += run.unanswered + run.stale + (run.lastIsLastKey ? 0 : 1);
        if (rate.percent != 10)
            continue;

        progress(QStringLiteral("%1 s idle at 10 % loss").arg(kIdleSeconds));
        std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
        const bool errorShown = x.windowsOfProcess(session.pid()).size() >= 2;
        firewall.removeAll();
        // Still the same connection, still sending once a second.
        session.peer.drain();
        const bool linkKept = session.peer.waitFor('5', 3000).has_value();
        falseAlarms = (run.errorShown || errorShown ? 1 : 0) + (linkKept ? 0 : 1);
        alarmNote = QStringLiteral("%1; %2").arg(
            errorShown ? QStringLiteral("an error was shown") : QStringLiteral("no error shown"),
            linkKept ? QStringLiteral("the link was kept") : QStringLiteral("the link was lost"));
    }
    rows << BenchRow{orderFigure, double(disorder), QStringLiteral("commands"), 0,
                     QStringLiteral("over both loss rates")}
         << BenchRow{alarmFigure, double(falseAlarms), QStringLiteral("errors"), 0, alarmNote};
    return rows;
}
