#include "bench/CameraProgram.h"

#include "camera/CameraSettings.h"
#include "e2e/VirtualScreen.h"

#include <QFile>

#include <unistd.h>

using namespace std::chrono_literals;

namespace {
const QString CameraTitle = QStringLiteral("Velmora - Camera");
}

qint64 statCpuNs(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = file.readAll();
    // The name in brackets may hold spaces; the fields count from after it.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    const qint64 ticks = fields.at(11).toLongLong() + fields.at(12).toLongLong();
    return ticks * 1'000'000'000 / sysconf(_SC_CLK_TCK);
}

qint64 rssKb(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    return file.open(QIODevice::ReadOnly) ? statusKilobytes(file.readAll(), "VmRSS").value_or(0)
                                          : 0;
}

double mb(qint64 kb)
{
    return double(kb) * 1024 / 1e6;
}

CameraProgram::CameraProgram(VirtualScreen& screen) : program(screen), x(screen.x()) {}

bool CameraProgram::start(const QString& url, QString* error)
{
    if (!peer.listen(error) || !program.install(peer.port(), error))
        return false;
    if (url.isEmpty())
        return program.launch(error) && program.waitReady(error);
    QFile ini(cameraSettingsPath(program.settingsPath()));
    if (!ini.open(QIODevice::WriteOnly) ||
        ini.write(formatCameraSettings(CameraSettings{url, true, 0, false})) < 0) {
        *error = QStringLiteral("cannot write Camera.ini");
        return false;
    }
    ini.close();
    if (!program.launch(error))
        return false;
    const bool shown = pollUntil(
        [&] {
            for (const WindowId candidate : x.windowsOfProcess(pid())) {
                if (x.windowTitle(candidate) == CameraTitle && x.isViewable(candidate))
                    window = candidate;
            }
            return window && x.focusWindow() == window;
        },
        kBenchWaitMs);
    if (!shown)
        *error = QStringLiteral("the camera window never had the focus");
    return shown;
}

bool CameraProgram::connectCar()
{
    return x.key("Up", true) && peer.accept(kBenchWaitMs) && peer.waitFor('2', kBenchWaitMs) &&
           x.key("Up", false) && peer.waitFor('5', kBenchWaitMs);
}

QList<Seen> watch(const ScreenPatch& patch, CameraProgram& camera, BenchClock::duration length)
{
    const QSize size = camera.x.windowSize(camera.window);
    // The middle of the picture, below the menu bar: inside the code patch
    // at either frame size, clear of the head-up display.
    const int left = size.width() / 2 - 2;
    const int top = size.height() / 2 + 10;
    QList<Seen> seen;
    const auto end = BenchClock::now() + length;
    while (BenchClock::now() < end) {
        const QList<QRgb> pixels = patch.read(camera.window, left, top, 4);
        const auto at = BenchClock::now();
        std::optional<int> code;
        for (const QRgb pixel : pixels) {
            const std::optional<int> one = patchCode(qRed(pixel), qGreen(pixel), qBlue(pixel));
            code = one && (!code || code == one) ? one : std::nullopt;
            if (!code)
                break;
        }
        if (code && (seen.isEmpty() || seen.last().code != *code))
            seen.append({*code, at});
        std::this_thread::sleep_for(500us);
    }
    return seen;
}

std::optional<Age> ageOf(const Seen& seen, const std::vector<CameraServer::Written>& written,
                         int client)
{
    std::optional<CameraServer::Written> frame;
    qint64 newest = -1;
    for (const CameraServer::Written& w : written) {
        if (w.client != client || w.at > seen.at)
            continue;
        newest = std::max(newest, w.sequence);
        if (w.sequence % FrameCodes == seen.code)
            frame = w;
    }
    if (!frame)
        return std::nullopt;
    return Age{msBetween(frame->at, seen.at), newest - frame->sequence};
}
