#include "camera/MjpegStreamParser.h"

namespace {

constexpr char StartOfImage[] = "\xFF\xD8";

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArrayView trimmed(QByteArrayView text)
{
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

// A header's name, lower-cased, and its value; an empty name when the line
// is no header.
std::pair<QByteArray, QByteArrayView> splitHeader(QByteArrayView line)
{
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return {};
    return {trimmed(line.first(colon)).toByteArray().toLower(), trimmed(line.sliced(colon + 1))};
}

// A part's Content-Length, or 0 when it is missing, zero or no number:
// the picture's own structure then tells where it ends.
qint64 partLength(QByteArrayView value)
{
    bool ok = false;
    const qint64 length = value.toLongLong(&ok);
    return ok && length > 0 && length <= MjpegStreamParser::MaxFrame ? length : 0;
}

} // namespace

void MjpegStreamParser::feed(QByteArrayView bytes)
{
    if (m_error != StreamError::None)
        return;
    if (m_chunked && headersDone()) {
        m_raw.append(bytes);
        dechunk();
    } else {
        m_body.append(bytes);
    }
    parse();
    // A broken chunk ends the stream only after the pictures before it, so
    // that how the bytes arrived changes nothing.
    if (m_chunkError != StreamError::None)
        fail(m_chunkError);
}

std::optional<QByteArray> MjpegStreamParser::takeFrame()
{
    return std::exchange(m_newest, std::nullopt);
}

void MjpegStreamParser::fail(StreamError error)
{
    m_error = error;
    m_body.clear();
    m_raw.clear();
    m_pos = 0;
}

std::optional<QByteArrayView> MjpegStreamParser::nextLine()
{
    const qsizetype end = m_body.indexOf('\n', m_pos);
    const qsizetype length = (end < 0 ? m_body.size() : end) - m_pos;
    if (length > MaxHeaderLine) {
        fail(StreamError::HeaderLineTooLong);
        return std::nullopt;
    }
    if (end < 0)
        return std::nullopt;
    QByteArrayView line = QByteArrayView(m_body).sliced(m_pos, length);
    if (line.endsWith('\r'))
        line.chop(1);
    m_pos = end + 1;
    m_headerBytes += length + 1;
    if (m_headerBytes > MaxHeaderBlock) {
        fail(StreamError::HeaderBlockTooLarge);
        return std::nullopt;
    }
    return line;
}

void MjpegStreamParser::statusLine(QByteArrayView line)
{
    // "HTTP/1.0 200 OK", "HTTP/1.1 200": the version, then three digits.
    if (!line.startsWith("HTTP/1.") || line.size() < 12 || line[8] != ' ') {
        fail(StreamError::NotHttp);
        return;
    }
    bool ok = false;
    m_status = line.sliced(9, 3).toInt(&ok);
    if (!ok) {
        fail(StreamError::NotHttp);
    } else if (m_status == 404) {
        fail(StreamError::NotFound);
    } else if (m_status == 401 || m_status == 403) {
        fail(StreamError::NeedsPassword);
    } else if (m_status < 200 || m_status > 299) {
        fail(StreamError::BadStatus);
    }
}

void MjpegStreamParser::headerLine(QByteArrayView line)
{
    const auto [name, value] = splitHeader(line);
    if (name == "transfer-encoding" && value.toByteArray().toLower().contains("chunked"))
        m_chunked = true;
}

void MjpegStreamParser::partHeader(QByteArrayView line)
{
    const auto [name, value] = splitHeader(line);
    if (name == "content-length")
        m_partLength = partLength(value);
}

void MjpegStreamParser::dechunk()
{
    qsizetype pos = 0;
    while (pos < m_raw.size() && !m_chunksDone && m_chunkError == StreamError::None) {
        if (m_chunkLeft > 0) {
            const qsizetype take = qMin<qint64>(m_chunkLeft, m_raw.size() - pos);
            m_body.append(QByteArrayView(m_raw).sliced(pos, take));
            pos += take;
            m_chunkLeft -= take;
            m_chunkEnd = m_chunkLeft == 0;
            continue;
        }
        const qsizetype end = m_raw.indexOf('\n', pos);
        if (end < 0) {
            if (m_raw.size() - pos > MaxHeaderLine)
                m_chunkError = StreamError::HeaderLineTooLong;
            break;
        }
        QByteArrayView line = trimmed(QByteArrayView(m_raw).sliced(pos, end - pos));
        if (line.endsWith('\r'))
            line.chop(1);
        pos = end + 1;
        if (m_chunkEnd) {
            // The line end after a chunk's data.
            m_chunkEnd = false;
            if (!line.isEmpty())
                m_chunkError = StreamError::BadChunk;
            continue;
        }
        const qsizetype extension = line.indexOf(';');
        const QByteArrayView digits = trimmed(extension < 0 ? line : line.first(extension));
        bool ok = false;
        const qint64 size = digits.size() <= 12 ? digits.toLongLong(&ok, 16) : -1;
        if (!ok || size < 0 || digits.startsWith('-') || digits.startsWith('+'))
            m_chunkError = StreamError::BadChunk;
        else if (size == 0)
            m_chunksDone = true; // the trailer after it carries no picture
        else
            m_chunkLeft = size;
    }
    if (m_chunkError == StreamError::None)
        m_raw.remove(0, m_chunksDone ? m_raw.size() : pos);
}

bool MjpegStreamParser::between()
{
    // Between pictures: line ends and blank lines, a boundary, part
    // headers, or a picture straight away; whatever else is skipped.
    while (m_pos < m_body.size() && (m_body[m_pos] == '\r' || m_body[m_pos] == '\n'))
        ++m_pos;
    if (m_body.size() - m_pos < 2)
        return false;
    if (QByteArrayView(m_body).sliced(m_pos).startsWith(StartOfImage)) {
        m_partStart = m_pos;
        m_partLength = 0;
        m_state = State::Junk;
        return true;
    }
    const qsizetype lineStart = m_pos;
    m_headerBytes = 0;
    const std::optional<QByteArrayView> line = nextLine();
    if (!line)
        return false;
    // Any line that starts like a boundary is one: between pictures nothing
    // else can, whatever boundary the headers named (or failed to name).
    const bool boundary = line->startsWith("--");
    if (boundary || !splitHeader(*line).first.isEmpty()) {
        m_headerBytes = boundary ? 0 : m_pos - lineStart;
        m_partLength = 0;
        if (!boundary)
            partHeader(*line);
        m_state = State::PartHeaders;
    }
    return true;
}

bool MjpegStreamParser::junk()
{
    // Whatever comes before the picture's start marker is skipped, as it
    // comes, so that skipping never holds more than a byte.
    const qsizetype start = m_body.indexOf(StartOfImage, m_pos);
    if (start < 0) {
        const qsizetype keep = m_body.endsWith('\xFF') ? 1 : 0;
        if (m_body.size() - keep - m_partStart > MaxFrame)
            fail(StreamError::FrameTooLarge);
        m_pos = m_body.size() - keep;
        return false;
    }
    if (start - m_partStart > MaxFrame) {
        fail(StreamError::FrameTooLarge);
        return false;
    }
    m_pos = start;
    m_extent.reset();
    m_state = State::Frame;
    return true;
}

bool MjpegStreamParser::frame()
{
    const QByteArrayView bytes = QByteArrayView(m_body).sliced(m_pos);
    // A part's Content-Length that spans exactly one picture ends it as its
    // last byte arrives, even where the picture's structure misleads; a
    // wrong one is passed over. Whatever the pieces the bytes came in, the
    // same rule picks the same end.
    const bool sized = m_partLength > 0 && m_pos == m_partStart;
    qsizetype length = 0;
    if (sized)
        length = m_extent.find(bytes.first(qMin<qsizetype>(bytes.size(), m_partLength)));
    if (length == 0 && sized && bytes.size() >= m_partLength &&
        bytes.first(m_partLength).endsWith("\xFF\xD9"))
        length = m_partLength;
    if (length == 0 && (!sized || bytes.size() > m_partLength))
        length = m_extent.find(bytes.first(qMin<qsizetype>(bytes.size(), MaxFrame)));
    if (length == 0) {
        if (bytes.size() > MaxFrame)
            fail(StreamError::FrameTooLarge);
        return false;
    }
    m_newest = bytes.first(length).toByteArray();
    ++m_framesFound;
    m_pos += length;
    m_state = State::Between;
    return true;
}

void MjpegStreamParser::parse()
{
    while (m_error == StreamError::None) {
        bool more = false;
        switch (m_state) {
        case State::Status:
            if (const auto line = nextLine()) {
                more = true;
                if (!line->isEmpty()) {
                    statusLine(*line);
                    m_state = State::Headers;
                }
            }
            break;
        case State::Headers:
            if (const auto line = nextLine()) {
                more = true;
                if (!line->isEmpty()) {
                    headerLine(*line);
                } else {
                    m_state = State::Between;
                    if (m_chunked) {
                        m_raw = m_body.sliced(m_pos);
                        m_body.truncate(m_pos);
                        dechunk();
                    }
                }
            }
            break;
        case State::Between:
            more = between();
            break;
        case State::PartHeaders:
            if (const auto line = nextLine()) {
                more = true;
                if (line->isEmpty()) {
                    m_partStart = m_pos;
                    m_state = State::Junk;
                } else {
                    partHeader(*line);
                }
            }
            break;
        case State::Junk:
            more = junk();
            break;
        case State::Frame:
            more = frame();
            break;
        }
        if (!more)
            break;
    }
    compact();
}

void MjpegStreamParser::compact()
{
    // What lies before the current part is done with. Dropping it at most
    // once per half-full buffer keeps the cost linear.
    const qsizetype done =
        m_state == State::Frame || m_state == State::Junk ? qMin(m_pos, m_partStart) : m_pos;
    if (m_error != StreamError::None || done == 0 || done < m_body.size() / 2)
        return;
    m_body.remove(0, done);
    m_pos -= done;
    m_partStart -= done;
}
