#include "support/PrivateNetwork.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#if defined(Q_OS_LINUX)
#include <cerrno>
#include <cstring>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

QString g_iptables;
// The namespace's identity, as the kernel names it, once entered.
QString g_namespace;

QString currentNamespace()
{
    return QFile::symLinkTarget(QStringLiteral("/proc/self/ns/net"));
}

#if defined(Q_OS_LINUX)
QString systemErrorText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

QString bringLoopbackUp()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0)
        return QStringLiteral("socket(): ") + systemErrorText();
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    QString problem;
    if (::ioctl(fd, SIOCGIFFLAGS, &request) < 0) {
        problem = QStringLiteral("reading the flags of lo: ") + systemErrorText();
    } else {
        request.ifr_flags = short(request.ifr_flags | IFF_UP);
        if (::ioctl(fd, SIOCSIFFLAGS, &request) < 0)
            problem = QStringLiteral("bringing lo up: ") + systemErrorText();
    }
    ::close(fd);
    return problem;
}

// A namespace made a moment ago holds loopback and nothing else; anything
// more means this is not the namespace we think it is.
QString onlyLoopbackPresent()
{
    struct if_nameindex* names = ::if_nameindex();
    if (!names)
        return QStringLiteral("listing interfaces: ") + systemErrorText();
    QString problem;
    for (const struct if_nameindex* entry = names; entry->if_index != 0; ++entry) {
        if (std::strcmp(entry->if_name, "lo") != 0)
            problem = QStringLiteral("unexpected interface %1 in the new namespace")
                          .arg(QString::fromLocal8Bit(entry->if_name));
    }
    ::if_freenameindex(names);
    return problem;
}
#endif

QString run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(15000)) {
        process.kill();
        process.waitForFinished();
        return program + QStringLiteral(" did not finish");
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        return QStringLiteral("%1 %2 failed: %3")
            .arg(program, arguments.join(QLatin1Char(' ')),
                 QString::fromLocal8Bit(process.readAllStandardError()).trimmed());
    }
    return {};
}

} // namespace

namespace PrivateNetwork {

QString enter()
{
    if (isEntered())
        return {};
#if defined(Q_OS_LINUX)
    const QStringList sbin = {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"),
                              QStringLiteral("/usr/bin"), QStringLiteral("/bin")};
    QString tool = QStandardPaths::findExecutable(QStringLiteral("iptables"));
    if (tool.isEmpty())
        tool = QStandardPaths::findExecutable(QStringLiteral("iptables"), sbin);
    if (tool.isEmpty())
        return QStringLiteral("iptables is not installed; cannot drop packets");

    if (::unshare(CLONE_NEWNET) != 0) {
        return QStringLiteral("cannot make a private network namespace (needs root): ") +
               systemErrorText();
    }
    if (QString problem = bringLoopbackUp(); !problem.isEmpty())
        return problem;
    if (QString problem = onlyLoopbackPresent(); !problem.isEmpty())
        return problem;
    g_namespace = currentNamespace();
    if (g_namespace.isEmpty())
        return QStringLiteral("cannot tell which network namespace this is");
    g_iptables = tool;
    if (QString problem =
            run(g_iptables, {QStringLiteral("-w"), QStringLiteral("-L"), QStringLiteral("-n")});
        !problem.isEmpty()) {
        g_iptables.clear();
        return QStringLiteral("iptables does not work here: ") + problem;
    }
    return {};
#else
    return QStringLiteral("private network namespaces exist only on Linux");
#endif
}

bool isEntered()
{
    return !g_iptables.isEmpty() && !g_namespace.isEmpty() && currentNamespace() == g_namespace;
}

QString iptables(const QStringList& arguments)
{
    if (!isEntered())
        return QStringLiteral("refusing to change packet filters outside the test's own namespace");
    return run(g_iptables, QStringList{QStringLiteral("-w")} + arguments);
}

QString dropConnectionsTo(quint16 port)
{
    return iptables({QStringLiteral("-A"), QStringLiteral("INPUT"), QStringLiteral("-p"),
                     QStringLiteral("tcp"), QStringLiteral("--dport"), QString::number(port),
                     QStringLiteral("--tcp-flags"), QStringLiteral("SYN,ACK"),
                     QStringLiteral("SYN"), QStringLiteral("-j"), QStringLiteral("DROP")});
}

QString dropAllTraffic(quint16 port)
{
    for (const QString& direction : {QStringLiteral("--dport"), QStringLiteral("--sport")}) {
        const QString problem =
            iptables({QStringLiteral("-A"), QStringLiteral("INPUT"), QStringLiteral("-p"),
                      QStringLiteral("tcp"), direction, QString::number(port), QStringLiteral("-j"),
                      QStringLiteral("DROP")});
        if (!problem.isEmpty())
            return problem;
    }
    return {};
}

QString removeRules()
{
    return iptables({QStringLiteral("-F"), QStringLiteral("INPUT")});
}

} // namespace PrivateNetwork
