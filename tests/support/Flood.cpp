#include "support/Flood.h"

#include <QFile>
#include <QList>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <utility>

qint64 residentBytes()
{
    // Under Wine the path reaches the host's own file, so a Windows build
    // reads the figure there too; on Windows itself there is none.
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray& line : lines) {
        if (!line.startsWith("VmRSS:"))
            continue;
        bool ok = false;
        const qint64 kib = line.mid(6).trimmed().split(' ').first().toLongLong(&ok);
        return ok ? kib * 1024 : -1;
    }
    return -1;
}

Flood::Flood(QTcpSocket* socket, qint64 total, std::function<void()> midway)
    : m_socket(socket), m_total(total), m_midway(std::move(midway))
{
    connect(socket, &QTcpSocket::bytesWritten, this, [this] {
        if (m_midway && written() >= m_total / 2)
            QTimer::singleShot(0, this, std::exchange(m_midway, nullptr));
        topUp();
    });
    topUp();
}

qint64 Flood::written() const
{
    return m_queued - m_socket->bytesToWrite();
}

void Flood::topUp()
{
    m_peak = std::max(m_peak, residentBytes());
    while (m_queued < m_total && m_socket->bytesToWrite() < 2 * ChunkBytes) {
        const qint64 size = std::min(ChunkBytes, m_total - m_queued);
        const qint64 taken = m_socket->write(size == ChunkBytes ? m_chunk : m_chunk.first(size));
        if (taken <= 0)
            return;
        m_queued += taken;
    }
}
