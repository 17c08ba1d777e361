#pragma once

#include "tools/carsim/CarsimOptions.h"
#include "tools/carsim/CarsimText.h"
#include "tools/carsim/DriveDecoder.h"

#include <QByteArray>
#include <QObject>
#include <QTcpServer>

#include <functional>

class QTcpSocket;

// The stand-in for the car's server: accepts one client after another and
// prints what each one sends.
class CarsimServer : public QObject {
    Q_OBJECT

public:
    using LineSink = std::function<void(const QString&)>;

    CarsimServer(const CarsimOptions& options, LineSink print, QObject* parent = nullptr);
    ~CarsimServer() override;

    // Starts listening and prints the first line; on failure returns false
    // and says why in `error`.
    bool start(QString* error);
    // Ends the current connection, stops listening and prints the summary.
    void stop();

    // Where it listens, as printed in the first line; empty before start().
    QString listeningEndpoint() const;

signals:
    // What a car would act on, as each thing arrives.
    void clientOpened(const QString& endpoint);
    void commandHeard(int code);
    void clientClosed();

private:
    struct Client {
        QTcpSocket* socket = nullptr;
        QString endpoint;
        DriveDecoder decoder;
        int messages = 0;
        qint64 junkSent = 0;
    };

    void acceptPending();
    void readClient();
    void clientGone();
    void topUpFlood();
    // Prints and counts the events; returns false once the connection has
    // reached its --close-after limit.
    bool report(const QList<DecoderEvent>& events);
    // Ends the current client. `drain` reads and reports what it has still
    // sent; `reason` says in the output why the connection ended.
    void endClient(const QString& reason, bool drain);
    void print(const QString& text);

    CarsimOptions m_options;
    LineSink m_print;
    QTcpServer m_server;
    Client m_client;
    Tally m_tally;
    QByteArray m_junk;
    bool m_stopped = false;
};
