#pragma once

#include "camera/JpegExtent.h"

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

// Why a camera stream cannot be shown. The parser stops at the first one.
enum class StreamError {
    None,
    NotHttp,             // the answer is not HTTP at all
    NotFound,            // 404
    NeedsPassword,       // 401 or 403
    BadStatus,           // any other answer but 2xx
    HeaderLineTooLong,   // a header line beyond MaxHeaderLine
    HeaderBlockTooLarge, // a header block beyond MaxHeaderBlock
    FrameTooLarge,       // a picture, or the bytes before one, beyond MaxFrame
    BadChunk,            // a chunk size that is not one
};

// Reads an MJPEG camera stream as it arrives, in pieces of any size: the
// HTTP answer's status line and headers, a body that is chunked or runs to
// the connection's close, and in it JPEG pictures, with or without the
// multipart boundaries and part headers around them. Servers differ, so it
// is lenient about everything but size: a picture ends where its own
// structure says (or where its part's Content-Length says, when that is
// right), never at the next boundary, so each one is ready as its last byte
// arrives. Memory stays bounded whatever the server sends.
class MjpegStreamParser {
public:
    static constexpr qsizetype MaxHeaderLine = 8 * 1024;
    static constexpr qsizetype MaxHeaderBlock = 64 * 1024;
    static constexpr qsizetype MaxFrame = 4 * 1024 * 1024;

    // Takes the next bytes of the stream. Does nothing once an error is set.
    void feed(QByteArrayView bytes);

    // The newest complete picture since the last call, if any; older ones
    // that were never taken are dropped.
    std::optional<QByteArray> takeFrame();
    StreamError error() const { return m_error; }
    int httpStatus() const { return m_status; }
    // Whether the status line and headers have come.
    bool headersDone() const { return m_state > State::Headers; }
    int framesFound() const { return m_framesFound; }

private:
    enum class State { Status, Headers, Between, PartHeaders, Junk, Frame };

    void parse();
    // Dechunks what has come so far into m_body.
    void dechunk();
    // The next line of m_body from m_pos, without its end, or nothing when
    // its end has not come; sets an error when it is longer than the limit.
    std::optional<QByteArrayView> nextLine();
    void statusLine(QByteArrayView line);
    void headerLine(QByteArrayView line);
    void partHeader(QByteArrayView line);
    bool between();
    bool junk();
    bool frame();
    void fail(StreamError error);
    void compact();

    State m_state = State::Status;
    StreamError m_error = StreamError::None;
    int m_status = 0;
    // Bytes as they came; with chunked encoding only the part not yet
    // dechunked stays here.
    QByteArray m_raw;
    bool m_chunked = false;
    qint64 m_chunkLeft = 0;
    bool m_chunkEnd = false;
    bool m_chunksDone = false;
    StreamError m_chunkError = StreamError::None;
    // The stream as read: headers and, dechunked, the body.
    QByteArray m_body;
    qsizetype m_pos = 0;
    qsizetype m_headerBytes = 0;
    // Where the current part's data began, and its Content-Length if sane.
    qsizetype m_partStart = 0;
    qint64 m_partLength = 0;
    JpegExtent m_extent;
    std::optional<QByteArray> m_newest;
    int m_framesFound = 0;
};
