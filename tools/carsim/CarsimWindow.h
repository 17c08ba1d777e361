#pragma once

#include "tools/carsim/CarSession.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

class CarsimServer;

// The simulator's window: draws the arena, the car, its trail and what the
// car heard. It only draws; the server feeds the session through
// feedFromServer(). Frames are drawn at the screen's pace only while
// something moves.
class CarsimWindow : public QWidget {
    Q_OBJECT

public:
    explicit CarsimWindow(QWidget* parent = nullptr);

    // Connects the server's events to this window's session, stamped with
    // this window's clock.
    void feedFromServer(CarsimServer* server);

    const CarSession& session() const { return m_session; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    qint64 now() const { return m_clock.elapsed(); }
    // Brings the car up to now, redraws, and starts or stops the timers to
    // suit what happens next.
    void wake();

    CarSession m_session;
    QElapsedTimer m_clock;
    QTimer m_frames;   // ~60 Hz while the car moves
    QTimer m_readouts; // a few times a second while connected, for the ages
    QTimer m_silence;  // fires when the failsafe is due
};
