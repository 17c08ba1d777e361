#include "console/frmMain.h"

#include "camera/CameraControl.h"
#include "console/Colours.h"
#include "console/DirectionSquare.h"
#include "console/DriveKeys.h"
#include "console/MenuBarStyle.h"
#include "console/X11AutoRepeat.h"
#include "help/AppInfo.h"
#include "link/ChangeRepeater.h"
#include "link/SocketControl.h"
#include "settings/FileSystem.h"
#include "settings/frmComm.h"

#include <QAccessible>
#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTime>
#include <QTimer>
#include <QWindow>

namespace {

constexpr int ClientSize = 500;
constexpr int RepeatIntervalMs = 1000;
constexpr int GridOrigin = 100;
constexpr int GridPitch = 100;
constexpr int PanelSize = 99;

void setPanelColour(QWidget* panel, quint32 packed)
{
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, fromPacked(packed));
    panel->setPalette(palette);
}

// Every control carries its own name, so that it can be found by name from
// outside, the way accessibility and test tools find controls.
template <typename T> T* named(T* object, const char* name)
{
    object->setObjectName(QLatin1String(name));
    return object;
}

// A new panel with the same parent, look and flags as the original.
DirectionSquare* copyPanel(const DirectionSquare* original)
{
    auto* copy = new DirectionSquare(original->parentWidget());
    copy->setAutoFillBackground(original->autoFillBackground());
    copy->setPalette(original->palette());
    copy->setFocusPolicy(original->focusPolicy());
    copy->setGeometry(original->geometry());
    return copy;
}

} // namespace

frmMain::frmMain(const QString& appDir, QWidget* parent)
    : QMainWindow(parent), m_requestedAppDir(appDir)
{
    setWindowTitle(QStringLiteral("Velmora"));
    CreateControls();
    CreateMenus();
    CreateKeys();
    m_camera = new CameraControl(this, m_driveKeys, m_linkWatch);
    m_camera->CreateMenus(menuBar(), mnuSettings, mnuHelp);
    WireSignals();
    CreatePad();
    enableDetectableAutoRepeat();
    Form_Load();
}

frmMain::~frmMain()
{
    // The children go after this part of the window: news of their going
    // (a pop-up hides, the focus moves) must not reach it any more.
    m_driveKeys->setEnded();
    delete FileSys;
}

frmComm* frmMain::commDialog() const
{
    return m_comm;
}

QString frmMain::settingsPath() const
{
    return m_settingsPath;
}

void frmMain::CreateControls()
{
    auto* client = new QWidget(this);
    setCentralWidget(client);

    cmdOpenClose = named(new QPushButton(QStringLiteral("&Open Comm"), client), "cmdOpenClose");
    lblWinsock = named(new QLabel(client), "lblWinsock");
    // A button's and a label's accessible names are their captions, which
    // change as the connection does; the descriptions say what they are for.
    cmdOpenClose->setAccessibleDescription(
        QStringLiteral("Opens or closes the connection to the car"));
    lblWinsock->setAccessibleDescription(QStringLiteral("State of the connection to the car"));

    fraDirection = named(new QWidget(client), "fraDirection");
    fraDirection->setGeometry(GridOrigin, GridOrigin, 3 * GridPitch - 1, 3 * GridPitch - 1);
    fraDirection->setAttribute(Qt::WA_TransparentForMouseEvents);
    fraDirection->setFocusPolicy(Qt::NoFocus);
    fraDirection->setAccessibleName(QStringLiteral("Direction"));
    fraDirection->setAccessibleDescription(QStringLiteral("Commanded: nothing yet"));

    // In the free band under the grid, clear of the button, the label and
    // the squares. A click on it activates the window, as any click does.
    lblHint = named(
        new QLabel(QStringLiteral("Click here to drive: keys are not reaching Velmora"), client),
        "lblHint");
    lblHint->setGeometry(GridOrigin, 404, 3 * GridPitch - 1, 42);
    lblHint->setWordWrap(true);
    lblHint->setAlignment(Qt::AlignCenter);
    lblHint->setFrameShape(QFrame::Box);
    lblHint->setAutoFillBackground(true);
    lblHint->setBackgroundRole(QPalette::ToolTipBase);
    lblHint->setForegroundRole(QPalette::ToolTipText);
    lblHint->hide();

    // Panel 1 exists from the start; the load sequence copies it for the
    // other eight squares.
    auto* panel = named(new DirectionSquare(client), "picDir1");
    panel->setAutoFillBackground(true);
    panel->setFocusPolicy(Qt::NoFocus);
    picDir[1] = panel;

    Winsock = named(new SocketControl(this), "Winsock");
    const auto currentCode = [this] { return driveCode({Throttle, Steering}); };
    m_changeRepeater = new ChangeRepeater(Winsock, currentCode, this);
    Winsock->setLocalPortChooser([this] { return NextLocalPort(); });
    CreateLinkLine(client);

    tmrRepeat = named(new QTimer(this), "tmrRepeat");
    tmrRepeat->setInterval(RepeatIntervalMs);
    tmrRepeat->start();
}

