#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The pure arithmetic and parsing of the benchmark, kept apart from the
// processes and sockets so that it can be tested on its own.

// The p-th percentile (0 < p <= 100) by nearest rank: the smallest sample
// that at least p percent of the samples do not exceed. Empty input gives
// nothing.
std::optional<double> percentile(QList<double> samples, double p);

// The median of the samples (the lower middle one for an even count).
std::optional<double> median(const QList<double>& samples);

// The CPU time in nanoseconds from the text of /proc/<pid>/task/<tid>/schedstat,
// whose first field is the time the task spent on a CPU.
std::optional<qint64> schedstatCpuNs(const QByteArray& text);

// A "Name:   1234 kB" field of /proc/<pid>/status, in kilobytes.
std::optional<qint64> statusKilobytes(const QByteArray& status, const QByteArray& name);

// Share of one core: CPU time over wall time, in percent.
double corePercent(qint64 cpuNs, qint64 wallNs);

// One row of the result table.
struct BenchRow {
    QString figure;
    // Empty when the figure could not be measured; note then says why.
    std::optional<double> value;
    QString unit;
    // The target is value <= limit, or value >= limit with atLeast.
    double limit = 0;
    QString note;
    bool atLeast = false;
};

// "yes", "NO" or "not measured".
QString verdict(const BenchRow& row);
// The value with a precision that suits its size, and its unit.
QString formatValue(double value, const QString& unit);

// The rows as a Markdown table: figure, measured, target, met, machine.
QString markdownTable(const QList<BenchRow>& rows, const QString& machine);
