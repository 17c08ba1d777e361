#pragma once

#include "camera/CameraView.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <QUrl>

class CameraStream;
class DriveKeys;
class QAction;
class QTimer;

// The camera window: the newest picture of the car's camera with the
// head-up display over it. Its keys drive as the main window's do.
class frmCamera : public QMainWindow {
    Q_OBJECT

public:
    frmCamera(DriveKeys* keys, int turn, bool mirror, QWidget* parent = nullptr);
    ~frmCamera() override;

    // Connects to the camera at url, or reconnects when it changed.
    void setUrl(const QUrl& url);
    QUrl url() const { return m_url; }
    void setCommand(int code);
    void setLinkState(const QString& text);
    void setLink(const LinkStatus& status);
    int turn() const { return m_turn; }
    bool mirror() const { return m_mirror; }
    CameraView* view() const { return m_view; }
    CameraStream* stream() const { return m_stream; }

signals:
    // The driver closed the window.
    void closed();
    // The picture was turned or mirrored.
    void orientationChanged(int turn, bool mirror);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
#ifdef Q_OS_WIN
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
#endif

private:
    void CreateMenus();
    void ShowPicture(const QImage& picture);
    void RefreshHud();
    void Turn(int degrees);
    void MirrorToggled(bool on);
    void TakeSnapshot();
    void ToggleFullScreen();

    // The main window owns the keys and may let them go first.
    QPointer<DriveKeys> m_keys;
    CameraView* m_view = nullptr;
    CameraStream* m_stream = nullptr;
    QTimer* m_hudTimer = nullptr;
    QAction* mnuMirror = nullptr;
    QUrl m_url;
    int m_turn = 0;
    bool m_mirror = false;
    CameraHud m_hud;
    QElapsedTimer m_noticeAge;
    bool m_hadPicture = false;
};
