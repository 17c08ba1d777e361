// The stream parser on byte streams as real camera servers send them, each
// fed whole and then byte by byte: the pictures it finds, when each one is
// out, and the limits.
#include "camera/MjpegStreamParser.h"

#include <QTest>

namespace {

// A small picture with the structure a camera's has: a header segment, a
// scan header, coded data with a stuffed marker byte and a restart marker.
QByteArray picture(char tag = 'a')
{
    QByteArray bytes("\xFF\xD8\xFF\xE0\x00\x06JFIF\xFF\xDB\x00\x03\x01\xFF\xDA\x00\x03\x01", 20);
    bytes += QByteArray("\x12\xFF\x00\x34\xFF\xD0", 6) + tag + QByteArray("\xFF\xD9", 2);
    return bytes;
}

// Its thumbnail's end marker lies inside a header segment.
QByteArray pictureWithThumbnail()
{
    return QByteArray("\xFF\xD8\xFF\xE1\x00\x08\xFF\xD8\xFF\xD9\xFF\xDA\x00\x02\x55\xFF\xD9", 17);
}

const QByteArray Ok10 = "HTTP/1.0 200 OK\r\n";
const QByteArray Mixed = "Content-Type: multipart/x-mixed-replace;boundary=frame\r\n\r\n";

QByteArray part(const QByteArray& jpeg, const QByteArray& headers = "Content-Type: image/jpeg\r\n",
                const QByteArray& boundary = "--frame\r\n")
{
    return boundary + headers + "\r\n" + jpeg + "\r\n";
}

QByteArray withLength(const QByteArray& jpeg, qsizetype length)
{
    return part(jpeg, "Content-Type: image/jpeg\r\nContent-Length: " + QByteArray::number(length) +
                          "\r\n");
}

// The body in chunks of seven bytes, each size with an extension.
QByteArray chunked(const QByteArray& body)
{
    QByteArray out;
    for (qsizetype i = 0; i < body.size(); i += 7) {
        const QByteArray piece = body.mid(i, 7);
        out += QByteArray::number(piece.size(), 16) + ";x=1\r\n" + piece + "\r\n";
    }
    return out + "0\r\n\r\n";
}

// Where the picture ends that comes first after from.
qsizetype endOf(const QByteArray& stream, const QByteArray& jpeg, qsizetype from)
{
    const qsizetype at = stream.indexOf(jpeg, from);
    return at < 0 ? -1 : at + jpeg.size();
}

} // namespace

class tst_MjpegStreamParser : public QObject {
    Q_OBJECT

private slots:
    void streams_data();
    void streams();
};

