// XClient's connection to the server, and what it reads of the windows
// there: which ones the window manager looks after, their titles, sizes
// and pixels, the focus and pop-ups.

#include "e2e/XClient.h"

#include <QByteArray>
#include <QColor>

// Xlib comes last: its macros (None, Bool, Status, KeyPress...) would
// otherwise break Qt's headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace {

// Windows vanish between a listing and a query; Xlib's default handler
// would end the whole test process for such a BadWindow.
int ignoreXError(Display*, XErrorEvent*)
{
    return 0;
}

// One property of a window as a list of 32-bit items (atoms, windows,
// cardinals), which Xlib hands out as longs.
QList<unsigned long> longProperty(Display* display, Window window, Atom property, Atom type)
{
    Atom actualType = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    QList<unsigned long> values;
    if (XGetWindowProperty(display, window, property, 0, 4096, False, type, &actualType, &format,
                           &count, &after, &data) == Success &&
        data) {
        if (actualType == type && format == 32) {
            const auto* items = reinterpret_cast<const unsigned long*>(data);
            for (unsigned long i = 0; i < count; ++i)
                values.append(items[i]);
        }
        XFree(data);
    }
    return values;
}

QByteArray byteProperty(Display* display, Window window, Atom property, Atom type)
{
    Atom actualType = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    QByteArray bytes;
    if (XGetWindowProperty(display, window, property, 0, 4096, False, type, &actualType, &format,
                           &count, &after, &data) == Success &&
        data) {
        if (actualType == type && format == 8)
            bytes = QByteArray(reinterpret_cast<const char*>(data), qsizetype(count));
        XFree(data);
    }
    return bytes;
}

// The bits of one colour channel of a pixel, scaled to 0..255.
int channel(unsigned long pixel, unsigned long mask)
{
    if (mask == 0)
        return 0;
    int shift = 0;
    while (((mask >> shift) & 1UL) == 0)
        ++shift;
    const unsigned long max = mask >> shift;
    return int(((pixel & mask) >> shift) * 255UL / max);
}

} // namespace

XClient::~XClient()
{
    close();
}

bool XClient::open(const QString& displayName, QString* error)
{
    close();
    XSetErrorHandler(ignoreXError);
    m_display = XOpenDisplay(displayName.toLocal8Bit().constData());
    if (!m_display) {
        if (error)
            *error = QStringLiteral("cannot open X display %1").arg(displayName);
        return false;
    }
    int event = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    if (!XTestQueryExtension(m_display, &event, &errorBase, &major, &minor)) {
        if (error)
            *error =
                QStringLiteral("the X server on %1 lacks the XTEST extension").arg(displayName);
        close();
        return false;
    }
    return true;
}

void XClient::close()
{
    m_pressed.clear();
    m_windows.clear();
    if (m_display)
        XCloseDisplay(m_display);
    m_display = nullptr;
}

unsigned long XClient::atom(const char* name) const
{
    return XInternAtom(m_display, name, False);
}

bool XClient::windowManagerReady() const
{
    const Window root = DefaultRootWindow(m_display);
    const QList<unsigned long> check =
        longProperty(m_display, root, atom("_NET_SUPPORTING_WM_CHECK"), XA_WINDOW);
    if (check.isEmpty())
        return false;
    // The check window must exist and point at itself, or the property is
    // a leftover of a window manager that has gone.
    const QList<unsigned long> self =
        longProperty(m_display, check.first(), atom("_NET_SUPPORTING_WM_CHECK"), XA_WINDOW);
    return !self.isEmpty() && self.first() == check.first();
}

QList<WindowId> XClient::managedWindows() const
{
    return longProperty(m_display, DefaultRootWindow(m_display), atom("_NET_CLIENT_LIST"),
                        XA_WINDOW);
}

QList<WindowId> XClient::windowsOfProcess(qint64 pid) const
{
    QList<WindowId> owned;
    for (const WindowId window : managedWindows()) {
        const QList<unsigned long> owner =
            longProperty(m_display, window, atom("_NET_WM_PID"), XA_CARDINAL);
        if (!owner.isEmpty() && qint64(owner.first()) == pid)
            owned.append(window);
    }
    return owned;
}

WindowId XClient::windowOfProcess(qint64 pid) const
{
    const QList<WindowId> owned = windowsOfProcess(pid);
    return owned.isEmpty() ? 0 : owned.first();
}

QString XClient::windowTitle(WindowId window) const
{
    const QByteArray utf8 =
        byteProperty(m_display, window, atom("_NET_WM_NAME"), atom("UTF8_STRING"));
    if (!utf8.isEmpty())
        return QString::fromUtf8(utf8);
    return QString::fromLatin1(byteProperty(m_display, window, XA_WM_NAME, XA_STRING));
}

QSize XClient::windowSize(WindowId window) const
{
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(m_display, window, &attributes))
        return {};
    return {attributes.width, attributes.height};
}

bool XClient::isViewable(WindowId window) const
{
    XWindowAttributes attributes{};
    return XGetWindowAttributes(m_display, window, &attributes) &&
           attributes.map_state == IsViewable;
}

WindowId XClient::focusWindow() const
{
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(m_display, &focus, &revert);
    return focus;
}

QImage XClient::grab(WindowId window) const
{
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(m_display, window, &attributes) || attributes.map_state != IsViewable)
        return {};
    XImage* image = XGetImage(m_display, window, 0, 0, unsigned(attributes.width),
                              unsigned(attributes.height), AllPlanes, ZPixmap);
    if (!image)
        return {};
    const Visual* visual = attributes.visual;
    QImage result(attributes.width, attributes.height, QImage::Format_RGB32);
    for (int y = 0; y < attributes.height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < attributes.width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            line[x] = qRgb(channel(pixel, visual->red_mask), channel(pixel, visual->green_mask),
                           channel(pixel, visual->blue_mask));
        }
    }
    XDestroyImage(image);
    return result;
}

WindowId XClient::popupOfProcess(qint64 pid) const
{
    Window rootReturn = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(m_display, DefaultRootWindow(m_display), &rootReturn, &parent, &children,
                    &count))
        return 0;
    WindowId popup = 0;
    for (unsigned int i = 0; i < count && !popup; ++i) {
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(m_display, children[i], &attributes) ||
            attributes.map_state != IsViewable || !attributes.override_redirect)
            continue;
        const QList<unsigned long> owner =
            longProperty(m_display, children[i], atom("_NET_WM_PID"), XA_CARDINAL);
        if (!owner.isEmpty() && qint64(owner.first()) == pid)
            popup = children[i];
    }
    if (children)
        XFree(children);
    return popup;
}

bool XClient::isManaged(WindowId window) const
{
    return managedWindows().contains(window);
}

void XClient::sync() const
{
    XSync(m_display, False);
}
