#include "support/ScratchDisk.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

#if defined(Q_OS_LINUX)
#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#endif

namespace {

#if defined(Q_OS_LINUX)
QString systemErrorText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}
#endif

const QString notHere = QStringLiteral("scratch file systems exist only on Linux");

} // namespace

namespace ScratchDisk {

QString enterOwnMountNamespace()
{
#if defined(Q_OS_LINUX)
    if (::unshare(CLONE_NEWNS) != 0)
        return QStringLiteral("cannot enter an own mount namespace (needs root): ") +
               systemErrorText();
    // Without this, mounts made here could travel back to the parent.
    if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return QStringLiteral("cannot make mounts private: ") + systemErrorText();
    return {};
#else
    return notHere;
#endif
}

QString mount(const QString& folder, const char* size)
{
#if defined(Q_OS_LINUX)
    const QByteArray options = QByteArrayLiteral("size=") + size;
    if (::mount("velmora-test", QFile::encodeName(folder).constData(), "tmpfs", 0,
                options.constData()) != 0)
        return QStringLiteral("cannot mount a tmpfs on %1: %2").arg(folder, systemErrorText());
    return {};
#else
    Q_UNUSED(folder);
    Q_UNUSED(size);
    return notHere;
#endif
}

QString makeReadOnly(const QString& folder)
{
#if defined(Q_OS_LINUX)
    if (::mount("velmora-test", QFile::encodeName(folder).constData(), "tmpfs",
                MS_REMOUNT | MS_RDONLY, nullptr) != 0)
        return QStringLiteral("cannot make %1 read-only: %2").arg(folder, systemErrorText());
    return {};
#else
    Q_UNUSED(folder);
    return notHere;
#endif
}

QString unmount(const QString& folder)
{
#if defined(Q_OS_LINUX)
    if (::umount2(QFile::encodeName(folder).constData(), MNT_DETACH) != 0)
        return QStringLiteral("cannot unmount %1: %2").arg(folder, systemErrorText());
    return {};
#else
    Q_UNUSED(folder);
    return notHere;
#endif
}

QString fill(const QString& path, qint64 leaveFree)
{
    QFile filler(path);
    if (!filler.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot create %1: %2").arg(path, filler.errorString());
    // Bounded, so a file system that never fills cannot run the test forever.
    const QByteArray chunk(4096, 'x');
    for (int i = 0; i < 100000; ++i) {
        if (filler.write(chunk) != chunk.size() || !filler.flush())
            break;
    }
    filler.close();
    const qint64 size = QFileInfo(path).size();
    if (size <= 0)
        return QStringLiteral("the filler got no space at all");
    if (leaveFree > 0 && !QFile::resize(path, std::max<qint64>(0, size - leaveFree)))
        return QStringLiteral("cannot shorten %1").arg(path);
    return {};
}

} // namespace ScratchDisk
