#include "settings/SettingsLocation.h"

#include "settings/FileSystem.h"
#include "settings/SettingsFile.h"

#include <QDir>
#include <QStandardPaths>

SettingsLocation chooseSettingsLocation(const FileSystem& files, const QString& appDir,
                                        const QString& perUserFolder)
{
    // A save replaces the file by renaming a new one over it, so the folder
    // must take new files, and a file marked read-only is left alone.
    const QString beside = appDir + settingsFileName();
    if (files.canCreateFileIn(appDir) && !files.isMarkedReadOnly(beside))
        return {beside, beside};

    // Reading a file that can never be saved again would bring back the old
    // settings at every start, whatever the driver chose since; the file
    // saved per user holds the newest.
    const QString perUser = perUserFolder + QLatin1Char('/') + settingsFileName();
    if (!files.fileExists(perUser) && files.fileExists(beside))
        return {beside, perUser};
    return {perUser, perUser};
}

QString perUserSettingsFolder()
{
#ifdef Q_OS_WIN
    // %APPDATA%, the folder that roams with the driver's account.
    const QString base = qEnvironmentVariable("APPDATA");
    if (!base.isEmpty())
        return QDir::fromNativeSeparators(base) + QStringLiteral("/Velmora");
#endif
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Velmora");
}
