#include "camera/CameraAddress.h"

#include <QUrl>

namespace {

constexpr qint64 StaleAfterMs = 1000;
constexpr qint64 GoneAfterMs = 3000;

QString reasonWords(NoPictureReason reason)
{
    switch (reason) {
    case NoPictureReason::Refused:
        return QStringLiteral("the camera refused the connection");
    case NoPictureReason::NotFound:
        return QStringLiteral("the camera has no stream at this address");
    case NoPictureReason::NeedsPassword:
        return QStringLiteral("the camera wants a user and password in the address");
    case NoPictureReason::NotCameraStream:
        return QStringLiteral("the address does not serve a camera stream");
    case NoPictureReason::TimedOut:
        return QStringLiteral("the camera did not answer in time");
    case NoPictureReason::Ended:
        return QStringLiteral("the camera ended the stream");
    case NoPictureReason::PictureTooLarge:
        return QStringLiteral("the camera's picture is too large to show");
    case NoPictureReason::HostNotFound:
        return QStringLiteral("the camera's host name is not known");
    case NoPictureReason::None:
        break;
    }
    return QStringLiteral("no frame has come for a while");
}

} // namespace

QString defaultCameraUrl(const QString& remoteHost)
{
    // An IPv6 address needs its brackets in a URL.
    const QString host =
        remoteHost.contains(QLatin1Char(':')) && !remoteHost.startsWith(QLatin1Char('['))
            ? QLatin1Char('[') + remoteHost + QLatin1Char(']')
            : remoteHost;
    return QStringLiteral("http://") + host + QStringLiteral(":8080/?action=stream");
}

CameraUrlProblem checkCameraUrl(QStringView text)
{
    const QString trimmed = text.trimmed().toString();
    if (trimmed.isEmpty())
        return CameraUrlProblem::None;
    for (const QChar c : trimmed) {
        if (c.category() == QChar::Other_Control || c.isSpace())
            return CameraUrlProblem::Garbage;
    }
    // Without a scheme at all, the missing http:// is what to say.
    if (!trimmed.contains(QLatin1String("://")))
        return CameraUrlProblem::NotHttp;
    const QUrl url(trimmed, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty())
        return CameraUrlProblem::Garbage;
    if (url.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) != 0)
        return CameraUrlProblem::NotHttp;
    if (url.host().isEmpty())
        return CameraUrlProblem::NoHost;
    return CameraUrlProblem::None;
}

QString cameraUrlRefusalText(CameraUrlProblem problem)
{
    switch (problem) {
    case CameraUrlProblem::NotHttp:
        return QStringLiteral("Camera address must start with http://: the car's camera "
                              "server speaks plain HTTP (not https:// or rtsp://).");
    case CameraUrlProblem::NoHost:
        return QStringLiteral("Camera address must name the camera's host, as in "
                              "http://192.168.1.1:8080/?action=stream.");
    case CameraUrlProblem::Garbage:
        return QStringLiteral("Camera address is not an address: enter one such as "
                              "http://192.168.1.1:8080/?action=stream, or leave it empty for "
                              "the car's own camera.");
    case CameraUrlProblem::None:
        break;
    }
    return {};
}

QString pictureStateText(qint64 msSinceFrame, NoPictureReason reason)
{
    if (reason != NoPictureReason::None || msSinceFrame >= GoneAfterMs)
        return QStringLiteral("No picture: %1").arg(reasonWords(reason));
    if (msSinceFrame >= StaleAfterMs)
        // In whole tenths, rounded down: the picture is at least that old.
        return QStringLiteral("Picture %1 s old").arg(double(msSinceFrame / 100) / 10.0, 0, 'f', 1);
    return {};
}
