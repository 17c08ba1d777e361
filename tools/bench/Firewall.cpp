#include "bench/Firewall.h"

#include <QNetworkInterface>
#include <QProcess>

namespace {

bool runIptables(const QStringList& arguments, QString* error)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("iptables"), QStringList{QStringLiteral("-w")} + arguments);
    if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        if (error)
            *error = QStringLiteral("iptables %1 failed: %2")
                         .arg(arguments.join(QLatin1Char(' ')),
                              process.errorString() + QLatin1Char(' ') +
                                  QString::fromLocal8Bit(process.readAll()).trimmed());
        return false;
    }
    return true;
}

} // namespace

Firewall::~Firewall()
{
    removeAll();
}

bool Firewall::insideLoopbackOnlyNamespace()
{
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    if (interfaces.isEmpty())
        return false;
    for (const QNetworkInterface& interface : interfaces) {
        if (!interface.flags().testFlag(QNetworkInterface::IsLoopBack))
            return false;
    }
    return true;
}

bool Firewall::add(const QStringList& rule, QString* error)
{
    if (!insideLoopbackOnlyNamespace()) {
        *error = QStringLiteral("refusing to change packet filters outside a loopback-only "
                                "network namespace");
        return false;
    }
    if (!runIptables(QStringList{QStringLiteral("-I")} + rule, error))
        return false;
    m_rules.append(rule);
    return true;
}

bool Firewall::dropConnectsTo(quint16 port, QString* error)
{
    return add({QStringLiteral("INPUT"), QStringLiteral("-p"), QStringLiteral("tcp"),
                QStringLiteral("--syn"), QStringLiteral("--dport"), QString::number(port),
                QStringLiteral("-j"), QStringLiteral("DROP")},
               error);
}

bool Firewall::dropTrafficOf(quint16 port, QString* error)
{
    for (const char* side : {"--dport", "--sport"}) {
        if (!add({QStringLiteral("INPUT"), QStringLiteral("-p"), QStringLiteral("tcp"),
                  QLatin1String(side), QString::number(port), QStringLiteral("-j"),
                  QStringLiteral("DROP")},
                 error))
            return false;
    }
    return true;
}

bool Firewall::dropRandomly(quint16 port, double probability, QString* error)
{
    for (const char* side : {"--dport", "--sport"}) {
        if (!add({QStringLiteral("INPUT"), QStringLiteral("-p"), QStringLiteral("tcp"),
                  QLatin1String(side), QString::number(port), QStringLiteral("-m"),
                  QStringLiteral("statistic"), QStringLiteral("--mode"), QStringLiteral("random"),
                  QStringLiteral("--probability"), QString::number(probability, 'f', 4),
                  QStringLiteral("-j"), QStringLiteral("DROP")},
                 error))
            return false;
    }
    return true;
}

void Firewall::removeAll()
{
    while (!m_rules.isEmpty())
        runIptables(QStringList{QStringLiteral("-D")} + m_rules.takeLast(), nullptr);
}
