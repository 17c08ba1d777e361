#pragma once

#include <QByteArray>

class QImage;

// Turns pictures into JPEG with TurboJPEG: Qt's own JPEG writer is missing
// from the Windows build, and this one is several times faster. One encoder
// per thread; it keeps its compressor between pictures.
class JpegEncoder {
public:
    JpegEncoder();
    ~JpegEncoder();
    JpegEncoder(const JpegEncoder&) = delete;
    JpegEncoder& operator=(const JpegEncoder&) = delete;

    // `image` in QImage::Format_RGB32; empty when the encoder fails.
    QByteArray encode(const QImage& image, int quality);

private:
    void* m_handle = nullptr;
};
