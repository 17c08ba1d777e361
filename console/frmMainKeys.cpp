// The drive keys as the main window handles them: DriveKeys watches every
// window that drives and says when the keys go elsewhere; here they become
// the drive state, and the car stops whenever the keys may be elsewhere.
#include "console/frmMain.h"

#include "console/DriveKeys.h"

#include <QLabel>

void frmMain::CreateKeys()
{
    m_driveKeys = new DriveKeys(this);
    m_driveKeys->addWindow(this);
    connect(m_driveKeys, &DriveKeys::driveKey, this, &frmMain::DriveKeyChanged);
    connect(m_driveKeys, &DriveKeys::keysHiddenChanged, this, &frmMain::KeysHiddenChanged);
    connect(m_driveKeys, &DriveKeys::keysBack, this, &frmMain::DriveOnKeysStillDown);
}

void frmMain::DriveKeyChanged(quint16 KeyCode, KeyTransition transition)
{
    if (transition == KeyTransition::Down)
        Form_KeyDown(KeyCode, Qt::NoModifier);
    else
        Form_KeyUp(KeyCode, Qt::NoModifier);
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

void frmMain::KeysHiddenChanged(bool hidden)
{
    if (m_unloaded)
        return;
    m_keysHidden = hidden;
    lblHint->setVisible(hidden);
    PadSeesKeysHidden();
    // A key held while the keys go elsewhere releases elsewhere, and the car
    // would drive on with nobody at the keys.
    if (!hidden || DriveState{Throttle, Steering}.isStopped())
        return;
    Throttle = Drive::Neutral;
    Steering = Drive::Straight;
    PaintGrid();
    SendIfConnected();
}

void frmMain::DriveOnKeysStillDown(const QList<quint16>& codes)
{
    if (m_unloaded)
        return;
    // Keys let go meanwhile sent their releases elsewhere; only the keys
    // still down drive.
    DriveState state;
    for (const quint16 code : codes)
        applyDriveKey(state, code, KeyTransition::Down);
    if (state == DriveState{Throttle, Steering})
        return;
    Throttle = state.throttle;
    Steering = state.steering;
    PaintGrid();
    SendIfConnected();
}

#ifdef Q_OS_WIN
bool frmMain::nativeEvent(const QByteArray& eventType, void* message, qintptr* result)
{
    m_driveKeys->windowsMessage(eventType, message);
    // Windows' and Qt's own handling then runs as ever.
    return QMainWindow::nativeEvent(eventType, message, result);
}
#endif
