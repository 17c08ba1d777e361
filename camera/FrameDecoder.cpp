#include "camera/FrameDecoder.h"

#include <QMutexLocker>
#include <QSysInfo>

#include <turbojpeg.h>

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

void FrameDecoder::decodeWaiting()
{
    std::optional<std::pair<QByteArray, quint64>> next;
    {
        const QMutexLocker lock(&m_mutex);
        next = std::exchange(m_waiting, std::nullopt);
    }
    if (!next)
        return;
    std::optional<DecodedFrame> frame = decode(next->first, next->second);
    if (!frame) {
        ++m_corrupt;
        // After an error TurboJPEG's handle stays broken and fails every
        // later picture, good ones too: only a new one decodes again.
        if (m_handle)
            tjDestroy(m_handle);
        m_handle = tjInitDecompress();
        return;
    }
    bool tell = false;
    {
        const QMutexLocker lock(&m_mutex);
        tell = !m_done;
        m_done = std::move(frame);
    }
    if (tell)
        emit ready();
}

std::optional<DecodedFrame> FrameDecoder::decode(const QByteArray& jpeg, quint64 generation)
{
    if (!m_handle || jpeg.isEmpty())
        return std::nullopt;
    const auto* bytes = reinterpret_cast<const unsigned char*>(jpeg.constData());
    const auto size = static_cast<unsigned long>(jpeg.size());
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colourspace = 0;
    if (tjDecompressHeader3(m_handle, bytes, size, &width, &height, &subsampling, &colourspace) !=
            0 ||
        width <= 0 || height <= 0)
        return std::nullopt;
    DecodedFrame frame{generation, {}, QSize(width, height)};
    if (qint64(width) * height > MaxPixels)
        return frame;
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        return std::nullopt;
    // Format_RGB32 holds each pixel as the number 0xffRRGGBB, so its bytes
    // in memory depend on the machine's byte order.
    const int format = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? TJPF_BGRX : TJPF_XRGB;
    if (tjDecompress2(m_handle, bytes, size, image.bits(), width,
                      static_cast<int>(image.bytesPerLine()), height, format,
                      TJFLAG_FASTDCT) != 0 &&
        // Many webcams put a stray byte or two in every picture; the
        // picture itself is whole, so only an error that stopped the
        // decoding drops it.
        tjGetErrorCode(m_handle) != TJERR_WARNING)
        return std::nullopt;
    frame.image = std::move(image);
    return frame;
}
