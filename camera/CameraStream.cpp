#include "camera/CameraStream.h"

#include "camera/FrameDecoder.h"

#include <QTcpSocket>
#include <limits>

namespace {

constexpr qint64 RateWindowMs = 2000;
// A decoded picture that waited longer than this, or came among so many at
// once, is stale; it is shown only if no newer one is ready within HoldMs.
constexpr qint64 StaleDecodedMs = 100;
constexpr int BacklogFrames = 3;
constexpr int HoldMs = 50;
// More pictures than the decoder can hold (one waiting, one decoding, one
// done), with room to spare.
constexpr std::size_t MaxTracked = 8;

NoPictureReason reasonFor(StreamError error)
{
    switch (error) {
    case StreamError::NotFound:
        return NoPictureReason::NotFound;
    case StreamError::NeedsPassword:
        return NoPictureReason::NeedsPassword;
    case StreamError::FrameTooLarge:
        return NoPictureReason::PictureTooLarge;
    case StreamError::NotHttp:
    case StreamError::BadStatus:
    case StreamError::HeaderLineTooLong:
    case StreamError::HeaderBlockTooLarge:
    case StreamError::BadChunk:
        return NoPictureReason::NotCameraStream;
    case StreamError::None:
        break;
    }
    return NoPictureReason::None;
}

// The request a camera server expects: the stream's path and query, the
// host as the address names it, and the user and password from the address
// as basic authentication.
QByteArray requestFor(const QUrl& url)
{
    QByteArray target = url.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty())
        target = "/";
    if (url.hasQuery())
        target += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':'))
        host = '[' + host + ']';
    if (url.port() > 0)
        host += ':' + QByteArray::number(url.port());
    QByteArray request = "GET " + target + " HTTP/1.1\r\nHost: " + host +
                         "\r\nConnection: close\r\nAccept: multipart/x-mixed-replace, "
                         "image/jpeg\r\n";
    if (!url.userName().isEmpty() || !url.password().isEmpty()) {
        const QByteArray credentials =
            (url.userName(QUrl::FullyDecoded) + QLatin1Char(':') + url.password(QUrl::FullyDecoded))
                .toUtf8();
        request += "Authorization: Basic " + credentials.toBase64() + "\r\n";
    }
    return request + "\r\n";
}

} // namespace

bool isStalePicture(qint64 waitedMs, qint64 sinceReceivedMs, int typicalDecodeMs, bool backlog)
{
    // A decoder that is merely slow is not a spell: its own pace, a
    // picture waiting while the one before is decoded, does not count.
    const qint64 slowMs = qMax(StaleDecodedMs, 3 * qint64(typicalDecodeMs));
    return backlog || waitedMs > StaleDecodedMs || sinceReceivedMs > slowMs;
}

CameraStream::CameraStream(QObject* parent)
    : QObject(parent), m_decoder(std::make_unique<FrameDecoder>())
{
    m_clock.start();
    m_answerTimer.setSingleShot(true);
    m_answerTimer.setInterval(AnswerTimeoutMs);
    connect(&m_answerTimer, &QTimer::timeout, this, [this] { fail(NoPictureReason::TimedOut); });
    m_holdTimer.setSingleShot(true);
    m_holdTimer.setInterval(HoldMs);
    connect(&m_holdTimer, &QTimer::timeout, this, &CameraStream::showHeld);
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &CameraStream::connectNow);
    m_decoderThread.setObjectName(QStringLiteral("camera decoder"));
    m_decoder->moveToThread(&m_decoderThread);
    connect(m_decoder.get(), &FrameDecoder::ready, this, &CameraStream::showDecoded);
    m_decoderThread.start();
}

CameraStream::~CameraStream()
{
    dropConnection();
    // A picture being decoded is finished first; those still waiting are
    // dropped with the decoder.
    m_decoderThread.quit();
    m_decoderThread.wait();
    m_decoder.reset();
}

void CameraStream::start(const QUrl& url)
{
    stop();
    m_url = url;
    m_running = true;
    m_retryMs = FirstRetryMs;
    m_lastShownMs.reset();
    m_shownMs.clear();
    m_size = QSize();
    m_shownJpeg.clear();
    setReason(NoPictureReason::None);
    connectNow();
}

void CameraStream::stop()
{
    m_running = false;
    m_retryTimer.stop();
    dropConnection();
}

void CameraStream::setDrawnSize(const QSize& size)
{
    m_decoder->setDrawnSize(size);
}

QImage CameraStream::wholePicture() const
{
    return FrameDecoder::decodeWhole(m_shownJpeg);
}

qint64 CameraStream::msSinceFrame() const
{
    if (!m_lastShownMs)
        return std::numeric_limits<qint64>::max();
    return m_clock.elapsed() - *m_lastShownMs;
}

double CameraStream::framesPerSecond() const
{
    const qint64 now = m_clock.elapsed();
    qsizetype first = 0;
    while (first < qsizetype(m_shownMs.size()) && now - m_shownMs[first] > RateWindowMs)
        ++first;
    const qsizetype count = qsizetype(m_shownMs.size()) - first;
    if (count < 2)
        return 0.0;
    const qint64 span = m_shownMs.back() - m_shownMs[first];
    return span > 0 ? double(count - 1) * 1000.0 / double(span) : 0.0;
}

