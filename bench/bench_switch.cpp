// Underlying switch: from the selector's change until the table's model
// holds the new underlying's rows (and until they are first painted), with
// the event loop running, for 250-contract chains among 1,300 listed
// options. Compared with refilling a QStandardItemModel under a QTreeView.

#include "baselineboard.h"
#include "benchmarket.h"
#include "benchpage.h"
#include "benchreport.h"
#include "benchstats.h"

#include "OptionDataHandle.h"
#include "velwidget/veltreemodel.h"

#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QTreeView>

#include <cstdio>

namespace {

// Records when the watched widget is next painted.
class PaintClock : public QObject
{
public:
    PaintClock(QWidget *widget, const QElapsedTimer *clock)
        : m_widget(widget)
        , m_clock(clock)
    {
        widget->installEventFilter(this);
    }
    void arm()
    {
        m_paintedNs = -1;
        m_armed = true;
    }
    qint64 paintedNs() const { return m_paintedNs; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (m_armed && watched == m_widget && event->type() == QEvent::Paint) {
            m_paintedNs = m_clock->nsecsElapsed();
            m_armed = false;
        }
        return false;
    }

private:
    QWidget *m_widget;
    const QElapsedTimer *m_clock;
    qint64 m_paintedNs = -1;
    bool m_armed = false;
};

void discardMessage(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg)
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

} // namespace

