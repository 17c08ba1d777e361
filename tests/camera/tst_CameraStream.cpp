// The camera stream through a real socket on loopback, against a camera
// server that misbehaves on request.
#include "camera/CameraStream.h"
#include "support/FakeCameraServer.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

namespace {

// Frame i of a flood is told apart by its width.
QSize floodSize(int i)
{
    return QSize(16 + 8 * i, 16);
}

} // namespace

class tst_CameraStream : public QObject {
    Q_OBJECT

private slots:
    void picturesArrive();
    void newestAfterBusyWindow();
    void stalePictures_data();
    void stalePictures();
    void failures_data();
    void failures();
    void backOffThenBack();
};

void tst_CameraStream::picturesArrive()
{
    FakeCameraServer server;
    // A corrupt picture among good ones is passed over, not a failure.
    const QByteArray corrupt = QByteArray("\xFF\xD8\xFF\xDB\x00\x04junk\xFF\xD9", 12);
    server.setFrames({FakeCameraServer::jpeg(QSize(64, 48)), corrupt}, 20);
    CameraStream stream;
    QSignalSpy pictures(&stream, &CameraStream::picture);
    QSignalSpy reasons(&stream, &CameraStream::reasonChanged);
    stream.start(server.url(QStringLiteral("driver:s3cret")));

    QTRY_VERIFY_WITH_TIMEOUT(pictures.size() >= 5, Timeout);
    QCOMPARE(pictures.last().at(0).value<QImage>().size(), QSize(64, 48));
    QCOMPARE(stream.pictureSize(), QSize(64, 48));
    QVERIFY(stream.msSinceFrame() < 3000);
    QVERIFY(stream.framesPerSecond() > 0.0);
    QCOMPARE(reasons.size(), 0);
    const QByteArray request = server.lastRequest();
    QVERIFY2(request.startsWith("GET /?action=stream HTTP/1.1\r\n"), request.constData());
    QVERIFY(request.contains("\r\nHost: 127.0.0.1:" + QByteArray::number(server.port()) + "\r\n"));
    QVERIFY(request.contains("\r\nConnection: close\r\n"));
    QVERIFY(request.contains("\r\nAuthorization: Basic " + QByteArray("driver:s3cret").toBase64() +
                             "\r\n"));
}

void tst_CameraStream::newestAfterBusyWindow()
{
    FakeCameraServer server;
    CameraStream stream;
    QSignalSpy pictures(&stream, &CameraStream::picture);
    stream.start(server.url());
    QSignalSpy requests(&server, &FakeCameraServer::requestArrived);
    QTRY_COMPARE_WITH_TIMEOUT(requests.size(), 1, Timeout);
    server.sendNow({FakeCameraServer::jpeg(floodSize(0))});
    QTRY_COMPARE_WITH_TIMEOUT(pictures.size(), 1, Timeout);

    // A flood of frames while the window is busy: the newest is shown at
    // once, not after the older ones. The system may still hand the flood
    // over in two or three reads, each of which may show its own newest.
    constexpr int Flood = 20;
    QList<QByteArray> flood;
    for (int i = 1; i <= Flood; ++i)
        flood.append(FakeCameraServer::jpeg(floodSize(i)));
    server.sendNow(flood);
    QElapsedTimer busy;
    busy.start();
    while (busy.elapsed() < 500) {
    }
    QTRY_VERIFY_WITH_TIMEOUT(pictures.last().at(0).value<QImage>().size() == floodSize(Flood),
                             Timeout);
    QVERIFY2(pictures.size() <= 1 + 3, QByteArray::number(pictures.size()));
}

void tst_CameraStream::stalePictures_data()
{
    QTest::addColumn<qint64>("waitedMs");
    QTest::addColumn<qint64>("sinceReceivedMs");
    QTest::addColumn<int>("typicalDecodeMs");
    QTest::addColumn<bool>("backlog");
    QTest::addColumn<bool>("stale");
    QTest::newRow("fresh") << qint64(1) << qint64(10) << 8 << false << false;
    // A large picture on a slow machine: every one waits for the one before
    // and takes long itself, yet each is the newest there can be.
    QTest::newRow("slow decoder") << qint64(1) << qint64(290) << 150 << false << false;
    QTest::newRow("stopped while decoding") << qint64(1) << qint64(510) << 8 << false << true;
    QTest::newRow("decoded before a stop") << qint64(505) << qint64(515) << 8 << false << true;
    QTest::newRow("out of a pile-up") << qint64(1) << qint64(9) << 8 << true << true;
}

