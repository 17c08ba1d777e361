#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QImage>
#include <QMutex>
#include <QObject>
#include <QSize>
#include <atomic>
#include <optional>

// A picture decoded, or found too large to decode, for the stream that
// handed it in (its generation: pictures of a stream since stopped or
// failed are not shown).
struct DecodedFrame {
    quint64 generation = 0;
    // Null when the picture was too large. Decoded no larger than it is
    // drawn, so it may be smaller than the camera's own size.
    QImage image;
    // The camera's own size.
    QSize size;
    // The picture as it came, for a copy at full resolution.
    QByteArray jpeg;
    // Started when it was decoded.
    QElapsedTimer decoded;
};

// Decodes the camera's JPEG pictures on a thread of its own, so that the
// window never waits for one. Newest only, on both sides: a picture handed
// in while an older one still waits replaces it, and a decoded one that was
// not yet taken is replaced by the next. However slow either side is, there
// is never a backlog, and what is shown is as new as it can be.
//
// Lives on a thread its owner runs; submit() and take() may be called from
// any thread.
class FrameDecoder : public QObject {
    Q_OBJECT

public:
    // A 4K picture; larger ones are refused from their header, before any
    // memory is spent on their pixels.
    static constexpr qint64 MaxPixels = qint64(3840) * 2160;

    FrameDecoder();
    ~FrameDecoder() override;

    void submit(const QByteArray& jpeg, quint64 generation);
    std::optional<DecodedFrame> take();
    // The largest the pictures are drawn, in pixels; empty for their own
    // size. Pictures are decoded scaled down to the smallest size at least
    // this large that the decoder can make, which costs a fraction of a
    // full decode and spares the window the scaling.
    void setDrawnSize(const QSize& size);

    // A picture at its own size, decoded here and now; null if it cannot be.
    static QImage decodeWhole(const QByteArray& jpeg);

    // Pictures that could not be decoded at all, and pictures replaced
    // before they were decoded.
    int corruptFrames() const { return m_corrupt; }
    int skippedFrames() const { return m_skipped; }
    // How long a decode takes, on a running average.
    int typicalDecodeMs() const { return m_typicalDecodeUs / 1000; }

signals:
    // A decoded picture waits to be taken; not repeated until it was.
    void ready();

private:
    void decodeWaiting();
    static std::optional<DecodedFrame> decode(void* handle, const QByteArray& jpeg,
                                              quint64 generation, const QSize& drawn);

    void* m_handle = nullptr;
    QMutex m_mutex;
    std::optional<std::pair<QByteArray, quint64>> m_waiting;
    std::optional<DecodedFrame> m_done;
    QSize m_drawn;
    std::atomic<int> m_corrupt = 0;
    std::atomic<int> m_skipped = 0;
    std::atomic<int> m_typicalDecodeUs = 0;
};
