#include <QDebug>
#include <QHostAddress>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSize>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <turbojpeg.h>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr int kTimeoutMs = 10000;

// Bytes as they go on the wire, with "|" for 0x00.
QByteArray wire(const char* text)
{
    QByteArray bytes(text);
    bytes.replace('|', '\0');
    return bytes;
}

// The simulator running as its own process on 127.0.0.1 and a port the
// system chose, with everything it prints collected. Its camera is off
// unless `extra` gives it a port.
class Simulator {
public:
    explicit Simulator(QStringList extra = {})
    {
        QStringList arguments{QStringLiteral("--listen"), QStringLiteral("127.0.0.1"),
                              QStringLiteral("--port"), QStringLiteral("0")};
        if (!extra.contains(QLatin1String("--camera-port")))
            arguments << QStringLiteral("--no-camera");
        m_process.start(QStringLiteral(VELMORA_CARSIM_PATH), arguments + extra);
    }

    ~Simulator()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(kTimeoutMs);
        }
    }

    // Waits for the first line and reads the port from it.
    bool waitListening()
    {
        static const QRegularExpression first(
            QStringLiteral("^velmora-carsim listening on 127\\.0\\.0\\.1:(\\d+)$"),
            QRegularExpression::MultilineOption);
        if (!waitFor(first))
            return false;
        m_port = first.match(output()).captured(1).toUShort();
        return m_port != 0;
    }

    // Waits for the camera's line and reads its port from it.
    bool waitCamera()
    {
        static const QRegularExpression line(
            QStringLiteral("^camera stream on http://127\\.0\\.0\\.1:(\\d+)/\\?action=stream$"),
            QRegularExpression::MultilineOption);
        if (!waitFor(line))
            return false;
        m_cameraPort = line.match(output()).captured(1).toUShort();
        return m_cameraPort != 0;
    }

    // Waits until the output contains `pattern` (a string or a regular
    // expression); shows the output when it never does.
    template <typename Pattern> bool waitFor(const Pattern& pattern)
    {
        if (QTest::qWaitFor([&] { return output().contains(pattern); }, kTimeoutMs))
            return true;
        qWarning().noquote() << "not seen:" << pattern << "in output:\n" << output();
        return false;
    }

    // Stops the simulator as Ctrl+C or a service manager would.
    bool terminate()
    {
        m_process.terminate();
        return m_process.waitForFinished(kTimeoutMs) &&
               m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    }

    QString output()
    {
        // A console program on Windows ends its lines with CR LF.
        m_output += QString::fromLocal8Bit(m_process.readAllStandardOutput());
        m_output.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        return m_output;
    }

    // The printed lines that begin with a time of day, without it.
    QStringList eventLines()
    {
        static const QRegularExpression stamp(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d "));
        QStringList lines;
        for (const QString& line : output().split(QLatin1Char('\n'))) {
            if (stamp.match(line).hasMatch())
                lines << line.mid(13);
        }
        return lines;
    }

    quint16 port() const { return m_port; }
    quint16 cameraPort() const { return m_cameraPort; }

private:
    QProcess m_process;
    QString m_output;
    quint16 m_port = 0;
    quint16 m_cameraPort = 0;
};

// Connects a client to the simulator; null on failure.
std::unique_ptr<QTcpSocket> connectTo(quint16 port)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, port);
    if (!socket->waitForConnected(kTimeoutMs))
        return nullptr;
    return socket;
}

// Sends one HTTP request to the camera and reads what comes back until
// `enough` says so or the camera closes.
QByteArray askCamera(quint16 port, const QByteArray& request,
                     const std::function<bool(const QByteArray&)>& enough)
{
    auto viewer = connectTo(port);
    if (!viewer)
        return {};
    viewer->write(request);
    QByteArray received;
    (void)QTest::qWaitFor(
        [&] {
            received += viewer->readAll();
            return enough(received) || viewer->state() == QAbstractSocket::UnconnectedState;
        },
        kTimeoutMs);
    return received + viewer->readAll();
}

