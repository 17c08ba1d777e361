#pragma once

#include "camera/CameraAddress.h"
#include "camera/FrameDecoder.h"
#include "camera/MjpegStreamParser.h"

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <deque>
#include <memory>
#include <optional>

class QTcpSocket;

// Whether a decoded picture is stale, so that a newer one, surely on its
// way, is worth a short wait: after a spell in which nothing ran (a busy
// window, a stopped program) the picture in hand waited long for the UI
// thread after it was decoded (waitedMs), or long since it came
// (sinceReceivedMs) for a decoder that takes typicalDecodeMs a picture, or
// it came out of a pile-up of pictures read at once (backlog).
bool isStalePicture(qint64 waitedMs, qint64 sinceReceivedMs, int typicalDecodeMs, bool backlog);

// The camera's picture, live: reads the MJPEG stream at an http:// address,
// has its pictures decoded off this thread, and hands on the newest one
// only. Whatever goes wrong (refused, not found, not a camera, too slow,
// ended) it says why and tries again by itself, at once at first and then
// less often, never more than 2 s apart; the first picture shown clears it.
// Lives on the UI thread and never blocks it.
class CameraStream : public QObject {
    Q_OBJECT

public:
    // The longest wait for the connection, status line and headers, and
    // then between two complete pictures.
    static constexpr int AnswerTimeoutMs = 3000;
    static constexpr int FirstRetryMs = 250;
    static constexpr int LongestRetryMs = 2000;

    explicit CameraStream(QObject* parent = nullptr);
    ~CameraStream() override;

    void start(const QUrl& url);
    void stop();
    bool isRunning() const { return m_running; }
    NoPictureReason reason() const { return m_reason; }
    // Since the last picture shown; very large while none has been.
    qint64 msSinceFrame() const;
    // Over the last 2 s of pictures shown.
    double framesPerSecond() const;
    // The camera's own size of the pictures; those handed on may be
    // smaller, decoded no larger than drawnSize.
    QSize pictureSize() const { return m_size; }
    void setDrawnSize(const QSize& size);
    // The picture last handed on, at the camera's own size.
    QImage wholePicture() const;

signals:
    void picture(const QImage& image);
    void reasonChanged(NoPictureReason reason);

private:
    void connectNow();
    void sendRequest();
    void readStream();
    void socketFailed();
    void showDecoded();
    void showHeld();
    void present(DecodedFrame frame);
    void fail(NoPictureReason reason);
    void dropConnection();
    void setReason(NoPictureReason reason);

    QUrl m_url;
    bool m_running = false;
    NoPictureReason m_reason = NoPictureReason::None;
    QPointer<QTcpSocket> m_socket;
    std::optional<MjpegStreamParser> m_parser;
    // Every picture handed to the decoder carries a number of its own, rising;
    // those below m_connectionFirst came on a connection that is gone and
    // are not shown.
    quint64 m_lastSubmitted = 0;
    quint64 m_connectionFirst = 1;
    // The pictures still in the decoder's hands, oldest first: when each
    // came, and whether among a pile-up.
    struct Submitted {
        quint64 generation;
        qint64 receivedMs;
        bool backlog;
    };
    std::deque<Submitted> m_submitted;
    // A stale picture held back while a newer one is decoded.
    std::optional<DecodedFrame> m_held;
    QTimer m_holdTimer;
    QTimer m_answerTimer;
    QTimer m_retryTimer;
    int m_retryMs = FirstRetryMs;
    QElapsedTimer m_clock;
    std::optional<qint64> m_lastShownMs;
    std::deque<qint64> m_shownMs;
    QSize m_size;
    QByteArray m_shownJpeg;
    QThread m_decoderThread;
    std::unique_ptr<FrameDecoder> m_decoder;
};
