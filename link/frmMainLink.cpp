#include "console/frmMain.h"

#include "camera/CameraControl.h"
#include "link/ChangeRepeater.h"
#include "link/DriveMessage.h"
#include "link/LinkLabel.h"
#include "link/LinkWatch.h"
#include "link/SocketControl.h"
#include "settings/mdlMain.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>

namespace {

const QString CloseCaption = QStringLiteral("&Close Comm");
const QString OpenCaption = QStringLiteral("&Open Comm");

// How long closing waits for the stop command to leave, at most. A car that
// does not read must not hold the window up for longer than a blink.
constexpr int StopFlushTimeoutMs = 200;

// Why the settings cannot serve for a connection, or an empty text.
QString settingsProblem()
{
    if (mdlMain::RemoteHost.text().trimmed().isEmpty())
        return QStringLiteral("The remote host is empty.");
    const QString portText = mdlMain::RemotePort.text();
    if (portText.trimmed().isEmpty())
        return QStringLiteral("The remote port is empty.");
    const std::optional<qint64> port = mdlMain::RemotePort.integerPart();
    if (!port || *port < 1 || *port > 65535)
        return QStringLiteral("The remote port \"%1\" is not a number from 1 to 65535.")
            .arg(portText);
    return {};
}

} // namespace

void frmMain::CreateLinkLine(QWidget* client)
{
    // For comparing what the line costs: no line, and nothing reads the
    // figures.
    if (qEnvironmentVariableIntValue("VELMORA_NO_LINK_LINE") == 1)
        return;
    m_linkWatch = new LinkWatch(Winsock, this);
    m_linkWatch->setObjectName(QStringLiteral("linkWatch"));
    auto* line = new LinkLabel(m_linkWatch, client);
    line->setObjectName(QStringLiteral("lblLink"));
    // In the free band under the button and the label, above the grid.
    line->setGeometry(100, 77, 299, 21);
}

void frmMain::SendCommand()
{
    if (m_unloaded)
        return;
    // The code of this moment is the one sent, even if keys change the
    // drive state while we wait for the connection below.
    const int code = driveCode({Throttle, Steering});
    if (!SettingsUsable(false))
        return;

    const QString host = mdlMain::RemoteHost.text();
    if (host != Winsock->RemoteHost()) {
        CloseLink();
        Winsock->setRemoteHost(host);
    }
    const auto port = qint32(*mdlMain::RemotePort.integerPart());
    if (port != Winsock->RemotePort()) {
        CloseLink();
        Winsock->setRemotePort(port);
    }

    bool waited = false;
    if (Winsock->State() == SocketState::Closed) {
        Winsock->setLocalPort(NextLocalPort());
        Winsock->Connect();
        if (!WaitForConnection())
            return;
        waited = true;
    } else if (Winsock->State() != SocketState::Connected) {
        return;
    }

    cmdOpenClose->setText(CloseCaption);
    Winsock->SendData(driveMessage(code));
    m_changeRepeater->sent(code);
    // Keys handled during the wait may have changed the drive state and sent
    // their own codes first: a quick tap would otherwise leave the car on the
    // press's code after the key is up. The last word is what the keys say
    // now, and it is a change of its own, with its own quick copies.
    const int current = driveCode({Throttle, Steering});
    if (waited && current != code && Winsock->State() == SocketState::Connected) {
        Winsock->SendData(driveMessage(current));
        m_changeRepeater->sent(current);
    }
    UpdateLabel();
}

void frmMain::CloseLink()
{
    // What the car does when the link drops is up to the car, so the last
    // thing it hears on a connection closed on purpose is stop.
    if (Winsock->State() == SocketState::Connected) {
        Winsock->SendData(driveMessage(driveCode(DriveState{})));
        Winsock->WaitForSent(StopFlushTimeoutMs);
    }
    if (Winsock->State() != SocketState::Closed)
        Winsock->Close();
}

void frmMain::SendIfConnected()
{
    if (m_unloaded || Winsock->State() != SocketState::Connected)
        return;
    const int code = driveCode({Throttle, Steering});
    Winsock->SendData(driveMessage(code));
    m_changeRepeater->sent(code);
}

bool frmMain::WaitForConnection()
{
    // Every handler can run nested in here. Each pass sleeps until some event
    // arrives (the socket, a timer, a key), so a pending connect costs no CPU;
    // the socket's own time-out guarantees that the wait ends.
    for (;;) {
        if (m_unloaded)
            return false;
        const qint16 state = Winsock->State();
        if (state == SocketState::Connected)
            return true;
        // Closed: a nested click or the window's closing ended the attempt,
        // or the peer hung up at once.
        if (state == SocketState::Closed)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (Winsock->State() == SocketState::Error)
            return false;
    }
}

bool frmMain::SettingsUsable(bool reportEveryTime)
{
    const QString problem = settingsProblem();
    if (problem.isEmpty()) {
        m_reportedBadSettings.clear();
        return true;
    }
    // Report each bad pair of settings once to the drive keys, so a key held
    // down does not bring the message back at every repeat; a click on the
    // button always answers.
    const QString badSettings =
        mdlMain::RemoteHost.text() + QLatin1Char('\n') + mdlMain::RemotePort.text();
    if (reportEveryTime || badSettings != m_reportedBadSettings) {
        m_reportedBadSettings = badSettings;
        ShowMessage(problem + QStringLiteral("\r\nPlease set the remote host and port in "
                                             "Settings > COM Port..."));
    }
    return false;
}

qint32 frmMain::NextLocalPort()
{
    return qint32(10000 + m_random.bounded(50000));
}

void frmMain::tmrRepeat_Timer()
{
    if (Winsock->State() == SocketState::Connected)
        SendCommand();
    UpdateLabel();
}

void frmMain::UpdateLabel()
{
    const QString text = socketStateText(Winsock->State());
    if (text.isNull())
        return;
    lblWinsock->setText(text);
    if (m_camera)
        m_camera->LinkStateShown(text);
}

void frmMain::Winsock_Error(qint16 Number, const QString& Description, qint32 Scode,
                            const QString& Source, const QString& HelpFile, qint32 HelpContext,
                            bool* CancelDisplay)
{
    Q_UNUSED(Scode);
    Q_UNUSED(HelpFile);
    Q_UNUSED(HelpContext);
    Q_UNUSED(CancelDisplay);
    ShowMessage(QStringLiteral("Winsock Error #%1\r\n%2\r\nSource: %3")
                    .arg(QString::number(Number), Description, Source));
}

void frmMain::cmdOpenClose_Click()
{
    if (m_unloaded)
        return;
    if (Winsock->State() == SocketState::Closed) {
        if (!SettingsUsable(true))
            return;
        const QString host = mdlMain::RemoteHost.text();
        Winsock->setRemoteHost(host);
        Winsock->setRemotePort(qint32(*mdlMain::RemotePort.integerPart()));
        Winsock->setLocalPort(NextLocalPort());
        // The label names the host while the connection starts.
        lblWinsock->setText(host);
        Winsock->Connect();
        if (!WaitForConnection()) {
            UpdateLabel();
            return;
        }
        cmdOpenClose->setText(CloseCaption);
    } else {
        CloseLink();
        cmdOpenClose->setText(OpenCaption);
    }
    UpdateLabel();
}