// The size of the picture that `jpeg` decodes to; empty when it does not.
// TurboJPEG rather than QImage, whose JPEG plugin the Windows build lacks.
QSize decodedSize(const QByteArray& jpeg)
{
    tjhandle decoder = tjInitDecompress();
    const auto* bytes = reinterpret_cast<const unsigned char*>(jpeg.constData());
    const auto size = static_cast<unsigned long>(jpeg.size());
    int width = 0, height = 0, subsampling = 0, colours = 0;
    QSize decoded;
    if (tjDecompressHeader3(decoder, bytes, size, &width, &height, &subsampling, &colours) == 0) {
        std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height * 3);
        if (tjDecompress2(decoder, bytes, size, pixels.data(), width, 0, height, TJPF_RGB,
                          TJFLAG_STOPONWARNING) == 0)
            decoded = QSize(width, height);
    }
    tjDestroy(decoder);
    return decoded;
}

// The header block at the start of `bytes` and what follows it.
std::pair<QByteArray, QByteArray> splitHead(const QByteArray& bytes)
{
    const qsizetype end = bytes.indexOf("\r\n\r\n");
    if (end < 0)
        return {};
    return {bytes.left(end + 2), bytes.mid(end + 4)};
}

QByteArray headerValue(const QByteArray& head, const QByteArray& name)
{
    for (const QByteArray& line : head.split('\n')) {
        if (line.startsWith(name + ": "))
            return line.mid(name.size() + 2).trimmed();
    }
    return {};
}

QString clientEndpoint(const QTcpSocket& socket)
{
    return QStringLiteral("127.0.0.1:%1").arg(socket.localPort());
}

} // namespace

class tst_CarsimProcess : public QObject {
    Q_OBJECT

private slots:
    void commandLineExitStatus_data();
    void commandLineExitStatus();
    void busyPortIsReported();
    void printsMessagesAndSummary();
    void closeAfterEndsEachConnection();
    void newClientReplacesOld();
    void floodSendsJunkAndStillListens();
    void cameraStreamsPictures();
    void cameraAnswersOtherRequests_data();
    void cameraAnswersOtherRequests();
};

void tst_CarsimProcess::commandLineExitStatus_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("stdoutPart");
    QTest::addColumn<QString>("stderrPart");

    QTest::newRow("help") << QStringList{"--help"} << 0 << "--close-after"
                          << "";
    QTest::newRow("unknown") << QStringList{"--speed", "9"} << 2 << ""
                             << "speed";
    QTest::newRow("bad address") << QStringList{"--listen", "300.1.1.1"} << 2 << ""
                                 << "300.1.1.1";
}

void tst_CarsimProcess::commandLineExitStatus()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, stdoutPart);
    QFETCH(QString, stderrPart);

    QProcess process;
    process.start(QStringLiteral(VELMORA_CARSIM_PATH), arguments);
    QVERIFY(process.waitForFinished(kTimeoutMs));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), status);
    const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(process.readAllStandardError());
    QVERIFY2(out.contains(stdoutPart), qPrintable(out));
    QVERIFY2(err.contains(stderrPart), qPrintable(err));
    // After bad arguments nothing listens, so nothing is printed.
    if (status != 0)
        QVERIFY2(out.isEmpty(), qPrintable(out));
}

void tst_CarsimProcess::busyPortIsReported()
{
    QTcpServer holder;
    QVERIFY(holder.listen(QHostAddress::LocalHost, 0));

    QProcess process;
    process.start(QStringLiteral(VELMORA_CARSIM_PATH),
                  {QStringLiteral("--headless"), QStringLiteral("--port"),
                   QString::number(holder.serverPort())});
    QVERIFY(process.waitForFinished(kTimeoutMs));
    QCOMPARE(process.exitCode(), 1);
    const QString err = QString::fromLocal8Bit(process.readAllStandardError());
    QVERIFY2(err.contains(QLatin1String("busy")), qPrintable(err));
}

