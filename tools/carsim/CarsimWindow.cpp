#include "tools/carsim/CarsimWindow.h"

#include "tools/carsim/CarsimLive.h"
#include "tools/carsim/CarsimPainter.h"

#include <QKeyEvent>
#include <QPainter>

namespace {

constexpr int kFrameMs = 16;
constexpr int kReadoutMs = 250;

} // namespace

CarsimWindow::CarsimWindow(CarsimLive& live, QWidget* parent) : QWidget(parent), m_live(live)
{
    setWindowTitle(QStringLiteral("Velmora car simulator on %1").arg(session().listening()));
    resize(740, 380);
    setMinimumSize(480, 320);
    setFocusPolicy(Qt::StrongFocus);
    // The remote control beside us should keep the keyboard.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_OpaquePaintEvent);

    m_frames.setInterval(kFrameMs);
    m_frames.setTimerType(Qt::PreciseTimer);
    connect(&m_frames, &QTimer::timeout, this, &CarsimWindow::wake);
    m_readouts.setInterval(kReadoutMs);
    connect(&m_readouts, &QTimer::timeout, this, &CarsimWindow::wake);
    m_silence.setSingleShot(true);
    connect(&m_silence, &QTimer::timeout, this, &CarsimWindow::wake);
    connect(&m_live, &CarsimLive::changed, this, &CarsimWindow::wake);
}

const CarSession& CarsimWindow::session() const
{
    return m_live.session();
}

void CarsimWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paintCarsim(painter, rect(), session(), m_live.now());
}

void CarsimWindow::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_C:
        m_live.clearTrail();
        break;
    case Qt::Key_R:
        m_live.restart();
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void CarsimWindow::wake()
{
    // Commands may arrive between frames; the session brakes and steers at
    // their own times, so a late frame only draws later, never differently.
    const qint64 time = m_live.now();
    const CarSession& state = m_live.advance();
    update();

    if (state.car().isMoving()) {
        if (!m_frames.isActive())
            m_frames.start();
    } else {
        m_frames.stop();
    }
    if (state.peer().isEmpty())
        m_readouts.stop();
    else if (!m_readouts.isActive())
        m_readouts.start();
    const qint64 deadline = state.silenceDeadline();
    if (deadline > time)
        m_silence.start(static_cast<int>(deadline - time));
    else
        m_silence.stop();
}
