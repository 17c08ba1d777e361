#pragma once

#include "tools/carsim/CarSession.h"

#include <QTimer>
#include <QWidget>

class CarsimLive;

// The simulator's window: draws the arena, the car, its trail and what the
// car heard. It only draws what `live` holds, which the server feeds.
// Frames are drawn at the screen's pace only while something moves.
class CarsimWindow : public QWidget {
    Q_OBJECT

public:
    explicit CarsimWindow(CarsimLive& live, QWidget* parent = nullptr);

    const CarSession& session() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Brings the car up to now, redraws, and starts or stops the timers to
    // suit what happens next.
    void wake();

    CarsimLive& m_live;
    QTimer m_frames;   // ~60 Hz while the car moves
    QTimer m_readouts; // a few times a second while connected, for the ages
    QTimer m_silence;  // fires when the failsafe is due
};
