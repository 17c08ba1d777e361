#include "tools/carsim/CarsimOptions.h"
#include "tools/carsim/CarsimServer.h"
#include "tools/carsim/SignalWatcher.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

void writeLine(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
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
    QObject::connect(&stopSignals, &SignalWatcher::stopRequested, &app, [&server] {
        server.stop();
        QCoreApplication::quit();
    });

    QString error;
    if (!server.start(&error)) {
        writeLine(stderr, QStringLiteral("velmora-carsim: %1").arg(error));
        return kCarsimListenExitStatus;
    }
    return QCoreApplication::exec();
}
