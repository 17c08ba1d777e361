#include "bench/CameraFigures.h"

#include "bench/CameraProgram.h"
#include "bench/KeyToWire.h"
#include "e2e/VirtualScreen.h"

#include <QFile>
#include <QProcess>

#include <csignal>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

constexpr int Fps = 30;
constexpr auto CpuWindow = 15s;
constexpr auto WarmUp = 2s;
const QString Ms = QStringLiteral("ms");

QString sizeText(QSize size)
{
    return QStringLiteral("%1 x %2").arg(size.width()).arg(size.height());
}

// ffmpeg decoding the stream to nothing: CPU per frame written to it.
std::optional<double> ffmpegMsPerFrame(CameraServer& server, QString* note)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"),
                  QStringLiteral("-i"), server.url(), QStringLiteral("-f"), QStringLiteral("null"),
                  QStringLiteral("-")});
    if (!ffmpeg.waitForStarted(kBenchWaitMs)) {
        *note = QStringLiteral("ffmpeg did not start");
        return std::nullopt;
    }
    std::this_thread::sleep_for(WarmUp);
    const int client = server.clients() - 1;
    const qint64 cpuStart = statCpuNs(ffmpeg.processId());
    const auto start = BenchClock::now();
    std::this_thread::sleep_for(CpuWindow);
    const qint64 cpu = statCpuNs(ffmpeg.processId()) - cpuStart;
    const int frames = client >= 0 ? server.writtenSince(client, start) : 0;
    const bool running = ffmpeg.state() == QProcess::Running;
    ffmpeg.kill();
    ffmpeg.waitForFinished(kBenchWaitMs);
    if (!running || frames == 0) {
        *note = QStringLiteral("ffmpeg did not decode the stream: %1")
                    .arg(QString::fromLocal8Bit(ffmpeg.readAllStandardError()).simplified());
        return std::nullopt;
    }
    *note = QStringLiteral("ffmpeg -i URL -f null -: %1 ms per frame, %2 frames in %3 s")
                .arg(double(cpu) / 1e6 / frames, 0, 'f', 2)
                .arg(frames)
                .arg(std::chrono::duration<double>(CpuWindow).count(), 0, 'f', 0);
    return double(cpu) / 1e6 / frames;
}

// The first picture after the whole process was stopped for 0.5 s, three
// times: its age, and the age of the picture after it.
BenchRow slowWindow(const ScreenPatch& patch, CameraProgram& camera, const CameraServer& server)
{
    const QString figure = QStringLiteral(
        "Stopped window (SIGSTOP 0.5 s, 1280 x 720): age of the first picture after, worst of 3");
    std::optional<double> worst;
    QStringList runs;
    for (int run = 0; run < 3; ++run) {
        std::this_thread::sleep_for(1s);
        ::kill(pid_t(camera.pid()), SIGSTOP);
        std::this_thread::sleep_for(500ms);
        ::kill(pid_t(camera.pid()), SIGCONT);
        const QList<Seen> seen = watch(patch, camera, 1s);
        const auto written = server.written();
        const int client = server.clients() - 1;
        const std::optional<Age> first =
            seen.size() >= 2 ? ageOf(seen.at(1), written, client) : std::nullopt;
        const std::optional<Age> next =
            seen.size() >= 3 ? ageOf(seen.at(2), written, client) : std::nullopt;
        if (!first || !next)
            return notMeasured(figure, Ms, 33, QStringLiteral("no picture after the stop"));
        worst = std::max(worst.value_or(0), first->ms);
        runs << QStringLiteral("%1 ms, %2 frames behind the newest, next %3 ms")
                    .arg(first->ms, 0, 'f', 1)
                    .arg(first->behind)
                    .arg(next->ms, 0, 'f', 1);
    }
    return BenchRow{figure, worst, Ms, 33, runs.join(QStringLiteral("; "))};
}

// CPU per frame shown beside ffmpeg's, and frame to screen; at the large
// size, the stopped window too.
QList<BenchRow> pictureFigures(VirtualScreen& screen, QSize size)
{
    const QString cpuFigure =
        QStringLiteral("Camera CPU per frame shown, %1, 30 fps").arg(sizeText(size));
    const QString p50Figure = QStringLiteral("Frame to screen p50, %1, 30 fps").arg(sizeText(size));
    const QString p99Figure = QStringLiteral("Frame to screen p99, %1, 30 fps").arg(sizeText(size));
    CameraServer server(cameraFrames(size), Fps);
    ScreenPatch patch;
    QString error;
    CameraProgram camera(screen);
    if (!server.listen(&error) || !patch.open(screen.displayName(), &error) ||
        !camera.start(server.url(), &error))
        return {notMeasured(cpuFigure, Ms, 0, error), notMeasured(p50Figure, Ms, 10, error),
                notMeasured(p99Figure, Ms, 33, error)};
    progress(QStringLiteral("the camera window at %1 for 15 s").arg(sizeText(size)));
    std::this_thread::sleep_for(WarmUp);
    const int client = server.clients() - 1;
    const qint64 cpuStart = statCpuNs(camera.pid());
    const auto start = BenchClock::now();
    const QList<Seen> seen = watch(patch, camera, CpuWindow);
    const qint64 cpu = statCpuNs(camera.pid()) - cpuStart;
    const int written = server.writtenSince(client, start);
    const auto log = server.written();
    QList<double> latencies;
    qint64 behind = 0;
    for (qsizetype i = 1; i < seen.size(); ++i) {
        if (const std::optional<Age> age = ageOf(seen.at(i), log, client)) {
            latencies << age->ms;
            behind = std::max(behind, age->behind);
        }
    }
    QList<BenchRow> rows;
    if (size.height() >= 720)
        rows << slowWindow(patch, camera, server);
    camera.program.process().kill();
    camera.program.process().waitForFinished(kBenchWaitMs);

    const qsizetype shown = latencies.size();
    QString ffmpegNote;
    progress(QStringLiteral("ffmpeg on the same stream for 15 s"));
    const std::optional<double> reference = ffmpegMsPerFrame(server, &ffmpegNote);
    const double limit = std::round(reference.value_or(0) * 1.5 * 1000) / 1000;
    const QString shownNote = QStringLiteral("%1 frames shown of %2 written, %3 KB a frame")
                                  .arg(shown)
                                  .arg(written)
                                  .arg(cameraFrames(size).first().size() / 1024);
    rows.prepend(BenchRow{
        cpuFigure, shown ? std::optional<double>(double(cpu) / 1e6 / double(shown)) : std::nullopt,
        Ms, limit,
        QStringLiteral("%1 ms of CPU in 15 s, %2; target 1.5 x ffmpeg's; %3")
            .arg(double(cpu) / 1e6, 0, 'f', 0)
            .arg(shownNote, ffmpegNote)});
    const QString latencyNote =
        QStringLiteral("%1; at most %2 frames behind the newest").arg(shownNote).arg(behind);
    rows.insert(1, BenchRow{p50Figure, percentile(latencies, 50), Ms, 10, latencyNote});
    rows.insert(2, BenchRow{p99Figure, percentile(latencies, 99), Ms, 33, latencyNote});
    return rows;
}

