#include "support/OrdinaryUser.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <unistd.h>

namespace {
constexpr uid_t NobodyId = 65534;
}

OrdinaryUser::OrdinaryUser(const QStringList& handOver)
{
    if (::geteuid() != 0) {
        m_ordinary = true;
        return;
    }
    for (const QString& path : handOver) {
        if (::chown(QFile::encodeName(path).constData(), NobodyId, NobodyId) != 0)
            return;
    }
    // The group first: once the user is not root, it may not change it.
    if (::setegid(NobodyId) != 0)
        return;
    if (::seteuid(NobodyId) != 0) {
        (void)::setegid(0);
        return;
    }
    m_steppedDown = true;
    m_ordinary = true;
}

OrdinaryUser::~OrdinaryUser()
{
    if (!m_steppedDown)
        return;
    // Back to root, then to root's group; a failure here would leave every
    // later test running as nobody, so it stops the run.
    if (::seteuid(0) != 0 || ::setegid(0) != 0)
        qFatal("cannot return to the root user");
}

#else

OrdinaryUser::OrdinaryUser(const QStringList&) {}
OrdinaryUser::~OrdinaryUser() = default;

#endif
