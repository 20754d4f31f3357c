// The whole path in one process: a feed thread publishes option ticks on the
// host's bus at a fixed rate, the bus thread runs the page's presenter, the
// GUI thread applies the update rows to the shown page's table and paints.
// Measures the GUI thread's busy share, tick-to-table latency, and the
// highest rate the page sustains.

#include "baselineboard.h"
#include "baselinefeed.h"
#include "benchmarket.h"
#include "benchpage.h"
#include "benchreport.h"
#include "benchstats.h"
#include "guibusymeter.h"
#include "latencyprobe.h"
#include "paintmeter.h"
#include "tickfeeder.h"

#include "velwidget/veltreemodel.h"
#include "window/mainwindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QTreeView>

#include <sys/resource.h>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop for ms, or until stop() says so (checked every 50 ms).
void runFor(int ms, const std::function<bool()> &stop = {})
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    QTimer check;
    if (stop) {
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            if (stop())
                loop.quit();
        });
        check.start(50);
    }
    loop.exec();
}

QVector<double> latencies(const QVector<LatencyProbe::Sample> &samples)
{
    QVector<double> values;
    values.reserve(samples.size());
    for (const LatencyProbe::Sample &s : samples)
        values.append(s.latencyMs);
    return values;
}

struct Step
{
    double rate = 0;
    double published = 0; // per second
    double applied = 0;   // per second
    double p50First = 0, p50Second = 0, p99Second = 0;
    double busy = 0;
    double cpu = 0;
    bool aborted = false;
    bool holds = false;
};

} // namespace