QList<BenchRow> keyToWireFigures(VirtualScreen& screen, const CameraBenchOptions& options)
{
    const QString p50Figure =
        QStringLiteral("Key-to-wire p50, camera window showing 1280 x 720 at 30 fps");
    const QString p99Figure =
        QStringLiteral("Key-to-wire p99, camera window showing 1280 x 720 at 30 fps");
    QString error;
    Latencies without;
    {
        CameraProgram plain(screen);
        if (!plain.start({}, &error) || !plain.connectCar())
            return {notMeasured(p50Figure, Ms, 0, error), notMeasured(p99Figure, Ms, 2, error)};
        progress(QStringLiteral("%1 key events without a camera").arg(options.events));
        without = keyToWire(screen.x(), plain.peer, options.events, options.pauseMs);
    }
    CameraServer server(cameraFrames(QSize(1280, 720)), Fps);
    CameraProgram camera(screen);
    if (!server.listen(&error) || !camera.start(server.url(), &error) || !camera.connectCar())
        return {notMeasured(p50Figure, Ms, 0, error), notMeasured(p99Figure, Ms, 2, error)};
    std::this_thread::sleep_for(WarmUp);
    progress(QStringLiteral("%1 key events to the camera window").arg(options.events));
    const Latencies with = keyToWire(screen.x(), camera.peer, options.events, options.pauseMs);
    const std::optional<double> reference = percentile(without.all, 50);
    const QString note =
        QStringLiteral("%1 events, %2 without an answer; %3; without a camera (keys to the main "
                       "window): %4")
            .arg(options.events)
            .arg(options.events - with.all.size())
            .arg(latenciesText(with), latenciesText(without));
    return {BenchRow{p50Figure, percentile(with.all, 50), Ms,
                     std::round(reference.value_or(0) * 1.1 * 1000) / 1000,
                     note + QStringLiteral("; target 1.1 x without")},
            BenchRow{p99Figure, percentile(with.all, 99), Ms, 2, QStringLiteral("as above")}};
}

BenchRow memoryFigure(VirtualScreen& screen, int seconds)
{
    const QString figure =
        QStringLiteral("Camera RSS growth after the first minute, 1280 x 720 at 30 fps, %1 s")
            .arg(seconds);
    CameraServer server(cameraFrames(QSize(1280, 720)), Fps);
    CameraProgram camera(screen);
    QString error;
    if (!server.listen(&error) || !camera.start(server.url(), &error))
        return notMeasured(figure, QStringLiteral("MB"), 5, error);
    progress(QStringLiteral("the memory under a stream for %1 s").arg(seconds));
    QList<qint64> samples;
    const auto start = BenchClock::now();
    for (int second = 0; second <= seconds; second += 10) {
        std::this_thread::sleep_until(start + std::chrono::seconds(second));
        samples << rssKb(camera.pid());
    }
    const int client = server.clients() - 1;
    const int written = server.writtenSince(client, start);
    const QList<qint64> after = samples.mid(6);
    if (after.isEmpty() || camera.program.process().state() != QProcess::Running)
        return notMeasured(figure, QStringLiteral("MB"), 5, QStringLiteral("too short a run"));
    const qint64 peak = *std::max_element(after.begin(), after.end());
    // Each minute's sample, so that a steady climb shows apart from a step.
    QStringList minutes;
    for (qsizetype i = 6; i < samples.size(); i += 6)
        minutes << QString::number(mb(samples.at(i)), 'f', 1);
    return BenchRow{figure, mb(peak - after.first()), QStringLiteral("MB"), 5,
                    QStringLiteral("VmRSS each 10 s: %1 MB at 10 s, peak %2 MB after the first "
                                   "minute; each minute from the first: %3 MB; %4 frames written")
                        .arg(mb(samples.value(1)), 0, 'f', 1)
                        .arg(mb(peak), 0, 'f', 1)
                        .arg(minutes.join(QStringLiteral(", ")))
                        .arg(written)};
}

} // namespace

QList<BenchRow> measureCamera(VirtualScreen& screen, const CameraBenchOptions& options)
{
    QList<BenchRow> rows = pictureFigures(screen, QSize(640, 480));
    rows << pictureFigures(screen, QSize(1280, 720));
    rows << keyToWireFigures(screen, options);
    rows << memoryFigure(screen, options.rssSeconds);
    return rows;
}
