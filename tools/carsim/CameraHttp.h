#pragma once

#include <QByteArray>
#include <QtGlobal>

// The HTTP the simulator's camera speaks, as the cameras on car routers do:
// one request per connection, answered in HTTP/1.0 and then closed. Pure
// functions of bytes, so they can be checked without a socket.
namespace CameraHttp {

// What a client asked for.
enum class Request {
    Incomplete, // the header block has not ended yet
    Stream,     // GET /?action=stream
    Snapshot,   // GET /?action=snapshot
    NotFound,   // GET of anything else
    BadMethod,  // a method other than GET
    Malformed,  // not an HTTP request line, or a header block too long
};

// A header block longer than this is refused: nobody needs it to ask for a
// picture.
inline constexpr qsizetype kMaxRequest = 8 * 1024;

// Reads the request from what the client has sent so far.
Request parseRequest(const QByteArray& received);

// The response's start for a stream, up to the first part.
QByteArray streamHead();
// One part of the stream, before its JPEG bytes; the JPEG is followed by
// CR LF. `stamp` is the picture's time in milliseconds since 1970.
QByteArray partHead(qsizetype jpegSize, qint64 stamp);
// The response's start for a single picture, before its JPEG bytes.
QByteArray snapshotHead(qsizetype jpegSize, qint64 stamp);
// A whole error response for `request` (NotFound, BadMethod, Malformed), or
// for a camera that has as many viewers as it takes (`busy`).
QByteArray errorResponse(Request request);
QByteArray busyResponse();

} // namespace CameraHttp
