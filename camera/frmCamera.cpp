#include "camera/frmCamera.h"

#include "camera/CameraAddress.h"
#include "camera/CameraStream.h"
#include "console/DriveKeys.h"
#include "console/MenuBarStyle.h"

#include <QAction>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QStandardPaths>
#include <QTimer>

namespace {

// The display follows the picture's age in tenths of a second.
constexpr int HudRefreshMs = 100;
constexpr qint64 NoticeShownMs = 6000;
constexpr int StartWidth = 640;
constexpr int StartHeight = 480;

} // namespace

frmCamera::frmCamera(DriveKeys* keys, int turn, bool mirror, QWidget* parent)
    : QMainWindow(parent), m_keys(keys), m_turn(turn), m_mirror(mirror)
{
    setObjectName(QStringLiteral("frmCamera"));
    setWindowTitle(QStringLiteral("Velmora - Camera"));
    m_view = new CameraView(this);
    m_view->setOrientation(m_turn, m_mirror);
    setCentralWidget(m_view);
    m_stream = new CameraStream(this);
    connect(m_stream, &CameraStream::picture, this, &frmCamera::ShowPicture);
    connect(m_view, &CameraView::drawnSizeChanged, m_stream, &CameraStream::setDrawnSize);
    connect(m_stream, &CameraStream::reasonChanged, this, &frmCamera::RefreshHud);
    m_hudTimer = new QTimer(this);
    m_hudTimer->setInterval(HudRefreshMs);
    connect(m_hudTimer, &QTimer::timeout, this, &frmCamera::RefreshHud);
    CreateMenus();
    // The picture starts at 640 x 480, with the menu bar above it.
    resize(StartWidth, StartHeight + menuBar()->sizeHint().height());
    m_keys->addWindow(this);
    RefreshHud();
}

frmCamera::~frmCamera() = default;

void frmCamera::CreateMenus()
{
    QMenu* menu = menuBar()->addMenu(QStringLiteral("&Picture"));
    menu->setObjectName(QStringLiteral("mnuPicture"));
    const auto add = [&](const QString& text, const QKeySequence& keys, const char* name) {
        QAction* action = menu->addAction(text);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(keys);
        // In full screen the menu bar is hidden; the window keeps the keys.
        addAction(action);
        return action;
    };
    connect(add(QStringLiteral("Turn &right"), QKeySequence(Qt::CTRL | Qt::Key_R), "mnuTurnRight"),
            &QAction::triggered, this, [this] { Turn(90); });
    connect(add(QStringLiteral("Turn &left"), QKeySequence(Qt::CTRL | Qt::Key_L), "mnuTurnLeft"),
            &QAction::triggered, this, [this] { Turn(270); });
    mnuMirror = add(QStringLiteral("&Mirror"), QKeySequence(Qt::CTRL | Qt::Key_M), "mnuMirror");
    mnuMirror->setCheckable(true);
    mnuMirror->setChecked(m_mirror);
    connect(mnuMirror, &QAction::toggled, this, &frmCamera::MirrorToggled);
    menu->addSeparator();
    connect(add(QStringLiteral("&Snapshot"), QKeySequence(Qt::CTRL | Qt::Key_S), "mnuSnapshot"),
            &QAction::triggered, this, &frmCamera::TakeSnapshot);
    connect(add(QStringLiteral("&Full screen"), QKeySequence(Qt::Key_F11), "mnuFullScreen"),
            &QAction::triggered, this, &frmCamera::ToggleFullScreen);
    menu->addSeparator();
    connect(add(QStringLiteral("&Close"), QKeySequence(Qt::CTRL | Qt::Key_W), "mnuCloseCamera"),
            &QAction::triggered, this, &QWidget::close);
    keepAltAloneFromMenuBar(menuBar());
}

void frmCamera::setUrl(const QUrl& url)
{
    if (url == m_url && m_stream->isRunning())
        return;
    m_url = url;
    m_hadPicture = false;
    m_view->clearPicture();
    m_stream->start(url);
    m_hudTimer->start();
    RefreshHud();
}

void frmCamera::setCommand(int code)
{
    m_hud.command = code;
    m_view->setHud(m_hud);
}

