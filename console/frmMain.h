#pragma once

#include "console/DriveState.h"
#include "console/HeldKeys.h"

#include <QMainWindow>
#include <QPointer>
#include <QRandomGenerator>
#include <QString>
#include <array>

class ChangeRepeater;
class DirectionSquare;
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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
#ifdef Q_OS_WIN
    // console/frmMainWindows.cpp: Windows' own modal loops.
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
#endif

private:
    // console/
    void CreateControls();
    void CreateMenus();
    void WireSignals();
    void Form_Load();
    void Form_Unload();
    void Form_KeyDown(quint16 KeyCode, Qt::KeyboardModifiers Shift);
    void Form_KeyUp(quint16 KeyCode, Qt::KeyboardModifiers Shift);
    void HandleDriveKey(quint16 KeyCode, KeyTransition transition);
    void BuildGrid();
    void PaintGrid();
    // Tells assistive technology which direction the grid shows.
    void DescribeGrid(int code);
    // Called where m_keysHidden changes: shows or hides the hint under the
    // grid and tells the pad.
    void KeysHiddenChanged();
    // Called whenever the drive keys may no longer reach this window: a
    // pop-up opens, the window loses activation or the focus.
    void StopWhileKeysHidden();
    void KeysMayBeVisible();
    void DriveOnKeysStillDown();
    void FocusWindowChanged(QWindow* focus);
    // A modal loop of the platform's own (a window menu, a move) takes the
    // keys while this window stays active and focused.
    void ModalLoopStarted();
    void ModalLoopEnded();
#ifdef Q_OS_WIN
    void WindowsLoopStarted();
    void WatchWindowsLoop();
    void ReleaseOfChangedKey(quint32 scanCode, quint16 virtualKey);
#endif
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
    // The keys held down, so that each release is matched to its press.
    HeldKeys m_heldKeys;
    // Set while the keys may go elsewhere (a menu is open, another window has
    // the focus); cleared once they reach this window again.
    bool m_keysHidden = false;
    // Set while a modal loop of the platform's own runs; the keys count as
    // hidden until it ends, whatever the focus says.
    bool m_modalLoop = false;
#ifdef Q_OS_WIN
    // The loops that announced their start and not yet their end, and the
    // check for the end of those that announce nothing.
    int m_windowsLoopsNotified = 0;
    QTimer* m_windowsLoopWatch = nullptr;
#endif
    // Sends each new drive command again shortly after it, for a lossy link.
    ChangeRepeater* m_changeRepeater = nullptr;
    LinkWatch* m_linkWatch = nullptr;
    // The gamepad and the line under the grid that names it.
    PadInput* m_pad = nullptr;
    QLabel* lblPad = nullptr;
};
