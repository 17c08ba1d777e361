#include "bench/BenchMachine.h"

#include <QByteArray>
#include <QFile>
#include <QSysInfo>
#include <QThread>

QString machineText()
{
    QString model;
    QFile cpuinfo(QStringLiteral("/proc/cpuinfo"));
    if (cpuinfo.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : cpuinfo.readAll().split('\n')) {
            if (line.startsWith("model name")) {
                model = QString::fromLatin1(line.mid(line.indexOf(':') + 1)).simplified();
                break;
            }
        }
    }
    // Other work on the machine shows in the latency; the load says how much.
    QString load;
    QFile loadavg(QStringLiteral("/proc/loadavg"));
    if (loadavg.open(QIODevice::ReadOnly))
        load = QString::fromLatin1(loadavg.readAll().split(' ').value(0));
    return QStringLiteral("%1, %2 CPUs, Linux %3, load %4")
        .arg(model.isEmpty() ? QSysInfo::currentCpuArchitecture() : model)
        .arg(QThread::idealThreadCount())
        .arg(QSysInfo::kernelVersion(), load.isEmpty() ? QStringLiteral("?") : load);
}