int main(int argc, char *argv[])
{
    BenchPage::prepareProcess();
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Underlying switch to rows shown."));
    parser.addHelpOption();
    const QCommandLineOption switchesOption(QStringLiteral("switches"),
                                            QStringLiteral("Switches per mode (default 24)."),
                                            QStringLiteral("n"), QStringLiteral("24"));
    parser.addOption(switchesOption);
    parser.process(app);
    const int switches = qMax(4, parser.value(switchesOption).toInt());

    BenchReport report(QStringLiteral("bench_switch"));
    report.machine();

    BenchPage page;
    QString error;
    if (!page.open(QSize(1600, 900), &error)) {
        report.line(QStringLiteral("cannot open the page: ") + error);
        return 1;
    }
    const QList<QVariantMap> records = BenchMarket::listedMarket();
    page.loadReferenceData(records);
    const int rows = 4 + 125;
    if (!page.waitForRows(rows)) {
        report.line(QStringLiteral("the page did not show the first chain"));
        return 1;
    }
    int options = 0;
    for (const QVariantMap &r : records)
        options += r.contains(QStringLiteral("underlyingSecurityID"));
    QComboBox *box = page.underlyingBox();
    VelTreeModel *model = page.model();
    // The Shanghai underlyings with 250 options each, as the selector lists them.
    QList<BenchMarket::Underlying> chains;
    for (const BenchMarket::Underlying &u : BenchMarket::listedUnderlyings())
        if (u.post == QLatin1String("SH") && u.contracts == 250)
            chains.append(u);
    QStringList listed;
    for (int i = 0; i < box->count(); ++i)
        listed.append(box->itemData(i).toString());
    for (const BenchMarket::Underlying &u : chains) {
        if (!listed.contains(u.code + QStringLiteral(".SH"))) {
            report.line(QStringLiteral("the selector does not list %1 (it lists %2)")
                            .arg(u.code, listed.join(QLatin1Char(' '))));
            return 1;
        }
    }
    report.line(
        QStringLiteral("%1 listed options, %2 underlyings; switching among %3 chains of 250")
            .arg(options)
            .arg(BenchMarket::listedUnderlyings().size())
            .arg(chains.size()));

    // A row only the chain of u has: its lowest strike on the first expiry.
    const QString firstDate = BenchMarket::expiries().first().toString(QStringLiteral("yyyyMMdd"));
    const auto markerIdentity = [&](const BenchMarket::Underlying &u) {
        Row row;
        row[7][QStringLiteral("256")] =
            QString(QString::asprintf("%0.3f", u.firstStrikeMilli / 1000.0) + QLatin1Char(' '));
        row[15][QStringLiteral("256")] = firstDate;
        return model->identityOf(row);
    };

    QElapsedTimer clock;
    clock.start();
    PaintClock paint(page.tree()->viewport(), &clock);
    qint64 heldNs = -1;
    QString expected;
    const auto check = [&] {
        if (heldNs < 0 && model->totalRowCount() == rows &&
            model->indexOfIdentity(expected).isValid())
            heldNs = clock.nsecsElapsed();
    };
    QObject::connect(model, &QAbstractItemModel::modelReset, model, check);
    QObject::connect(model, &QAbstractItemModel::rowsInserted, model, check);

    struct Timings
    {
        QVector<double> held, painted;
        bool ok = true;
    };
    const auto measure = [&](const QString &label) {
        Timings t;
        int current = listed.indexOf(box->currentData().toString());
        for (int n = 0; n < switches; ++n) {
            const BenchMarket::Underlying &next = chains.at((n + 1) % chains.size());
            const int index = listed.indexOf(next.code + QStringLiteral(".SH"));
            if (index == current) // only on the very first switch
                continue;
            expected = markerIdentity(next);
            // Settle: the previous switch's late work (bus echoes, paints) is done.
            BenchPage::waitFor([] { return false; }, 50);
            heldNs = -1;
            paint.arm();
            const qint64 start = clock.nsecsElapsed();
            box->setCurrentIndex(index);
            if (!BenchPage::waitFor([&] { return heldNs >= 0 && paint.paintedNs() >= 0; }, 30000)) {
                report.line(QStringLiteral("switch to %1 did not complete").arg(next.code));
                t.ok = false;
                return t;
            }
            current = index;
            t.held.append((heldNs - start) / 1e6);
            t.painted.append((paint.paintedNs() - start) / 1e6);
        }
        report.line(QStringLiteral("%1: %2 switches, rows held: median %3 ms, max %4 ms; "
                                   "first painted: median %5 ms, max %6 ms")
                        .arg(label)
                        .arg(t.held.size())
                        .arg(BenchStats::median(t.held), 0, 'f', 2)
                        .arg(BenchStats::maximum(t.held), 0, 'f', 2)
                        .arg(BenchStats::median(t.painted), 0, 'f', 2)
                        .arg(BenchStats::maximum(t.painted), 0, 'f', 2));
        return t;
    };

    // 1. The page's debug lines off, as velapp runs by default.
    const Timings quiet = measure(QStringLiteral("debug lines off"));
    if (!quiet.ok)
        return 1;
    // 2. With the debug trace on (QT_LOGGING_RULES="default.debug=true"),
    // the page formats whole chains into its debug lines on every switch;
    // here they are formatted and dropped (no terminal in the figure).
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=true"));
    const QtMessageHandler previous = qInstallMessageHandler(discardMessage);
    const Timings verbose = measure(QStringLiteral("debug lines on "));
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    if (!verbose.ok)
        return 1;

    // 3. The baseline: refill a QStandardItemModel under a shown QTreeView.
    BaselineBoard baseline;
    baseline.view()->resize(page.tree()->size());
    baseline.view()->show();
    QVector<double> plain;
    for (int n = 0; n < switches; ++n) {
        const BenchMarket::Underlying &next = chains.at(n % chains.size());
        BenchPage::waitFor([] { return false; }, 20);
        QElapsedTimer timer;
        timer.start();
        baseline.fill(next.code + QStringLiteral(".SH"));
        plain.append(timer.nsecsElapsed() / 1e6);
        if (baseline.rowCount() != rows) {
            report.line(
                QStringLiteral("baseline: %1 rows for %2").arg(baseline.rowCount()).arg(next.code));
            return 1;
        }
    }
    report.line(QStringLiteral("baseline refill: %1 fills, median %2 ms, max %3 ms")
                    .arg(plain.size())
                    .arg(BenchStats::median(plain), 0, 'f', 2)
                    .arg(BenchStats::maximum(plain), 0, 'f', 2));

    // One build of the option chain, which a switch does several times over.
    QVector<double> builds;
    int built = 0;
    for (int n = 0; n < switches; ++n) {
        QElapsedTimer timer;
        timer.start();
        built = OptionDataHandle::getOptionData(BenchMarket::category(QStringLiteral("SH"))).size();
        builds.append(timer.nsecsElapsed() / 1e6);
    }
    report.line(QStringLiteral("one option-chain build of the Shanghai category (%1 underlyings): "
                               "median %2 ms")
                    .arg(built)
                    .arg(BenchStats::median(builds), 0, 'f', 2));

    const double heldMedian = BenchStats::median(quiet.held);
    report.result(QStringLiteral("switch to rows held (median)"), heldMedian, QStringLiteral("ms"),
                  QStringLiteral("< 20"), BenchReport::verdict(heldMedian < 20));
    report.result(QStringLiteral("switch to rows held (max)"), BenchStats::maximum(quiet.held),
                  QStringLiteral("ms"));
    report.result(QStringLiteral("switch to first paint (median)"),
                  BenchStats::median(quiet.painted), QStringLiteral("ms"));
    report.result(QStringLiteral("switch, debug lines on (median)"),
                  BenchStats::median(verbose.held), QStringLiteral("ms"));
    report.result(QStringLiteral("one chain build (median)"), BenchStats::median(builds),
                  QStringLiteral("ms"));
    report.result(QStringLiteral("baseline refill (median)"), BenchStats::median(plain),
                  QStringLiteral("ms"));
    report.result(QStringLiteral("switch / baseline refill"),
                  heldMedian / BenchStats::median(plain), QStringLiteral("x"));
    return 0;
}
