#pragma once

#include "console/DriveState.h"

#include <QMainWindow>
#include <QPointer>
#include <QRandomGenerator>
#include <QString>
#include <array>

class CameraControl;
class ChangeRepeater;
class DirectionSquare;
class DriveKeys;
class FileSystem;
class LinkWatch;
class PadInput;
struct PadDirections;
class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QTimer;
class QWidget;
class QWindow;
class SocketControl;
class frmComm;

// The main and only permanent window: the Open/Close button, the connection
// label, the 3 x 3 direction grid, the menu bar, the repeat timer and the
// socket. Its handlers live beside the subsystem that owns them: key and grid
// handling in console/, sending and the socket in link/, the settings file
// and dialog in settings/, the help messages in help/.
class frmMain : public QMainWindow {
    Q_OBJECT

public:
    // appDir: the folder that holds the settings file; empty means the
    // folder of the running executable.
    explicit frmMain(const QString& appDir = QString(), QWidget* parent = nullptr);
    ~frmMain() override;

    // Shows the socket's state in the label.
    void UpdateLabel();
    // Ends the run from outside the window (a signal, the end of the
    // session): the unload runs unless it has already, without message
    // boxes, and every event loop ends.
    void EndSession();

    qint16 throttle() const { return Throttle; }
    qint16 steering() const { return Steering; }
    QString appDir() const { return AppDir; }
    // The settings file this window saves to (and reads from, unless the
    // other of the two places holds a file saved later), chosen at load.
    QString settingsPath() const;
    // The settings dialog while it is open, else null.
    frmComm* commDialog() const;
    // How the car hears the commands, for any window that shows it; null
    // with VELMORA_NO_LINK_LINE=1.
    LinkWatch* linkWatch() const { return m_linkWatch; }
    // The drive keys of every window that drives.
    DriveKeys* driveKeys() const { return m_driveKeys; }
    // The camera window and its settings.
    CameraControl* camera() const { return m_camera; }

protected:
    void closeEvent(QCloseEvent* event) override;
#ifdef Q_OS_WIN
    // Hands Windows' messages to the drive keys, for its own modal loops.
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
#endif

private:
    // console/
    void CreateControls();
    void CreateMenus();
    void WireSignals();
    void Form_Load();
    void Form_Unload();
    // console/frmMainKeys.cpp
    void CreateKeys();
    void DriveKeyChanged(quint16 KeyCode, KeyTransition transition);
    void Form_KeyDown(quint16 KeyCode, Qt::KeyboardModifiers Shift);
    void Form_KeyUp(quint16 KeyCode, Qt::KeyboardModifiers Shift);
    void HandleDriveKey(quint16 KeyCode, KeyTransition transition);
    // Shows or hides the hint under the grid, tells the pad, and stops the
    // car when the keys may go elsewhere.
    void KeysHiddenChanged(bool hidden);
    void DriveOnKeysStillDown(const QList<quint16>& codes);
    void BuildGrid();
    void PaintGrid();
    // Tells assistive technology which direction the grid shows.
    void DescribeGrid(int code);
    void mnuExit_Click();

    // console/frmMainPad.cpp
    void CreatePad();
    void PadSeesKeysHidden();
    void ShowPad();
    bool PadMayDrive() const;
    void PadMoved(const PadDirections& before, const PadDirections& now);
    void PadUnplugged(bool wasDriving);

    // link/
    // The line between the button and the grid that tells how the car hears.
    void CreateLinkLine(QWidget* client);
    void SendCommand();
    void SendIfConnected();
    bool WaitForConnection();
    // Closes the connection on purpose, with a stop as its last command.
    void CloseLink();
    bool SettingsUsable(bool reportEveryTime);
    qint32 NextLocalPort();
    void tmrRepeat_Timer();
    void Winsock_Error(qint16 Number, const QString& Description, qint32 Scode,
                       const QString& Source, const QString& HelpFile, qint32 HelpContext,
                       bool* CancelDisplay);
    void cmdOpenClose_Click();

    // settings/
    void LoadSettings();
    void SaveSettings();
    void mnuCOMPort_Click();

    // help/
    void mnuHowToUse_Click();
    void mnuAbout_Click();

    void ShowMessage(const QString& text);

    // The controls; each one's object name is its member's name, and square
    // i of the grid is "picDir" followed by i.
    QPushButton* cmdOpenClose = nullptr;
    QLabel* lblWinsock = nullptr;
    // Indices 1 to 9, one square per drive code; index 0 is unused.
    std::array<DirectionSquare*, 10> picDir{};
    // Stands for the whole grid towards assistive technology; it lies under
    // the squares and draws nothing itself.
    QWidget* fraDirection = nullptr;
    // The line under the grid that says the keys go elsewhere.
    QLabel* lblHint = nullptr;
    QTimer* tmrRepeat = nullptr;
    SocketControl* Winsock = nullptr;

    QMenu* mnuFile = nullptr;
    QAction* mnuExit = nullptr;
    QMenu* mnuSettings = nullptr;
    QAction* mnuCOMPort = nullptr;
    QAction* mnuData = nullptr;
    QAction* mnuKeys = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* mnuHowToUse = nullptr;
    QAction* mnuHelpBar = nullptr;
    QAction* mnuAbout = nullptr;

    FileSystem* FileSys = nullptr;
    QString AppDir;
    qint16 Throttle = Drive::Neutral;
    qint16 Steering = Drive::Straight;

    QString m_requestedAppDir;
    QString m_settingsPath;
    // The file the settings were read from, when that is not where they are
    // saved: the first save there then tells the driver where they went.
    QString m_settingsReadPath;
    // Set while a settings file that could not be read must not be replaced.
    bool m_keepUnreadSettings = false;
    QRandomGenerator m_random;
    QPointer<frmComm> m_comm;
    // Set once the unload sequence has run: from then on no handler may
    // connect or send again, even one that was suspended in a wait.
    bool m_unloaded = false;
    // Set once the session ends: nobody may be there to answer a message box,
    // and one would hold the end of the session up.
    bool m_sessionEnding = false;
    // The bad settings (host, then port) last reported from a drive key, so
    // that a held key's auto-repeat cannot raise one message box per repeat.
    QString m_reportedBadSettings;
    DriveKeys* m_driveKeys = nullptr;
    CameraControl* m_camera = nullptr;
    // Set while the keys may go elsewhere (a menu is open, another window has
    // the focus); cleared once they reach a window that drives again.
    bool m_keysHidden = false;
    // Sends each new drive command again shortly after it, for a lossy link.
    ChangeRepeater* m_changeRepeater = nullptr;
    LinkWatch* m_linkWatch = nullptr;
    // The gamepad and the line under the grid that names it.
    PadInput* m_pad = nullptr;
    QLabel* lblPad = nullptr;
};
