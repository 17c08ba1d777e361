#include "bench/DroppedPackets.h"

#include "bench/BenchSession.h"
#include "bench/Firewall.h"
#include "e2e/VirtualScreen.h"

#include <QStringList>

#include <algorithm>
#include <thread>

using namespace std::chrono_literals;

// Connected, then every packet of the connection dropped: how long until the
// program reports the error. The repeat timer's phase at the drop decides
// when the first unanswered send goes out, so the worst of several runs
// counts.
QList<BenchRow> measureDeadLink(VirtualScreen& screen, int runs, bool firewallAllowed)
{
    const QString figure =
        QStringLiteral("Dead-link detection: all packets dropped to error, worst of %1").arg(runs);
    const QString unit = QStringLiteral("s");
    if (!firewallAllowed)
        return {notMeasured(figure, unit, 5, QStringLiteral("needs a private network namespace"))};
    QList<double> seconds;
    for (int run = 0; run < runs; ++run) {
        Session session(screen);
        XClient& x = screen.x();
        QString error;
        if (!session.start(&error) || !session.connect(x))
            return {notMeasured(figure, unit, 5,
                                error.isEmpty() ? QStringLiteral("no connection") : error)};
        // A different phase of the repeat timer each run.
        std::this_thread::sleep_for(std::chrono::milliseconds(200 + run * 330));
        Firewall firewall;
        if (!firewall.dropTrafficOf(session.peer.port(), &error))
            return {notMeasured(figure, unit, 5, error)};
        const auto dropped = BenchClock::now();
        if (!waitForMessageBox(x, session.pid(), 30000))
            return {notMeasured(figure, unit, 5, QStringLiteral("no error within 30 s"))};
        seconds.append(msBetween(dropped, BenchClock::now()) / 1000);
    }
    QStringList each;
    for (const double value : std::as_const(seconds))
        each << QString::number(value, 'f', 2);
    return {BenchRow{figure, *std::max_element(seconds.begin(), seconds.end()), unit, 5,
                     QStringLiteral("until the error message box; runs %1 s")
                         .arg(each.join(QStringLiteral(", ")))}};
}

QList<BenchRow> measurePendingConnect(VirtualScreen& screen, bool firewallAllowed)
{
    const QString figure = QStringLiteral("CPU while a connect is pending");
    const QString unit = QStringLiteral("% of a core");
    if (!firewallAllowed)
        return {notMeasured(figure, unit, 1, QStringLiteral("needs a private network namespace"))};
    Session session(screen);
    XClient& x = screen.x();
    QString error;
    Firewall firewall;
    if (!session.start(&error) || !firewall.dropConnectsTo(session.peer.port(), &error))
        return {notMeasured(figure, unit, 1, error)};
    const qint64 pid = session.pid();

    // The window measured lies inside the wait: after the key has been
    // handled and before the time-out builds the error message box.
    const auto pressed = BenchClock::now();
    x.key("Up", true);
    x.key("Up", false);
    std::this_thread::sleep_for(300ms);
    const qint64 cpuStart = cpuNs(pid);
    const auto start = BenchClock::now();
    std::this_thread::sleep_until(pressed + 4500ms);
    const qint64 cpu = cpuNs(pid) - cpuStart;
    const qint64 wall = nsBetween(start, BenchClock::now());
    const bool stillPending = x.windowsOfProcess(pid).size() == 1;
    if (!waitForMessageBox(x, pid, 30000) || !stillPending)
        return {notMeasured(figure, unit, 1, QStringLiteral("the connect did not wait 4.5 s"))};
    const double pendingSeconds = msBetween(pressed, BenchClock::now()) / 1000;
    return {BenchRow{figure, corePercent(cpu, wall), unit, 1,
                     QStringLiteral("%1 ms of CPU in %2 s of a %3 s wait for the time-out")
                         .arg(double(cpu) / 1e6, 0, 'f', 2)
                         .arg(double(wall) / 1e9, 0, 'f', 1)
                         .arg(pendingSeconds, 0, 'f', 1)}};
}
