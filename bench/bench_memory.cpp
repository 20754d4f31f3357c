// Memory over a trading session: RSS after one minute of simulated trading
// against RSS after an eight-hour session compressed in time (250 contracts
// ticking twice a second each: 14.4 M ticks), published as fast as the
// shown page keeps up, with the blink refresh running and a second page
// opened and closed every few seconds. The host's price history grows by
// design until each symbol's ring holds its 20,000 points; its share is
// counted exactly and reported apart from the rest.

#include "benchmarket.h"
#include "benchpage.h"
#include "benchreport.h"
#include "latencyprobe.h"
#include "processmemory.h"
#include "tickfeeder.h"

#include "businessdatamanager/pricehistory.h"
#include "velwidget/velpluginbasewidget.h"
#include "velwidget/veltreemodel.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QVector>

namespace {

struct Point
{
    double ticks;
    double rssKb;
};

// Least-squares slope of RSS over ticks, in kB per tick.
double slope(const QVector<Point> &points)
{
    if (points.size() < 2)
        return 0;
    double mx = 0, my = 0;
    for (const Point &p : points) {
        mx += p.ticks;
        my += p.rssKb;
    }
    mx /= points.size();
    my /= points.size();
    double num = 0, den = 0;
    for (const Point &p : points) {
        num += (p.ticks - mx) * (p.rssKb - my);
        den += (p.ticks - mx) * (p.ticks - mx);
    }
    return den > 0 ? num / den : 0;
}

} // namespace

