#pragma once

#include <QByteArray>
#include <QColor>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QTcpServer>
#include <QTimer>
#include <QUrl>

class QTcpSocket;

// A camera server on 127.0.0.1, port chosen by the system, that misbehaves
// on request. Every client's request is answered as the mode says once its
// header block has come.
class FakeCameraServer : public QObject {
    Q_OBJECT

public:
    enum class Mode {
        Stream,      // a multipart stream of the frames, one every interval
        CloseAtOnce, // accepts and closes without a byte
        NotFound,    // a 404 answer
        Trickle,     // the stream's headers, then a byte every 100 ms
    };

    explicit FakeCameraServer(QObject* parent = nullptr);
    ~FakeCameraServer() override;

    // A JPEG picture of one colour, made as a camera would.
    static QByteArray jpeg(QSize size, QColor colour = Qt::darkCyan);

    quint16 port() const { return m_port; }
    // The stream's address on this server, with user info when given.
    QUrl url(const QString& userInfo = {}) const;
    void setMode(Mode mode) { m_mode = mode; }
    // In Stream mode, the frames sent in turn, one every intervalMs (none
    // while the list is empty).
    void setFrames(const QList<QByteArray>& jpegs, int intervalMs);
    // Writes all of jpegs at once to every streaming client.
    void sendNow(const QList<QByteArray>& jpegs);
    // Sends the first half of a frame to every streaming client, then
    // nothing more.
    void stallMidFrame(const QByteArray& jpeg);
    // Stops accepting, so connects are refused; and accepts again.
    void stopListening();
    bool listenAgain();

    int connectionCount() const { return int(m_connectedAtMs.size()); }
    // When each connection came, in ms of one clock.
    QList<qint64> connectedAtMs() const { return m_connectedAtMs; }
    QByteArray lastRequest() const { return m_lastRequest; }

signals:
    void requestArrived();

private:
    void accept();
    void answer(QTcpSocket* client);
    void sendNext();
    void trickle();

    QTcpServer m_server;
    quint16 m_port = 0;
    Mode m_mode = Mode::Stream;
    QList<QByteArray> m_frames;
    qsizetype m_next = 0;
    QTimer m_frameTimer;
    QTimer m_trickleTimer;
    QList<QPointer<QTcpSocket>> m_streaming;
    QList<QPointer<QTcpSocket>> m_trickling;
    QByteArray m_trickleBytes;
    qsizetype m_trickled = 0;
    QElapsedTimer m_clock;
    QList<qint64> m_connectedAtMs;
    QByteArray m_lastRequest;
};
