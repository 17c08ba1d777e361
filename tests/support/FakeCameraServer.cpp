#include "FakeCameraServer.h"

#include <QHostAddress>
#include <QImage>
#include <QSysInfo>
#include <QTcpSocket>

#include <turbojpeg.h>

namespace {

constexpr char StreamHead[] = "HTTP/1.0 200 OK\r\n"
                              "Connection: close\r\n"
                              "Content-Type: multipart/x-mixed-replace;boundary=fakecamera\r\n"
                              "\r\n";

QByteArray part(const QByteArray& jpeg)
{
    return "--fakecamera\r\nContent-Type: image/jpeg\r\nContent-Length: " +
           QByteArray::number(jpeg.size()) + "\r\n\r\n" + jpeg + "\r\n";
}

} // namespace

FakeCameraServer::FakeCameraServer(QObject* parent) : QObject(parent)
{
    m_clock.start();
    connect(&m_server, &QTcpServer::newConnection, this, &FakeCameraServer::accept);
    connect(&m_frameTimer, &QTimer::timeout, this, &FakeCameraServer::sendNext);
    m_trickleTimer.setInterval(100);
    connect(&m_trickleTimer, &QTimer::timeout, this, &FakeCameraServer::trickle);
    m_server.listen(QHostAddress::LocalHost, 0);
    m_port = m_server.serverPort();
}

FakeCameraServer::~FakeCameraServer()
{
    for (const QPointer<QTcpSocket>& client : std::as_const(m_streaming)) {
        if (client)
            client->abort();
    }
}

QByteArray FakeCameraServer::jpeg(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    tjhandle handle = tjInitCompress();
    unsigned char* bytes = nullptr;
    unsigned long length = 0;
    const int format = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? TJPF_BGRX : TJPF_XRGB;
    QByteArray result;
    if (tjCompress2(handle, image.constBits(), image.width(),
                    static_cast<int>(image.bytesPerLine()), image.height(), format, &bytes, &length,
                    TJSAMP_420, 80, 0) == 0)
        result = QByteArray(reinterpret_cast<const char*>(bytes), qsizetype(length));
    tjFree(bytes);
    tjDestroy(handle);
    return result;
}

QUrl FakeCameraServer::url(const QString& userInfo) const
{
    QUrl url(QStringLiteral("http://127.0.0.1/?action=stream"));
    url.setPort(m_port);
    if (!userInfo.isEmpty())
        url.setUserInfo(userInfo);
    return url;
}

void FakeCameraServer::setFrames(const QList<QByteArray>& jpegs, int intervalMs)
{
    m_frames = jpegs;
    m_next = 0;
    if (jpegs.isEmpty())
        m_frameTimer.stop();
    else
        m_frameTimer.start(intervalMs);
}

void FakeCameraServer::sendNow(const QList<QByteArray>& jpegs)
{
    QByteArray bytes;
    for (const QByteArray& jpeg : jpegs)
        bytes += part(jpeg);
    for (const QPointer<QTcpSocket>& client : std::as_const(m_streaming)) {
        if (client) {
            client->write(bytes);
            client->flush();
        }
    }
}

void FakeCameraServer::stallMidFrame(const QByteArray& jpeg)
{
    m_frameTimer.stop();
    const QByteArray bytes = part(jpeg);
    for (const QPointer<QTcpSocket>& client : std::as_const(m_streaming)) {
        if (client)
            client->write(bytes.first(bytes.size() / 2));
    }
    m_streaming.clear();
}

void FakeCameraServer::stopListening()
{
    m_server.close();
}

bool FakeCameraServer::listenAgain()
{
    return m_server.listen(QHostAddress::LocalHost, m_port);
}

void FakeCameraServer::accept()
{
    while (QTcpSocket* client = m_server.nextPendingConnection()) {
        client->setParent(this);
        m_connectedAtMs.append(m_clock.elapsed());
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
        if (m_mode == Mode::CloseAtOnce) {
            client->abort();
            client->deleteLater();
            continue;
        }
        auto request = std::make_shared<QByteArray>();
        connect(client, &QTcpSocket::readyRead, this, [this, client, request] {
            const bool complete = request->contains("\r\n\r\n");
            request->append(client->readAll());
            if (complete || !request->contains("\r\n\r\n"))
                return;
            m_lastRequest = *request;
            answer(client);
            emit requestArrived();
        });
    }
}

void FakeCameraServer::answer(QTcpSocket* client)
{
    switch (m_mode) {
    case Mode::NotFound:
        client->write("HTTP/1.0 404 Not Found\r\nContent-Type: text/plain\r\n"
                      "Content-Length: 10\r\n\r\nNot found\n");
        client->disconnectFromHost();
        break;
    case Mode::Trickle:
        client->write(StreamHead);
        m_trickleBytes = part(jpeg(QSize(64, 48)));
        m_trickled = 0;
        m_trickling.append(client);
        m_trickleTimer.start();
        break;
    case Mode::Stream:
        client->write(StreamHead);
        m_streaming.append(client);
        break;
    case Mode::CloseAtOnce:
        break;
    }
}

void FakeCameraServer::sendNext()
{
    const QByteArray bytes = part(m_frames[m_next]);
    m_next = (m_next + 1) % m_frames.size();
    for (const QPointer<QTcpSocket>& client : std::as_const(m_streaming)) {
        if (client)
            client->write(bytes);
    }
}

void FakeCameraServer::trickle()
{
    if (m_trickled >= m_trickleBytes.size())
        return;
    const QByteArray byte = m_trickleBytes.sliced(m_trickled++, 1);
    for (const QPointer<QTcpSocket>& client : std::as_const(m_trickling)) {
        if (client)
            client->write(byte);
    }
}
