#pragma once

#include <QString>
#include <QStringView>

// The camera's address as the driver types it, and what the picture's state
// is called. Pure functions, so that the dialog, the window and the tests
// agree on every word.

// Where the common router camera servers serve their stream: the car's own
// host, port 8080. An empty address in Camera.ini stands for this one and
// follows the remote host when it changes.
QString defaultCameraUrl(const QString& remoteHost);

enum class CameraUrlProblem { None, NotHttp, NoHost, Garbage };

// Only plain http:// can be read: the camera servers on such routers speak
// nothing else. Empty is fine: it means the default address.
CameraUrlProblem checkCameraUrl(QStringView text);
QString cameraUrlRefusalText(CameraUrlProblem problem);

// Why there is no picture.
enum class NoPictureReason {
    None,
    Refused,
    NotFound,
    NeedsPassword,
    NotCameraStream,
    TimedOut,
    Ended,
    PictureTooLarge,
    HostNotFound
};

// The picture's state for the head-up display: empty while the picture is
// fresh, "Picture 1.4 s old" from 1 s without a complete frame, and
// "No picture" with the reason from 3 s or as soon as the stream failed.
QString pictureStateText(qint64 msSinceFrame, NoPictureReason reason);