void tst_CarsimProcess::printsMessagesAndSummary()
{
    Simulator sim;
    QVERIFY(sim.waitListening());

    auto first = connectTo(sim.port());
    QVERIFY(first);
    const QString firstEnd = clientEndpoint(*first);
    QVERIFY(sim.waitFor(QStringLiteral("opened ") + firstEnd));
    // Split so a message straddles two writes.
    first->write(wire("2|5"));
    first->waitForBytesWritten(kTimeoutMs);
    first->write(wire("|A7|"));
    QVERIFY(sim.waitFor(QStringLiteral("7 reverse, left")));
    first->disconnectFromHost();
    QVERIFY(sim.waitFor(QStringLiteral("closed %1 (by the client), 3 messages").arg(firstEnd)));

    // A second client leaves half a message behind when the simulator stops.
    auto second = connectTo(sim.port());
    QVERIFY(second);
    const QString secondEnd = clientEndpoint(*second);
    second->write("9");
    second->waitForBytesWritten(kTimeoutMs);
    QVERIFY(sim.waitFor(QStringLiteral("opened ") + secondEnd));
    QVERIFY(sim.terminate());

    const QStringList expected{
        QStringLiteral("opened ") + firstEnd,
        QStringLiteral("2 forward"),
        QStringLiteral("5 stop"),
        QStringLiteral("malformed: byte 0x41 'A' where a code belongs"),
        QStringLiteral("7 reverse, left"),
        QStringLiteral("closed %1 (by the client), 3 messages").arg(firstEnd),
        QStringLiteral("opened ") + secondEnd,
        QStringLiteral("malformed: partial message at close (code 9 without its 0x00)"),
        QStringLiteral("closed %1 (at exit), 0 messages").arg(secondEnd),
    };
    QCOMPARE(sim.eventLines(), expected);
    // --no-camera, as the helper asks: nothing films.
    QVERIFY(!sim.output().contains(QLatin1String("camera")));

    const QString out = sim.output();
    QVERIFY2(out.endsWith(QStringLiteral("summary:\n"
                                         "  1 forward, left: 0\n"
                                         "  2 forward: 1\n"
                                         "  3 forward, right: 0\n"
                                         "  4 left, no drive: 0\n"
                                         "  5 stop: 1\n"
                                         "  6 right, no drive: 0\n"
                                         "  7 reverse, left: 1\n"
                                         "  8 reverse: 0\n"
                                         "  9 reverse, right: 0\n"
                                         "  messages: 3\n"
                                         "  malformed: 2\n"
                                         "  connections: 2\n")),
             qPrintable(out));
}

void tst_CarsimProcess::closeAfterEndsEachConnection()
{
    Simulator sim({QStringLiteral("--close-after"), QStringLiteral("2")});
    QVERIFY(sim.waitListening());

    for (int round = 0; round < 2; ++round) {
        auto client = connectTo(sim.port());
        QVERIFY(client);
        const QString endpoint = clientEndpoint(*client);
        QSignalSpy closed(client.get(), &QTcpSocket::disconnected);
        client->write(wire("1|3|8|"));
        QVERIFY(closed.count() > 0 || closed.wait(kTimeoutMs));
        QVERIFY(
            sim.waitFor(QStringLiteral("closed %1 (after 2 messages, --close-after), 2 messages")
                            .arg(endpoint)));
    }
    QVERIFY(sim.terminate());
    const QString out = sim.output();
    QVERIFY(!out.contains(QLatin1String("8 reverse\n")));
    QVERIFY(out.contains(QLatin1String("  messages: 4\n")));
    QVERIFY(out.contains(QLatin1String("  connections: 2\n")));
}

void tst_CarsimProcess::newClientReplacesOld()
{
    Simulator sim;
    QVERIFY(sim.waitListening());

    auto old = connectTo(sim.port());
    QVERIFY(old);
    QSignalSpy oldClosed(old.get(), &QTcpSocket::disconnected);
    old->write(wire("4|"));
    QVERIFY(sim.waitFor(QStringLiteral("4 left, no drive")));

    auto fresh = connectTo(sim.port());
    QVERIFY(fresh);
    QVERIFY(sim.waitFor(QStringLiteral("closed %1 (replaced by %2), 1 message")
                            .arg(clientEndpoint(*old), clientEndpoint(*fresh))));
    QVERIFY(oldClosed.count() > 0 || oldClosed.wait(kTimeoutMs));

    fresh->write(wire("6|"));
    QVERIFY(sim.waitFor(QStringLiteral("6 right, no drive")));
    QCOMPARE(fresh->state(), QAbstractSocket::ConnectedState);
    QVERIFY(sim.terminate());
}

