#include "settings/SettingsLocation.h"

#include "settings/FileSystem.h"
#include "settings/SettingsFile.h"

#include <QDateTime>
#include <QDir>
#include <QStandardPaths>

SettingsLocation chooseSettingsLocation(const FileSystem& files, const QString& appDir,
                                        const QString& perUserFolder)
{
    // A save replaces the file by renaming a new one over it, so the folder
    // must take new files, and a file marked read-only is left alone.
    const QString beside = appDir + settingsFileName();
    const QString perUser = perUserFolder + QLatin1Char('/') + settingsFileName();
    const bool besideTakesSave = files.canCreateFileIn(appDir) && !files.isMarkedReadOnly(beside);
    const QString save = besideTakesSave ? beside : perUser;
    const QString other = besideTakesSave ? perUser : beside;

    // Reading the file this run saves to, when the other one was saved
    // later, would bring back older settings than the driver last chose.
    const QDateTime saveWritten = files.lastModified(save);
    const QDateTime otherWritten = files.lastModified(other);
    if (otherWritten.isValid() && (!saveWritten.isValid() || otherWritten > saveWritten))
        return {other, save};
    return {save, save};
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
