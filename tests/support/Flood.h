#pragma once

#include <QByteArray>
#include <QObject>
#include <QtGlobal>
#include <functional>

class QTcpSocket;

#if defined(__SANITIZE_ADDRESS__)
#define VELMORA_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELMORA_ADDRESS_SANITIZER 1
#endif
#endif

// The address sanitizer holds freed memory back on purpose, to catch late
// use; in such a build the size of the process says nothing about what the
// program keeps.
#if defined(VELMORA_ADDRESS_SANITIZER)
inline constexpr bool AddressSanitizer = true;
#else
inline constexpr bool AddressSanitizer = false;
#endif

// The resident memory of this process, or -1 where that cannot be read.
qint64 residentBytes();

// Pours bytes down one connection from the server's side. It tops the write
// buffer up only as it drains, so the flood itself holds little memory, and
// notes the largest resident size of the process while it lasts.
class Flood : public QObject {
public:
    // midway, if given, runs once from the event loop when half the bytes
    // have gone out, while the rest still pours in.
    Flood(QTcpSocket* socket, qint64 total, std::function<void()> midway = nullptr);

    qint64 written() const;
    bool finished() const { return written() >= m_total; }
    // -1 until a figure could be read.
    qint64 peakResident() const { return m_peak; }

private:
    void topUp();

    static constexpr qint64 ChunkBytes = 256 * 1024;
    QTcpSocket* m_socket;
    const qint64 m_total;
    std::function<void()> m_midway;
    const QByteArray m_chunk{ChunkBytes, 'x'};
    qint64 m_queued = 0;
    qint64 m_peak = -1;
};
