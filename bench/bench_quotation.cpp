// Option ticks through the presenter on one core: pack, unpack, compare with
// the previous tick, build the update row and emit it (queued, as to the
// page's view). Compared with the same ticks applied to a QStandardItemModel.

#include "baselineboard.h"
#include "benchmarket.h"
#include "benchpage.h"
#include "benchreport.h"
#include "benchstats.h"

#include "PivoraUtils/pivorautils.h"
#include "TQuotationPresenterClass.h"
#include "businessdatamanager/pricehistory.h"
#include "velbusinessdata/businessdatabase.h"
#include "veldefine/velconstants.h"
#include "velmsg/packmessage.h"
#include "velwidget/veltreemodel.h"
#include "velwidget/veltreeview.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>
#include <QElapsedTimer>
#include <QStandardItemModel>

namespace {

const QString OptionKind = QStringLiteral("MDOPTIONRECORD");

// Kept out of line so that callgrind can collect exactly this loop
// (--toggle-collect=processTicks*).
Q_NEVER_INLINE void processTicks(PresenterClass *presenter, const QVector<QVariantMap> &ticks,
                                 int count)
{
    const QVariant kind(OptionKind);
    for (int i = 0; i < count; ++i) {
        const QVariant msg(
            CPackMessageCommon::pack(QList<QVariantMap>{ticks.at(i % ticks.size())}));
        presenter->ProcQuotationMsg(QString(), kind, msg);
        // The view's queue is drained as the GUI thread would, so it stays short.
        if ((i & 255) == 255)
            QCoreApplication::sendPostedEvents();
    }
    QCoreApplication::sendPostedEvents();
}

Q_NEVER_INLINE void applyBaseline(BaselineBoard *board, const QVector<QVariantMap> &ticks,
                                  int count, int *missed)
{
    for (int i = 0; i < count; ++i) {
        // The same bus message, unpacked the same way, for a like-for-like figure.
        const QVariant msg(
            CPackMessageCommon::pack(QList<QVariantMap>{ticks.at(i % ticks.size())}));
        CUnPackMessageCommon unpack;
        unpack.SetUnPackMsg(msg, false);
        if (!board->applyTick(unpack.GetRowValue()))
            ++*missed;
    }
}

QList<QVariantMap> heads()
{
    QList<QVariantMap> list;
    for (int i = 0; i < 15; ++i)
        list.append({{VelConst::Head_DisplayRole, QString::number(i)},
                     {VelConst::Head_UserRole, QString::number(i)}});
    return list;
}

} // namespace

