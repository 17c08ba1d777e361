#include "bench/CameraServer.h"

#include <QImage>
#include <QSysInfo>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <cmath>

namespace {

constexpr unsigned Levels[3] = {0, 128, 255};
const QByteArray Boundary = "boundarydonotcross";

unsigned level(unsigned value)
{
    return value < 64 ? 0 : value < 192 ? 1 : 2;
}

// A scene of soft shapes with sensor noise over it, moved a little from
// frame to frame, and the code patch in the middle third.
QImage scene(QSize size, int index)
{
    QImage image(size, QImage::Format_RGB32);
    quint32 noise = 0x9E3779B9u * quint32(index + 1);
    const int w = size.width();
    const int h = size.height();
    for (int y = 0; y < h; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const double wave = std::sin((y + 9.0 * index) / 37.0);
        for (int x = 0; x < w; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const int grain = int(noise >> 27) - 16;
            const double shade = std::cos((x - 13.0 * index) / 53.0) * wave;
            const int r = 110 + int(90 * shade) + grain;
            const int g = 90 + (x * 120) / w + grain;
            const int b = 70 + (y * 140) / h - int(40 * shade) + grain;
            line[x] = qRgb(qBound(0, r, 255), qBound(0, g, 255), qBound(0, b, 255));
        }
    }
    const QRgb patch = qRgb(Levels[index / 9 % 3], Levels[index / 3 % 3], Levels[index % 3]);
    for (int y = h / 3; y < 2 * h / 3; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        std::fill(line + w / 3, line + 2 * w / 3, patch);
    }
    return image;
}

QByteArray encode(const QImage& image)
{
    tjhandle handle = tjInitCompress();
    unsigned char* bytes = nullptr;
    unsigned long length = 0;
    const int format = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? TJPF_BGRX : TJPF_XRGB;
    QByteArray result;
    if (tjCompress2(handle, image.constBits(), image.width(), int(image.bytesPerLine()),
                    image.height(), format, &bytes, &length, TJSAMP_420, 80, 0) == 0)
        result = QByteArray(reinterpret_cast<const char*>(bytes), qsizetype(length));
    tjFree(bytes);
    tjDestroy(handle);
    return result;
}

bool sendAll(int socket, const QByteArray& bytes)
{
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n =
            ::send(socket, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += n;
    }
    return true;
}

} // namespace

QList<QByteArray> cameraFrames(QSize size)
{
    QList<QByteArray> frames;
    for (int index = 0; index < FrameCodes; ++index)
        frames << encode(scene(size, index));
    return frames;
}

std::optional<int> patchCode(unsigned red, unsigned green, unsigned blue)
{
    // A colour half-way between two levels is a blend, not a code.
    for (const unsigned value : {red, green, blue}) {
        const unsigned nearest = Levels[level(value)];
        if ((value > nearest ? value - nearest : nearest - value) > 40)
            return std::nullopt;
    }
    return int(level(red) * 9 + level(green) * 3 + level(blue));
}

CameraServer::CameraServer(QList<QByteArray> frames, int framesPerSecond)
    : m_frames(std::move(frames)),
      m_interval(std::chrono::duration_cast<BenchClock::duration>(std::chrono::seconds(1)) /
                 framesPerSecond)
{
}

CameraServer::~CameraServer()
{
    m_stopping = true;
    if (m_acceptor.joinable())
        m_acceptor.join();
    {
        const std::lock_guard lock(m_mutex);
        for (const int socket : m_sockets)
            ::shutdown(socket, SHUT_RDWR);
    }
    for (std::thread& thread : m_threads)
        thread.join();
    for (const int socket : m_sockets)
        ::close(socket);
    if (m_listener >= 0)
        ::close(m_listener);
}

bool CameraServer::listen(QString* error)
{
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(m_listener, 4) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        *error = QStringLiteral("the camera server cannot listen on 127.0.0.1");
        return false;
    }
    m_port = ntohs(address.sin_port);
    m_start = BenchClock::now();
    m_acceptor = std::thread([this] { acceptLoop(); });
    return true;
}

QString CameraServer::url() const
{
    return QStringLiteral("http://127.0.0.1:%1/?action=stream").arg(m_port);
}

std::vector<CameraServer::Written> CameraServer::written() const
{
    const std::lock_guard lock(m_mutex);
    return m_written;
}

int CameraServer::writtenSince(int client, BenchClock::time_point from) const
{
    const std::lock_guard lock(m_mutex);
    return int(std::count_if(m_written.begin(), m_written.end(), [&](const Written& frame) {
        return frame.client == client && frame.at >= from;
    }));
}

void CameraServer::acceptLoop()
{
    while (!m_stopping) {
        pollfd waiting{m_listener, POLLIN, 0};
        if (::poll(&waiting, 1, 100) <= 0)
            continue;
        const int socket = ::accept(m_listener, nullptr, nullptr);
        if (socket < 0)
            continue;
        const std::lock_guard lock(m_mutex);
        const int client = m_clients++;
        m_sockets.push_back(socket);
        m_threads.emplace_back([this, client, socket] { serve(client, socket); });
    }
}

void CameraServer::serve(int client, int socket)
{
    QByteArray request;
    char buffer[2048];
    while (!request.contains("\r\n\r\n") && !request.contains("\n\n")) {
        const ssize_t n = ::recv(socket, buffer, sizeof buffer, 0);
        if (n <= 0 || request.size() > 65536)
            return;
        request.append(buffer, n);
    }
    if (!sendAll(socket, "HTTP/1.0 200 OK\r\nConnection: close\r\nCache-Control: no-cache\r\n"
                         "Content-Type: multipart/x-mixed-replace;boundary=" +
                             Boundary + "\r\n\r\n"))
        return;
    // On the common schedule of all clients, so that a frame's number says
    // when it was due whoever received it.
    qint64 sequence = (BenchClock::now() - m_start) / m_interval + 1;
    QByteArray lead = "--" + Boundary;
    while (!m_stopping) {
        std::this_thread::sleep_until(m_start + sequence * m_interval);
        const QByteArray& jpeg = m_frames[sequence % m_frames.size()];
        if (!sendAll(socket, lead + "\r\nContent-Type: image/jpeg\r\nContent-Length: " +
                                 QByteArray::number(jpeg.size()) + "\r\n\r\n" + jpeg))
            return;
        const auto at = BenchClock::now();
        {
            const std::lock_guard lock(m_mutex);
            m_written.push_back({client, sequence, at});
        }
        lead = "\r\n--" + Boundary;
        // A frame missed while the client was not reading is not sent late.
        sequence = std::max(sequence + 1, qint64((at - m_start) / m_interval) + 1);
    }
}
