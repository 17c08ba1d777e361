#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

using BenchClock = std::chrono::steady_clock;

// The car's side of the connection for the benchmark, on 127.0.0.1 and a
// port the system chose. Plain blocking sockets with poll(), not Qt's event
// loop, so that an arrival is time-stamped the moment the system hands the
// bytes over.
class BenchPeer {
public:
    BenchPeer() = default;
    ~BenchPeer();
    BenchPeer(const BenchPeer&) = delete;
    BenchPeer& operator=(const BenchPeer&) = delete;

    bool listen(QString* error);
    quint16 port() const { return m_port; }
    // Waits for the program to connect; a connection before it is dropped.
    bool accept(int timeoutMs);
    void closeConnection();

    // Throws away every whole message that has arrived so far.
    void drain();
    // Waits for the next message with this code (skipping others) and
    // returns when the read that completed it returned.
    std::optional<BenchClock::time_point> waitFor(char code, int timeoutMs);
    // The code of the last whole message read so far, or 0 before the first.
    char lastCode() const { return m_lastCode; }
    // Sends up to `bytes` of junk to the program within timeoutMs, calling
    // `between` every few milliseconds; returns how much went out.
    qint64 flood(qint64 bytes, int timeoutMs, const std::function<void()>& between);

private:
    int m_listener = -1;
    int m_connection = -1;
    quint16 m_port = 0;
    // The odd byte of a message that arrived in two pieces.
    QByteArray m_partial;
    char m_lastCode = 0;
};
