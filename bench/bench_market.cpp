// The whole market on the GUI thread: 1,300 options ticking round robin at
// the market's rate, first with one page open (250 of them shown), then with
// four pages; then the market-open burst, every contract
// ticking at once, timed until each page's table holds it and the shown page
// has painted it. The GUI thread's longest single event is watched meanwhile.

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

#include "velwidget/velpluginbasewidget.h"
#include "velwidget/veltreemodel.h"
#include "window/mainwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QStandardItemModel>
#include <QThread>
#include <QTimer>
#include <QTreeView>

#include <functional>
#include <memory>

namespace {

// Times every event the GUI thread handles at the top of its loop, and notes
// when the shown table's viewport last finished a paint.
class TimedApplication : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject *receiver, QEvent *event) override
    {
        // The bus thread's events come through here too.
        if (QThread::currentThread() != thread())
            return QApplication::notify(receiver, event);
        if (m_depth++ > 0) {
            const bool done = QApplication::notify(receiver, event);
            --m_depth;
            if (event->type() == QEvent::Paint && receiver == watched)
                paintedNs = clock.nsecsElapsed();
            return done;
        }
        const qint64 start = clock.nsecsElapsed();
        const bool done = QApplication::notify(receiver, event);
        m_depth = 0;
        const qint64 end = clock.nsecsElapsed();
        if (event->type() == QEvent::Paint && receiver == watched)
            paintedNs = end;
        longestNs = qMax(longestNs, end - start);
        return done;
    }

    QElapsedTimer clock;
    QObject *watched = nullptr;
    qint64 paintedNs = -1;
    qint64 longestNs = 0;

private:
    int m_depth = 0;
};

struct Shown
{
    VelPluginBaseWidget *page = nullptr;
    int first = 0; // index of its first option in the feed's symbol list
    QStringList symbols;
    std::unique_ptr<LatencyProbe> probe;
};

