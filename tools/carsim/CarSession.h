#pragma once

#include "tools/carsim/CarModel.h"
#include "tools/carsim/CommandLog.h"
#include "tools/carsim/Failsafe.h"

#include <QList>
#include <QPointF>
#include <QString>

// Everything the simulator's window shows, without widgets or sockets: the
// car, the failsafe that stops it, the commands heard, the trail and the
// state of the connection. Fed with events and moved on by a clock in
// milliseconds that only goes forward, so a test can drive it step by step.
class CarSession {
public:
    void setListening(const QString& endpoint) { m_listening = endpoint; }
    void linkOpened(const QString& peer, qint64 now);
    void command(int code, qint64 now);
    void linkClosed(qint64 now);
    // Moves the car on to `now`, braking from the very moment the failsafe
    // steps in, however late this is called.
    void advanceTo(qint64 now);

    void clearTrail();
    void restart();

    const CarModel& car() const { return m_car; }
    const CommandLog& log() const { return m_log; }
    Failsafe::Stop stop() const { return m_failsafe.stop(m_time); }
    qint64 silenceDeadline() const { return m_failsafe.silenceDeadline(); }
    const QList<QPointF>& trail() const { return m_trail; }
    const QString& listening() const { return m_listening; }
    // The client's address and port, empty while none is connected.
    const QString& peer() const { return m_peer; }

private:
    void move(qint64 ms);

    CarModel m_car;
    Failsafe m_failsafe;
    CommandLog m_log;
    QList<QPointF> m_trail;
    QString m_listening;
    QString m_peer;
    qint64 m_time = 0;
};
