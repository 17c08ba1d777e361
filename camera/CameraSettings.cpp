#include "camera/CameraSettings.h"

#include "camera/CameraAddress.h"
#include "settings/SettingsFile.h"

#include <QFileInfo>
#include <QUrl>
#include <algorithm>

namespace {

bool fitsLatin1(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 0xff; });
}

} // namespace

QString cameraSettingsPath(const QString& settingsPath)
{
    return QFileInfo(settingsPath).absolutePath() + QStringLiteral("/Camera.ini");
}

CameraSettings parseCameraSettings(const QByteArray& bytes)
{
    CameraSettings settings;
    readSettingLines(bytes, [&settings](const QString& key, const QString& value) {
        if (key == QLatin1String("cameraurl")) {
            settings.url = value;
        } else if (key == QLatin1String("camerawindow")) {
            settings.windowOpen = value == QLatin1String("1");
        } else if (key == QLatin1String("cameramirror")) {
            settings.mirror = value == QLatin1String("1");
        } else if (key == QLatin1String("cameraturn")) {
            const int turn = value.toInt();
            if (turn == 90 || turn == 180 || turn == 270)
                settings.turn = turn;
        }
    });
    return settings;
}

QByteArray formatCameraSettings(const CameraSettings& settings)
{
    // An address beyond Latin-1 is written percent-encoded, which names the
    // same resource in letters the file can hold.
    const QString url = fitsLatin1(settings.url)
                            ? settings.url
                            : QString::fromLatin1(QUrl(settings.url).toEncoded());
    const auto flag = [](bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); };
    const QString text = QStringLiteral("' Velmora's camera: its address (empty: the car's own), "
                                        "window, turn and mirror.\r\n") +
                         QStringLiteral("CameraUrl=") + url + QStringLiteral("\r\n") +
                         QStringLiteral("CameraWindow=") + flag(settings.windowOpen) +
                         QStringLiteral("\r\nCameraTurn=") + QString::number(settings.turn) +
                         QStringLiteral("\r\nCameraMirror=") + flag(settings.mirror) +
                         QStringLiteral("\r\n");
    return text.toLatin1();
}

QString cameraUrlFor(const CameraSettings& settings, const QString& remoteHost)
{
    return settings.url.isEmpty() ? defaultCameraUrl(remoteHost) : settings.url;
}