// Runs the event loop for ms: the GUI thread sleeps when it has nothing to
// do, so the busy meter reads it as it would be in velapp.
void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    BenchPage::prepareProcess();
    TimedApplication app(argc, argv);
    app.clock.start();
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The whole market on one and four pages."));
    parser.addHelpOption();
    const QCommandLineOption rateOption(QStringLiteral("rate"),
                                        QStringLiteral("Ticks per second (default 2600)."),
                                        QStringLiteral("n"), QStringLiteral("2600"));
    const QCommandLineOption secondsOption(QStringLiteral("seconds"),
                                           QStringLiteral("Measured seconds (default 10)."),
                                           QStringLiteral("s"), QStringLiteral("10"));
    parser.addOptions({rateOption, secondsOption});
    parser.process(app);
    const double rate = qMax(1.0, parser.value(rateOption).toDouble());
    const int seconds = qMax(1, parser.value(secondsOption).toInt());

    BenchReport report(QStringLiteral("bench_market"));
    report.machine();
    BenchPage bench;
    QString error;
    if (!bench.open(QSize(1600, 900), &error)) {
        report.line(QStringLiteral("cannot open the page: ") + error);
        return 1;
    }
    const QList<QVariantMap> records = BenchMarket::listedMarket();
    bench.loadReferenceData(records);
    const QList<BenchMarket::Underlying> funds = BenchMarket::listedUnderlyings();
    QStringList symbols;
    QList<int> firstOf;
    for (const BenchMarket::Underlying &fund : funds) {
        firstOf << symbols.size();
        symbols << BenchMarket::optionSymbols(records, fund.code);
    }
    const QHash<QString, BenchPage::Place> places =
        bench.places(BenchMarket::category(QStringLiteral("SH")));

    std::vector<std::unique_ptr<Shown>> shown;
    const auto show = [&](VelPluginBaseWidget *page, int fund) {
        QComboBox *box = BenchPage::underlyingBoxOf(page);
        if (!box || !BenchPage::waitFor([&] { return box->count() > fund; }))
            return false;
        box->setCurrentIndex(fund);
        // Shown when the fund's first option has its row.
        VelTreeModel *model = BenchPage::modelOf(page);
        const BenchPage::Place place = places.value(symbols.at(firstOf.at(fund)));
        const int rows = 4 + funds.at(fund).contracts / 2;
        if (!BenchPage::waitFor([&] {
                return model->totalRowCount() == rows &&
                       model->indexOfIdentity(place.identity, 2).isValid();
            }))
            return false;
        auto entry = std::make_unique<Shown>();
        entry->page = page;
        entry->first = firstOf.at(fund);
        entry->symbols = symbols.mid(entry->first, funds.at(fund).contracts);
        entry->probe = std::make_unique<LatencyProbe>(model, entry->symbols, places);
        shown.push_back(std::move(entry));
        return true;
    };
    if (!show(bench.page(), 0)) {
        report.line(QStringLiteral("the first page did not show its chain"));
        return 1;
    }

    const TickFeeder::Stamp stamp = [&shown](int index, int seq) {
        for (const auto &entry : shown) {
            const int local = index - entry->first;
            if (local >= 0 && local < 250)
                entry->probe->stamp(local, seq);
        }
    };
    TickFeeder feeder(symbols);
    feeder.setStamp(stamp);
    report.line(QStringLiteral("%1 options of %2 funds tick round robin at %3 ticks/s")
                    .arg(symbols.size())
                    .arg(funds.size())
                    .arg(rate));

    const auto outstanding = [&] {
        int n = 0;
        for (const auto &entry : shown)
            n += entry->probe->outstanding();
        return n;
    };
    const auto measure = [&](const QString &what, double busyTarget) -> double {
        QTreeView *tree = BenchPage::treeOf(bench.window()->currentPage());
        feeder.setRate(rate);
        runFor(1500);
        for (const auto &entry : shown)
            entry->probe->takeSamples();
        GuiBusyMeter busy;
        PaintMeter paints(tree->viewport());
        QElapsedTimer wall;
        wall.start();
        runFor(seconds * 1000);
        const double elapsed = wall.nsecsElapsed() / 1e9;
        const double busyShare = busy.busyPercent();
        const double cpu = busy.cpuPercent();
        const double paintRate = paints.events() / elapsed;
        feeder.setRate(0);
        BenchPage::waitFor([&] { return outstanding() == 0; }, 10000);
        QVector<double> latencies;
        for (const auto &entry : shown) {
            for (const LatencyProbe::Sample &sample : entry->probe->takeSamples())
                latencies << sample.latencyMs;
        }
        const double p99 = BenchStats::percentile(latencies, 99);

        report.line(QStringLiteral("%1: GUI busy %2 %, GUI thread CPU %3 %, %4 paints/s, "
                                   "%5 ticks reached a table, latency p50 %6 ms, p99 %7 ms")
                        .arg(what)
                        .arg(busyShare, 0, 'f', 1)
                        .arg(cpu, 0, 'f', 1)
                        .arg(paintRate, 0, 'f', 0)
                        .arg(latencies.size())
                        .arg(BenchStats::percentile(latencies, 50), 0, 'f', 2)
                        .arg(p99, 0, 'f', 2));
        report.result(QStringLiteral("GUI busy, market, %1").arg(what), busyShare,
                      QStringLiteral("%"), QStringLiteral("< %1").arg(busyTarget),
                      BenchReport::verdict(busyShare < busyTarget));
        report.result(QStringLiteral("latency p99, market, %1").arg(what), p99,
                      QStringLiteral("ms"), QStringLiteral("< 16.7"),
                      BenchReport::verdict(!latencies.isEmpty() && p99 < 16.7));
        return busyShare;
    };

    feeder.start(0);
    const double onePageBusy = measure(QStringLiteral("one page"), 5);

    // The pages follow each other's fund (a page announces its choice), so
    // four open pages show one fund: each of its ticks updates four tables,
    // as many row updates as four pages on four funds of 250 options would get.
    for (int i = 1; i < 4; ++i) {
        if (!show(bench.openAnother(), 0)) {
            report.line(QStringLiteral("page %1 did not show its chain").arg(i + 1));
            return 1;
        }
    }
    const double fourPagesBusy = measure(QStringLiteral("four pages"), 12);
    feeder.stop();

    // One burst: every option once, as fast as the feed thread publishes,
    // timed until applied() holds (every table has its options) and the shown
    // tree has painted its last change to a visible cell. Returns the later
    // of the two in ms (-1: not all arrived or never painted) and the GUI
    // thread's longest single event meanwhile.
    const auto runBurst = [&](QTreeView *tree, QAbstractItemModel *model,
                              const TickFeeder::Stamp &burstStamp,
                              const std::function<bool()> &applied, double *longestMs) {
        runFor(1000);
        app.watched = tree->viewport();
        app.longestNs = 0;
        app.paintedNs = -1;
        qint64 lastVisibleNs = -1;
        const QMetaObject::Connection watch = QObject::connect(
            model, &QAbstractItemModel::dataChanged, tree, [&](const QModelIndex &topLeft) {
                if (tree->visualRect(topLeft).intersects(tree->viewport()->rect()))
                    lastVisibleNs = app.clock.nsecsElapsed();
            });
        const qint64 start = app.clock.nsecsElapsed();
        qint64 appliedNs = -1;
        TickFeeder burst(symbols);
        burst.setStamp(burstStamp);
        burst.setLimit(quint64(symbols.size()));
        burst.setFlowControl([] { return quint64(0); }, quint64(symbols.size()) + 1);
        burst.start(0);
        BenchPage::waitFor(
            [&] {
                if (!burst.isDone() || !applied())
                    return false;
                appliedNs = app.clock.nsecsElapsed();
                return true;
            },
            10000);
        const qint64 changedAt = lastVisibleNs;
        BenchPage::waitFor([&] { return changedAt >= 0 && app.paintedNs >= changedAt; }, 2000);
        burst.stop();
        QObject::disconnect(watch);
        *longestMs = app.longestNs / 1e6;
        if (appliedNs < 0 || changedAt < 0 || app.paintedNs < changedAt)
            return -1.0;
        return (qMax(appliedNs, app.paintedNs) - start) / 1e6;
    };

    // Fresh probes: a tick that changed no last price left its stamp behind.
    for (const auto &entry : shown)
        entry->probe =
            std::make_unique<LatencyProbe>(BenchPage::modelOf(entry->page), entry->symbols, places);
    VelPluginBaseWidget *current = bench.window()->currentPage();
    double longestMs = 0;
    const double burstMs = runBurst(
        BenchPage::treeOf(current), BenchPage::modelOf(current), stamp,
        [&] { return outstanding() == 0; }, &longestMs);
    report.line(QStringLiteral("burst of %1 ticks: in every page's table and painted on the "
                               "shown page after %2 ms; longest GUI event %3 ms")
                    .arg(symbols.size())
                    .arg(burstMs, 0, 'f', 1)
                    .arg(longestMs, 0, 'f', 1));
    report.result(QStringLiteral("burst on screen, four pages"), burstMs, QStringLiteral("ms"),
                  QStringLiteral("< 50"), BenchReport::verdict(burstMs >= 0 && burstMs < 50));
    report.result(QStringLiteral("longest GUI event during the burst"), longestMs,
                  QStringLiteral("ms"), QStringLiteral("< 16.7"),
                  BenchReport::verdict(longestMs < 16.7));

    // The baseline: the pages closed, QStandardItemModel boards on the first
    // fund in their place (the first one shown), fed through the same bus.
    bench.closeAll();
    std::vector<std::unique_ptr<BaselineBoard>> boards;
    std::vector<std::unique_ptr<BaselineFeed>> feeds;
    const auto addBoard = [&] {
        boards.push_back(std::make_unique<BaselineBoard>());
        boards.back()->fill(funds.first().code + QLatin1Char('.') + funds.first().post);
        feeds.push_back(std::make_unique<BaselineFeed>(boards.back().get()));
        feeds.back()->subscribe(symbols.mid(0, funds.first().contracts));
    };
    addBoard();
    QTreeView *baselineTree = boards.front()->view();
    baselineTree->resize(1600, 900);
    baselineTree->show();
    BenchPage::waitFor([&] { return baselineTree->isVisible(); });
    const auto measureBaseline = [&](const QString &what, double pageBusy) {
        TickFeeder market(symbols);
        market.start(rate);
        runFor(1500);
        GuiBusyMeter busy;
        runFor(seconds * 1000);
        const double busyShare = busy.busyPercent();
        market.stop();
        report.line(QStringLiteral("baseline, %1: GUI busy %2 %, GUI thread CPU %3 %")
                        .arg(what)
                        .arg(busyShare, 0, 'f', 1)
                        .arg(busy.cpuPercent(), 0, 'f', 1));
        report.result(QStringLiteral("page / baseline GUI busy, market, %1").arg(what),
                      busyShare > 0 ? pageBusy / busyShare : 0, QStringLiteral("x"));
    };
    measureBaseline(QStringLiteral("one page"), onePageBusy);
    for (int i = 1; i < 4; ++i)
        addBoard();
    measureBaseline(QStringLiteral("four pages"), fourPagesBusy);

    std::vector<quint64> appliedBefore;
    for (const auto &feed : feeds)
        appliedBefore.push_back(feed->applied());
    double baselineLongestMs = 0;
    const double baselineMs = runBurst(
        baselineTree, boards.front()->model(), {},
        [&] {
            for (size_t i = 0; i < feeds.size(); ++i) {
                if (feeds[i]->applied() - appliedBefore[i] < quint64(funds.first().contracts))
                    return false;
            }
            return true;
        },
        &baselineLongestMs);
    report.line(QStringLiteral("baseline burst: in every board and painted after %1 ms; longest "
                               "GUI event %2 ms")
                    .arg(baselineMs, 0, 'f', 1)
                    .arg(baselineLongestMs, 0, 'f', 1));
    report.result(QStringLiteral("burst on screen, page / baseline"),
                  burstMs > 0 && baselineMs > 0 ? burstMs / baselineMs : 0, QStringLiteral("x"));
    return 0;
}
