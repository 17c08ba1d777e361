#pragma once

#include <QString>

class FileSystem;

// Which settings file a run reads at start and which one it saves to at exit.
// They differ when the file saved last is not where this run can save.
struct SettingsLocation {
    QString readPath;
    QString savePath;
};

// A copy whose folder takes the file (a portable copy, a per-user install)
// saves it beside the executable. Otherwise (an install in /usr/bin or
// Program Files, a write-protected stick, a file marked read-only) the
// settings are saved in the driver's own folder. Either way a run starts
// from whichever of the two files was saved last, so the settings saved last
// come back even when the program's folder has since stopped or started
// taking the file. appDir ends in a separator.
SettingsLocation chooseSettingsLocation(const FileSystem& files, const QString& appDir,
                                        const QString& perUserFolder);

// The driver's own settings folder: %APPDATA%\Velmora on Windows,
// ~/.config/Velmora (or $XDG_CONFIG_HOME/Velmora) elsewhere.
QString perUserSettingsFolder();
