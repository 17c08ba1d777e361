// XClient's dealings with the window manager: requests to close or
// activate a window, the frame it puts around one, and the plain windows of
// the test's own that it takes on.

#include "e2e/XClient.h"

#include <QByteArray>
#include <QElapsedTimer>

#include <poll.h>

// Xlib comes last: its macros (None, Bool, Status, KeyPress...) would
// otherwise break Qt's headers.
#include <X11/Xlib.h>

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
