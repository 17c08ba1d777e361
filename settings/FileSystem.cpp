#include "settings/FileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
#if defined(Q_OS_WIN)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

void setError(QString* error, const QString& reason)
{
    if (error)
        *error = reason;
}

// Some file systems (network shares, quotas, delayed allocation) report a
// full disk only when the data is forced out, and commit() ignores that.
bool syncToDisk(QSaveFile& file, QString* error)
{
    const int fd = file.handle();
#if defined(Q_OS_WIN)
    // The C runtime's _commit() is FlushFileBuffers() on the file's handle.
    const bool failed = fd >= 0 && ::_commit(fd) != 0;
#else
    const bool failed = fd >= 0 && ::fsync(fd) != 0 && errno != EINVAL;
#endif
    if (failed) {
        setError(error, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

} // namespace

bool FileSystem::fileExists(const QString& path) const
{
    // Anything at all under that name counts, a folder included: reading it
    // then fails with a reason the driver can act on, instead of the program
    // quietly starting from the defaults and later failing to save.
    return QFileInfo(path).exists();
}

QDateTime FileSystem::lastModified(const QString& path) const
{
    const QFileInfo file(path);
    return file.exists() ? file.lastModified() : QDateTime();
}

std::optional<QByteArray> FileSystem::readFile(const QString& path, QString* error) const
{
    if (QFileInfo(path).isDir()) {
        setError(error, QStringLiteral("It is a folder, not a file."));
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, file.errorString());
        return std::nullopt;
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        setError(error, file.errorString());
        return std::nullopt;
    }
    return bytes;
}

bool FileSystem::replaceFile(const QString& path, const QByteArray& contents, QString* error) const
{
    const QFileInfo existing(path);
    if (existing.isDir()) {
        setError(error, QStringLiteral("It is a folder, not a file."));
        return false;
    }
    // A file marked read-only stays as it is, even though its folder would
    // let a new file be renamed over it.
    if (isMarkedReadOnly(path)) {
        setError(error, QStringLiteral("The file is read-only."));
        return false;
    }

    QSaveFile file(path);
    // Writing straight into the old file would lose it on a failure.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) {
        setError(error, file.errorString());
        return false;
    }
    // commit() may report success even when the last buffered bytes could
    // not be written, and would then put an empty file in place of the old
    // one. So push everything out first and look at the outcome ourselves.
    const bool written = file.write(contents) == contents.size() && file.flush() &&
                         file.error() == QFileDevice::NoError;
    if (!written) {
        setError(error, file.errorString());
        file.cancelWriting();
        return false;
    }
    if (!syncToDisk(file, error)) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        setError(error, file.errorString());
        return false;
    }
    return true;
}

bool FileSystem::isMarkedReadOnly(const QString& path) const
{
    // Also for a user (such as root) whom the mark would not stop.
    constexpr QFileDevice::Permissions anyWrite =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    const QFileInfo file(path);
    return file.isFile() && (!file.isWritable() || !(file.permissions() & anyWrite));
}

bool FileSystem::canCreateFileIn(const QString& folder) const
{
    // The probe removes itself when it goes out of scope.
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".Velmora-XXXXXX")));
    return probe.open();
}

bool FileSystem::makeFolder(const QString& folder, QString* error) const
{
    if (QDir().mkpath(folder))
        return true;
    setError(
        error,
        QStringLiteral("The folder %1 could not be made.").arg(QDir::toNativeSeparators(folder)));
    return false;
}
