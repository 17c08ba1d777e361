// Windows' own modal loops. The window menu (Alt+Space, the icon at the
// left of the title bar) and moving or sizing the window run a message loop
// of Windows' own, in which the window stays active and keeps the focus:
// no activation or focus change says that the keys go elsewhere, and the
// release of a held key goes into that loop.
#include "console/DriveKeys.h"

#include <QApplication>
#include <QTimer>

#include <qt_windows.h>

namespace {

// How often to ask Windows whether a loop still runs. The loops dispatch
// timer messages, so the check runs inside them.
constexpr int kLoopWatchMs = 50;

// Windows keeps these flags for every menu or move loop of the thread,
// whether or not the loop sends its messages.
bool threadInModalLoop()
{
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(GetCurrentThreadId(), &info))
        return false;
    return (info.flags &
            (GUI_INMENUMODE | GUI_POPUPMENUMODE | GUI_SYSTEMMENUMODE | GUI_INMOVESIZE)) != 0;
}

} // namespace

void DriveKeys::windowsMessage(const QByteArray& eventType, const void* message)
{
    if (m_ended)
        return;
    if (eventType == "windows_generic_MSG") {
        const MSG& msg = *static_cast<const MSG*>(message);
        switch (msg.message) {
        case WM_ENTERMENULOOP:
        case WM_ENTERSIZEMOVE:
            ++m_windowsLoopsNotified;
            windowsLoopStarted();
            break;
        case WM_EXITMENULOOP:
        case WM_EXITSIZEMOVE:
            m_windowsLoopsNotified = qMax(0, m_windowsLoopsNotified - 1);
            watchWindowsLoop();
            break;
        case WM_SYSKEYDOWN:
            // Alt+Space (bit 29: Alt is down): Qt opens the window menu
            // itself, in a loop that sends none of the messages above.
            if (msg.wParam == VK_SPACE && (msg.lParam & (LPARAM(1) << 29)) != 0)
                windowsLoopStarted();
            break;
        case WM_KEYUP:
        case WM_SYSKEYUP:
            // Bits 16 to 23 hold the scan code and bit 24 the extended-key
            // flag: together the key's native scan code as Qt reports it.
            releaseOfChangedKey(quint32((msg.lParam >> 16) & 0x1FF), quint16(msg.wParam));
            break;
        case WM_SYSCOMMAND:
            // The commands that run a loop; they may watch the mouse for a
            // while before the loop's own message. Windows uses the low four
            // bits itself.
            switch (msg.wParam & 0xFFF0) {
            case SC_KEYMENU:
            case SC_MOUSEMENU:
            case SC_MOVE:
            case SC_SIZE:
                windowsLoopStarted();
                break;
            default:
                break;
            }
            break;
        default:
            break;
        }
    }
}

void DriveKeys::windowsLoopStarted()
{
    if (!m_windowsLoopWatch) {
        m_windowsLoopWatch = new QTimer(this);
        m_windowsLoopWatch->setInterval(kLoopWatchMs);
        connect(m_windowsLoopWatch, &QTimer::timeout, this, &DriveKeys::watchWindowsLoop);
    }
    m_windowsLoopWatch->start();
    modalLoopStarted();
}

void DriveKeys::watchWindowsLoop()
{
    // A loop runs until its closing message has come and Windows no longer
    // counts the thread as in a menu or a move.
    if (m_windowsLoopsNotified > 0 || threadInModalLoop())
        return;
    if (m_windowsLoopWatch)
        m_windowsLoopWatch->stop();
    if (m_modalLoop)
        modalLoopEnded();
}

void DriveKeys::releaseOfChangedKey(quint32 scanCode, quint16 virtualKey)
{
    // Windows names a keypad key by the Num Lock and Shift state of each of
    // its events: keypad 7 goes down as such and, with Shift pressed
    // meanwhile, comes up as Home. Qt drops a release whose virtual key went
    // down as no press, and the car would drive on; Velmora takes it by
    // the physical key, as it takes every release.
    const quint16 held = m_heldKeys.codeOf(scanCode);
    if (held == 0 || held == virtualKey || m_modalLoop || QApplication::activePopupWidget())
        return;
    if (m_keysHidden)
        driveOnKeysStillDown();
    emit driveKey(m_heldKeys.release(scanCode, virtualKey), KeyTransition::Up);
}
