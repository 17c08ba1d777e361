#include "tools/carsim/CarsimOptions.h"

#include <QCommandLineParser>

#include <optional>

namespace {

// Plain decimal digits only: QString::toInt would also take signs and
// surrounding blanks, which on a command line are more likely typos.
std::optional<qint64> wholeNumber(const QString& text, qint64 max)
{
    if (text.isEmpty() || text.size() > 10)
        return std::nullopt;
    qint64 value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
    }
    if (value > max)
        return std::nullopt;
    return value;
}

std::optional<QHostAddress> listenAddress(const QString& text)
{
    if (text.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return QHostAddress(QHostAddress::LocalHost);
    QHostAddress address;
    if (!address.setAddress(text))
        return std::nullopt;
    return address;
}

CarsimArguments failure(const QString& error)
{
    CarsimArguments result;
    result.outcome = CarsimArguments::Outcome::Error;
    result.error = error;
    return result;
}

} // namespace

CarsimArguments parseCarsimArguments(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption port(QStringLiteral("port"), {}, QStringLiteral("N"));
    const QCommandLineOption listen(QStringLiteral("listen"), {}, QStringLiteral("ADDRESS"));
    const QCommandLineOption closeAfter(QStringLiteral("close-after"), {}, QStringLiteral("N"));
    const QCommandLineOption flood(QStringLiteral("flood"));
    const QCommandLineOption headless(QStringLiteral("headless"));
    const QCommandLineOption cameraPort(QStringLiteral("camera-port"), {}, QStringLiteral("N"));
    const QCommandLineOption noCamera(QStringLiteral("no-camera"));
    parser.addOptions({help, port, listen, closeAfter, flood, headless, cameraPort, noCamera});

    if (!parser.parse(arguments))
        return failure(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return failure(QStringLiteral("Unexpected argument '%1'.")
                           .arg(parser.positionalArguments().constFirst()));

    CarsimArguments result;
    if (parser.isSet(help)) {
        result.outcome = CarsimArguments::Outcome::ShowHelp;
        return result;
    }
    if (parser.isSet(port)) {
        const QString text = parser.value(port);
        const auto value = wholeNumber(text, 65535);
        if (!value)
            return failure(
                QStringLiteral("--port needs a number from 0 to 65535, not '%1'.").arg(text));
        result.options.port = static_cast<quint16>(*value);
    }
    if (parser.isSet(listen)) {
        const QString text = parser.value(listen);
        const auto address = listenAddress(text);
        if (!address)
            return failure(
                QStringLiteral("--listen needs an IP address such as 127.0.0.1, not '%1'.")
                    .arg(text));
        result.options.listenAddress = *address;
    }
    if (parser.isSet(closeAfter)) {
        const QString text = parser.value(closeAfter);
        const auto value = wholeNumber(text, 1'000'000'000);
        if (!value || *value < 1)
            return failure(
                QStringLiteral("--close-after needs a number of messages of 1 or more, not '%1'.")
                    .arg(text));
        result.options.closeAfter = static_cast<int>(*value);
    }
    if (parser.isSet(cameraPort)) {
        if (parser.isSet(noCamera))
            return failure(QStringLiteral("--camera-port and --no-camera cannot go together."));
        const QString text = parser.value(cameraPort);
        const auto value = wholeNumber(text, 65535);
        if (!value)
            return failure(QStringLiteral("--camera-port needs a number from 0 to 65535, not '%1'.")
                               .arg(text));
        result.options.cameraPort = static_cast<quint16>(*value);
        result.options.cameraPortGiven = true;
    }
    result.options.camera = !parser.isSet(noCamera);
    result.options.flood = parser.isSet(flood);
    result.options.headless = parser.isSet(headless);
    return result;
}

QString carsimHelpText()
{
    return QStringLiteral(
        "Usage: velmora-carsim [--listen ADDRESS] [--port N] [--close-after N] [--flood]\n"
        "                      [--headless] [--camera-port N | --no-camera]\n"
        "\n"
        "Stands in for the model car's server: listens for the remote control on a TCP\n"
        "port and prints each drive command it receives. A command is two bytes, one\n"
        "digit \"1\" to \"9\" followed by 0x00. One client is served at a time; a new\n"
        "connection replaces the one before it.\n"
        "\n"
        "With a display it also opens a window: a 6 m x 4 m arena with a metre grid\n"
        "and walls, seen from above, and a car 0.40 m long (0.26 m between the axles)\n"
        "that drives as the commands say. It speeds up at 4 m/s2 to at most 2 m/s\n"
        "forward or 1 m/s in reverse, brakes at 8 m/s2, and turns its front wheels to\n"
        "30 degrees either side at 180 degrees a second; codes 4 and 6 turn the wheels\n"
        "without driving. From a standstill, one second of \"2 forward\" covers 1.5 m.\n"
        "The car starts near the left wall, facing right along the long side: a first\n"
        "hold of forward drives almost 3 s before it meets the far wall. A wall stops\n"
        "the car; drive away from it. The window shows the trail, the current command,\n"
        "the connection, the last ten commands and their rate. Keys in the window:\n"
        "C clears the trail, R puts the car back at the start.\n"
        "\n"
        "The camera: what a camera on the car's nose sees of the arena, 640 x 480 at\n"
        "30 frames a second, as an MJPEG stream over HTTP at\n"
        "http://127.0.0.1:8080/?action=stream (one picture: ?action=snapshot), on the\n"
        "--listen address; a line at the start shows where. Pictures are drawn only while\n"
        "someone watches, and a viewer that falls behind skips pictures. Without the\n"
        "window too (--headless).\n"
        "\n"
        "Failsafe, as a real car's server should have it: when no command came for\n"
        "1.5 s (the remote control repeats one every second), or the connection closes\n"
        "or breaks, the car brakes to a stop and the window says \"STOPPED\" until the\n"
        "next command.\n"
        "\n"
        "Options:\n"
        "  --listen ADDRESS   IP address to listen on (default 127.0.0.1).\n"
        "  --port N           TCP port, 0 to 65535 (default 1500). With 0 the system\n"
        "                     picks a free port; the first line shows which.\n"
        "  --close-after N    Fault mode: end each connection after N messages.\n"
        "  --flood            Fault mode: send junk bytes to each client without pause.\n"
        "  --headless         No window, only the lines below.\n"
        "  --camera-port N    The camera's TCP port (default 8080; 0 lets the system\n"
        "                     pick). When the default port is busy the simulator\n"
        "                     runs without a camera and says so; a port given here\n"
        "                     that is busy ends the run, as for --port.\n"
        "  --no-camera        No camera stream.\n"
        "  -h, --help         Show this text.\n"
        "\n"
        "Output, one line per event, flushed at once:\n"
        "  velmora-carsim listening on 127.0.0.1:1500       (the first line)\n"
        "  camera stream on http://127.0.0.1:8080/?action=stream  (at the start)\n"
        "  12:34:56.789 opened 127.0.0.1:40000              a client connected\n"
        "  12:34:56.790 2 forward                           a drive command\n"
        "  12:34:56.791 malformed: ...                      a byte that is not a code where\n"
        "                                                   one belongs, a code without its\n"
        "                                                   0x00, a partial message at close\n"
        "  12:34:57.000 closed 127.0.0.1:40000 (...), ...   a client went away, and why\n"
        "\n"
        "Codes: 1 forward, left; 2 forward; 3 forward, right; 4 left, no drive; 5 stop;\n"
        "6 right, no drive; 7 reverse, left; 8 reverse; 9 reverse, right.\n"
        "\n"
        "Ctrl+C (SIGINT) or SIGTERM ends the run and prints a summary: messages per code,\n"
        "malformed count and connections.\n"
        "\n"
        "Exit status: 0 after a clean stop, 1 when the port cannot be opened, 2 for bad\n"
        "arguments.\n");
}
