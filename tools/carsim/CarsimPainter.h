#pragma once

#include <QRect>
#include <QtGlobal>

class CarSession;
class QPainter;

// Draws the whole simulator picture into `area`: the arena on the left, the
// readouts on the right. `now` only dates the readouts ("0.4 s ago").
void paintCarsim(QPainter& painter, const QRect& area, const CarSession& session, qint64 now);
