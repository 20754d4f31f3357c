// Repainted area per tick: an event filter on the table's viewport sums the
// paint events' regions after one tick's update row has been applied and
// painted, against the viewport's area and the area of the cells the tick
// changed. The same ticks on a plain QTreeView over a QStandardItemModel,
// once with per-cell dataChanged and once with one ranged dataChanged.

#include "baselineboard.h"
#include "benchmarket.h"
#include "benchpage.h"
#include "benchreport.h"
#include "benchstats.h"
#include "paintmeter.h"

#include "businessdatamanager/businessdatainterface.h"
#include "velbusinessdata/businessdatabase.h"
#include "veldefine/veldefine.h"
#include "velwidget/veltreemodel.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QStandardItemModel>
#include <QTreeView>

namespace {

void flushPaint()
{
    // Updates are posted to the window, and the page's table paints what
    // changed once a frame: run the loop for two frames.
    QElapsedTimer wait;
    wait.start();
    while (wait.elapsed() < 40)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

qint64 areaOf(const QRect &rect)
{
    return qint64(rect.width()) * rect.height();
}

// Columns a tick of the benchmark's market changes from one tick to the next:
// bid, ask, last price and change percentage of its side.
QList<int> changedColumns(bool call)
{
    return call ? QList<int>{0, 1, 2, 3} : QList<int>{14, 13, 12, 11};
}

struct Figures
{
    QVector<double> area;      // px² per tick
    QVector<double> overCells; // painted area / changed cells' area
    int excluded = 0;
};

QString describe(const Figures &f, qint64 viewportArea)
{
    return QStringLiteral("%1 ticks: median %2 px² (%3 % of the viewport), max %4 px²; "
                          "painted / changed cells: median %5, max %6%7")
        .arg(f.area.size())
        .arg(BenchStats::median(f.area), 0, 'f', 0)
        .arg(100 * BenchStats::median(f.area) / viewportArea, 0, 'f', 2)
        .arg(BenchStats::maximum(f.area), 0, 'f', 0)
        .arg(BenchStats::median(f.overCells), 0, 'f', 2)
        .arg(BenchStats::maximum(f.overCells), 0, 'f', 2)
        .arg(f.excluded ? QStringLiteral("; %1 ticks left out (a refresh row came in between)")
                              .arg(f.excluded)
                        : QString());
}

} // namespace

int main(int argc, char *argv[])
{
    BenchPage::prepareProcess();
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Repainted area per tick."));
    parser.addHelpOption();
    const QCommandLineOption roundsOption(QStringLiteral("rounds"),
                                          QStringLiteral("Ticks per visible contract (default 3)."),
                                          QStringLiteral("n"), QStringLiteral("3"));
    parser.addOption(roundsOption);
    parser.process(app);
    const int rounds = qMax(1, parser.value(roundsOption).toInt());

    BenchReport report(QStringLiteral("bench_repaint"));
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
    VelTreeModel *model = page.model();
    QTreeView *tree = page.tree();
    QWidget *viewport = tree->viewport();
    const qint64 viewportArea = areaOf(viewport->rect());
    const QHash<QString, BenchPage::Place> places =
        page.places(BenchMarket::category(QStringLiteral("SH")));
    const QStringList symbols = BenchMarket::optionSymbols(records, QStringLiteral("510050"));

    // Only rows on screen repaint at all: measure the contracts whose cells
    // are wholly visible.
    QStringList visible;
    for (const QString &symbol : symbols) {
        const BenchPage::Place place = places.value(symbol);
        bool inside = true;
        for (int column : changedColumns(place.call)) {
            const QRect rect = tree->visualRect(model->indexOfIdentity(place.identity, column));
            inside = inside && rect.isValid() && viewport->rect().contains(rect);
        }
        if (inside)
            visible.append(symbol);
    }
    report.line(QStringLiteral("viewport %1x%2 (%3 px²); %4 of %5 contracts fully visible")
                    .arg(viewport->width())
                    .arg(viewport->height())
                    .arg(viewportArea)
                    .arg(visible.size())
                    .arg(symbols.size()));
    if (visible.isEmpty())
        return 1;

    // Refresh rows (faded blinks of earlier ticks) repaint too: a tick
    // during which another row changed is left out, so that each figure is
    // one tick's own.
    QString tickedIdentity;
    bool otherRowChanged = false;
    QObject::connect(model, &VelTreeModel::dataChanged, model,
                     [&](const QModelIndex &topLeft, const QModelIndex &) {
                         if (model->identityOf(model->rowData(topLeft)) != tickedIdentity)
                             otherRowChanged = true;
                     });

    PaintMeter pageMeter(viewport);
    // Every visible contract gets a first tick, which fills its cells.
    for (const QString &symbol : visible)
        BusinessDataInterface::PublishQuotation(QStringLiteral("MDOPTIONRECORD"),
                                                BenchMarket::optionTick(symbol, 0));
    BenchPage::waitFor([&] {
        for (const QString &symbol : visible) {
            const BenchPage::Place place = places.value(symbol);
            if (!model->indexOfIdentity(place.identity, place.call ? 2 : 12).data(257).isValid())
                return false;
        }
        return true;
    });
    flushPaint();

    Figures pageFigures;
    for (int seq = 1; seq <= rounds; ++seq) {
        for (const QString &symbol : visible) {
            const BenchPage::Place place = places.value(symbol);
            const double last = BenchMarket::lastPriceOf(seq);
            const QModelIndex lastCell =
                model->indexOfIdentity(place.identity, place.call ? 2 : 12);
            flushPaint();
            tickedIdentity = place.identity;
            otherRowChanged = false;
            pageMeter.reset();
            BusinessDataInterface::PublishQuotation(QStringLiteral("MDOPTIONRECORD"),
                                                    BenchMarket::optionTick(symbol, seq));
            if (!BenchPage::waitFor(
                    [&] { return qAbs(lastCell.data(257).toDouble() - last) < 1e-9; })) {
                report.line(QStringLiteral("the tick of %1 never reached the table").arg(symbol));
                return 1;
            }
            flushPaint();
            if (otherRowChanged) {
                ++pageFigures.excluded;
                continue;
            }
            qint64 cells = 0;
            for (int column : changedColumns(place.call))
                cells += areaOf(tree->visualRect(model->indexOfIdentity(place.identity, column)));
            pageFigures.area.append(double(pageMeter.area()));
            pageFigures.overCells.append(double(pageMeter.area()) / double(cells));
        }
    }
    report.line(QStringLiteral("page:              ") + describe(pageFigures, viewportArea));

    // The baseline, its viewport the size of the page's.
    BaselineBoard baseline;
    baseline.fill(QStringLiteral("510050.SH"));
    QTreeView *plain = baseline.view();
    plain->resize(tree->size());
    plain->show();
    flushPaint();
    const qint64 plainArea = areaOf(plain->viewport()->rect());
    PaintMeter plainMeter(plain->viewport());
    QStandardItemModel *plainModel = baseline.model();
    // The baseline row of a contract: found the way the baseline finds it.
    const auto plainIndex = [&](const QString &symbol, int column) {
        const QVariantMap details =
            CBusinessDataBase::GetInstance()->GetSecurityDetailsBySymbol(symbol);
        const QString strike =
            QString::number(details.value(Ostrel_Fields::Security::StrikePrice).toDouble(), 'f', 3);
        const QString date = details.value(Ostrel_Fields::Security::StrikeDate).toString();
        const QList<QStandardItem *> items =
            plainModel->findItems(strike, Qt::MatchExactly | Qt::MatchRecursive, 7);
        for (QStandardItem *item : items) {
            if (item->parent() && item->parent()->child(item->row(), 15)->text() == date)
                return plainModel->index(item->row(), column, item->parent()->index());
        }
        return QModelIndex();
    };
    QStringList plainVisible;
    for (const QString &symbol : symbols) {
        const bool call = places.value(symbol).call;
        bool inside = true;
        for (int column : changedColumns(call)) {
            const QRect rect = plain->visualRect(plainIndex(symbol, column));
            inside = inside && rect.isValid() && plain->viewport()->rect().contains(rect);
        }
        if (inside)
            plainVisible.append(symbol);
        baseline.applyTick(BenchMarket::optionTick(symbol, 0));
    }
    flushPaint();

    Figures perCell, ranged;
    for (int seq = 1; seq <= rounds; ++seq) {
        for (const bool isRanged : {false, true}) {
            for (const QString &symbol : qAsConst(plainVisible)) {
                const bool call = places.value(symbol).call;
                flushPaint();
                plainMeter.reset();
                // Ranged rounds use the next tick number, so the cells change again.
                const int tickSeq = 2 * seq - 1 + (isRanged ? 1 : 0);
                baseline.applyTick(BenchMarket::optionTick(symbol, tickSeq),
                                   isRanged ? BaselineBoard::Signals::Ranged
                                            : BaselineBoard::Signals::PerCell);
                flushPaint();
                qint64 cells = 0;
                for (int column : changedColumns(call))
                    cells += areaOf(plain->visualRect(plainIndex(symbol, column)));
                Figures &figures = isRanged ? ranged : perCell;
                figures.area.append(double(plainMeter.area()));
                figures.overCells.append(double(plainMeter.area()) / double(cells));
            }
        }
    }
    report.line(QStringLiteral("baseline per cell: ") + describe(perCell, plainArea));
    report.line(QStringLiteral("baseline ranged:   ") + describe(ranged, plainArea));

    if (pageFigures.area.isEmpty() || perCell.area.isEmpty() || ranged.area.isEmpty()) {
        report.line(QStringLiteral("no tick was measured"));
        return 1;
    }
    const double pageShare = 100 * BenchStats::median(pageFigures.area) / viewportArea;
    const double pageOverCells = BenchStats::median(pageFigures.overCells);
    const double perCellShare = 100 * BenchStats::median(perCell.area) / plainArea;
    const double rangedShare = 100 * BenchStats::median(ranged.area) / plainArea;
    report.result(QStringLiteral("page repaint per tick"), pageShare,
                  QStringLiteral("% of viewport"));
    report.result(QStringLiteral("page painted / changed cells"), pageOverCells,
                  QStringLiteral("x"), QStringLiteral("only changed cells (<= 1.05)"),
                  BenchReport::verdict(BenchStats::maximum(pageFigures.overCells) <= 1.05));
    report.result(QStringLiteral("baseline per-cell repaint per tick"), perCellShare,
                  QStringLiteral("% of viewport"));
    report.result(QStringLiteral("baseline ranged repaint per tick"), rangedShare,
                  QStringLiteral("% of viewport"));
    report.result(QStringLiteral("baseline ranged / page"),
                  BenchStats::median(ranged.area) / BenchStats::median(pageFigures.area),
                  QStringLiteral("x"));
    return 0;
}
