#include "tools/carsim/CarsimServer.h"

#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTime>
#include <QTimer>

namespace {

// Flood data is queued only while less than this is waiting to go out, so a
// client that never reads costs us a fixed amount of memory.
constexpr qint64 kFloodLowWater = 64 * 1024;
constexpr qsizetype kJunkBlock = 4096;
// How long a connection we close may take to send what it still holds.
constexpr int kCloseGraceMs = 1000;

} // namespace

CarsimServer::CarsimServer(const CarsimOptions& options, LineSink print, QObject* parent)
    : QObject(parent), m_options(options), m_print(std::move(print))
{
    connect(&m_server, &QTcpServer::newConnection, this, &CarsimServer::acceptPending);
}

CarsimServer::~CarsimServer()
{
    // The listening socket owns the client's socket and would end it while
    // our members are already gone; end it first, without telling us.
    if (m_client.socket) {
        m_client.socket->disconnect(this);
        delete m_client.socket;
    }
}

bool CarsimServer::start(QString* error)
{
    if (!m_server.listen(m_options.listenAddress, m_options.port)) {
        if (error)
            *error = listenError(m_server, endpointText(m_options.listenAddress, m_options.port));
        return false;
    }
    m_print(QStringLiteral("velmora-carsim listening on %1").arg(listeningEndpoint()));
    if (m_options.closeAfter > 0)
        m_print(QStringLiteral("fault mode: each connection ends after %1 messages")
                    .arg(m_options.closeAfter));
    if (m_options.flood) {
        m_print(QStringLiteral("fault mode: each client is flooded with junk bytes"));
        m_junk.resize(kJunkBlock);
        QRandomGenerator::global()->generate(m_junk.begin(), m_junk.end());
    }
    return true;
}

void CarsimServer::stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    m_server.close();
    if (m_client.socket)
        endClient(QStringLiteral("at exit"), true);
    for (const QString& line : m_tally.summaryLines())
        m_print(line);
}

QString CarsimServer::listeningEndpoint() const
{
    if (!m_server.isListening())
        return {};
    return endpointText(m_server.serverAddress(), m_server.serverPort());
}

void CarsimServer::acceptPending()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        const QString endpoint = endpointText(socket->peerAddress(), socket->peerPort());
        if (m_client.socket)
            endClient(QStringLiteral("replaced by %1").arg(endpoint), true);

        m_client = Client{};
        m_client.socket = socket;
        m_client.endpoint = endpoint;
        m_tally.countConnection();
        print(QStringLiteral("opened %1").arg(endpoint));
        emit clientOpened(endpoint);

        connect(socket, &QTcpSocket::readyRead, this, &CarsimServer::readClient);
        connect(socket, &QTcpSocket::disconnected, this, &CarsimServer::clientGone);
        if (m_options.flood) {
            connect(socket, &QTcpSocket::bytesWritten, this, [this](qint64 written) {
                m_client.junkSent += written;
                topUpFlood();
            });
            topUpFlood();
        }
        if (socket->bytesAvailable() > 0)
            readClient();
    }
}

void CarsimServer::readClient()
{
    if (!m_client.socket)
        return;
    if (!report(m_client.decoder.feed(m_client.socket->readAll())))
        endClient(QStringLiteral("after %1 messages, --close-after").arg(m_client.messages), false);
}

void CarsimServer::clientGone()
{
    if (!m_client.socket)
        return;
    const auto error = m_client.socket->error();
    if (error == QAbstractSocket::RemoteHostClosedError ||
        error == QAbstractSocket::UnknownSocketError)
        endClient(QStringLiteral("by the client"), true);
    else
        endClient(QStringLiteral("lost: %1").arg(m_client.socket->errorString()), true);
}

void CarsimServer::topUpFlood()
{
    QTcpSocket* socket = m_client.socket;
    while (socket && socket->state() == QAbstractSocket::ConnectedState &&
           socket->bytesToWrite() < kFloodLowWater) {
        if (socket->write(m_junk) <= 0)
            break;
    }
}

bool CarsimServer::report(const QList<DecoderEvent>& events)
{
    for (const DecoderEvent& event : events) {
        m_tally.count(event);
        print(describeEvent(event));
        if (event.kind == DecoderEvent::Kind::Message) {
            emit commandHeard(event.code);
            ++m_client.messages;
            if (m_options.closeAfter > 0 && m_client.messages >= m_options.closeAfter)
                return false;
        }
    }
    return true;
}

void CarsimServer::endClient(const QString& reason, bool drain)
{
    QTcpSocket* socket = m_client.socket;
    socket->disconnect(this);
    if (drain) {
        // Bytes may have reached the system but not yet us, for example
        // when the stop signal and the data come in the same instant; fetch
        // them so no message goes unreported.
        socket->waitForReadyRead(0);
        if (report(m_client.decoder.feed(socket->readAll())))
            report(m_client.decoder.finish());
    }
    QString line = QStringLiteral("closed %1 (%2), %3 %4")
                       .arg(m_client.endpoint, reason)
                       .arg(m_client.messages)
                       .arg(m_client.messages == 1 ? "message" : "messages");
    if (m_options.flood)
        line += QStringLiteral(", %1 junk bytes sent").arg(m_client.junkSent);
    print(line);

    m_client = Client{};
    emit clientClosed();
    // Close politely so the client sees an orderly end, but do not wait for
    // a client that never reads what is still queued for it.
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState) {
        socket->deleteLater();
    } else {
        QTimer::singleShot(kCloseGraceMs, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
    }
}

void CarsimServer::print(const QString& text)
{
    m_print(stampedLine(QTime::currentTime(), text));
}
