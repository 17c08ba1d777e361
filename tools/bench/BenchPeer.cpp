#include "bench/BenchPeer.h"

#include <QList>

#include <array>
#include <cerrno>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int remainingMs(BenchClock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - BenchClock::now());
    return left.count() > 0 ? int(left.count()) : 0;
}

} // namespace

BenchPeer::~BenchPeer()
{
    closeConnection();
    if (m_listener >= 0)
        ::close(m_listener);
}

bool BenchPeer::listen(QString* error)
{
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (m_listener < 0 ||
        ::bind(m_listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 4) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        *error = QStringLiteral("cannot listen on 127.0.0.1");
        return false;
    }
    m_port = ntohs(address.sin_port);
    return true;
}

bool BenchPeer::accept(int timeoutMs)
{
    closeConnection();
    pollfd entry{m_listener, POLLIN, 0};
    if (::poll(&entry, 1, timeoutMs) != 1)
        return false;
    m_connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    return m_connection >= 0;
}

void BenchPeer::closeConnection()
{
    if (m_connection >= 0)
        ::close(m_connection);
    m_connection = -1;
    m_partial.clear();
    m_lastCode = 0;
}

void BenchPeer::drain()
{
    std::array<char, 4096> buffer;
    pollfd entry{m_connection, POLLIN, 0};
    while (m_connection >= 0 && ::poll(&entry, 1, 0) == 1 && (entry.revents & POLLIN)) {
        const ssize_t got = ::read(m_connection, buffer.data(), buffer.size());
        if (got <= 0)
            break;
        m_partial.append(buffer.data(), qsizetype(got));
    }
    if (m_partial.size() >= 2)
        m_lastCode = m_partial.at(m_partial.size() - m_partial.size() % 2 - 2);
    // Keep the stream aligned on whole messages.
    m_partial = m_partial.right(m_partial.size() % 2);
}

std::optional<BenchClock::time_point> BenchPeer::waitFor(char code, int timeoutMs)
{
    const auto deadline = BenchClock::now() + std::chrono::milliseconds(timeoutMs);
    std::array<char, 4096> buffer;
    while (m_connection >= 0) {
        pollfd entry{m_connection, POLLIN, 0};
        if (::poll(&entry, 1, remainingMs(deadline)) != 1)
            return std::nullopt;
        const ssize_t got = ::read(m_connection, buffer.data(), buffer.size());
        const auto arrived = BenchClock::now();
        if (got <= 0)
            return std::nullopt;
        m_partial.append(buffer.data(), qsizetype(got));
        bool found = false;
        qsizetype used = 0;
        for (; used + 2 <= m_partial.size(); used += 2) {
            if (m_partial.at(used) == code && m_partial.at(used + 1) == '\0')
                found = true;
            m_lastCode = m_partial.at(used);
        }
        m_partial.remove(0, used);
        if (found)
            return arrived;
    }
    return std::nullopt;
}

qint64 BenchPeer::flood(qint64 bytes, int timeoutMs, const std::function<void()>& between)
{
    if (m_connection < 0)
        return 0;
    const int flags = ::fcntl(m_connection, F_GETFL);
    ::fcntl(m_connection, F_SETFL, flags | O_NONBLOCK);
    const QByteArray junk(64 * 1024, 'x');
    const auto deadline = BenchClock::now() + std::chrono::milliseconds(timeoutMs);
    qint64 sent = 0;
    while (sent < bytes && remainingMs(deadline) > 0) {
        pollfd entry{m_connection, POLLOUT, 0};
        if (::poll(&entry, 1, 5) == 1 && (entry.revents & POLLOUT)) {
            const auto chunk = std::min<qint64>(junk.size(), bytes - sent);
            const ssize_t put = ::send(m_connection, junk.constData(), size_t(chunk), MSG_NOSIGNAL);
            if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                break;
            if (put > 0)
                sent += put;
        }
        between();
    }
    ::fcntl(m_connection, F_SETFL, flags);
    return sent;
}