int main(int argc, char *argv[])
{
    BenchPage::prepareProcess();
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("RSS after a compressed trading session."));
    parser.addHelpOption();
    const QCommandLineOption ticksOption(QStringLiteral("ticks"),
                                         QStringLiteral("Session ticks (default 14400000)."),
                                         QStringLiteral("n"), QStringLiteral("14400000"));
    const QCommandLineOption budgetOption(
        QStringLiteral("budget"), QStringLiteral("Seconds the session may take (default 180)."),
        QStringLiteral("s"), QStringLiteral("180"));
    parser.addOptions({ticksOption, budgetOption});
    parser.process(app);
    const quint64 sessionTicks = qMax<quint64>(60000, parser.value(ticksOption).toULongLong());
    const int budgetMs = qMax(10, parser.value(budgetOption).toInt()) * 1000;

    BenchReport report(QStringLiteral("bench_memory"));
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
        report.line(QStringLiteral("the page did not show the chain"));
        return 1;
    }
    const QStringList symbols = BenchMarket::optionSymbols(records, QStringLiteral("510050"));
    LatencyProbe probe(page.model(), symbols,
                       page.places(BenchMarket::category(QStringLiteral("SH"))));
    probe.setKeepSamples(false);
    TickFeeder feeder(symbols);
    feeder.setStamp([&probe](int index, int seq) { probe.stamp(index, seq); });
    // Two ticks per contract in flight at most: as fast as the page keeps up,
    // with no queue building up anywhere.
    feeder.setFlowControl([&probe] { return probe.matched(); }, 2 * quint64(symbols.size()));

    const quint64 minuteTicks = quint64(symbols.size()) * 2 * 60;
    const auto settle = [&] {
        // Every tick shown, and the blink records older than 3 s dropped.
        BenchPage::waitFor([&] { return probe.outstanding() == 0; }, 30000);
        BenchPage::waitFor([] { return false; }, 3500);
    };

    feeder.setLimit(minuteTicks);
    feeder.start(0);
    QElapsedTimer clock;
    clock.start();
    if (!BenchPage::waitFor([&] { return feeder.isDone(); }, 120000)) {
        report.line(QStringLiteral("the first minute's ticks did not go through"));
        return 1;
    }
    feeder.stop();
    // One page opened and closed before the reference point, so that what a
    // second page caches once (style, fonts) is not counted as growth.
    page.close(page.openAnother());
    settle();
    const auto historyKb = [] { return VelPriceHistory::instance()->heldBytes() / 1024; };
    const qint64 minuteHistory = historyKb();
    const qint64 minuteRss = ProcessMemory::rssKb();
    const qint64 minuteTrimmed = ProcessMemory::trimmedRssKb();
    const qint64 minuteHeap = ProcessMemory::heapInUseKb();
    report.line(
        QStringLiteral("after one minute (%1 ticks, %2 s): RSS %3 kB, %4 kB after malloc_trim; "
                       "heap in use %5 kB")
            .arg(minuteTicks)
            .arg(clock.elapsed() / 1000.0, 0, 'f', 1)
            .arg(minuteRss)
            .arg(minuteTrimmed)
            .arg(minuteHeap));

    // The session, cut short when the time budget runs out.
    feeder.setLimit(sessionTicks);
    feeder.start(0);
    clock.restart();
    QVector<Point> points, heapPoints;
    qint64 nextSample = 0;
    quint64 lastPublished = feeder.published();
    qint64 lastProgressMs = 0;
    bool stalled = false;
    VelPluginBaseWidget *extra = nullptr;
    qint64 nextPage = 2000;
    int pagesOpened = 0;
    BenchPage::waitFor(
        [&] {
            const qint64 now = clock.elapsed();
            if (now >= nextPage) {
                // Pages come and go through the session.
                if (extra) {
                    page.close(extra);
                    extra = nullptr;
                } else {
                    extra = page.openAnother();
                    ++pagesOpened;
                }
                nextPage = now + 2000;
            }
            if (now >= nextSample) {
                // RSS besides the price history, whose growth is by design.
                points.append(
                    {double(feeder.published()), double(ProcessMemory::rssKb() - historyKb())});
                heapPoints.append(
                    {double(feeder.published()), double(ProcessMemory::heapInUseKb())});
                nextSample = now + qMax(1000, budgetMs / 40);
            }
            if (feeder.published() != lastPublished) {
                lastPublished = feeder.published();
                lastProgressMs = now;
            }
            stalled = now - lastProgressMs > 10000;
            return feeder.isDone() || now >= budgetMs || stalled;
        },
        budgetMs + 60000);
    feeder.stop();
    if (extra)
        page.close(extra);
    const double seconds = clock.elapsed() / 1000.0;
    const quint64 done = feeder.published();
    if (stalled)
        report.line(QStringLiteral("the feed stalled: %1 ticks never reached the table")
                        .arg(probe.outstanding()));
    settle();
    const qint64 endHistory = historyKb();
    const qint64 endRss = ProcessMemory::rssKb();
    const qint64 endTrimmed = ProcessMemory::trimmedRssKb();
    const qint64 endHeap = ProcessMemory::heapInUseKb();
    const double rate = done / seconds;
    report.line(QStringLiteral("session: %1 of %2 ticks in %3 s (%4 ticks/s, every contract every "
                               "%5 ms instead of 500 ms); RSS %6 kB, %7 kB after malloc_trim; "
                               "heap in use %8 kB; %9 ticks never reached the table")
                    .arg(done)
                    .arg(sessionTicks)
                    .arg(seconds, 0, 'f', 1)
                    .arg(rate, 0, 'f', 0)
                    .arg(1000.0 * symbols.size() / rate, 0, 'f', 1)
                    .arg(endRss)
                    .arg(endTrimmed)
                    .arg(endHeap)
                    .arg(probe.outstanding()));

    const double growthMb = (endRss - minuteRss) / 1024.0;
    const double historyMb = (endHistory - minuteHistory) / 1024.0;
    report.line(QStringLiteral("%1 pages opened and closed; the price history holds %2 kB "
                               "(%3 kB after the first minute)")
                    .arg(pagesOpened)
                    .arg(endHistory)
                    .arg(minuteHistory));
    const double trimmedGrowthMb = (endTrimmed - minuteTrimmed) / 1024.0;
    // The trend of the later half of the run, where start-up allocations are done.
    const double perTick = slope(points.mid(points.size() / 2));
    const double extrapolatedMb = (endRss - endHistory + perTick * double(sessionTicks - done) -
                                   (minuteRss - minuteHistory)) /
                                  1024.0;
    QStringList trend;
    for (int i = 0; i < points.size(); i += qMax(1, points.size() / 8))
        trend << QStringLiteral("%1k:%2")
                     .arg(points.at(i).ticks / 1000, 0, 'f', 0)
                     .arg(points.at(i).rssKb, 0, 'f', 0);
    report.line(QStringLiteral("RSS kB besides the history over the session (ticks:RSS): ") +
                trend.join(QLatin1Char(' ')));
    // Heap in use tells kept memory (a leak) from allocator slack.
    const double heapPerTick = slope(heapPoints.mid(heapPoints.size() / 2));
    report.line(
        QStringLiteral("trend of the later half: RSS %1 kB, heap in use %2 kB per million ticks")
            .arg(perTick * 1e6, 0, 'f', 1)
            .arg(heapPerTick * 1e6, 0, 'f', 1));
    const bool complete = done >= sessionTicks;
    if (!complete)
        report.line(
            QStringLiteral("scaled down: %1 % of the session ran in the %2 s budget; the full "
                           "session's growth is extrapolated from the trend")
                .arg(100.0 * done / sessionTicks, 0, 'f', 1)
                .arg(budgetMs / 1000));
    report.result(QStringLiteral("RSS growth, one minute to end of run"), growthMb,
                  QStringLiteral("MB"));
    report.result(QStringLiteral("price history growth (by design, bounded)"), historyMb,
                  QStringLiteral("MB"));
    report.result(QStringLiteral("RSS growth besides the price history"), growthMb - historyMb,
                  QStringLiteral("MB"), complete ? QStringLiteral("< 1") : QString(),
                  complete ? BenchReport::verdict(growthMb - historyMb < 1)
                           : BenchReport::Verdict::None);
    report.result(QStringLiteral("RSS growth after malloc_trim"), trimmedGrowthMb,
                  QStringLiteral("MB"));
    report.result(QStringLiteral("heap-in-use growth"), (endHeap - minuteHeap) / 1024.0,
                  QStringLiteral("MB"));
    if (!complete)
        report.result(QStringLiteral("heap-in-use growth extrapolated to 8 h"),
                      (endHeap + heapPerTick * double(sessionTicks - done) - minuteHeap) / 1024.0,
                      QStringLiteral("MB"));
    if (!complete)
        report.result(QStringLiteral("RSS growth besides the history, extrapolated to 8 h"),
                      extrapolatedMb, QStringLiteral("MB"), QStringLiteral("< 1"),
                      BenchReport::verdict(extrapolatedMb < 1));
    // Where the growth happens: from the first session hour on (the first
    // sample past an eighth of the session's ticks) to the end of the run.
    for (const Point &point : points) {
        if (point.ticks < double(sessionTicks) / 8)
            continue;
        const double lastKb = endRss - endHistory;
        const double laterMb =
            (lastKb + (complete ? 0 : perTick * double(sessionTicks - done)) - point.rssKb) /
            1024.0;
        report.line(QStringLiteral("RSS besides the history at %1k ticks (session hour 1): %2 kB")
                        .arg(point.ticks / 1000, 0, 'f', 0)
                        .arg(point.rssKb, 0, 'f', 0));
        report.result(QStringLiteral("RSS growth besides the history, hour 1 to hour 8"), laterMb,
                      QStringLiteral("MB"));
        break;
    }
    report.result(QStringLiteral("session ticks run"), double(done), QStringLiteral("ticks"));
    return 0;
}
