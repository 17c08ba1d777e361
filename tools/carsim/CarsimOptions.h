#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>

struct CarsimOptions {
    QHostAddress listenAddress{QHostAddress::LocalHost};
    quint16 port = 1500; // 0 lets the system choose
    int closeAfter = 0;  // messages per connection; 0 means never close
    bool flood = false;
    bool headless = false; // no window, even with a display
    // The camera stream, on the same address as the drive port.
    bool camera = true;
    quint16 cameraPort = 8080; // 0 lets the system choose
    // Asked for on the command line: then a port it cannot have ends the run,
    // as for the drive port; the default one only leaves the camera off.
    bool cameraPortGiven = false;
};

struct CarsimArguments {
    enum class Outcome { Run, ShowHelp, Error };

    Outcome outcome = Outcome::Run;
    CarsimOptions options;
    QString error; // for Outcome::Error: what was wrong, one sentence
};

// Reads the command line; `arguments` starts with the program's name.
CarsimArguments parseCarsimArguments(const QStringList& arguments);

QString carsimHelpText();

// The process exit status for bad arguments.
inline constexpr int kCarsimUsageExitStatus = 2;
// The process exit status when the simulator cannot listen.
inline constexpr int kCarsimListenExitStatus = 1;
