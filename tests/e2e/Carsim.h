#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

// The car simulator as its own process on 127.0.0.1 and a port the system
// chose, with the lines it prints. `options` follow the address and the
// port; the default leaves its camera off.
class Carsim {
public:
    struct Event {
        int ms = 0;
        QString text;
    };

    explicit Carsim(const QStringList& options = {QStringLiteral("--no-camera")});
    ~Carsim();
    Carsim(const Carsim&) = delete;
    Carsim& operator=(const Carsim&) = delete;

    // Waits for the first line and reads the port from it.
    bool waitListening();
    quint16 port() const { return m_port; }
    // Waits for the camera's line (given --camera-port) and reads its
    // address from it.
    bool waitCamera();
    QString cameraUrl() const { return m_cameraUrl; }

    // The time-stamped lines, in milliseconds since midnight.
    QList<Event> events();
    // The drive codes received, in order; "?" for a malformed message.
    QString codes();
    QString output();

private:
    QProcess m_process;
    QString m_output;
    quint16 m_port = 0;
    QString m_cameraUrl;
};