void frmCamera::setLinkState(const QString& text)
{
    m_hud.linkState = text;
    m_view->setHud(m_hud);
}

void frmCamera::setLink(const LinkStatus& status)
{
    m_hud.link = status;
    m_view->setHud(m_hud);
}

void frmCamera::ShowPicture(const QImage& picture)
{
    m_hadPicture = true;
    m_view->setPicture(picture);
    RefreshHud();
    // Painted now, not at the next turn of the event loop: the picture
    // reaches the screen as soon as it can, and one handed over just before
    // a spell in which nothing ran is not painted after it.
    m_view->repaint();
}

void frmCamera::RefreshHud()
{
    if (!m_stream->isRunning()) {
        m_hud.pictureState.clear();
        m_hud.pictureFigures.clear();
    } else if (!m_hadPicture && m_stream->reason() == NoPictureReason::None) {
        m_hud.pictureState = QStringLiteral("Waiting for the camera");
        m_hud.pictureFigures.clear();
    } else {
        m_hud.pictureState = pictureStateText(m_stream->msSinceFrame(), m_stream->reason());
        const QSize size =
            m_view->hasPicture() ? m_view->oriented(m_stream->pictureSize()) : QSize();
        m_hud.pictureFigures = size.isEmpty() ? QString()
                                              : QStringLiteral("%1 fps, %2 × %3")
                                                    .arg(qRound(m_stream->framesPerSecond()))
                                                    .arg(size.width())
                                                    .arg(size.height());
    }
    // A picture that is gone is not shown as if it were the car's view now.
    if (m_hud.pictureState.startsWith(QLatin1String("No picture")) && m_view->hasPicture()) {
        m_view->clearPicture();
        m_hadPicture = false;
    }
    if (!m_hud.notice.isEmpty() && m_noticeAge.elapsed() > NoticeShownMs)
        m_hud.notice.clear();
    m_view->setHud(m_hud);
}

void frmCamera::Turn(int degrees)
{
    m_turn = (m_turn + degrees) % 360;
    m_view->setOrientation(m_turn, m_mirror);
    RefreshHud();
    emit orientationChanged(m_turn, m_mirror);
}

void frmCamera::MirrorToggled(bool on)
{
    m_mirror = on;
    m_view->setOrientation(m_turn, m_mirror);
    emit orientationChanged(m_turn, m_mirror);
}

void frmCamera::TakeSnapshot()
{
    // At the camera's own resolution, as turned and mirrored on screen.
    const QImage picture =
        m_view->hasPicture() ? m_view->oriented(m_stream->wholePicture()) : QImage();
    if (picture.isNull()) {
        m_hud.notice = QStringLiteral("No picture to save");
    } else {
        QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        if (folder.isEmpty())
            folder = QDir::homePath();
        QDir().mkpath(folder);
        const QString name =
            QStringLiteral("Velmora %1.png")
                .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh.mm.ss")));
        const QString path = QDir(folder).filePath(name);
        m_hud.notice =
            picture.save(path, "PNG")
                ? QStringLiteral("Saved %1").arg(QDir::toNativeSeparators(path))
                : QStringLiteral("Could not save %1").arg(QDir::toNativeSeparators(path));
    }
    m_noticeAge.start();
    m_view->setHud(m_hud);
}

void frmCamera::ToggleFullScreen()
{
    if (isFullScreen()) {
        showNormal();
        menuBar()->show();
    } else {
        menuBar()->hide();
        showFullScreen();
    }
}

void frmCamera::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && isFullScreen()) {
        ToggleFullScreen();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void frmCamera::mouseDoubleClickEvent(QMouseEvent* event)
{
    Q_UNUSED(event);
    ToggleFullScreen();
}

void frmCamera::closeEvent(QCloseEvent* event)
{
    // Nothing connects to the camera while its window is closed.
    m_stream->stop();
    m_hudTimer->stop();
    event->accept();
    emit closed();
}

#ifdef Q_OS_WIN
bool frmCamera::nativeEvent(const QByteArray& eventType, void* message, qintptr* result)
{
    if (m_keys)
        m_keys->windowsMessage(eventType, message);
    return QMainWindow::nativeEvent(eventType, message, result);
}
#endif
