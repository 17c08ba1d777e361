#pragma once

#include "bench/BenchPeer.h"

#include <QByteArray>
#include <QList>
#include <QSize>
#include <QString>

#include <atomic>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// Frames of a camera for the benchmark: varied enough to cost what a real
// picture costs to decode, each with a patch in its middle whose colour
// names the frame (see patchCode()), JPEG-encoded once.
QList<QByteArray> cameraFrames(QSize size);
// The number a patch colour stands for, 0 to FrameCodes - 1, or nothing
// for a colour that is no code.
constexpr int FrameCodes = 27;
std::optional<int> patchCode(unsigned red, unsigned green, unsigned blue);

// A camera server on 127.0.0.1, port chosen by the system, that serves
// the frames in turn at a steady rate as the common router camera servers
// do. Plain blocking sockets on threads of its own, so that each write is
// time-stamped the moment the system took its last byte. A client too slow
// for the rate misses frames, as with a real camera; it never gets a
// backlog from the server.
class CameraServer {
public:
    // When frame `sequence` (its picture is sequence % frames) had its last
    // byte written to client `client` (numbered from 0 as they came).
    struct Written {
        int client;
        qint64 sequence;
        BenchClock::time_point at;
    };

    CameraServer(QList<QByteArray> frames, int framesPerSecond);
    ~CameraServer();
    CameraServer(const CameraServer&) = delete;
    CameraServer& operator=(const CameraServer&) = delete;

    bool listen(QString* error);
    QString url() const;
    int clients() const { return m_clients; }
    std::vector<Written> written() const;
    // The frames written to the client since `from`.
    int writtenSince(int client, BenchClock::time_point from) const;

private:
    void acceptLoop();
    void serve(int client, int socket);

    QList<QByteArray> m_frames;
    BenchClock::duration m_interval;
    BenchClock::time_point m_start;
    int m_listener = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stopping = false;
    std::atomic<int> m_clients = 0;
    std::thread m_acceptor;
    mutable std::mutex m_mutex;
    std::vector<std::thread> m_threads;
    std::vector<int> m_sockets;
    std::vector<Written> m_written;
};
