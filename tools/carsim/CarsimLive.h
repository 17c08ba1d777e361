#pragma once

#include "tools/carsim/CarSession.h"

#include <QElapsedTimer>
#include <QObject>

class CarsimServer;

// The one simulated car that both the window and the camera show: the
// session fed with the server's events on one clock, so what the window
// draws and what the camera films never disagree.
class CarsimLive : public QObject {
    Q_OBJECT

public:
    explicit CarsimLive(QObject* parent = nullptr);

    // Connects the server's events to the session, stamped with this clock.
    // Call it after the server has started, so the session knows where it
    // listens.
    void feedFromServer(CarsimServer* server);

    // Milliseconds since the simulator started.
    qint64 now() const { return m_clock.elapsed(); }
    // Brings the car up to now.
    const CarSession& advance();
    const CarSession& session() const { return m_session; }

    void clearTrail();
    void restart();

signals:
    // Something happened that changes what the car does next.
    void changed();

private:
    CarSession m_session;
    QElapsedTimer m_clock;
};
