#include "tools/carsim/CameraHttp.h"

#include <QList>
#include <QUrl>
#include <QUrlQuery>

namespace CameraHttp {

namespace {

// The boundary goes without a leading "--" in the header and with it before
// every part, as the multipart rules have it.
constexpr char kBoundary[] = "velmorapicture";

// What the cameras on car routers send with every answer, so a browser
// never shows a cached picture.
QByteArray commonHeaders()
{
    return QByteArrayLiteral("Connection: close\r\n"
                             "Server: velmora-carsim\r\n"
                             "Cache-Control: no-store, no-cache, must-revalidate, pre-check=0, "
                             "post-check=0, max-age=0\r\n"
                             "Pragma: no-cache\r\n"
                             "Expires: Thu, 01 Jan 1970 00:00:00 GMT\r\n");
}

QByteArray timestamp(qint64 stamp)
{
    // Seconds and microseconds, as the cameras write the time they took it.
    return QByteArray::number(stamp / 1000) + '.' +
           QByteArray::number((stamp % 1000) * 1000).rightJustified(6, '0');
}

QByteArray plainResponse(const QByteArray& status, const QByteArray& text,
                         const QByteArray& extra = {})
{
    const QByteArray body = text + "\r\n";
    return "HTTP/1.0 " + status + "\r\n" + commonHeaders() + extra +
           "Content-Type: text/plain\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\n\r\n" + body;
}

} // namespace

Request parseRequest(const QByteArray& received)
{
    qsizetype end = received.indexOf("\r\n\r\n");
    if (end < 0)
        end = received.indexOf("\n\n");
    if (end < 0)
        return received.size() > kMaxRequest ? Request::Malformed : Request::Incomplete;
    if (end > kMaxRequest)
        return Request::Malformed;

    QByteArray line = received.left(received.indexOf('\n'));
    if (line.endsWith('\r'))
        line.chop(1);
    const QList<QByteArray> words = line.split(' ');
    if (words.size() != 3 || !words[2].startsWith("HTTP/1.") || !words[1].startsWith('/'))
        return Request::Malformed;
    if (words[0] != "GET")
        return Request::BadMethod;

    const QUrl target(QString::fromLatin1(words[1]));
    if (!target.isValid() || target.path() != QLatin1String("/"))
        return Request::NotFound;
    const QString action = QUrlQuery(target).queryItemValue(QStringLiteral("action"));
    if (action == QLatin1String("stream"))
        return Request::Stream;
    if (action == QLatin1String("snapshot"))
        return Request::Snapshot;
    return Request::NotFound;
}

QByteArray streamHead()
{
    return "HTTP/1.0 200 OK\r\n" + commonHeaders() +
           "Content-Type: multipart/x-mixed-replace;boundary=" + kBoundary + "\r\n\r\n";
}

QByteArray partHead(qsizetype jpegSize, qint64 stamp)
{
    return QByteArray("--") + kBoundary +
           "\r\nContent-Type: image/jpeg\r\nContent-Length: " + QByteArray::number(jpegSize) +
           "\r\nX-Timestamp: " + timestamp(stamp) + "\r\n\r\n";
}

QByteArray snapshotHead(qsizetype jpegSize, qint64 stamp)
{
    return "HTTP/1.0 200 OK\r\n" + commonHeaders() +
           "Content-Type: image/jpeg\r\nContent-Length: " + QByteArray::number(jpegSize) +
           "\r\nX-Timestamp: " + timestamp(stamp) + "\r\n\r\n";
}

QByteArray errorResponse(Request request)
{
    switch (request) {
    case Request::BadMethod:
        return plainResponse("405 Method Not Allowed", "Only GET is served here.",
                             "Allow: GET\r\n");
    case Request::NotFound:
        return plainResponse("404 Not Found",
                             "Not found: ask for /?action=stream or /?action=snapshot.");
    default:
        return plainResponse("400 Bad Request", "Not an HTTP request this camera understands.");
    }
}

QByteArray busyResponse()
{
    return plainResponse("503 Service Unavailable",
                         "The camera has as many viewers as it serves; try again later.");
}

} // namespace CameraHttp