void tst_CameraStream::stalePictures()
{
    QFETCH(qint64, waitedMs);
    QFETCH(qint64, sinceReceivedMs);
    QFETCH(int, typicalDecodeMs);
    QFETCH(bool, backlog);
    QFETCH(bool, stale);
    QCOMPARE(isStalePicture(waitedMs, sinceReceivedMs, typicalDecodeMs, backlog), stale);
}

void tst_CameraStream::failures_data()
{
    QTest::addColumn<FakeCameraServer::Mode>("mode");
    QTest::addColumn<bool>("listening");
    QTest::addColumn<QSize>("frameSize");
    QTest::addColumn<NoPictureReason>("reason");
    QTest::addColumn<int>("notBeforeMs");
    const QSize small(64, 48);
    QTest::newRow("404") << FakeCameraServer::Mode::NotFound << true << small
                         << NoPictureReason::NotFound << 0;
    QTest::newRow("not listening")
        << FakeCameraServer::Mode::Stream << false << small << NoPictureReason::Refused << 0;
    QTest::newRow("closed at once")
        << FakeCameraServer::Mode::CloseAtOnce << true << small << NoPictureReason::Refused << 0;
    // Bytes keep coming, but never a whole picture.
    QTest::newRow("trickle") << FakeCameraServer::Mode::Trickle << true << small
                             << NoPictureReason::TimedOut << CameraStream::AnswerTimeoutMs - 500;
    // Refused from its header, before its pixels take any memory.
    QTest::newRow("beyond 4K") << FakeCameraServer::Mode::Stream << true << QSize(3841, 2160)
                               << NoPictureReason::PictureTooLarge << 0;
}

void tst_CameraStream::failures()
{
    QFETCH(FakeCameraServer::Mode, mode);
    QFETCH(bool, listening);
    QFETCH(QSize, frameSize);
    QFETCH(NoPictureReason, reason);
    QFETCH(int, notBeforeMs);
    FakeCameraServer server;
    server.setMode(mode);
    server.setFrames({FakeCameraServer::jpeg(frameSize)}, 50);
    if (!listening)
        server.stopListening();
    CameraStream stream;
    QSignalSpy pictures(&stream, &CameraStream::picture);
    QSignalSpy reasons(&stream, &CameraStream::reasonChanged);
    QElapsedTimer clock;
    clock.start();
    stream.start(server.url());

    QTRY_VERIFY_WITH_TIMEOUT(!reasons.isEmpty(), Timeout);
    QCOMPARE(reasons.first().at(0).value<NoPictureReason>(), reason);
    QVERIFY2(clock.elapsed() >= notBeforeMs, QByteArray::number(clock.elapsed()));
    QVERIFY2(clock.elapsed() < notBeforeMs + 2000, QByteArray::number(clock.elapsed()));
    QCOMPARE(stream.reason(), reason);
    QVERIFY(stream.isRunning());
    QCOMPARE(pictures.size(), 0);
}

void tst_CameraStream::backOffThenBack()
{
    FakeCameraServer server;
    server.setMode(FakeCameraServer::Mode::CloseAtOnce);
    CameraStream stream;
    QSignalSpy pictures(&stream, &CameraStream::picture);
    stream.start(server.url());

    // 250 ms, doubling, then 2 s apart: six tries come within 6 s.
    QTRY_VERIFY_WITH_TIMEOUT(server.connectionCount() >= 6, Timeout);
    const QList<qint64> at = server.connectedAtMs();
    for (qsizetype i = 1; i < at.size(); ++i) {
        const qint64 gap = at[i] - at[i - 1];
        QVERIFY2(gap <= CameraStream::LongestRetryMs + 300, QByteArray::number(gap));
        QVERIFY2(gap >= CameraStream::FirstRetryMs - 50, QByteArray::number(gap));
    }
    QVERIFY(at[1] - at[0] < 1000);

    server.setMode(FakeCameraServer::Mode::Stream);
    server.setFrames({FakeCameraServer::jpeg(QSize(64, 48))}, 30);
    QTRY_VERIFY_WITH_TIMEOUT(!pictures.isEmpty(), Timeout);
    QCOMPARE(stream.reason(), NoPictureReason::None);
}

QTEST_GUILESS_MAIN(tst_CameraStream)
#include "tst_CameraStream.moc"
