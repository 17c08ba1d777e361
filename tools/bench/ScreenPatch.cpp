#include "bench/ScreenPatch.h"

// Xlib last: its macros clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// A read of a window that went away is an error, not a reason to exit.
int ignoreError(Display*, XErrorEvent*)
{
    return 0;
}

} // namespace

ScreenPatch::~ScreenPatch()
{
    if (m_display)
        XCloseDisplay(m_display);
}

bool ScreenPatch::open(const QString& displayName, QString* error)
{
    m_display = XOpenDisplay(displayName.toLocal8Bit().constData());
    if (!m_display) {
        *error = QStringLiteral("cannot open display %1 to read the screen").arg(displayName);
        return false;
    }
    XSetErrorHandler(ignoreError);
    return true;
}

QList<QRgb> ScreenPatch::read(unsigned long window, int x, int y, int side) const
{
    XImage* image =
        XGetImage(m_display, window, x, y, unsigned(side), unsigned(side), AllPlanes, ZPixmap);
    if (!image)
        return {};
    QList<QRgb> pixels;
    const auto channel = [](unsigned long pixel, unsigned long mask) {
        if (!mask)
            return 0u;
        while (!(mask & 1)) {
            mask >>= 1;
            pixel >>= 1;
        }
        return unsigned((pixel & mask) * 255 / mask);
    };
    for (int row = 0; row < side; ++row) {
        for (int column = 0; column < side; ++column) {
            const unsigned long pixel = XGetPixel(image, column, row);
            pixels << qRgb(int(channel(pixel, image->red_mask)),
                           int(channel(pixel, image->green_mask)),
                           int(channel(pixel, image->blue_mask)));
        }
    }
    XDestroyImage(image);
    return pixels;
}
