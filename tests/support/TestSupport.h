#pragma once

#include <QByteArray>
#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

class QTcpSocket;

// One message box as the driver saw it.
struct SeenMessage {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

// Watches for application-modal message boxes, records each one, and (unless
// told to hold them) presses its OK button, so tests never hang on a box.
class ModalWatcher : public QObject {
    Q_OBJECT

public:
    explicit ModalWatcher(QObject* parent = nullptr);

    const QList<SeenMessage>& seen() const { return m_seen; }
    // Leave boxes open until closeOpenBoxes() is called.
    void setHoldOpen(bool hold) { m_hold = hold; }
    bool isBoxOpen() const;
    void closeOpenBoxes();

private:
    void poll();

    QTimer m_timer;
    QList<SeenMessage> m_seen;
    QList<const QMessageBox*> m_recorded;
    bool m_hold = false;
};

// A throw-away program folder with an optional settings file in it.
class TempAppDir {
public:
    TempAppDir();
    QString path() const;
    QString settingsPath() const;
    // Writes a settings file for host and port, lines ending in CR LF.
    void writeSettings(const QString& host, const QString& port) const;
    void writeRaw(const QByteArray& bytes) const;
    QByteArray readRaw() const;
    bool settingsExist() const;

private:
    QTemporaryDir m_dir;
};

// A stand-in for the car's server on 127.0.0.1, port chosen by the system.
// Records every byte each client sends.
class LoopbackPeer : public QObject {
    Q_OBJECT

public:
    explicit LoopbackPeer(QObject* parent = nullptr);
    ~LoopbackPeer() override;

    quint16 port() const { return m_server.serverPort(); }
    QString portText() const { return QString::number(port()); }
    int connectionCount() const { return m_connections; }
    int openConnections() const;
    // Everything received on all connections, in arrival order.
    QByteArray received() const { return m_received; }
    void clearReceived() { m_received.clear(); }
    // The client port of the most recent connection.
    quint16 lastClientPort() const { return m_lastClientPort; }
    // Closes every client connection from this side.
    void closeClients();
    // Stops accepting; later connects are refused.
    void stopListening();

signals:
    void bytesArrived();
    void clientConnected();
    void clientDisconnected();

private:
    QTcpServer m_server;
    QList<QTcpSocket*> m_clients;
    QByteArray m_received;
    int m_connections = 0;
    quint16 m_lastClientPort = 0;
};

// Splits a received stream into two-byte drive messages; returns the codes
// as a string of digits, and "?" for anything that is not a proper message.
QString decodeDriveStream(const QByteArray& bytes);
