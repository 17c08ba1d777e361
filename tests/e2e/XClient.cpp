#include "e2e/XClient.h"

#include <QByteArray>
#include <QColor>
#include <QElapsedTimer>

#include <poll.h>

// Xlib comes last: its macros (None, Bool, Status, KeyPress...) would
// otherwise break Qt's headers.
#include <X11/XKBlib.h>
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

unsigned int numLockMask(Display* display)
{
    return XkbKeysymToModifiers(display, XK_Num_Lock);
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

bool XClient::key(const char* keysymName, bool press)
{
    const KeySym keysym = XStringToKeysym(keysymName);
    if (keysym == NoSymbol)
        return false;
    const KeyCode code = XKeysymToKeycode(m_display, keysym);
    if (code == 0)
        return false;
    if (!XTestFakeKeyEvent(m_display, code, press ? True : False, CurrentTime))
        return false;
    XFlush(m_display);
    m_pressed.removeAll(code);
    if (press)
        m_pressed.append(code);
    return true;
}

void XClient::releaseAll()
{
    for (const unsigned char code : std::as_const(m_pressed))
        XTestFakeKeyEvent(m_display, code, False, CurrentTime);
    m_pressed.clear();
    for (const WindowId window : std::as_const(m_windows))
        XDestroyWindow(m_display, window);
    m_windows.clear();
    sync();
}

bool XClient::tap(const char* keysymName)
{
    return key(keysymName, true) && key(keysymName, false);
}

bool XClient::tapWithAlt(const char* keysymName)
{
    return key("Alt_L", true) && tap(keysymName) && key("Alt_L", false);
}

bool XClient::setNumLock(bool on)
{
    const unsigned int mask = numLockMask(m_display);
    if (mask == 0)
        return false;
    XkbLockModifiers(m_display, XkbUseCoreKbd, mask, on ? mask : 0);
    sync();
    return numLockOn() == on;
}

bool XClient::numLockOn() const
{
    XkbStateRec state{};
    if (XkbGetState(m_display, XkbUseCoreKbd, &state) != Success)
        return false;
    return (state.locked_mods & numLockMask(m_display)) != 0;
}

bool XClient::setAutoRepeat(int delayMs, int intervalMs)
{
    XAutoRepeatOn(m_display);
    const bool done =
        XkbSetAutoRepeatRate(m_display, XkbUseCoreKbd, unsigned(delayMs), unsigned(intervalMs));
    sync();
    unsigned int delay = 0;
    unsigned int interval = 0;
    return done && XkbGetAutoRepeatRate(m_display, XkbUseCoreKbd, &delay, &interval) &&
           int(delay) == delayMs && int(interval) == intervalMs;
}

void XClient::sendToRoot(WindowId window, const char* message, const QList<long>& data)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = atom(message);
    event.xclient.format = 32;
    for (int i = 0; i < data.size() && i < 5; ++i)
        event.xclient.data.l[i] = data.at(i);
    XSendEvent(m_display, DefaultRootWindow(m_display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(m_display);
}

void XClient::requestClose(WindowId window)
{
    // Source 2: a pager or other tool acting for the user, which window
    // managers obey without the checks they apply to applications.
    sendToRoot(window, "_NET_CLOSE_WINDOW", {CurrentTime, 2});
}

void XClient::requestActivate(WindowId window)
{
    sendToRoot(window, "_NET_ACTIVE_WINDOW", {2, CurrentTime, 0});
}

QRect XClient::screenRect(WindowId window) const
{
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(m_display, window, &attributes))
        return {};
    int x = 0;
    int y = 0;
    Window child = 0;
    XTranslateCoordinates(m_display, window, DefaultRootWindow(m_display), 0, 0, &x, &y, &child);
    return {x, y, attributes.width, attributes.height};
}

QPoint XClient::closeBoxCentre(WindowId window) const
{
    // The frame that the window manager put around the window is the
    // window's ancestor just below the root.
    const Window root = DefaultRootWindow(m_display);
    Window frame = window;
    for (;;) {
        Window rootReturn = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(m_display, frame, &rootReturn, &parent, &children, &count))
            return {};
        if (children)
            XFree(children);
        if (parent == root || parent == 0)
            break;
        frame = parent;
    }
    const QRect client = screenRect(window);
    const QRect frameRect = screenRect(frame);
    const QRect titleBar(frameRect.left(), frameRect.top(), frameRect.width(),
                         client.top() - frameRect.top());
    // The buttons are the small square windows that lie in the title bar;
    // the close box is the right-most of them.
    QRect closeBox;
    QList<Window> pending{frame};
    while (!pending.isEmpty()) {
        const Window current = pending.takeLast();
        Window rootReturn = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(m_display, current, &rootReturn, &parent, &children, &count))
            continue;
        for (unsigned int i = 0; i < count; ++i) {
            if (children[i] == window || !isViewable(children[i]))
                continue;
            pending.append(children[i]);
            const QRect rect = screenRect(children[i]);
            if (titleBar.contains(rect) && rect.width() >= 8 && rect.width() <= 32 &&
                rect.width() == rect.height() && rect.left() > closeBox.left())
                closeBox = rect;
        }
        if (children)
            XFree(children);
    }
    return closeBox.isNull() ? QPoint() : closeBox.center();
}

bool XClient::click(QPoint screenPosition)
{
    const bool done = XTestFakeMotionEvent(m_display, DefaultScreen(m_display), screenPosition.x(),
                                           screenPosition.y(), CurrentTime) &&
                      XTestFakeButtonEvent(m_display, Button1, True, CurrentTime) &&
                      XTestFakeButtonEvent(m_display, Button1, False, CurrentTime);
    XFlush(m_display);
    return done;
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

WindowId XClient::createWindow(const QString& title)
{
    const int screen = DefaultScreen(m_display);
    const Window window =
        XCreateSimpleWindow(m_display, RootWindow(m_display, screen), 0, 0, 200, 150, 0,
                            BlackPixel(m_display, screen), WhitePixel(m_display, screen));
    const QByteArray name = title.toUtf8();
    XStoreName(m_display, window, name.constData());
    XSelectInput(m_display, window, KeyPressMask | KeyReleaseMask);
    XMapRaised(m_display, window);
    sync();
    m_windows.append(window);
    return window;
}

void XClient::discardEvents()
{
    XEvent event{};
    while (XPending(m_display) > 0)
        XNextEvent(m_display, &event);
}

bool XClient::waitForKeyEvent(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        while (XPending(m_display) > 0) {
            XEvent event{};
            XNextEvent(m_display, &event);
            if (event.type == KeyPress || event.type == KeyRelease)
                return true;
        }
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0)
            return false;
        pollfd entry{ConnectionNumber(m_display), POLLIN, 0};
        ::poll(&entry, 1, int(left));
    }
}

void XClient::destroyWindow(WindowId window)
{
    m_windows.removeAll(window);
    XDestroyWindow(m_display, window);
    sync();
}

void XClient::sync() const
{
    XSync(m_display, False);
}
