#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

// The settings file's name, beside the executable.
inline QString settingsFileName()
{
    return QStringLiteral("Velmora.ini");
}

// What one reading of the settings file found. A key the file lacks stays
// unset; values are trimmed of spaces and lower-cased.
struct SettingsRead {
    std::optional<QString> remotePort;
    std::optional<QString> remoteHost;
    // Whether any line holds more than white space: a file that does, yet
    // sets neither key, is something the reader did not understand.
    bool holdsText = false;
};

// Hands each key=value line of a settings file to apply, the key trimmed of
// spaces and lower-cased, the value trimmed of spaces; comment lines (an
// apostrophe first) and lines without "=" are skipped. The file is read as
// single-byte (Latin-1) text, or as UTF-16 (little or big endian) when it
// starts with that byte-order mark; a UTF-8 byte-order mark at the very start
// is skipped. Lines end in CR LF or LF; a last line without an end is read
// too. Returns whether any line holds more than white space.
bool readSettingLines(const QByteArray& bytes,
                      const std::function<void(const QString& key, const QString& value)>& apply);

// The connection settings of such a file. A host saved in its ASCII (IDNA)
// form comes back in the letters it was typed in.
SettingsRead parseSettingsFile(const QByteArray& bytes);

// The file as written: two comment lines, then RemotePort= and RemoteHost=,
// each line ending in CR LF, Latin-1. A host with letters beyond Latin-1 is
// written in its ASCII (IDNA) form, which names the same host.
QByteArray formatSettingsFile(const QString& remotePortText, const QString& remoteHostText);

// The host as the file can hold it, or nothing when it has letters beyond
// Latin-1 and no ASCII (IDNA) form either.
std::optional<QString> hostForFile(const QString& host);
