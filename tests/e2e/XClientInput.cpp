// XClient's input: real key and button events through XTEST, and the
// server's keyboard state (Num Lock, auto-repeat) through XKB.

#include "e2e/XClient.h"

// Xlib comes last: its macros (None, Bool, Status, KeyPress...) would
// otherwise break Qt's headers.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

unsigned int numLockMask(Display* display)
{
    return XkbKeysymToModifiers(display, XK_Num_Lock);
}

} // namespace

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
    if (m_buttonDown)
        XTestFakeButtonEvent(m_display, Button1, False, CurrentTime);
    m_buttonDown = false;
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

bool XClient::click(QPoint screenPosition)
{
    const bool done = XTestFakeMotionEvent(m_display, DefaultScreen(m_display), screenPosition.x(),
                                           screenPosition.y(), CurrentTime) &&
                      XTestFakeButtonEvent(m_display, Button1, True, CurrentTime) &&
                      XTestFakeButtonEvent(m_display, Button1, False, CurrentTime);
    XFlush(m_display);
    return done;
}

bool XClient::movePointer(QPoint screenPosition)
{
    const bool done = XTestFakeMotionEvent(m_display, DefaultScreen(m_display), screenPosition.x(),
                                           screenPosition.y(), CurrentTime);
    XFlush(m_display);
    return done;
}

bool XClient::leftButton(bool press)
{
    const bool done = XTestFakeButtonEvent(m_display, Button1, press ? True : False, CurrentTime);
    XFlush(m_display);
    m_buttonDown = press;
    return done;
}
