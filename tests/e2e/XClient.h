#pragma once

#include <QImage>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

struct _XDisplay;

// An X window id; 0 means none.
using WindowId = unsigned long;

// The test's own connection to the X server. It finds the windows that the
// window manager looks after, reads their pixels, sends real key events
// through XTEST and asks the window manager to activate or close windows.
// Xlib stays inside the .cpp files, since its macros clash with Qt's names:
// XClient.cpp reads windows, XClientInput.cpp sends keys and clicks, and
// XClientWindowManager.cpp deals with the window manager and the test's own
// windows.
class XClient {
public:
    XClient() = default;
    ~XClient();
    XClient(const XClient&) = delete;
    XClient& operator=(const XClient&) = delete;

    bool open(const QString& displayName, QString* error);
    void close();
    bool isOpen() const { return m_display != nullptr; }

    // True once a window manager has announced itself on the root window.
    bool windowManagerReady() const;
    // The top-level windows that the window manager manages.
    QList<WindowId> managedWindows() const;
    // The managed windows that the process with this id owns, oldest
    // first, and the first of them or 0.
    QList<WindowId> windowsOfProcess(qint64 pid) const;
    WindowId windowOfProcess(qint64 pid) const;
    QString windowTitle(WindowId window) const;
    // The inside size of the window, decorations not included.
    QSize windowSize(WindowId window) const;
    bool isViewable(WindowId window) const;
    WindowId focusWindow() const;
    // The window's pixels as the screen shows them; null when unreadable.
    QImage grab(WindowId window) const;

    // Presses or releases the key that produces this key symbol ("Up",
    // "KP_8", "Alt_L", "f"). Goes by key code, so the server's own lock
    // state decides what the key means. Flushed before returning.
    bool key(const char* keysymName, bool press);
    bool tap(const char* keysymName);
    // Alt held around one tap, as a driver types a menu's access key.
    bool tapWithAlt(const char* keysymName);
    // Releases every key that key() left pressed and destroys the windows
    // that createWindow() made, so that a test that failed half-way leaves
    // nothing behind for the next one.
    void releaseAll();
    // Locks or unlocks Num Lock in the server, as the driver's Num Lock key
    // would, and reads it back.
    bool setNumLock(bool on);
    bool numLockOn() const;
    // The server's key repeat: first repeat after delayMs, then every
    // intervalMs while the key stays down.
    bool setAutoRepeat(int delayMs, int intervalMs);

    // Asks the window manager to close the window, as its close box does.
    void requestClose(WindowId window);
    // Where on the screen the close box of the window's frame is: the
    // right-most button of the title bar. Null when there is none.
    QPoint closeBoxCentre(WindowId window) const;
    // Moves the pointer there and clicks the left button.
    bool click(QPoint screenPosition);
    // For a drag: moves the pointer, and presses or releases the left button
    // where the pointer is. releaseAll() lets go of a button left down.
    bool movePointer(QPoint screenPosition);
    bool leftButton(bool press);
    // Where the window lies on the screen, its own decorations included but
    // not the window manager's frame.
    QRect screenRect(WindowId window) const;
    // A viewable pop-up (a menu) of the process with this id, or 0.
    WindowId popupOfProcess(qint64 pid) const;
    // Asks the window manager to make the window the active one. A request
    // for a window it has not taken on yet is lost, so wait for
    // isManaged() first.
    void requestActivate(WindowId window);
    bool isManaged(WindowId window) const;
    // A plain top-level window of the test's own, mapped at once. Its key
    // events come to this connection (see waitForKeyEvent()).
    WindowId createWindow(const QString& title);
    // Throws away the events that have come to this connection so far.
    void discardEvents();
    // Waits for a key press or release on one of this connection's own
    // windows; false when none came in time.
    bool waitForKeyEvent(int timeoutMs);
    void destroyWindow(WindowId window);

    // Sends everything queued and waits until the server has handled it.
    void sync() const;

private:
    unsigned long atom(const char* name) const;
    void sendToRoot(WindowId window, const char* message, const QList<long>& data);

    _XDisplay* m_display = nullptr;
    QList<unsigned char> m_pressed;
    bool m_buttonDown = false;
    QList<WindowId> m_windows;
};
