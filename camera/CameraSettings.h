#pragma once

#include <QByteArray>
#include <QString>

// What Camera.ini keeps: the camera's address (empty: the car's own
// camera, following the remote host), whether the camera window was open
// at the last exit (then it opens, and connects, at start), and how the
// picture is turned and mirrored.
struct CameraSettings {
    QString url;
    bool windowOpen = false;
    int turn = 0; // 0, 90, 180 or 270 degrees clockwise
    bool mirror = false;

    friend bool operator==(const CameraSettings&, const CameraSettings&) = default;
};

// Camera.ini lies in the folder of the Velmora.ini in use, wherever the
// location rules put that one.
QString cameraSettingsPath(const QString& settingsPath);

// Same grammar as Velmora.ini; a key the file lacks, or a value it cannot
// hold, keeps its default. Unlike the host, the address keeps its case: a
// password or a path may need it.
CameraSettings parseCameraSettings(const QByteArray& bytes);
// A comment line, then CameraUrl=, CameraWindow=, CameraTurn= and
// CameraMirror=, each line ending in CR LF, Latin-1.
QByteArray formatCameraSettings(const CameraSettings& settings);

// The address to open.
QString cameraUrlFor(const CameraSettings& settings, const QString& remoteHost);