void tst_MjpegStreamParser::streams_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QByteArray>("jpeg");
    QTest::addColumn<int>("frames");
    QTest::addColumn<StreamError>("error");

    const QByteArray a = picture();
    const QByteArray two = part(a) + part(picture('b'));
    QTest::newRow("HTTP/1.0, boundary without quotes")
        << Ok10 + Mixed + two << a << 2 << StreamError::None;
    QTest::newRow("HTTP/1.1, boundary quoted with leading --")
        << "HTTP/1.1 200 OK\r\nContent-Type: multipart/x-mixed-replace; "
           "boundary=\"--frame\"\r\n\r\n" +
               part(a, "Content-Type: image/jpeg\r\n", "----frame\r\n") + part(a)
        << a << 2 << StreamError::None;
    QTest::newRow("chunked") << "HTTP/1.1 200 OK\r\nTRANSFER-ENCODING: Chunked\r\n" +
                                    Mixed.mid(0, Mixed.size() - 2) + "\r\n" + chunked(two)
                             << a << 2 << StreamError::None;
    QTest::newRow("first boundary missing, bare LF, blank lines")
        << QByteArray("HTTP/1.0 200 OK\nContent-Type: multipart/x-mixed-replace;boundary=x\n\n"
                      "content-type: image/jpeg\nX-Timestamp: 1.5\n\n") +
               a + "\n\n\n--x\nCONTENT-LENGTH: " + QByteArray::number(a.size()) + "\n\n" + a
        << a << 2 << StreamError::None;
    QTest::newRow("Content-Length right")
        << Ok10 + Mixed + withLength(a, a.size()) << a << 1 << StreamError::None;
    QTest::newRow("Content-Length zero")
        << Ok10 + Mixed + withLength(a, 0) + part(a) << a << 2 << StreamError::None;
    QTest::newRow("Content-Length too large")
        << Ok10 + Mixed + withLength(a, 500) + part(a) << a << 2 << StreamError::None;
    QTest::newRow("Content-Length too small")
        << Ok10 + Mixed + withLength(a, 5) + part(a) << a << 2 << StreamError::None;
    QTest::newRow("Content-Length not a number")
        << Ok10 + Mixed + part(a, "Content-Length: many\r\n") << a << 1 << StreamError::None;
    QTest::newRow("thumbnail inside") << Ok10 + Mixed + part(pictureWithThumbnail())
                                      << pictureWithThumbnail() << 1 << StreamError::None;
    // A segment length that overruns the end: only Content-Length can tell.
    const QByteArray misleading("\xFF\xD8\xFF\xE0\x7F\x00\x11\xFF\xD9", 9);
    QTest::newRow("Content-Length ends a misleading picture")
        << Ok10 + Mixed + withLength(misleading, misleading.size()) << misleading << 1
        << StreamError::None;
    QTest::newRow("junk before the start marker")
        << Ok10 + Mixed + part(QByteArray("\0\r\n\xFF junk", 9) + a) << a << 1 << StreamError::None;
    QTest::newRow("no multipart type named")
        << "HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\n\r\n" + two << a << 2
        << StreamError::None;
    QTest::newRow("pictures back to back, no parts")
        << Ok10 + "\r\n" + a + a << a << 2 << StreamError::None;

    QTest::newRow("not HTTP") << QByteArray("SSH-2.0-OpenSSH_9.2\r\n") << a << 0
                              << StreamError::NotHttp;
    QTest::newRow("not found") << QByteArray("HTTP/1.1 404 Not Found\r\n\r\n") << a << 0
                               << StreamError::NotFound;
    QTest::newRow("password") << QByteArray("HTTP/1.0 401 Unauthorized\r\n\r\n") << a << 0
                              << StreamError::NeedsPassword;
    QTest::newRow("server error") << QByteArray("HTTP/1.0 500 Oops\r\n\r\n") << a << 0
                                  << StreamError::BadStatus;
    QTest::newRow("bad chunk size")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n") << a << 0
        << StreamError::BadChunk;
    QTest::newRow("header line too long")
        << Ok10 + "X: " + QByteArray(9000, 'y') << a << 0 << StreamError::HeaderLineTooLong;
    QByteArray many = Ok10;
    for (int i = 0; i < 700; ++i)
        many += "X-Filler: " + QByteArray(90, 'f') + "\r\n";
    QTest::newRow("header block too large") << many << a << 0 << StreamError::HeaderBlockTooLarge;
    QTest::newRow("part headers too large") << Ok10 + Mixed + "--frame\r\n" + many.mid(Ok10.size())
                                            << a << 0 << StreamError::HeaderBlockTooLarge;
    const QByteArray huge(MjpegStreamParser::MaxFrame + 10, 'z');
    QTest::newRow("picture too large") << Ok10 + Mixed + part(QByteArray("\xFF\xD8", 2) + huge) << a
                                       << 0 << StreamError::FrameTooLarge;
    QTest::newRow("junk too large")
        << Ok10 + Mixed + part(huge) << a << 0 << StreamError::FrameTooLarge;
}

void tst_MjpegStreamParser::streams()
{
    QFETCH(QByteArray, stream);
    QFETCH(QByteArray, jpeg);
    QFETCH(int, frames);
    QFETCH(StreamError, error);

    MjpegStreamParser whole;
    whole.feed(stream);
    QCOMPARE(whole.error(), error);
    QCOMPARE(whole.framesFound(), frames);
    const std::optional<QByteArray> newest = whole.takeFrame();
    QCOMPARE(newest.has_value(), frames > 0);
    if (newest)
        QCOMPARE(newest->size(), jpeg.size());
    QVERIFY(!whole.takeFrame());

    // Byte by byte, each picture is out as its last byte arrives.
    MjpegStreamParser bytewise;
    int seen = 0;
    qsizetype lastEnd = 0;
    for (qsizetype i = 0; i < stream.size(); ++i) {
        bytewise.feed(QByteArrayView(stream).sliced(i, 1));
        if (const std::optional<QByteArray> frame = bytewise.takeFrame()) {
            ++seen;
            QCOMPARE(frame->size(), jpeg.size());
            if (!stream.contains("Transfer-Encoding") && !stream.contains("TRANSFER-ENCODING"))
                QCOMPARE(i + 1, endOf(stream, *frame, lastEnd));
            lastEnd = i + 1;
        }
    }
    QCOMPARE(bytewise.error(), error);
    QCOMPARE(seen, frames);
}

QTEST_APPLESS_MAIN(tst_MjpegStreamParser)
#include "tst_MjpegStreamParser.moc"
