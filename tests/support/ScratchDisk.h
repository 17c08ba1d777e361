#pragma once

#include <QString>
#include <QtGlobal>

// Small file systems that a test can fill up, mounted in a mount namespace of
// the test's own so that nothing outside the process ever sees them. Linux
// only, and needs root. Every function returns an empty string on success,
// else why it failed, fit for QSKIP or QFAIL.
namespace ScratchDisk {

// Moves the calling thread into a mount namespace of its own with private
// mounts. Call it once, from the thread that does all the file work, before
// any other thread is started that should share the view.
QString enterOwnMountNamespace();

// Mounts a fresh, empty tmpfs of `size` (such as "64k") over folder.
QString mount(const QString& folder, const char* size);
// Makes the tmpfs mounted on folder read-only, as a disk that went bad does.
QString makeReadOnly(const QString& folder);
// Detaches whatever is mounted on folder.
QString unmount(const QString& folder);

// Writes the file at path until the file system refuses, then shortens it so
// that leaveFree bytes are free again.
QString fill(const QString& path, qint64 leaveFree);

} // namespace ScratchDisk
