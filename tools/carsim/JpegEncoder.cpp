#include "tools/carsim/JpegEncoder.h"

#include <QImage>
#include <QSysInfo>

#include <turbojpeg.h>

JpegEncoder::JpegEncoder() : m_handle(tjInitCompress()) {}

JpegEncoder::~JpegEncoder()
{
    if (m_handle)
        tjDestroy(m_handle);
}

QByteArray JpegEncoder::encode(const QImage& image, int quality)
{
    if (!m_handle || image.format() != QImage::Format_RGB32)
        return {};
    // Format_RGB32 holds each pixel as the number 0xffRRGGBB, so its bytes
    // in memory depend on the machine's byte order.
    const int format = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? TJPF_BGRX : TJPF_XRGB;
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    if (tjCompress2(m_handle, image.constBits(), image.width(),
                    static_cast<int>(image.bytesPerLine()), image.height(), format, &jpeg, &size,
                    TJSAMP_420, quality, TJFLAG_FASTDCT) != 0) {
        tjFree(jpeg);
        return {};
    }
    QByteArray bytes(reinterpret_cast<const char*>(jpeg), static_cast<qsizetype>(size));
    tjFree(jpeg);
    return bytes;
}