int main(int argc, char *argv[])
{
    BenchPage::prepareProcess();
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Option ticks per second through the presenter."));
    parser.addHelpOption();
    const QCommandLineOption ticksOption(QStringLiteral("ticks"),
                                         QStringLiteral("Ticks per timed run (default 100000)."),
                                         QStringLiteral("n"), QStringLiteral("100000"));
    const QCommandLineOption runsOption(QStringLiteral("runs"),
                                        QStringLiteral("Timed runs of each kind (default 5)."),
                                        QStringLiteral("n"), QStringLiteral("5"));
    const QCommandLineOption presenterOnly(
        QStringLiteral("presenter-only"),
        QStringLiteral("Only the presenter figure (for callgrind)."));
    parser.addOptions({ticksOption, runsOption, presenterOnly});
    parser.process(app);
    const int tickCount = qMax(1000, parser.value(ticksOption).toInt());
    const int runs = qMax(1, parser.value(runsOption).toInt());

    BenchReport report(QStringLiteral("bench_quotation"));
    report.machine();

    const QList<QVariantMap> records = BenchMarket::singleChain();
    CBusinessDataBase::GetInstance()->loadSecurities(records);
    const QStringList symbols = BenchMarket::optionSymbols(records, QStringLiteral("510050"));
    // 40 ticks per contract with prices that change every time, wrap included.
    QVector<QVariantMap> ticks;
    for (int seq = 0; seq < 40; ++seq)
        for (const QString &symbol : symbols)
            ticks.append(BenchMarket::optionTick(symbol, seq));

    PresenterClass presenter(QStringLiteral("bench-quotation"), nullptr);
    QObject view;
    quint64 updates = 0;
    QList<Row> shownRows;
    QObject::connect(
        &presenter, &PresenterClass::PositionListUpdate, &view,
        [&](const QList<Row> &rows) { shownRows = rows; }, Qt::QueuedConnection);
    const auto countUpdate = QObject::connect(
        &presenter, &PresenterClass::PositionUpdate, &view, [&](const Row &) { ++updates; },
        Qt::QueuedConnection);
    presenter.slotSetUnderlying(QStringLiteral("510050.SH"),
                                BenchMarket::category(QStringLiteral("SH")));
    if (!BenchPage::waitFor([&] { return shownRows.size() == 4 + 125; })) {
        report.line(QStringLiteral("the presenter did not show the 250-contract chain (%1 rows)")
                        .arg(shownRows.size()));
        return 1;
    }
    report.line(QStringLiteral("chain: %1 contracts, %2 rows; %3 distinct ticks, %4 per timed run")
                    .arg(symbols.size())
                    .arg(shownRows.size())
                    .arg(ticks.size())
                    .arg(tickCount));

    // Warm-up: fills the previous-tick table so every timed tick is a change.
    processTicks(&presenter, ticks, ticks.size());
    if (updates != quint64(ticks.size())) {
        report.line(QStringLiteral("expected one update row per tick, got %1 for %2")
                        .arg(updates)
                        .arg(ticks.size()));
        return 1;
    }

    if (parser.isSet(presenterOnly)) {
        QElapsedTimer timer;
        timer.start();
        processTicks(&presenter, ticks, tickCount);
        report.result(QStringLiteral("presenter ticks/s (single run)"),
                      tickCount / (timer.nsecsElapsed() / 1e9), QStringLiteral("ticks/s"));
        return 0;
    }

    // The host's table as the page's view holds it (not shown: painting is
    // measured by bench_repaint and bench_pipeline).
    VelTreeView table;
    table.setKeyColumn({7, 15});
    table.setParentAndSubRowLinkColumnIndex(16);
    table.setHeadList(heads());
    table.updateRecordDataList(shownRows);

    BaselineBoard baseline;
    baseline.fill(QStringLiteral("510050.SH"));
    int missed = 0;
    applyBaseline(&baseline, ticks, ticks.size(), &missed);
    if (missed || baseline.rowCount() != shownRows.size()) {
        report.line(QStringLiteral("baseline board: %1 rows, %2 ticks without a row")
                        .arg(baseline.rowCount())
                        .arg(missed));
        return 1;
    }
    const int baselineCount = qMax(1000, tickCount / 4);

    QVector<double> presenterRates, tableRates, baselineRates;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        processTicks(&presenter, ticks, tickCount);
        presenterRates.append(tickCount / (timer.nsecsElapsed() / 1e9));

        // Same path, the update rows now applied to the host's table.
        QObject::disconnect(countUpdate);
        const auto toTable = QObject::connect(&presenter, &PresenterClass::PositionUpdate, &table,
                                              &VelTreeView::updataRecordData, Qt::QueuedConnection);
        timer.start();
        processTicks(&presenter, ticks, tickCount);
        tableRates.append(tickCount / (timer.nsecsElapsed() / 1e9));
        QObject::disconnect(toTable);

        timer.start();
        applyBaseline(&baseline, ticks, baselineCount, &missed);
        baselineRates.append(baselineCount / (timer.nsecsElapsed() / 1e9));
    }

    const auto spread = [](const QVector<double> &v) {
        return QStringLiteral("runs: min %1, median %2, max %3")
            .arg(BenchStats::minimum(v), 0, 'f', 0)
            .arg(BenchStats::median(v), 0, 'f', 0)
            .arg(BenchStats::maximum(v), 0, 'f', 0);
    };
    const double presenterRate = BenchStats::median(presenterRates);
    const double tableRate = BenchStats::median(tableRates);
    const double baselineRate = BenchStats::median(baselineRates);
    report.line(QStringLiteral("presenter          ") + spread(presenterRates));
    report.line(QStringLiteral("presenter + table  ") + spread(tableRates));
    report.line(QStringLiteral("baseline           ") + spread(baselineRates));
    report.result(QStringLiteral("presenter ticks/s"), presenterRate, QStringLiteral("ticks/s"),
                  QStringLiteral(">= 200000"), BenchReport::verdict(presenterRate >= 200000));
    report.result(QStringLiteral("presenter + host table ticks/s"), tableRate,
                  QStringLiteral("ticks/s"));
    report.result(QStringLiteral("baseline QStandardItemModel ticks/s"), baselineRate,
                  QStringLiteral("ticks/s"));
    report.result(QStringLiteral("presenter / baseline"), presenterRate / baselineRate,
                  QStringLiteral("x"));
    report.result(QStringLiteral("presenter + table / baseline"), tableRate / baselineRate,
                  QStringLiteral("x"));

    // What the bus adds to every published tick for the price history: the
    // last price read from the map, the clock, the ring's write.
    QVector<double> historyCosts;
    const QString symbolKey = QStringLiteral("Symbol");
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < tickCount; ++i) {
            const QVariantMap &tick = ticks.at(i % ticks.size());
            VelPriceHistory::instance()->record(tick.value(symbolKey).toString(),
                                                QDateTime::currentMSecsSinceEpoch(),
                                                PivoraBusiUtils::GetLastPriceFromTick(tick));
        }
        historyCosts.append(double(timer.nsecsElapsed()) / tickCount);
    }
    const double historyCost = BenchStats::median(historyCosts);
    report.result(QStringLiteral("price history ns/tick"), historyCost, QStringLiteral("ns"));
    report.result(QStringLiteral("price history / presenter time per tick"),
                  historyCost / (1e9 / presenterRate), QStringLiteral("x"));
    if (missed)
        report.line(QStringLiteral("warning: %1 baseline ticks found no row").arg(missed));
    return 0;
}
