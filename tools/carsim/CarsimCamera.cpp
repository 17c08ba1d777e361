#include "tools/carsim/CarsimCamera.h"

#include "tools/carsim/CameraHttp.h"
#include "tools/carsim/CameraView.h"
#include "tools/carsim/CarsimLive.h"
#include "tools/carsim/CarsimText.h"

#include <QDateTime>
#include <QTcpSocket>

#include <algorithm>

using CameraHttp::Request;

namespace {

constexpr int kFrameMs = 33; // 30 pictures a second
constexpr int kQuality = 80;
// Each viewer costs a socket and up to two pictures of memory.
constexpr qsizetype kMaxViewers = 16;
// How long a client may take to send its request.
constexpr int kRequestMs = 5000;
// How long an answer we close may take to go out.
constexpr int kCloseGraceMs = 1000;
// Room for about two pictures in the system's buffer: a bigger one would let
// a slow viewer fall seconds behind where no picture can be skipped.
constexpr int kSendBuffer = 64 * 1024;

} // namespace

CarsimCamera::CarsimCamera(const CarsimOptions& options, CarsimLive& live, LineSink print,
                           QObject* parent)
    : QObject(parent), m_options(options), m_live(live), m_print(std::move(print))
{
    connect(&m_server, &QTcpServer::newConnection, this, &CarsimCamera::acceptPending);
    m_frames.setInterval(kFrameMs);
    m_frames.setTimerType(Qt::PreciseTimer);
    connect(&m_frames, &QTimer::timeout, this, &CarsimCamera::filmNext);
    m_onThread = new QObject;
    m_onThread->moveToThread(&m_thread);
    m_thread.start();
}

CarsimCamera::~CarsimCamera()
{
    m_thread.quit();
    m_thread.wait();
    delete m_onThread;
    // The listening socket owns the viewers' sockets and would end them
    // while our members are already gone; end them first, without telling
    // us.
    for (QTcpSocket* socket : m_server.findChildren<QTcpSocket*>()) {
        socket->disconnect(this);
        delete socket;
    }
}

bool CarsimCamera::start(QString* error)
{
    if (m_server.listen(m_options.listenAddress, m_options.cameraPort))
        return true;
    if (error)
        *error = listenError(m_server, endpointText(m_options.listenAddress, m_options.cameraPort));
    return false;
}

void CarsimCamera::announce()
{
    m_print(QStringLiteral("camera stream on %1").arg(streamUrl()));
}

QString CarsimCamera::streamUrl() const
{
    if (!m_server.isListening())
        return {};
    return QStringLiteral("http://%1/?action=stream")
        .arg(endpointText(m_server.serverAddress(), m_server.serverPort()));
}

void CarsimCamera::acceptPending()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { viewerGone(socket); });
        if (m_viewers.size() >= kMaxViewers) {
            answerAndClose(socket, CameraHttp::busyResponse());
            continue;
        }
        m_viewers.insert(socket, Viewer{});
        socket->setReadBufferSize(2 * CameraHttp::kMaxRequest);
        socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kSendBuffer);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
        QTimer::singleShot(kRequestMs, socket, [this, socket] {
            if (m_viewers.value(socket).wants == Wants::Request)
                socket->abort();
        });
        if (socket->bytesAvailable() > 0)
            readRequest(socket);
    }
}

void CarsimCamera::readRequest(QTcpSocket* socket)
{
    const auto viewer = m_viewers.find(socket);
    if (viewer == m_viewers.end() || viewer->wants != Wants::Request) {
        // Nothing after the request means anything to us.
        socket->readAll();
        return;
    }
    viewer->request += socket->readAll();
    const Request request = CameraHttp::parseRequest(viewer->request);
    switch (request) {
    case Request::Incomplete:
        return;
    case Request::Stream:
        viewer->wants = Wants::Stream;
        socket->write(CameraHttp::streamHead());
        break;
    case Request::Snapshot:
        viewer->wants = Wants::Snapshot;
        break;
    default:
        answerAndClose(socket, CameraHttp::errorResponse(request));
        return;
    }
    viewer->request.clear();
    watchersChanged();
}

void CarsimCamera::answerAndClose(QTcpSocket* socket, const QByteArray& response)
{
    if (const auto viewer = m_viewers.find(socket); viewer != m_viewers.end())
        viewer->wants = Wants::Nothing;
    socket->write(response);
    // Closes once the answer is out; a client that never reads it is cut off.
    socket->disconnectFromHost();
    if (socket->state() != QAbstractSocket::UnconnectedState)
        QTimer::singleShot(kCloseGraceMs, socket, [socket] { socket->abort(); });
}

void CarsimCamera::viewerGone(QTcpSocket* socket)
{
    m_viewers.remove(socket);
    socket->disconnect(this);
    socket->deleteLater();
    watchersChanged();
}

void CarsimCamera::filmNext()
{
    if (m_filming)
        return;
    m_filming = true;
    const CarSession& session = m_live.advance();
    const CameraScene scene{session.car().position(), session.car().heading(), session.trail()};
    const qint64 stamp = QDateTime::currentMSecsSinceEpoch();
    QMetaObject::invokeMethod(
        m_onThread,
        [this, scene, stamp] {
            const QByteArray jpeg = m_encoder.encode(filmCameraView(scene), kQuality);
            QMetaObject::invokeMethod(
                this, [this, jpeg, stamp] { pictureTaken(jpeg, stamp); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void CarsimCamera::pictureTaken(const QByteArray& jpeg, qint64 stamp)
{
    m_filming = false;
    if (jpeg.isEmpty())
        return;
    const QByteArray part = CameraHttp::partHead(jpeg.size(), stamp) + jpeg + "\r\n";
    QList<QTcpSocket*> served;
    for (auto viewer = m_viewers.cbegin(); viewer != m_viewers.cend(); ++viewer) {
        QTcpSocket* socket = viewer.key();
        if (viewer->wants == Wants::Snapshot)
            served << socket;
        // A viewer with more than a picture still to take skips this one:
        // it gets the newest when it catches up, never a queue.
        else if (viewer->wants == Wants::Stream && socket->bytesToWrite() <= part.size())
            socket->write(part);
    }
    // Closing may end a socket at once and take it out of the list, so not
    // while going through it.
    for (QTcpSocket* socket : served)
        answerAndClose(socket, CameraHttp::snapshotHead(jpeg.size(), stamp) + jpeg);
    watchersChanged();
}

void CarsimCamera::watchersChanged()
{
    const bool watched = std::any_of(m_viewers.cbegin(), m_viewers.cend(), [](const Viewer& v) {
        return v.wants == Wants::Stream || v.wants == Wants::Snapshot;
    });
    if (!watched) {
        m_frames.stop();
    } else if (!m_frames.isActive()) {
        m_frames.start();
        filmNext();
    }
}
