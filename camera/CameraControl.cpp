#include "camera/CameraControl.h"

#include "camera/CameraAddress.h"
#include "camera/frmCamera.h"
#include "camera/frmCameraUrl.h"
#include "link/LinkWatch.h"
#include "settings/FileSystem.h"
#include "settings/mdlMain.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>

CameraControl::CameraControl(QWidget* mainWindow, DriveKeys* keys, LinkWatch* linkWatch)
    : QObject(mainWindow), m_main(mainWindow), m_keys(keys), m_linkWatch(linkWatch)
{
}

CameraControl::~CameraControl()
{
    // A window of its own, not the main window's child: the driver may
    // minimise the main window and live in this one.
    delete m_window;
}

void CameraControl::CreateMenus(QMenuBar* menuBar, QMenu* settings, QMenu* before)
{
    auto* view = new QMenu(QStringLiteral("&View"), menuBar);
    view->setObjectName(QStringLiteral("mnuView"));
    menuBar->insertMenu(before->menuAction(), view);
    mnuCamera = view->addAction(QStringLiteral("&Camera"));
    mnuCamera->setObjectName(QStringLiteral("mnuCamera"));
    mnuCamera->setCheckable(true);
    connect(mnuCamera, &QAction::toggled, this, &CameraControl::mnuCamera_Toggled);

    mnuCameraUrl = settings->addAction(QStringLiteral("Ca&mera..."));
    mnuCameraUrl->setObjectName(QStringLiteral("mnuCameraUrl"));
    connect(mnuCameraUrl, &QAction::triggered, this, &CameraControl::mnuCameraUrl_Click);
}

void CameraControl::Load(const FileSystem* fileSystem, const QString& readSettingsPath,
                         const QString& saveSettingsPath)
{
    m_fileSystem = fileSystem;
    m_readPath = cameraSettingsPath(readSettingsPath);
    m_savePath = cameraSettingsPath(saveSettingsPath);
    m_settings = {};
    if (m_fileSystem->fileExists(m_readPath)) {
        QString error;
        // A file that cannot be read is left alone unless the driver changes
        // something; a file read goes wherever Velmora.ini now goes.
        if (const std::optional<QByteArray> bytes = m_fileSystem->readFile(m_readPath, &error)) {
            m_settings = parseCameraSettings(*bytes);
            m_moved = m_readPath != m_savePath;
        }
    }
    m_saved = m_settings;
    if (m_settings.windowOpen)
        // Once the main window is up, so the camera window opens above it.
        QTimer::singleShot(0, this, [this] {
            if (!m_unloading)
                mnuCamera->setChecked(true);
        });
}

void CameraControl::Unload()
{
    m_unloading = true;
    delete m_urlDialog.data();
    if (m_window)
        m_window->close();
}

QString CameraControl::Save()
{
    if (!m_fileSystem || (m_settings == m_saved && !m_moved))
        return {};
    QString error;
    if (!m_fileSystem->makeFolder(QFileInfo(m_savePath).absolutePath(), &error) ||
        !m_fileSystem->replaceFile(m_savePath, formatCameraSettings(m_settings), &error))
        return QStringLiteral("The camera's settings could not be saved to %1.\n\n%2")
            .arg(QDir::toNativeSeparators(m_savePath), error);
    m_saved = m_settings;
    m_moved = false;
    return {};
}

void CameraControl::CommandShown(int code)
{
    m_command = code;
    if (m_window)
        m_window->setCommand(code);
}

void CameraControl::LinkStateShown(const QString& text)
{
    m_linkState = text;
    if (m_window)
        m_window->setLinkState(text);
}

void CameraControl::SettingsChanged()
{
    if (m_window && m_window->isVisible())
        m_window->setUrl(QUrl(CurrentUrl()));
}

QString CameraControl::CurrentUrl() const
{
    return cameraUrlFor(m_settings, mdlMain::RemoteHost.text());
}

void CameraControl::mnuCamera_Toggled(bool on)
{
    if (on)
        OpenWindow();
    else if (m_window)
        m_window->close();
}

void CameraControl::OpenWindow()
{
    if (m_unloading)
        return;
    if (!m_window) {
        m_window = new frmCamera(m_keys, m_settings.turn, m_settings.mirror);
        connect(m_window, &frmCamera::closed, this, &CameraControl::WindowClosed);
        connect(m_window, &frmCamera::orientationChanged, this, [this](int turn, bool mirror) {
            m_settings.turn = turn;
            m_settings.mirror = mirror;
        });
        if (m_linkWatch) {
            connect(m_linkWatch, &LinkWatch::changed, m_window, &frmCamera::setLink);
            m_window->setLink(m_linkWatch->status());
        }
    }
    m_settings.windowOpen = true;
    m_window->setCommand(m_command);
    m_window->setLinkState(m_linkState);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    m_window->setUrl(QUrl(CurrentUrl()));
}

void CameraControl::WindowClosed()
{
    // At the end of the run the window closes with the program, and opens
    // again at the next start.
    if (m_unloading)
        return;
    m_settings.windowOpen = false;
    const QSignalBlocker quiet(mnuCamera);
    mnuCamera->setChecked(false);
}

void CameraControl::mnuCameraUrl_Click()
{
    if (m_urlDialog)
        return;
    m_urlDialog =
        new frmCameraUrl(m_settings.url, defaultCameraUrl(mdlMain::RemoteHost.text()), m_main);
    m_urlDialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_urlDialog, &QDialog::accepted, this, [this] {
        m_settings.url = m_urlDialog->url();
        SettingsChanged();
    });
    m_urlDialog->show();
    m_urlDialog->activateWindow();
}
