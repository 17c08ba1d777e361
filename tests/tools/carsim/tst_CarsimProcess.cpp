#include <QDebug>
#include <QHostAddress>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

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
// system chose, with everything it prints collected.
class Simulator {
public:
    explicit Simulator(QStringList extra = {})
    {
        QStringList arguments{QStringLiteral("--listen"), QStringLiteral("127.0.0.1"),
                              QStringLiteral("--port"), QStringLiteral("0")};
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

private:
    QProcess m_process;
    QString m_output;
    quint16 m_port = 0;
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

QTEST_GUILESS_MAIN(tst_CarsimProcess)
#include "tst_CarsimProcess.moc"