void CameraStream::connectNow()
{
    dropConnection();
    if (!m_running)
        return;
    // A socket of its own for every try, so that nothing a dropped one still
    // signals can reach the next.
    m_socket = new QTcpSocket(this);
    m_parser.emplace();
    connect(m_socket, &QTcpSocket::connected, this, &CameraStream::sendRequest);
    connect(m_socket, &QTcpSocket::readyRead, this, &CameraStream::readStream);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &CameraStream::socketFailed);
    m_answerTimer.start();
    m_socket->connectToHost(m_url.host(), quint16(m_url.port(80)));
}

void CameraStream::sendRequest()
{
    m_socket->write(requestFor(m_url));
}

void CameraStream::readStream()
{
    if (!m_socket || !m_parser)
        return;
    const bool hadHeaders = m_parser->headersDone();
    const int framesBefore = m_parser->framesFound();
    m_parser->feed(m_socket->readAll());
    if (m_parser->error() != StreamError::None) {
        fail(reasonFor(m_parser->error()));
        return;
    }
    // From the headers on, the same time-out watches for complete pictures.
    if (!hadHeaders && m_parser->headersDone())
        m_answerTimer.start();
    if (std::optional<QByteArray> frame = m_parser->takeFrame()) {
        m_decoder->submit(*frame, ++m_lastSubmitted);
        m_submitted.push_back({m_lastSubmitted, m_clock.elapsed(),
                               m_parser->framesFound() - framesBefore >= BacklogFrames});
        // The decoder keeps only the newest; so many are never in its hands.
        while (m_submitted.size() > MaxTracked)
            m_submitted.pop_front();
    }
}

void CameraStream::socketFailed()
{
    if (!m_socket)
        return;
    const QAbstractSocket::SocketError error = m_socket->error();
    if (error != QAbstractSocket::RemoteHostClosedError) {
        if (error == QAbstractSocket::ConnectionRefusedError)
            fail(NoPictureReason::Refused);
        else if (error == QAbstractSocket::HostNotFoundError)
            fail(NoPictureReason::HostNotFound);
        else
            fail(NoPictureReason::TimedOut);
        return;
    }
    // The last bytes before the close still count.
    readStream();
    if (!m_socket)
        return;
    if (!m_parser->headersDone())
        fail(NoPictureReason::Refused);
    else if (m_parser->framesFound() == 0)
        fail(NoPictureReason::NotCameraStream);
    else
        fail(NoPictureReason::Ended);
}

void CameraStream::showDecoded()
{
    std::optional<DecodedFrame> frame = m_decoder->take();
    if (!frame || !m_running)
        return;
    // What has come meanwhile is handed to the decoder before this one is
    // judged; it may also end the connection.
    readStream();
    if (!m_running || frame->generation < m_connectionFirst)
        return;
    qint64 receivedMs = m_clock.elapsed();
    bool backlog = false;
    while (!m_submitted.empty() && m_submitted.front().generation <= frame->generation) {
        receivedMs = m_submitted.front().receivedMs;
        backlog = m_submitted.front().backlog;
        m_submitted.pop_front();
    }
    // A stale picture is held back briefly, and shown only if no newer one
    // is ready by then.
    if (isStalePicture(frame->decoded.elapsed(), m_clock.elapsed() - receivedMs,
                       m_decoder->typicalDecodeMs(), backlog)) {
        m_held = std::move(frame);
        if (!m_holdTimer.isActive())
            m_holdTimer.start();
        return;
    }
    present(std::move(*frame));
}

void CameraStream::showHeld()
{
    // A connection that ended, or a stop, already let the held one go.
    if (m_held)
        present(std::move(*m_held));
}

void CameraStream::present(DecodedFrame frame)
{
    m_held.reset();
    m_holdTimer.stop();
    if (frame.image.isNull()) {
        fail(NoPictureReason::PictureTooLarge);
        return;
    }
    const qint64 now = m_clock.elapsed();
    m_lastShownMs = now;
    m_shownMs.push_back(now);
    while (now - m_shownMs.front() > RateWindowMs)
        m_shownMs.pop_front();
    m_size = frame.size;
    m_shownJpeg = frame.jpeg;
    m_retryMs = FirstRetryMs;
    m_answerTimer.start();
    setReason(NoPictureReason::None);
    emit picture(frame.image);
}

void CameraStream::fail(NoPictureReason reason)
{
    dropConnection();
    setReason(reason);
    if (!m_running)
        return;
    m_retryTimer.start(m_retryMs);
    m_retryMs = qMin(m_retryMs * 2, LongestRetryMs);
}

void CameraStream::dropConnection()
{
    m_answerTimer.stop();
    m_parser.reset();
    m_connectionFirst = m_lastSubmitted + 1;
    m_submitted.clear();
    m_held.reset();
    m_holdTimer.stop();
    if (!m_socket)
        return;
    m_socket->disconnect(this);
    m_socket->abort();
    m_socket->deleteLater();
    m_socket = nullptr;
}

void CameraStream::setReason(NoPictureReason reason)
{
    if (reason == m_reason)
        return;
    m_reason = reason;
    emit reasonChanged(reason);
}