int main(int argc, char *argv[])
{
    BenchPage::prepareProcess();
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Feed to painted table, one process."));
    parser.addHelpOption();
    const QCommandLineOption rateOption(QStringLiteral("rate"),
                                        QStringLiteral("Ticks per second (default 2600)."),
                                        QStringLiteral("n"), QStringLiteral("2600"));
    const QCommandLineOption secondsOption(QStringLiteral("seconds"),
                                           QStringLiteral("Measured seconds (default 10)."),
                                           QStringLiteral("s"), QStringLiteral("10"));
    const QCommandLineOption stepOption(
        QStringLiteral("step-seconds"),
        QStringLiteral("Seconds per step of the rate search (default 4)."), QStringLiteral("s"),
        QStringLiteral("4"));
    const QCommandLineOption noSearch(QStringLiteral("no-search"),
                                      QStringLiteral("Skip the sustained-rate search."));
    parser.addOptions({rateOption, secondsOption, stepOption, noSearch});
    parser.process(app);
    const double rate = qMax(1.0, parser.value(rateOption).toDouble());
    const int seconds = qMax(1, parser.value(secondsOption).toInt());
    const int stepMs = qMax(1, parser.value(stepOption).toInt()) * 1000;

    BenchReport report(QStringLiteral("bench_pipeline"));
    report.machine();

    BenchPage page;
    QString error;
    if (!page.open(QSize(1600, 900), &error)) {
        report.line(QStringLiteral("cannot open the page: ") + error);
        return 1;
    }
    const QList<QVariantMap> records = BenchMarket::singleChain();
    page.loadReferenceData(records);
    if (!page.waitForRows(4 + 125)) {
        report.line(QStringLiteral("the page did not show the chain (%1 rows)")
                        .arg(page.model()->totalRowCount()));
        return 1;
    }
    const QStringList symbols = BenchMarket::optionSymbols(records, QStringLiteral("510050"));
    LatencyProbe probe(page.model(), symbols,
                       page.places(BenchMarket::category(QStringLiteral("SH"))));
    GuiBusyMeter busy;
    TickFeeder feeder(symbols);
    feeder.setStamp([&probe](int index, int seq) { probe.stamp(index, seq); });
    report.line(QStringLiteral("page shown at 1600x900 with %1 rows; %2 contracts tick round robin")
                    .arg(page.model()->totalRowCount())
                    .arg(symbols.size()));

    // 1. The fixed rate.
    PaintMeter paints(page.tree()->viewport());
    feeder.start(rate);
    runFor(1000); // every row gets its first tick
    probe.takeSamples();
    paints.reset();
    busy.restart();
    const double cpuStart = cpuSeconds();
    const quint64 publishedStart = feeder.published();
    QElapsedTimer wall;
    wall.start();
    runFor(seconds * 1000);
    const double elapsed = wall.nsecsElapsed() / 1e9;
    const double busyShare = busy.busyPercent();
    const double guiCpu = busy.cpuPercent();
    const double paintsPerSecond = paints.events() / elapsed;
    const double cpuShare = 100 * (cpuSeconds() - cpuStart) / elapsed;
    const double published = (feeder.published() - publishedStart) / elapsed;
    feeder.setRate(0);
    runFor(10000, [&] { return probe.outstanding() == 0; });
    const QVector<double> fixed = latencies(probe.takeSamples());
    const double p50 = BenchStats::percentile(fixed, 50);
    const double p99 = BenchStats::percentile(fixed, 99);
    report.line(
        QStringLiteral("at %1 ticks/s for %2 s: published %3/s, %4 ticks seen in the table, "
                       "%5 still outstanding; process CPU %6 % of one core")
            .arg(rate)
            .arg(elapsed, 0, 'f', 1)
            .arg(published, 0, 'f', 0)
            .arg(fixed.size())
            .arg(probe.outstanding())
            .arg(cpuShare, 0, 'f', 1));
    report.line(QStringLiteral("latency ms: p50 %1, p90 %2, p99 %3, max %4")
                    .arg(p50, 0, 'f', 2)
                    .arg(BenchStats::percentile(fixed, 90), 0, 'f', 2)
                    .arg(p99, 0, 'f', 2)
                    .arg(BenchStats::maximum(fixed), 0, 'f', 2));
    report.result(QStringLiteral("GUI busy at %1 ticks/s").arg(rate), busyShare,
                  QStringLiteral("%"), QStringLiteral("< 5"), BenchReport::verdict(busyShare < 5));
    report.result(QStringLiteral("GUI thread CPU at %1 ticks/s").arg(rate), guiCpu,
                  QStringLiteral("%"));
    report.result(QStringLiteral("table repaints at %1 ticks/s").arg(rate), paintsPerSecond,
                  QStringLiteral("paint events/s"));
    report.result(QStringLiteral("latency p50 at %1 ticks/s").arg(rate), p50, QStringLiteral("ms"));
    report.result(QStringLiteral("latency p99 at %1 ticks/s").arg(rate), p99, QStringLiteral("ms"),
                  QStringLiteral("< 16.7"), BenchReport::verdict(p99 < 16.7 && !fixed.isEmpty()));

    // The same rate with the window hidden: the GUI thread applies the rows
    // but paints nothing, which splits its time between the two.
    page.window()->hide();
    feeder.setRate(rate);
    runFor(1000);
    busy.restart();
    runFor(qMin(seconds, 5) * 1000);
    const double hiddenCpu = busy.cpuPercent();
    const double hiddenBusy = busy.busyPercent();
    feeder.setRate(0);
    runFor(10000, [&] { return probe.outstanding() == 0; });
    probe.takeSamples();
    page.window()->show();
    BenchPage::waitFor([&] { return page.tree()->isVisible(); });
    report.line(QStringLiteral("window hidden at %1 ticks/s: GUI busy %2 %, GUI thread CPU %3 % "
                               "(so painting takes about %4 % of the shown figure)")
                    .arg(rate)
                    .arg(hiddenBusy, 0, 'f', 1)
                    .arg(hiddenCpu, 0, 'f', 1)
                    .arg(guiCpu > 0 ? 100 * (guiCpu - hiddenCpu) / guiCpu : 0, 0, 'f', 0));
    report.result(QStringLiteral("GUI thread CPU, window hidden, at %1 ticks/s").arg(rate),
                  hiddenCpu, QStringLiteral("%"));

    // The baseline: the page closed, the same feed at the same rate into a
    // QStandardItemModel board shown in a window of the same size.
    const auto measureBaseline = [&] {
        feeder.stop();
        page.closeAll();
        BaselineBoard board;
        board.fill(QStringLiteral("510050.SH"));
        board.view()->resize(1600, 900);
        board.view()->show();
        BenchPage::waitFor([&] { return board.view()->isVisible(); });
        BaselineFeed baselineFeed(&board);
        baselineFeed.subscribe(symbols);
        TickFeeder baselineFeeder(symbols);
        baselineFeeder.start(rate);
        runFor(1000);
        busy.restart();
        runFor(seconds * 1000);
        const double baselineBusy = busy.busyPercent();
        const double baselineCpu = busy.cpuPercent();
        baselineFeeder.stop();
        report.line(QStringLiteral("baseline board at %1 ticks/s: GUI busy %2 %, GUI thread CPU "
                                   "%3 %, %4 ticks applied")
                        .arg(rate)
                        .arg(baselineBusy, 0, 'f', 1)
                        .arg(baselineCpu, 0, 'f', 1)
                        .arg(baselineFeed.applied()));
        report.result(QStringLiteral("baseline GUI busy at %1 ticks/s").arg(rate), baselineBusy,
                      QStringLiteral("%"));
        report.result(QStringLiteral("page / baseline GUI busy"),
                      baselineBusy > 0 ? busyShare / baselineBusy : 0, QStringLiteral("x"));
    };

    if (parser.isSet(noSearch)) {
        measureBaseline();
        return 0;
    }

    // 2. The sustained rate: double the rate until a step fails, then halve
    // the gap twice. A step holds when the feed reached its rate, the table
    // kept up with it, and latency did not climb through the step.
    const auto runStep = [&](double stepRate) {
        Step step;
        step.rate = stepRate;
        probe.takeSamples();
        const qint64 startNs = probe.nowNs();
        const quint64 startPublished = feeder.published();
        const quint64 startMatched = probe.matched();
        busy.restart();
        feeder.setRate(stepRate);
        QElapsedTimer stepWall;
        stepWall.start();
        // A backlog of more than half a second of ticks is a queue that grows.
        runFor(stepMs, [&] {
            step.aborted = probe.outstanding() > qMax(2000.0, stepRate / 2);
            return step.aborted;
        });
        const double s = stepWall.nsecsElapsed() / 1e9;
        step.busy = busy.busyPercent();
        step.cpu = busy.cpuPercent();
        step.published = (feeder.published() - startPublished) / s;
        step.applied = (probe.matched() - startMatched) / s;
        feeder.setRate(0);
        const QVector<LatencyProbe::Sample> samples = probe.takeSamples();
        const qint64 middle = startNs + qint64(s * 1e9 / 2);
        QVector<double> first, second;
        for (const LatencyProbe::Sample &sample : samples)
            (sample.atNs < middle ? first : second).append(sample.latencyMs);
        step.p50First = BenchStats::percentile(first, 50);
        step.p50Second = BenchStats::percentile(second, 50);
        step.p99Second = BenchStats::percentile(second, 99);
        step.holds = !step.aborted && step.published >= 0.95 * stepRate &&
                     step.applied >= 0.95 * step.published &&
                     step.p50Second <= 2 * step.p50First + 5 && step.p99Second < 100;
        report.line(
            QStringLiteral("step %1 ticks/s: published %2/s, applied %3/s, GUI busy %4 % "
                           "(CPU %10 %), p50 %5 -> %6 ms, p99 %7 ms%8: %9")
                .arg(stepRate, 0, 'f', 0)
                .arg(step.published, 0, 'f', 0)
                .arg(step.applied, 0, 'f', 0)
                .arg(step.busy, 0, 'f', 1)
                .arg(step.p50First, 0, 'f', 2)
                .arg(step.p50Second, 0, 'f', 2)
                .arg(step.p99Second, 0, 'f', 2)
                .arg(step.aborted ? QStringLiteral(", backlog grew, stopped early") : QString())
                .arg(step.holds ? QStringLiteral("holds") : QStringLiteral("fails"))
                .arg(step.cpu, 0, 'f', 1));
        // Let the backlog drain before the next step.
        runFor(60000, [&] { return probe.outstanding() == 0; });
        probe.takeSamples();
        return step;
    };

    double held = 0;
    double failed = 0;
    for (double r = rate; r <= 2e6; r *= 2) {
        if (runStep(r).holds) {
            held = r;
        } else {
            failed = r;
            break;
        }
    }
    for (int i = 0; i < 2 && held > 0 && failed > 0; ++i) {
        const double middle = (held + failed) / 2;
        if (runStep(middle).holds)
            held = middle;
        else
            failed = middle;
    }
    report.result(QStringLiteral("sustained rate"), held, QStringLiteral("ticks/s"),
                  QStringLiteral(">= 2600"), BenchReport::verdict(held >= 2600));
    measureBaseline();
    return 0;
}
