#pragma once

#include "camera/CameraSettings.h"

#include <QObject>
#include <QPointer>
#include <QString>

class DriveKeys;
class FileSystem;
class LinkWatch;
class QAction;
class QMenu;
class QMenuBar;
class QWidget;
class frmCamera;
class frmCameraUrl;

// The camera as the main window offers it: the View > Camera item that
// opens and closes the camera window, the Settings item for its address,
// and Camera.ini, beside the Velmora.ini in use. The main window only tells
// it what it shows (the command, the socket's state) and when the settings
// load, change and save.
class CameraControl : public QObject {
    Q_OBJECT

public:
    // linkWatch may be null: then the display has no link line.
    CameraControl(QWidget* mainWindow, DriveKeys* keys, LinkWatch* linkWatch);
    ~CameraControl() override;

    // Adds View > Camera before `before`, and Camera... to `settings`.
    void CreateMenus(QMenuBar* menuBar, QMenu* settings, QMenu* before);
    // Reads Camera.ini beside the settings file read, to be saved beside the
    // one saved; opens the window if the driver left it open last time.
    void Load(const FileSystem* fileSystem, const QString& readSettingsPath,
              const QString& saveSettingsPath);
    // Closes the window at the end of the run; it still counts as open.
    void Unload();
    // Writes Camera.ini if anything in it changed; the error's words if the
    // write failed, else empty.
    QString Save();

    void CommandShown(int code);
    void LinkStateShown(const QString& text);
    // The remote host may have changed, and with it the default address.
    void SettingsChanged();

    frmCamera* window() const { return m_window; }
    const CameraSettings& settings() const { return m_settings; }

private:
    void mnuCamera_Toggled(bool on);
    void mnuCameraUrl_Click();
    void OpenWindow();
    void WindowClosed();
    QString CurrentUrl() const;

    QWidget* m_main;
    DriveKeys* m_keys;
    QPointer<LinkWatch> m_linkWatch;
    const FileSystem* m_fileSystem = nullptr;
    QString m_readPath;
    QString m_savePath;
    CameraSettings m_settings;
    CameraSettings m_saved;
    // Set when the file read must be written where the settings now go.
    bool m_moved = false;
    bool m_unloading = false;
    int m_command = 5;
    QString m_linkState;
    QAction* mnuCamera = nullptr;
    QAction* mnuCameraUrl = nullptr;
    frmCamera* m_window = nullptr;
    QPointer<frmCameraUrl> m_urlDialog;
};