void frmMain::CreateMenus()
{
    mnuFile = named(menuBar()->addMenu(QStringLiteral("&File")), "mnuFile");
    mnuExit = named(mnuFile->addAction(QStringLiteral("&Exit")), "mnuExit");

    mnuSettings = named(menuBar()->addMenu(QStringLiteral("&Settings")), "mnuSettings");
    mnuCOMPort = named(mnuSettings->addAction(QStringLiteral("&COM Port...")), "mnuCOMPort");
    mnuData = named(mnuSettings->addAction(QStringLiteral("&Data...")), "mnuData");
    mnuData->setEnabled(false);
    mnuKeys = named(mnuSettings->addAction(QStringLiteral("&Keys...")), "mnuKeys");
    mnuKeys->setEnabled(false);

    mnuHelp = named(menuBar()->addMenu(QStringLiteral("&Help")), "mnuHelp");
    mnuHowToUse = named(mnuHelp->addAction(QStringLiteral("&How to use...")), "mnuHowToUse");
    mnuHelpBar = named(mnuHelp->addSeparator(), "mnuHelpBar");
    mnuAbout = named(mnuHelp->addAction(QStringLiteral("&About...")), "mnuAbout");
    keepAltAloneFromMenuBar(menuBar());

    // The menu bar sits above the 500 x 500 client area. The layout gives it
    // its height for the window's width, which in the Windows style is not
    // its preferred height.
    const int menuBarHeight = menuBar()->heightForWidth(ClientSize);
    resize(ClientSize,
           ClientSize + (menuBarHeight > 0 ? menuBarHeight : menuBar()->sizeHint().height()));
}

void frmMain::WireSignals()
{
    connect(mnuExit, &QAction::triggered, this, &frmMain::mnuExit_Click);
    connect(mnuCOMPort, &QAction::triggered, this, &frmMain::mnuCOMPort_Click);
    connect(mnuHowToUse, &QAction::triggered, this, &frmMain::mnuHowToUse_Click);
    connect(mnuAbout, &QAction::triggered, this, &frmMain::mnuAbout_Click);
    connect(cmdOpenClose, &QPushButton::clicked, this, &frmMain::cmdOpenClose_Click);
    connect(tmrRepeat, &QTimer::timeout, this, &frmMain::tmrRepeat_Timer);
    connect(Winsock, &SocketControl::Error, this, &frmMain::Winsock_Error);
    // Windows' end of session (WM_ENDSESSION) comes as this signal alone, and
    // the process may be ended as soon as it has been handled.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &frmMain::EndSession);
}

void frmMain::Form_Load()
{
    BuildGrid();
    cmdOpenClose->setGeometry(100, 25, 99, 50);
    lblWinsock->setGeometry(300, 25, 99, 50);
    FileSys = new FileSystem;
    AppDir =
        m_requestedAppDir.isEmpty() ? QCoreApplication::applicationDirPath() : m_requestedAppDir;
    if (!AppDir.endsWith(QLatin1Char('/')) && !AppDir.endsWith(QLatin1Char('\\')))
        AppDir += QLatin1Char('/');
    LoadSettings();
    m_camera->Load(FileSys, m_settingsReadPath, m_settingsPath);
    Throttle = Drive::Neutral;
    Steering = Drive::Straight;
    // Only the local port of each connection is drawn from this generator.
    m_random.seed(quint32(QTime::currentTime().msecsSinceStartOfDay()));
}

void frmMain::Form_Unload()
{
    m_unloaded = true;
    // An open settings dialog goes first, so the file below is written once
    // and nothing can change the settings after it.
    if (m_comm)
        delete m_comm.data();
    m_camera->Unload();
    CloseLink();
    SaveSettings();
    if (const QString error = m_camera->Save(); !error.isEmpty())
        ShowMessage(error);
}

void frmMain::closeEvent(QCloseEvent* event)
{
    if (!m_unloaded)
        Form_Unload();
    event->accept();
}

void frmMain::EndSession()
{
    // Newer Qt's QCoreApplication::exit() (6.8, not 6.4) emits aboutToQuit
    // itself, which comes back here: only the first call ends the session.
    if (m_sessionEnding)
        return;
    m_sessionEnding = true;
    if (!m_unloaded)
        Form_Unload();
    QCoreApplication::exit(0);
}

void frmMain::mnuExit_Click()
{
    close();
}

void frmMain::BuildGrid()
{
    for (int i = 1; i <= 9; ++i) {
        if (i > 1) {
            picDir[i] = copyPanel(picDir[1]);
            picDir[i]->setObjectName(QStringLiteral("picDir%1").arg(i));
        }
        DirectionSquare* panel = picDir[i];
        panel->setCode(i);
        panel->setAccessibleName(directionWords(i));
        panel->setVisible(true);
        panel->setGeometry(((i - 1) % 3) * GridPitch + GridOrigin,
                           ((i - 1) / 3) * GridPitch + GridOrigin, PanelSize, PanelSize);
        setPanelColour(panel, Colour::Red);
    }
}

void frmMain::PaintGrid()
{
    // This runs after every key's send, so only the squares whose state
    // changes are touched: a new palette costs a style pass and a repaint.
    const int code = driveCode({Throttle, Steering});
    for (int i = 1; i <= 9; ++i) {
        const bool commanded = i == code;
        if (picDir[i]->isCommanded() == commanded)
            continue;
        setPanelColour(picDir[i], commanded ? Colour::Green : Colour::Red);
        picDir[i]->setCommanded(commanded);
    }
    DescribeGrid(code);
    m_camera->CommandShown(code);
}

void frmMain::DescribeGrid(int code)
{
    // Qt has no announcements: a screen reader follows the grid through
    // its description and its value, and the events that say they changed.
    const QString words = directionWords(code);
    const QString description = QStringLiteral("Commanded: %1").arg(words);
    if (fraDirection->accessibleDescription() == description)
        return;
    // Setting the description tells of it by itself; the value change is
    // what screen readers that follow values hear.
    fraDirection->setAccessibleDescription(description);
    QAccessibleValueChangeEvent valued(fraDirection, words);
    QAccessible::updateAccessibility(&valued);
}

void frmMain::ShowMessage(const QString& text)
{
    if (m_sessionEnding) {
        qWarning("%s", qPrintable(text));
        return;
    }
    QMessageBox box(QMessageBox::Information, applicationTitle(), text, QMessageBox::Ok, this);
    box.exec();
}
