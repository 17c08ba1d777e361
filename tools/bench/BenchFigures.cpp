#include "bench/BenchFigures.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

std::optional<double> percentile(QList<double> samples, double p)
{
    if (samples.isEmpty() || !(p > 0) || p > 100)
        return std::nullopt;
    std::sort(samples.begin(), samples.end());
    const auto rank = qsizetype(std::ceil(p / 100.0 * double(samples.size())));
    return samples.at(std::clamp<qsizetype>(rank, 1, samples.size()) - 1);
}

std::optional<double> median(const QList<double>& samples)
{
    return percentile(samples, 50);
}

std::optional<qint64> schedstatCpuNs(const QByteArray& text)
{
    const QList<QByteArray> fields = text.simplified().split(' ');
    if (fields.isEmpty())
        return std::nullopt;
    bool ok = false;
    const qint64 value = fields.first().toLongLong(&ok);
    if (!ok || value < 0)
        return std::nullopt;
    return value;
}

std::optional<qint64> statusKilobytes(const QByteArray& status, const QByteArray& name)
{
    for (const QByteArray& line : status.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon < 0 || line.left(colon) != name)
            continue;
        const QList<QByteArray> parts = line.mid(colon + 1).simplified().split(' ');
        if (parts.size() != 2 || parts.at(1) != "kB")
            return std::nullopt;
        bool ok = false;
        const qint64 value = parts.at(0).toLongLong(&ok);
        if (!ok)
            return std::nullopt;
        return value;
    }
    return std::nullopt;
}

double corePercent(qint64 cpuNs, qint64 wallNs)
{
    if (wallNs <= 0)
        return 0;
    return 100.0 * double(cpuNs) / double(wallNs);
}

QString verdict(const BenchRow& row)
{
    if (!row.value)
        return QStringLiteral("not measured");
    const bool met = row.atLeast ? *row.value >= row.limit : *row.value <= row.limit;
    return met ? QStringLiteral("yes") : QStringLiteral("NO");
}

QString formatValue(double value, const QString& unit)
{
    const double size = std::abs(value);
    const int decimals = size >= 100 ? 0 : size >= 10 ? 1 : size >= 1 ? 2 : 3;
    return QString::number(value, 'f', decimals) + QLatin1Char(' ') + unit;
}

QString markdownTable(const QList<BenchRow>& rows, const QString& machine)
{
    QStringList lines{QStringLiteral("| Figure | Measured | Target | Met | Machine |"),
                      QStringLiteral("|---|---|---|---|---|")};
    for (const BenchRow& row : rows) {
        QString measured = row.value ? formatValue(*row.value, row.unit) : QStringLiteral("-");
        if (!row.note.isEmpty())
            measured += QStringLiteral(" (%1)").arg(row.note);
        lines << QStringLiteral("| %1 | %2 | %3 %4 | %5 | %6 |")
                     .arg(row.figure, measured,
                          row.atLeast ? QStringLiteral(">=") : QStringLiteral("<="),
                          QString::number(row.limit) + QLatin1Char(' ') + row.unit, verdict(row),
                          machine);
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}
