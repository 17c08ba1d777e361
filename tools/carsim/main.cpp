#include "console/SignalWatcher.h"
#include "tools/carsim/CarsimCamera.h"
#include "tools/carsim/CarsimLive.h"
#include "tools/carsim/CarsimOptions.h"
#include "tools/carsim/CarsimServer.h"
#include "tools/carsim/CarsimStart.h"
#include "tools/carsim/CarsimWindow.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

void writeLine(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

// Whether to open the window. Decided before Qt starts, because a GUI
// application cannot start without a display: --headless, --help, and a
// Linux session without any display stay in the terminal.
bool wantsWindow(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        for (const char* terminalOnly : {"--headless", "-headless", "--help", "-help", "-h"}) {
            if (std::strcmp(argv[i], terminalOnly) == 0)
                return false;
        }
    }
#ifdef Q_OS_WIN
    return true;
#else
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
#endif
}

} // namespace

int main(int argc, char* argv[])
{
    const bool window = wantsWindow(argc, argv);
    const std::unique_ptr<QCoreApplication> app =
        window ? std::make_unique<QApplication>(argc, argv)
               : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-carsim"));

    const CarsimArguments arguments = parseCarsimArguments(QCoreApplication::arguments());
    switch (arguments.outcome) {
    case CarsimArguments::Outcome::ShowHelp:
        std::fputs(carsimHelpText().toLocal8Bit().constData(), stdout);
        return 0;
    case CarsimArguments::Outcome::Error:
        writeLine(stderr, QStringLiteral("velmora-carsim: %1").arg(arguments.error));
        writeLine(stderr, QStringLiteral("Try 'velmora-carsim --help' for more information."));
        return kCarsimUsageExitStatus;
    case CarsimArguments::Outcome::Run:
        break;
    }

    // Watch for Ctrl+C before the first line goes out, so whoever reads that
    // line may stop us at once and still get the summary.
    SignalWatcher stopSignals;
    CarsimServer server(arguments.options, [](const QString& line) { writeLine(stdout, line); });
    QObject::connect(&stopSignals, &SignalWatcher::stopRequested, app.get(), [&server] {
        server.stop();
        QCoreApplication::quit();
    });

    CarsimLive live;
    std::unique_ptr<CarsimCamera> camera;
    if (arguments.options.camera)
        camera = std::make_unique<CarsimCamera>(
            arguments.options, live, [](const QString& line) { writeLine(stdout, line); });

    std::unique_ptr<CarsimWindow> view;
    const bool withWindow = window && !arguments.options.headless;
    if (const int status = startCarsim(server, live, camera.get(), withWindow ? &view : nullptr,
                                       [](const QString& line) { writeLine(stderr, line); }))
        return status;
    const int status = QCoreApplication::exec();
    // Closing the window ends the run like Ctrl+C: with the summary.
    server.stop();
    return status;
}