void tst_CarsimProcess::floodSendsJunkAndStillListens()
{
    Simulator sim({QStringLiteral("--flood")});
    QVERIFY(sim.waitListening());

    auto client = connectTo(sim.port());
    QVERIFY(client);
    // Far more than one write's worth arrives without the client asking.
    qint64 received = 0;
    QTRY_VERIFY_WITH_TIMEOUT((received += client->readAll().size()) > 256 * 1024, kTimeoutMs);
    client->write(wire("5|"));
    QVERIFY(sim.waitFor(QStringLiteral("5 stop")));
    QVERIFY(sim.terminate());
    QVERIFY(sim.output().contains(QRegularExpression(QStringLiteral(
        "closed 127\\.0\\.0\\.1:\\d+ \\(at exit\\), 1 message, [1-9]\\d* junk bytes sent"))));
}

void tst_CarsimProcess::cameraStreamsPictures()
{
    // Without a window, where painting has no GUI application to lean on.
    Simulator sim(
        {QStringLiteral("--headless"), QStringLiteral("--camera-port"), QStringLiteral("0")});
    QVERIFY(sim.waitListening());
    QVERIFY(sim.waitCamera());

    const auto twoParts = [](const QByteArray& bytes) { return bytes.count("image/jpeg") > 2; };
    const QByteArray received = askCamera(
        sim.cameraPort(), "GET /?action=stream HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", twoParts);
    auto [head, rest] = splitHead(received);
    QVERIFY2(head.startsWith("HTTP/1.0 200 OK\r\n"), received.left(200).constData());
    const QByteArray type = headerValue(head, "Content-Type");
    QVERIFY2(type.startsWith("multipart/x-mixed-replace;boundary="), type.constData());
    const QByteArray boundary = "--" + type.mid(type.indexOf('=') + 1);
    QCOMPARE(headerValue(head, "Cache-Control").isEmpty(), false);

    for (int part = 0; part < 2; ++part) {
        QVERIFY2(rest.startsWith(boundary + "\r\n"), rest.left(100).constData());
        auto [partHead, body] = splitHead(rest.mid(boundary.size() + 2));
        QCOMPARE(headerValue(partHead, "Content-Type"), QByteArray("image/jpeg"));
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{10,}\\.\\d{6}$"))
                    .match(QString::fromLatin1(headerValue(partHead, "X-Timestamp")))
                    .hasMatch());
        const qsizetype length = headerValue(partHead, "Content-Length").toLongLong();
        QVERIFY(length > 0 && body.size() >= length + 2);
        QCOMPARE(decodedSize(body.left(length)), QSize(640, 480));
        QCOMPARE(body.mid(length, 2), QByteArray("\r\n"));
        rest = body.mid(length + 2);
    }
    QVERIFY(sim.terminate());
}

void tst_CarsimProcess::cameraAnswersOtherRequests_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QByteArray>("type");

    QTest::newRow("snapshot") << QByteArray("GET /?action=snapshot HTTP/1.0\r\n\r\n")
                              << QByteArray("HTTP/1.0 200 OK") << QByteArray("image/jpeg");
    QTest::newRow("other path") << QByteArray("GET /index.html HTTP/1.1\r\n\r\n")
                                << QByteArray("HTTP/1.0 404 Not Found") << QByteArray("text/plain");
    QTest::newRow("not GET") << QByteArray("POST /?action=stream HTTP/1.1\r\n\r\n")
                             << QByteArray("HTTP/1.0 405 Method Not Allowed")
                             << QByteArray("text/plain");
    QTest::newRow("not HTTP") << QByteArray("hello\n\n") << QByteArray("HTTP/1.0 400 Bad Request")
                              << QByteArray("text/plain");
}

void tst_CarsimProcess::cameraAnswersOtherRequests()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, status);
    QFETCH(QByteArray, type);

    Simulator sim(
        {QStringLiteral("--headless"), QStringLiteral("--camera-port"), QStringLiteral("0")});
    QVERIFY(sim.waitListening());
    QVERIFY(sim.waitCamera());
    // Each answer is whole when the camera closes the connection.
    const QByteArray received =
        askCamera(sim.cameraPort(), request, [](const QByteArray&) { return false; });
    const auto [head, body] = splitHead(received);
    QVERIFY2(head.startsWith(status + "\r\n"), received.left(200).constData());
    QCOMPARE(headerValue(head, "Content-Type"), type);
    QCOMPARE(body.size(), headerValue(head, "Content-Length").toLongLong());
    if (type == "image/jpeg")
        QCOMPARE(decodedSize(body), QSize(640, 480));
    QVERIFY(sim.terminate());
}

QTEST_GUILESS_MAIN(tst_CarsimProcess)
#include "tst_CarsimProcess.moc"
