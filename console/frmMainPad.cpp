// The gamepad: it drives through the same two axes and the same sending as
// the keys, and only while the keys could drive too.
#include "console/frmMain.h"

#include "console/DriveKeys.h"
#include "console/PadInput.h"

#include <QLabel>
#include <QTimer>
#include <QWindow>

namespace {

// Starts the pad once the window is on screen: SDL's start scans the input
// devices, which the driver should not wait for to see the window. It waits
// for the window's first exposure, which comes only after the window system
// has mapped it, and then for the paint that follows it to finish.
class StartPadWhenExposed : public QObject {
public:
    StartPadWhenExposed(QWidget* window, PadInput* pad) : QObject(pad), m_window(window), m_pad(pad)
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // The native window exists from the show event on, before it maps.
        if (watched == m_window && event->type() == QEvent::Show && m_window->windowHandle()) {
            m_window->removeEventFilter(this);
            m_window->windowHandle()->installEventFilter(this);
        } else if (watched != m_window && event->type() == QEvent::Expose &&
                   m_window->windowHandle()->isExposed()) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, m_pad, &PadInput::start);
            deleteLater();
        }
        return false;
    }

private:
    QWidget* m_window;
    PadInput* m_pad;
};

} // namespace

void frmMain::CreatePad()
{
    lblPad = new QLabel(centralWidget());
    lblPad->setObjectName(QStringLiteral("lblPad"));
    lblPad->setGeometry(100, 450, 299, 42);
    lblPad->setWordWrap(true);
    m_pad = new PadInput(this);
    connect(m_pad, &PadInput::moved, this, &frmMain::PadMoved);
    connect(m_pad, &PadInput::unplugged, this, &frmMain::PadUnplugged);
    connect(m_pad, &PadInput::padChanged, this, &frmMain::ShowPad);
    new StartPadWhenExposed(this, m_pad);
    ShowPad();
}

void frmMain::ShowPad()
{
    const QString name = m_pad->padName();
    if (name.isEmpty())
        lblPad->setText(tr("No gamepad"));
    else if (m_pad->mayDrive())
        lblPad->setText(tr("Gamepad: %1").arg(name));
    else
        lblPad->setText(tr("Gamepad: %1 (centre it to drive)").arg(name));
}

bool frmMain::PadMayDrive() const
{
    // The pad reaches this program whichever window is active, so it is held
    // to the rule the keys obey by their nature: it drives while a window of
    // ours that drives has them.
    return !m_unloaded && m_driveKeys->mayDrive();
}

void frmMain::PadSeesKeysHidden()
{
    if (!m_pad)
        return;
    // A pad still deflected when the keys come back must be let go first.
    if (m_keysHidden)
        m_pad->requireNeutral();
    m_pad->setWanted(!m_keysHidden);
}

void frmMain::PadMoved(const PadDirections& before, const PadDirections& now)
{
    if (!PadMayDrive()) {
        m_pad->requireNeutral();
        return;
    }
    // Like a key, the pad sets only the axis it changed: the last event wins.
    if (now.stop) {
        Throttle = Drive::Neutral;
        Steering = Drive::Straight;
    }
    if (now.throttle != before.throttle)
        Throttle = now.throttle;
    if (now.steering != before.steering)
        Steering = now.steering;
    SendCommand();
    PaintGrid();
}

void frmMain::PadUnplugged(bool wasDriving)
{
    if (!wasDriving || m_unloaded)
        return;
    Throttle = Drive::Neutral;
    Steering = Drive::Straight;
    PaintGrid();
    SendIfConnected();
}
