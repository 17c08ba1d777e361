// Key preview and the drive keys: each release matched to its press, and
// the car stopped whenever the keys may go somewhere else.
#include "console/frmMain.h"

#include "console/KeyTranslation.h"
#include "console/X11KeysDown.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTimer>
#include <QWindow>

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if ((type == QEvent::Show || type == QEvent::Hide) && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->windowType() == Qt::Popup) {
        // An open menu or other pop-up takes the keyboard while this window
        // stays active: the releases of held keys go to the pop-up.
        if (type == QEvent::Show)
            StopWhileKeysHidden();
        else
            // The pop-up still counts as open while it hides.
            QTimer::singleShot(0, this, &frmMain::KeysMayBeVisible);
    }
    // Key events reach this native window only while it has the keyboard
    // focus, so watching it is what limits driving to the active window. Asking
    // the widget whether it is active instead would race with the platform's
    // activation news and could drop the first key after the window is shown.
    if ((type == QEvent::KeyPress || type == QEvent::KeyRelease) && watched == windowHandle() &&
        !QApplication::activePopupWidget()) {
        // A key that reaches the window shows that the keys are visible again.
        if (m_keysHidden)
            DriveOnKeysStillDown();
        const auto* key = static_cast<QKeyEvent*>(event);
        const quint16 code = toVirtualKey(key->key(), key->modifiers());
        if (type == QEvent::KeyPress) {
            Form_KeyDown(m_heldKeys.press(key->nativeScanCode(), code), key->modifiers());
        } else if (!key->isAutoRepeat()) {
            // X11 reports a held key as release+press pairs flagged as
            // auto-repeat; such a release is not the driver letting go.
            Form_KeyUp(m_heldKeys.release(key->nativeScanCode(), code), key->modifiers());
        }
    }
    // The event then takes its ordinary course in the focused control.
    return false;
}

void frmMain::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange) {
        if (isActiveWindow())
            KeysMayBeVisible();
        else
            StopWhileKeysHidden();
    }
    QMainWindow::changeEvent(event);
}

void frmMain::FocusWindowChanged(QWindow* focus)
{
    if (focus == windowHandle())
        KeysMayBeVisible();
    else
        StopWhileKeysHidden();
}

void frmMain::Form_KeyDown(quint16 KeyCode, Qt::KeyboardModifiers Shift)
{
    Q_UNUSED(Shift);
    HandleDriveKey(KeyCode, KeyTransition::Down);
}

void frmMain::Form_KeyUp(quint16 KeyCode, Qt::KeyboardModifiers Shift)
{
    Q_UNUSED(Shift);
    HandleDriveKey(KeyCode, KeyTransition::Up);
}

void frmMain::HandleDriveKey(quint16 KeyCode, KeyTransition transition)
{
    if (m_unloaded)
        return;
    DriveState state{Throttle, Steering};
    if (!applyDriveKey(state, KeyCode, transition))
        return;
    Throttle = state.throttle;
    Steering = state.steering;
    SendCommand();
    // SendCommand may have waited for a connection; the grid shows the
    // drive state as it is now.
    PaintGrid();
}

void frmMain::StopWhileKeysHidden()
{
    // A key held while the keys go elsewhere releases elsewhere, and the car
    // would drive on with nobody at the keys.
    if (m_unloaded)
        return;
    m_keysHidden = true;
    KeysHiddenChanged();
    if (DriveState{Throttle, Steering}.isStopped())
        return;
    Throttle = Drive::Neutral;
    Steering = Drive::Straight;
    PaintGrid();
    SendIfConnected();
}

void frmMain::KeysMayBeVisible()
{
    if (m_keysHidden && !QApplication::activePopupWidget() &&
        QGuiApplication::focusWindow() == windowHandle())
        DriveOnKeysStillDown();
}

void frmMain::DriveOnKeysStillDown()
{
    m_keysHidden = false;
    KeysHiddenChanged();
    if (m_unloaded)
        return;
    // Keys let go meanwhile sent their releases elsewhere; only keys that
    // are still down drive. Where the platform cannot tell, none does.
    std::bitset<256> down;
    if (readKeysDown(down))
        m_heldKeys.keepOnly(
            [&](quint32 scanCode) { return scanCode < 256 && down.test(scanCode); });
    else
        m_heldKeys.clear();
    DriveState state;
    const QList<quint16> codes = m_heldKeys.codes();
    for (const quint16 code : codes)
        applyDriveKey(state, code, KeyTransition::Down);
    if (state == DriveState{Throttle, Steering})
        return;
    Throttle = state.throttle;
    Steering = state.steering;
    PaintGrid();
    SendIfConnected();
}
