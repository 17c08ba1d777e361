#pragma once

#include "tools/carsim/CarsimOptions.h"
#include "tools/carsim/JpegEncoder.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QTcpServer>
#include <QThread>
#include <QTimer>

#include <functional>

class CarsimLive;
class QTcpSocket;

// The camera on the simulated car: films the arena from the car's nose and
// serves the pictures over HTTP as an MJPEG stream, the way the cameras on
// car routers do. It films only while someone watches, one picture at a
// time on a thread of its own, so the drive port never waits for it; a
// viewer that has not taken the last picture yet skips the next.
class CarsimCamera : public QObject {
    Q_OBJECT

public:
    using LineSink = std::function<void(const QString&)>;

    CarsimCamera(const CarsimOptions& options, CarsimLive& live, LineSink print,
                 QObject* parent = nullptr);
    ~CarsimCamera() override;

    // Starts listening, silently; on failure returns false and says why in
    // `error`.
    bool start(QString* error);
    // Whether a port it cannot have should end the run.
    bool mustListen() const { return m_options.cameraPortGiven; }
    // Prints where the stream is.
    void announce();
    // The stream's address; empty before start().
    QString streamUrl() const;

private:
    enum class Wants { Request, Stream, Snapshot, Nothing };
    struct Viewer {
        Wants wants = Wants::Request;
        QByteArray request;
    };

    void acceptPending();
    void readRequest(QTcpSocket* socket);
    // Sends `response` and closes once it is out.
    void answerAndClose(QTcpSocket* socket, const QByteArray& response);
    void viewerGone(QTcpSocket* socket);
    // Films the next picture when someone watches and none is on its way.
    void filmNext();
    void pictureTaken(const QByteArray& jpeg, qint64 stamp);
    // Runs the frame clock while anybody waits for pictures.
    void watchersChanged();

    CarsimOptions m_options;
    CarsimLive& m_live;
    LineSink m_print;
    QTcpServer m_server;
    QHash<QTcpSocket*, Viewer> m_viewers;
    QTimer m_frames;
    QThread m_thread;
    QObject* m_onThread = nullptr; // lives on m_thread; what it runs, runs there
    JpegEncoder m_encoder;         // used on m_thread only
    bool m_filming = false;
};
