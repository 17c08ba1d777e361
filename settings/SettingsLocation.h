#pragma once

#include <QString>

class FileSystem;

// Which settings file a run reads at start and which one it saves to at exit.
// They differ only for the first run whose save cannot go beside the
// executable: that run starts from the file there and saves per user.
struct SettingsLocation {
    QString readPath;
    QString savePath;
};

// A copy whose folder takes the file (a portable copy, a per-user install)
// keeps it beside the executable. Otherwise (an install in /usr/bin or
// Program Files, a write-protected stick, a file marked read-only) the
// settings are saved in the driver's own folder, and read from there once a
// file is there; until then they start from the file beside the executable,
// if any. appDir ends in a separator.
SettingsLocation chooseSettingsLocation(const FileSystem& files, const QString& appDir,
                                        const QString& perUserFolder);

// The driver's own settings folder: %APPDATA%\Velmora on Windows,
// ~/.config/Velmora (or $XDG_CONFIG_HOME/Velmora) elsewhere.
QString perUserSettingsFolder();
