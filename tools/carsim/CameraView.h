#pragma once

#include <QImage>
#include <QList>
#include <QPointF>

// What the camera on the car's nose needs to know to film: where the car
// is, where it looks and where it has been. A copy, so another thread can
// film it while the car drives on.
struct CameraScene {
    QPointF position; // the middle of the car, metres
    double heading = 0;
    QList<QPointF> trail;
};

inline constexpr int kCameraWidth = 640;
inline constexpr int kCameraHeight = 480;

// The camera's picture, kCameraWidth × kCameraHeight in Format_RGB32: the
// floor with its metre grid, the walls and the trail, in perspective, from
// just above the front bumper, looking ahead and a little down. Draws no
// text, so it needs no fonts and works without a GUI application.
QImage filmCameraView(const CameraScene& scene);
