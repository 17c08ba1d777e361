// Key preview for every window that drives, and the stops: the car stops
// whenever the keys may go somewhere else, and drives again on the keys
// still held down when they come back.
#include "console/DriveKeys.h"

#include "console/KeyTranslation.h"
#include "console/KeysDown.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>

DriveKeys::DriveKeys(QObject* parent) : QObject(parent)
{
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &DriveKeys::focusWindowChanged);
    // Key preview: a driving window's native window gets every key event
    // before the focused control does.
    qApp->installEventFilter(this);
}

void DriveKeys::addWindow(QWidget* window)
{
    m_windows.removeAll(nullptr);
    if (!m_windows.contains(window))
        m_windows.append(window);
}

bool DriveKeys::isDrivingWindow(const QWindow* window) const
{
    if (!window)
        return false;
    for (const QPointer<QWidget>& widget : m_windows) {
        if (widget && widget->windowHandle() == window)
            return true;
    }
    return false;
}

bool DriveKeys::mayDrive() const
{
    return !m_ended && !m_keysHidden && !m_modalLoop && !QApplication::activePopupWidget() &&
           isDrivingWindow(QGuiApplication::focusWindow());
}

void DriveKeys::setEnded()
{
    m_ended = true;
}

bool DriveKeys::eventFilter(QObject* watched, QEvent* event)
{
    if (m_ended)
        return false;
    const QEvent::Type type = event->type();
    if ((type == QEvent::Show || type == QEvent::Hide) && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->windowType() == Qt::Popup) {
        // An open menu or other pop-up takes the keyboard while the window
        // stays active: the releases of held keys go to the pop-up.
        if (type == QEvent::Show)
            stopWhileKeysHidden();
        else
            // The pop-up still counts as open while it hides.
            QTimer::singleShot(0, this, &DriveKeys::keysMayBeVisible);
    }
    if (type == QEvent::ActivationChange && watched->isWidgetType() &&
        m_windows.contains(static_cast<QWidget*>(watched))) {
        auto* window = static_cast<QWidget*>(watched);
        const QWidget* active = QApplication::activeWindow();
        if (window->isActiveWindow())
            keysMayBeVisible();
        else if (!(active && active != window && m_windows.contains(active) &&
                   isDrivingWindow(QGuiApplication::focusWindow())))
            // Only a move to our other driving window keeps the keys with us.
            stopWhileKeysHidden();
    }
    // Key events reach a native window only while it has the keyboard
    // focus, so watching the driving windows is what limits driving to them.
    // Asking a widget whether it is active instead would race with the
    // platform's activation news and could drop the first key after the
    // window is shown. A modal loop of the platform's own may pass keys on
    // as it runs, yet it takes the releases that matter: they do not count
    // until it ends.
    if ((type == QEvent::KeyPress || type == QEvent::KeyRelease) &&
        isDrivingWindow(qobject_cast<QWindow*>(watched)) && !QApplication::activePopupWidget() &&
        !m_modalLoop) {
        // A key that reaches the window shows that the keys are visible again.
        if (m_keysHidden)
            driveOnKeysStillDown();
        const auto* key = static_cast<QKeyEvent*>(event);
        const quint16 code = toVirtualKey(key->key(), key->modifiers());
        if (type == QEvent::KeyPress) {
            emit driveKey(m_heldKeys.press(key->nativeScanCode(), code), KeyTransition::Down);
        } else if (!key->isAutoRepeat()) {
            // X11 reports a held key as release+press pairs flagged as
            // auto-repeat; such a release is not the driver letting go.
            emit driveKey(m_heldKeys.release(key->nativeScanCode(), code), KeyTransition::Up);
        }
    }
    // The event then takes its ordinary course in the focused control.
    return false;
}

void DriveKeys::focusWindowChanged(QWindow* focus)
{
    if (isDrivingWindow(focus))
        keysMayBeVisible();
    else
        stopWhileKeysHidden();
}

void DriveKeys::stopWhileKeysHidden()
{
    // A key held while the keys go elsewhere releases elsewhere, and the car
    // would drive on with nobody at the keys.
    if (m_ended)
        return;
    m_keysHidden = true;
    emit keysHiddenChanged(true);
}

void DriveKeys::keysMayBeVisible()
{
    if (m_keysHidden && !m_modalLoop && !QApplication::activePopupWidget() &&
        isDrivingWindow(QGuiApplication::focusWindow()))
        driveOnKeysStillDown();
}

void DriveKeys::modalLoopStarted()
{
    m_modalLoop = true;
    stopWhileKeysHidden();
}

void DriveKeys::modalLoopEnded()
{
    m_modalLoop = false;
    keysMayBeVisible();
}

void DriveKeys::driveOnKeysStillDown()
{
    if (m_ended)
        return;
    m_keysHidden = false;
    emit keysHiddenChanged(false);
    // Keys let go meanwhile sent their releases elsewhere; only keys that
    // are still down drive. Where the platform cannot tell, none does.
    if (const KeyIsDown isDown = keysDownNow())
        m_heldKeys.keepOnly(isDown);
    else
        m_heldKeys.clear();
    emit keysBack(m_heldKeys.codes());
}
