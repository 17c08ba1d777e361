#include "tools/carsim/CarsimWindow.h"

#include "tools/carsim/CarsimPainter.h"
#include "tools/carsim/CarsimServer.h"

#include <QKeyEvent>
#include <QPainter>

namespace {

constexpr int kFrameMs = 16;
constexpr int kReadoutMs = 250;

} // namespace

CarsimWindow::CarsimWindow(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("Velmora car simulator"));
    resize(740, 380);
    setMinimumSize(480, 320);
    setFocusPolicy(Qt::StrongFocus);
    // The remote control beside us should keep the keyboard.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_clock.start();

    m_frames.setInterval(kFrameMs);
    m_frames.setTimerType(Qt::PreciseTimer);
    connect(&m_frames, &QTimer::timeout, this, &CarsimWindow::wake);
    m_readouts.setInterval(kReadoutMs);
    connect(&m_readouts, &QTimer::timeout, this, &CarsimWindow::wake);
    m_silence.setSingleShot(true);
    connect(&m_silence, &QTimer::timeout, this, &CarsimWindow::wake);
}

void CarsimWindow::feedFromServer(CarsimServer* server)
{
    m_session.setListening(server->listeningEndpoint());
    setWindowTitle(QStringLiteral("Velmora car simulator on %1").arg(m_session.listening()));
    connect(server, &CarsimServer::clientOpened, this, [this](const QString& endpoint) {
        m_session.linkOpened(endpoint, now());
        wake();
    });
    connect(server, &CarsimServer::commandHeard, this, [this](int code) {
        m_session.command(code, now());
        wake();
    });
    connect(server, &CarsimServer::clientClosed, this, [this] {
        m_session.linkClosed(now());
        wake();
    });
}

void CarsimWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paintCarsim(painter, rect(), m_session, now());
}

void CarsimWindow::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_C:
        m_session.clearTrail();
        break;
    case Qt::Key_R:
        m_session.recentre();
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    wake();
}

void CarsimWindow::wake()
{
    // Commands may arrive between frames; the session brakes and steers at
    // their own times, so a late frame only draws later, never differently.
    const qint64 time = now();
    m_session.advanceTo(time);
    update();

    if (m_session.car().isMoving()) {
        if (!m_frames.isActive())
            m_frames.start();
    } else {
        m_frames.stop();
    }
    if (m_session.peer().isEmpty())
        m_readouts.stop();
    else if (!m_readouts.isActive())
        m_readouts.start();
    const qint64 deadline = m_session.silenceDeadline();
    if (deadline > time)
        m_silence.start(static_cast<int>(deadline - time));
    else
        m_silence.stop();
}
