#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

// The few file operations the settings need, each reporting why it failed
// in words a driver can act on.
class FileSystem {
public:
    bool fileExists(const QString& path) const;

    // When the file was last written; invalid when there is none.
    QDateTime lastModified(const QString& path) const;

    // The whole file, or nothing with *error set.
    std::optional<QByteArray> readFile(const QString& path, QString* error) const;

    // Writes the file beside the old one and renames it over, so a failed
    // write (no permission, a full disk) leaves the old file as it was.
    bool replaceFile(const QString& path, const QByteArray& contents, QString* error) const;

    // Whether the file is there and marked read-only (for anyone: a save
    // leaves such a file alone even when the user could write it anyway).
    bool isMarkedReadOnly(const QString& path) const;

    // Whether a new file can be made in the folder, found out by making one:
    // permission bits alone do not tell (access lists, read-only mounts).
    bool canCreateFileIn(const QString& folder) const;

    // Makes the folder and any missing parents.
    bool makeFolder(const QString& folder, QString* error) const;
};
