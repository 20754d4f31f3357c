#include "benchreport.h"

#include <QFile>
#include <QSysInfo>
#include <QThread>

#include <cmath>
#include <cstdio>

BenchReport::BenchReport(const QString &bench)
    : m_bench(bench)
{}

void BenchReport::line(const QString &text) const
{
    std::fprintf(stdout, "%s: %s\n", m_bench.toUtf8().constData(), text.toUtf8().constData());
    std::fflush(stdout);
}

void BenchReport::result(const QString &figure, double value, const QString &unit,
                         const QString &target, Verdict verdict) const
{
    const int decimals = std::fabs(value) >= 100 ? 0 : std::fabs(value) >= 1 ? 2 : 4;
    const QString number = QString::number(value, 'f', decimals);
    const char *status = verdict == Verdict::Met      ? "met"
                         : verdict == Verdict::NotMet ? "NOT met"
                                                      : "-";
    line(QStringLiteral("%1 = %2 %3%4")
             .arg(figure, number, unit,
                  target.isEmpty()
                      ? QString()
                      : QStringLiteral("   (target %1: %2)").arg(target, QLatin1String(status))));
    std::fprintf(stdout, "RESULT\t%s\t%s\t%s\t%s\t%s\t%s\n", m_bench.toUtf8().constData(),
                 figure.toUtf8().constData(), number.toUtf8().constData(),
                 unit.toUtf8().constData(), target.isEmpty() ? "-" : target.toUtf8().constData(),
                 status);
    std::fflush(stdout);
}

void BenchReport::machine() const
{
    QFile loadFile(QStringLiteral("/proc/loadavg"));
    QString load = QStringLiteral("?");
    if (loadFile.open(QIODevice::ReadOnly))
        load = QString::fromLatin1(loadFile.readAll()).section(QLatin1Char(' '), 0, 2);
    line(QStringLiteral("%1 cores, load average %2, %3")
             .arg(QThread::idealThreadCount())
             .arg(load, QSysInfo::prettyProductName()));
}
