#include "camera/FrameDecoder.h"

#include <QMutexLocker>
#include <QSysInfo>

#include <turbojpeg.h>

namespace {

// The decoder's smallest size for the picture that is still at least as
// large as the picture is drawn, or its own size.
QSize scaledFor(int width, int height, const QSize& drawn)
{
    QSize best(width, height);
    if (drawn.isEmpty())
        return best;
    const QSize fitted = best.scaled(drawn, Qt::KeepAspectRatio);
    int count = 0;
    const tjscalingfactor* factors = tjGetScalingFactors(&count);
    for (int i = 0; factors && i < count; ++i) {
        const tjscalingfactor factor = factors[i];
        if (factor.num >= factor.denom)
            continue;
        const QSize scaled(TJSCALED(width, factor), TJSCALED(height, factor));
        if (scaled.width() >= fitted.width() && scaled.height() >= fitted.height() &&
            scaled.width() < best.width())
            best = scaled;
    }
    return best;
}

} // namespace

FrameDecoder::FrameDecoder() : m_handle(tjInitDecompress()) {}

FrameDecoder::~FrameDecoder()
{
    if (m_handle)
        tjDestroy(m_handle);
}

void FrameDecoder::submit(const QByteArray& jpeg, quint64 generation)
{
    bool wake = false;
    {
        const QMutexLocker lock(&m_mutex);
        wake = !m_waiting;
        if (m_waiting)
            ++m_skipped;
        m_waiting.emplace(jpeg, generation);
    }
    // One wake for however many pictures came while the last was decoded:
    // it decodes whichever is newest when it runs.
    if (wake)
        QMetaObject::invokeMethod(this, &FrameDecoder::decodeWaiting, Qt::QueuedConnection);
}

std::optional<DecodedFrame> FrameDecoder::take()
{
    const QMutexLocker lock(&m_mutex);
    return std::exchange(m_done, std::nullopt);
}

void FrameDecoder::setDrawnSize(const QSize& size)
{
    const QMutexLocker lock(&m_mutex);
    m_drawn = size;
}

QImage FrameDecoder::decodeWhole(const QByteArray& jpeg)
{
    void* handle = tjInitDecompress();
    std::optional<DecodedFrame> frame = decode(handle, jpeg, 0, QSize());
    if (handle)
        tjDestroy(handle);
    return frame ? frame->image : QImage();
}

void FrameDecoder::decodeWaiting()
{
    std::optional<std::pair<QByteArray, quint64>> next;
    QSize drawn;
    {
        const QMutexLocker lock(&m_mutex);
        next = std::exchange(m_waiting, std::nullopt);
        drawn = m_drawn;
    }
    if (!next)
        return;
    QElapsedTimer took;
    took.start();
    std::optional<DecodedFrame> frame = decode(m_handle, next->first, next->second, drawn);
    const auto us = int(qMin(took.nsecsElapsed() / 1000, qint64(10'000'000)));
    m_typicalDecodeUs = m_typicalDecodeUs + (us - m_typicalDecodeUs) / 8;
    if (!frame) {
        ++m_corrupt;
        // After an error TurboJPEG's handle stays broken and fails every
        // later picture, good ones too: only a new one decodes again.
        if (m_handle)
            tjDestroy(m_handle);
        m_handle = tjInitDecompress();
        return;
    }
    frame->decoded.start();
    bool tell = false;
    {
        const QMutexLocker lock(&m_mutex);
        tell = !m_done;
        m_done = std::move(frame);
    }
    if (tell)
        emit ready();
}

std::optional<DecodedFrame> FrameDecoder::decode(void* handle, const QByteArray& jpeg,
                                                 quint64 generation, const QSize& drawn)
{
    if (!handle || jpeg.isEmpty())
        return std::nullopt;
    const auto* bytes = reinterpret_cast<const unsigned char*>(jpeg.constData());
    const auto size = static_cast<unsigned long>(jpeg.size());
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colourspace = 0;
    if (tjDecompressHeader3(handle, bytes, size, &width, &height, &subsampling, &colourspace) !=
            0 ||
        width <= 0 || height <= 0)
        return std::nullopt;
    DecodedFrame frame{generation, {}, QSize(width, height), jpeg, {}};
    if (qint64(width) * height > MaxPixels)
        return frame;
    const QSize scaled = scaledFor(width, height, drawn);
    QImage image(scaled, QImage::Format_RGB32);
    if (image.isNull())
        return std::nullopt;
    // Format_RGB32 holds each pixel as the number 0xffRRGGBB, so its bytes
    // in memory depend on the machine's byte order.
    const int format = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? TJPF_BGRX : TJPF_XRGB;
    if (tjDecompress2(handle, bytes, size, image.bits(), scaled.width(),
                      static_cast<int>(image.bytesPerLine()), scaled.height(), format,
                      TJFLAG_FASTDCT) != 0 &&
        // Many webcams put a stray byte or two in every picture; the
        // picture itself is whole, so only an error that stopped the
        // decoding drops it.
        tjGetErrorCode(handle) != TJERR_WARNING)
        return std::nullopt;
    frame.image = std::move(image);
    return frame;
}
