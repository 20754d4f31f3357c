#include "fixture.h"

#include <velwidget/velitemmodeldeletage.h>

#include <PivoraUtils/pivorautils.h>
#include <veldatabase/database.h>
#include <veldefine/velconstants.h>
#include <veldefine/veldefine.h>
#include <velwidget/velpluginbasewidget.h>
#include <velwidget/veltreemodel.h>
#include <velwidget/veltreeview.h>

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTranslator>
#include <QTreeView>
#include <QtTest>

using namespace Fixture;

namespace {

const QStringList kCaptions{"买价",   "卖价",   "最新价", "涨跌幅", "涨停价",
                            "跌停价", "持仓量", "行权价", "持仓量", "跌停价",
                            "涨停价", "涨跌幅", "最新价", "卖价",   "买价"};

// Counts the queued calls an object receives.
class QueuedCallCounter : public QObject
{
public:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::MetaCall)
            ++count;
        return false;
    }
    int count = 0;
};

} // namespace

// The T-board page as velapp hosts it: the plugin loaded by the plugin
// manager, reference data in the host, ticks and events on the bus thread.
class TestBoard : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void pageShowsTheChain();
    void userActions_data();
    void userActions();
    void ticksReachTheirCells_data();
    void ticksReachTheirCells();
    void changedPricesBlinkAndFade();
    void clicksPublishTheStrike_data();
    void clicksPublishTheStrike();
    void keyboardJourneys_data();
    void keyboardJourneys();
    void underlyingPriceFromItsSubscription();
    void paintedCells_data();
    void paintedCells();
    void storedColumnHeads_data();
    void storedColumnHeads();
    void presenterAndFrameTalkQueued_data();
    void presenterAndFrameTalkQueued();

private:
    QObject *frame() const
    {
        return m_page->findChild<QFrame *>(QStringLiteral("TQuotationFrame"));
    }
    QObject *presenter() const { return m_page->findChild<VelPresenterClass *>(); }
    VelTreeModel *model() const { return m_page->findChild<VelTreeView *>()->model(); }
    template<typename T> T *child(const QString &name) const
    {
        return m_page->findChild<T *>(name);
    }
    QPushButton *dateButton(int i) const
    {
        return child<QPushButton>(QStringLiteral("pushButton_%1").arg(i + 1));
    }
    // "+days strike strike ...; +days ..." of the table as shown.
    QString layout() const;
    QModelIndex strikeIndex(int days, const QString &strike, int column) const;
    QString cellText(int days, const QString &strike, int column) const
    {
        return strikeIndex(days, strike, column).data(Qt::UserRole).toString();
    }
    QString symmetry() const
    {
        QString name;
        QMetaObject::invokeMethod(frame(), "getSymmetryShortName", Q_RETURN_ARG(QString, name));
        return name;
    }
    void openPage();
    // Focuses the table and presses the keys named ("Down Right"; "Move" drags
    // the strike column to the front).
    void press(const QString &keys);

    VelPluginBaseWidget *m_page = nullptr;
    BusProbe *m_other = nullptr;
    QString m_tag;
    int m_case = 0;
};

void TestBoard::initTestCase()
{
    installWarningGuard();
    QString error;
    QVERIFY2(loadBoardPlugin(&error), qPrintable(error));
}

void TestBoard::init()
{
    expectEnvironmentNoise();
    // Contracts of their own per test: the bus keeps every symbol's last tick.
    m_tag = QString::number(++m_case);
    load(standardMarket(m_tag));
    m_other = new BusProbe(QStringLiteral("other-page"), {213331, 213332, 213334});
}

void TestBoard::cleanup()
{
    delete m_page;
    m_page = nullptr;
    QVERIFY(settle());
    delete m_other;
    m_other = nullptr;
    CDataBase::GetInstance()->setPluginHeadDataInfo(QStringLiteral("ostrel_optiontquotation"),
                                                    kCaptions);
    VERIFY_NO_UNEXPECTED_WARNINGS();
}

void TestBoard::openPage()
{
    m_page = Fixture::openPage();
    QVERIFY(m_page);
    TRY_VERIFY(!layout().isEmpty());
    QVERIFY(settle());
}

QString TestBoard::layout() const
{
    const VelTreeModel *m = model();
    QStringList groups;
    for (int g = 0; g < m->rowCount(); ++g) {
        const QModelIndex group = m->index(g, 0);
        const QDate date =
            QDate::fromString(m->getIndexData(group, 15, Qt::UserRole).toString(), "yyyyMMdd");
        QStringList parts{QStringLiteral("+%1").arg(QDate::currentDate().daysTo(date))};
        for (int r = 0; r < m->rowCount(group); ++r)
            parts << m->index(r, 7, group).data(Qt::UserRole).toString().trimmed();
        groups << parts.join(QLatin1Char(' '));
    }
    return groups.join(QStringLiteral("; "));
}

QModelIndex TestBoard::strikeIndex(int days, const QString &strike, int column) const
{
    const VelTreeModel *m = model();
    for (int g = 0; g < m->rowCount(); ++g) {
        const QModelIndex group = m->index(g, 0);
        if (m->getIndexData(group, 15, Qt::UserRole).toString() != day(days))
            continue;
        for (int r = 0; r < m->rowCount(group); ++r)
            if (m->index(r, 7, group).data(Qt::UserRole).toString() == strike)
                return m->index(r, column, group);
    }
    return QModelIndex();
}

void TestBoard::pageShowsTheChain()
{
    openPage();
    QCOMPARE(layout(), QStringLiteral("+20 2.900 2.950 3.000; +50 2.900 2.950 3.000"));
    auto *category = child<QComboBox>(QStringLiteral("comboBox_underlyingCategory"));
    QCOMPARE(category->count(), 2);
    // Selectors of one fixed width; the bars stacked with no gap down to the table.
    QCOMPARE(category->width(), 100);
    QCOMPARE(child<QComboBox>(QStringLiteral("comboBox_underlying"))->width(), 100);
    QCOMPARE(child<QWidget>(QStringLiteral("frame_Underlying"))->y(),
             child<QWidget>(QStringLiteral("frame"))->geometry().bottom() + 1);
    QCOMPARE(child<QComboBox>(QStringLiteral("comboBox_underlying"))->currentData().toString(),
             QStringLiteral("510050.SH"));
    QVERIFY(dateButton(1)->isVisible());
    QVERIFY(child<QPushButton>(QStringLiteral("pushButton_allDate"))->isChecked());
    QVERIFY(!dateButton(2)->isVisible());
    auto *tree = m_page->findChild<QTreeView *>();
    QVERIFY(tree->isExpanded(model()->index(1, 0)));
    // The whole expiry date in the page's first column: no indentation takes
    // its room, and text too wide is drawn smaller rather than cut.
    const QModelIndex group = model()->index(0, 0);
    const QRect first = tree->visualRect(group);
    QCOMPARE(tree->visualRect(model()->index(0, 0, group)).left(), first.left());
    QCOMPARE(first.width(), tree->columnWidth(0));
    const QString date = group.data().toString();
    QCOMPARE(date.size(), 11); // "yyyy年MM月dd日"
    QFont wide = tree->font();
    wide.setPixelSize(17);
    QVERIFY(QFontMetrics(VelItemModelDeletage::fittingFont(wide, date, first.width() - 6))
                .horizontalAdvance(date) <= first.width() - 6);
    QCOMPARE(VelItemModelDeletage::fittingFont(wide, QStringLiteral("2.950"), first.width()), wide);
    // The stored heads, and sections the user may drag.
    QCOMPARE(model()->headList().size(), 15);
    QCOMPARE(model()->columnCount(), 15); // no empty column after the last caption
    // velapp's default window is 1600 wide: the whole board fits it.
    m_page->resize(1600, 800);
    TRY_VERIFY(!tree->horizontalScrollBar()->isVisible());
    for (int c = 0; c < 7; ++c) // the put's side mirrors the call's
        QCOMPARE(tree->columnWidth(14 - c), tree->columnWidth(c));
    // The table takes the height the bars leave.
    const auto *bar = child<QWidget>(QStringLiteral("frame"));
    QCOMPARE(bar->height(), bar->sizeHint().height());
    QCOMPARE(model()->headerData(7, Qt::Horizontal).toString(), QStringLiteral("行权价"));
    QVERIFY(tree->header()->sectionsMovable());
    // The skin reached the view.
    QCOMPARE(frame()->property("upBackgroudColor").value<QColor>(), QColor(0x2a1a1a));
    // The page told the others which underlying it shows.
    const QList<BusProbe::Event> told = m_other->eventsOf(213331);
    QCOMPARE(told.size(), 1);
    QCOMPARE(told.first().src, m_page->pluginInstanceID());
    QCOMPARE(told.first().rows.value(0).value("symbol").toString(), QStringLiteral("510050.SH"));
    QCOMPARE(told.first().rows.value(0).value("price").toString(), VelConst::ZeroPrice);
    QCOMPARE(told.first().rows.value(0).value("nominalQty").toInt(), 99);
    // The host's announcement of its data ends the page's loading state;
    // till then its overlay stays above what the page built under it.
    QCOMPARE(m_page->loadingState(), 1);
    const QList<QWidget *> stacked =
        m_page->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(stacked.last()->objectName(), QStringLiteral("velLoadingOverlay"));
    putEvent(VelEventType::BaseDataState, {{"loadFinish", true}});
    TRY_COMPARE(m_page->loadingState(), 0);
    // Other pages may have it announce any underlying through its meta-object.
    QVERIFY(settle());
    const int before = m_other->eventsOf(213331).size();
    const QVariantMap announced{{"symbol", "159919.SZ"}};
    QVERIFY(QMetaObject::invokeMethod(presenter(), "slotNotifyUderlying",
                                      Q_ARG(QVariantMap, announced)));
    TRY_COMPARE(m_other->eventsOf(213331).size(), before + 1);
    QCOMPARE(m_other->eventsOf(213331).last().rows.value(0), announced);
}

void TestBoard::userActions_data()
{
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QString>("shown");
    const QString both = QStringLiteral("+20 2.900 2.950 3.000; +50 2.900 2.950 3.000");
    QTest::newRow("second date") << QStringList{"date 1"} << "+50 2.900 2.950 3.000";
    QTest::newRow("second date, then all") << QStringList{"date 1", "all"} << both;
    QTest::newRow("filter 1 around 2.95") << QStringList{"filter 1 2.95"} << "+20 2.900; +50 2.900";
    QTest::newRow("filter 2 around 2.95")
        << QStringList{"filter 2 2.95"} << "+20 2.900 2.950; +50 2.900 2.950";
    QTest::newRow("filter 2 below every strike")
        << QStringList{"filter 2 0.1"} << "+20 2.900 2.950; +50 2.900 2.950";
    QTest::newRow("filter 2 above every strike")
        << QStringList{"filter 2 9.000"} << "+20 2.950 3.000; +50 2.950 3.000";
    QTest::newRow("filter keeps the date choice")
        << QStringList{"date 0", "filter 1 3.0"} << "+20 2.950";
    QTest::newRow("refresh drops filter and choice")
        << QStringList{"date 0", "filter 1 3.0", "refresh"} << both;
    QTest::newRow("reference data loaded again") << QStringList{"date 0", "loadFinish"} << both;
    QTest::newRow("other category")
        << QStringList{"category 1"} << "+35 3.500 4.000; +80 3.500 4.000; +110 3.500 4.000";
    QTest::newRow("another page's underlying")
        << QStringList{"follow 159919.SZ"} << "+35 3.500 4.000; +80 3.500 4.000; +110 3.500 4.000";
    QTest::newRow("another page repeats ours")
        << QStringList{"date 1", "follow 510050.SH"} << "+50 2.900 2.950 3.000";
    QTest::newRow("another page's count as a fraction in text: none")
        << QStringList{"follow 510050.SH 2.5"} << "";
    // A strike with a put and no call links to no group: no blank line.
    QTest::newRow("strike without a call, then all") << QStringList{"put-only", "all"} << both;
    QTest::newRow("strike without a call, then refresh")
        << QStringList{"put-only", "refresh"} << both;
}

void TestBoard::userActions()
{
    QFETCH(QStringList, actions);
    QFETCH(QString, shown);
    openPage();
    for (const QString &action : actions) {
        const QStringList words = action.split(QLatin1Char(' '));
        if (words[0] == QLatin1String("date")) {
            dateButton(words[1].toInt())->click();
        } else if (words[0] == QLatin1String("all")) {
            child<QPushButton>(QStringLiteral("pushButton_allDate"))->click();
        } else if (words[0] == QLatin1String("filter")) {
            child<QLineEdit>(QStringLiteral("lineEdit_limitNumber"))->setText(words[1]);
            child<QLineEdit>(QStringLiteral("lineEdit_SymmetryPrice"))->setText(words[2]);
            child<QPushButton>(QStringLiteral("pushButton"))->click();
        } else if (words[0] == QLatin1String("refresh")) {
            m_page->refreshPluginWidget();
            QCOMPARE(child<QLineEdit>(QStringLiteral("lineEdit_limitNumber"))->text(), "99");
        } else if (words[0] == QLatin1String("put-only")) {
            load(standardMarket(m_tag) << option(putSymbol("a" + m_tag, 2.925), "510050", day(20),
                                                 2.925, Ostrel_Values::OptionCallOrPut::put, "p"));
            putEvent(VelEventType::BaseDataState, {{"loadFinish", true}});
        } else if (words[0] == QLatin1String("loadFinish")) {
            putEvent(VelEventType::BaseDataState, {{"loadFinish", true}});
        } else if (words[0] == QLatin1String("category")) {
            child<QComboBox>(QStringLiteral("comboBox_underlyingCategory"))
                ->setCurrentIndex(words[1].toInt());
        } else if (words[0] == QLatin1String("follow")) {
            QVariantMap announced = category(words[1].section(QLatin1Char('.'), 1));
            announced.insert("symbol", words[1]);
            announced.insert("price", VelConst::ZeroPrice);
            // A count given after the symbol goes as text.
            announced.insert("nominalQty", words.size() > 2 ? QVariant(words[2]) : QVariant(99));
            m_other->send(VelEventType::UnderlyingChanged, {announced});
        }
        QVERIFY(settle());
    }
    TRY_COMPARE(layout(), shown);
}

void TestBoard::ticksReachTheirCells_data()
{
    QTest::addColumn<bool>("call");
    QTest::addColumn<QVariantMap>("first");
    QTest::addColumn<QVariantMap>("second"); // empty: no second tick
    QTest::addColumn<QString>("cells");      // "column=text ..." after the ticks; "n=": empty
    const QVariantMap none;
    QTest::newRow("first tick: nothing blinks")
        << true << none << none << "0=0.1233###0 1=0.1235###0 2=0.1234###0 3=2.83%###0 6=12345 12=";
    QTest::newRow("put side mirrored")
        << false << none << none
        << "14=0.1233###0 13=0.1235###0 12=0.1234###0 11=2.83%###0 8=12345 2=";
    QTest::newRow("last up: last and change blink")
        << true << none << QVariantMap{{"LastPrice", 0.1244}}
        << "2=0.1244###3 3=3.67%###3 0=0.1233###0";
    QTest::newRow("change below 1e-10: no blink")
        << true << none << QVariantMap{{"LastPrice", 0.1234 + 5e-11}} << "2=0.1234###0";
    QTest::newRow("fall below 1e-10: no blink")
        << true << none << QVariantMap{{"LastPrice", 0.1234 - 5e-11}} << "2=0.1234###0";
    QTest::newRow("only the bid") << true << none << QVariantMap{{"Buy1Price", 0.123}}
                                  << "0=0.1230###3 1=0.1235###0 2=0.1234###0";
    QTest::newRow("limits keep four decimals")
        << true << QVariantMap{{"MaxPx", 1.5}, {"MinPx", 0.05}} << none
        << "4=1.5000###0 5=0.0500###0";
    QTest::newRow("no previous settlement: no change cell")
        << true << QVariantMap{{"PreSettlePrice", QVariant()}} << none << "2=0.1234###0 3=";
    // The host refuses a tick with a value that is no sane number whole: the
    // good tick before it stays on the board.
    QTest::newRow("NaN last and infinite bid refused")
        << true << none << QVariantMap{{"LastPrice", qQNaN()}, {"Buy1Price", qInf()}}
        << "2=0.1234###0 0=0.1233###0";
    QTest::newRow("text where numbers belong refused")
        << true << none << QVariantMap{{"Buy1Price", "abc"}, {"OpenInterest", "many"}}
        << "0=0.1233###0 6=12345";
    QTest::newRow("huge last refused")
        << true << none << QVariantMap{{"LastPrice", 1e300}} << "2=0.1234###0";
    // JSON has no integers: a feed's open interest arrives as a double.
    QTest::newRow("open interest as a double, then too big")
        << true << QVariantMap{{"OpenInterest", 54321.0}} << QVariantMap{{"OpenInterest", 1e19}}
        << "6=54321";
    QTest::newRow("open interest as a double")
        << false << QVariantMap{{"OpenInterest", 54321.0}} << none << "8=54321";
    QTest::newRow("the largest open interest let in, whole")
        << true << QVariantMap{{"OpenInterest", qlonglong(1000000000000000LL)}} << none
        << "6=1000000000000000";
}

void TestBoard::ticksReachTheirCells()
{
    QFETCH(bool, call);
    QFETCH(QVariantMap, first);
    QFETCH(QVariantMap, second);
    QFETCH(QString, cells);
    openPage();
    const QString symbol = call ? callSymbol("a" + m_tag, 2.95) : putSymbol("a" + m_tag, 2.95);
    const QVariantMap tick1 = tick(symbol, first);
    publishOption(tick1);
    if (!second.isEmpty()) {
        QVERIFY(settle());
        QVariantMap tick2 = tick1;
        for (auto it = second.cbegin(); it != second.cend(); ++it)
            tick2.insert(it.key(), it.value());
        publishOption(tick2);
    }
    // A tick of another strike and one of an option not shown change nothing here.
    publishOption(tick(callSymbol("x" + m_tag, 3.5, "SZ"), {{"LastPrice", 9.0}}));
    QVERIFY(settle());
    for (const QString &cell : cells.split(QLatin1Char(' '))) {
        const int column = cell.section(QLatin1Char('='), 0, 0).toInt();
        TRY_COMPARE(cellText(20, "2.950 ", column), cell.section(QLatin1Char('='), 1));
    }
    QCOMPARE(cellText(20, "2.900 ", 2), QString());
}

void TestBoard::changedPricesBlinkAndFade()
{
    openPage();
    // The fading runs once the host has announced its data, as at start-up.
    putEvent(VelEventType::BaseDataState, {{"loadFinish", true}});
    QVERIFY(settle());
    QStringList seen;
    const QModelIndex last = strikeIndex(20, "2.900 ", 2);
    connect(model(), &QAbstractItemModel::dataChanged, this,
            [&](const QModelIndex &from, const QModelIndex &to) {
                const QString text = last.data(Qt::UserRole).toString();
                if (from.parent() == last.parent() && from.row() == last.row() &&
                    from.column() <= last.column() && to.column() >= last.column() &&
                    seen.value(seen.size() - 1) != text)
                    seen << text;
            });
    const QString symbol = callSymbol("a" + m_tag, 2.9);
    publishOption(tick(symbol));
    QVERIFY(settle());
    publishOption(tick(symbol, {{"LastPrice", 0.2}}));
    TRY_COMPARE(seen.value(seen.size() - 1), QStringLiteral("0.2000###0"));
    // Each level in turn, the newest value kept throughout.
    QCOMPARE(seen,
             (QStringList{"0.1234###0", "0.2000###3", "0.2000###2", "0.2000###1", "0.2000###0"}));
}

void TestBoard::clicksPublishTheStrike_data()
{
    QTest::addColumn<bool>("doubleClick");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("type");
    QTest::addColumn<QStringList>("sent"); // symbols of the event's rows, by side
    QTest::newRow("click: chart of both sides") << false << 2 << 213332 << QStringList{"C", "P"};
    QTest::newRow("double click on the call") << true << 0 << 213334 << QStringList{"C"};
    QTest::newRow("double click on the put") << true << 14 << 213334 << QStringList{"P"};
    QTest::newRow("double click on the strike") << true << 7 << 213334 << QStringList{};
}

void TestBoard::clicksPublishTheStrike()
{
    QFETCH(bool, doubleClick);
    QFETCH(int, column);
    QFETCH(int, type);
    QFETCH(QStringList, sent);
    openPage();
    const QModelIndex index = strikeIndex(50, "3.000 ", column);
    QVERIFY(index.isValid());
    QVERIFY(QMetaObject::invokeMethod(
        frame(), doubleClick ? "slotTableItemDoubleClicked" : "slotClickedIndexModel",
        Q_ARG(QModelIndex, index)));
    TRY_COMPARE(m_other->eventsOf(type).size(), 1);
    const BusProbe::Event event = m_other->eventsOf(type).first();
    QCOMPARE(event.src, m_page->pluginInstanceID());
    QStringList symbols;
    for (const QVariantMap &row : event.rows)
        symbols << row.value("symbol").toString();
    QStringList expected;
    for (const QString &side : sent)
        expected << (side == "C" ? callSymbol("b" + m_tag, 3.0) : putSymbol("b" + m_tag, 3.0));
    QCOMPARE(symbols, expected);
    // The captions name the contracts of the strike.
    const QString id = callSymbol("b" + m_tag, 3.0).section(QLatin1Char('.'), 0, 0);
    TRY_COMPARE(child<QLabel>(QStringLiteral("label_Call"))->text(),
                QStringLiteral("认购期权(%1)").arg(id));
}

void TestBoard::press(const QString &keys)
{
    auto *tree = m_page->findChild<QTreeView *>();
    QApplication::setActiveWindow(m_page);
    tree->setFocus();
    QTRY_VERIFY(tree->hasFocus());
    for (const QString &key : keys.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (key == QLatin1String("Move"))
            tree->header()->moveSection(tree->header()->visualIndex(7), 0);
        else
            QTest::keyClick(tree, Qt::Key(QKeySequence(key)[0]));
    }
}

void TestBoard::keyboardJourneys_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("at"); // the current cell: "+days strike column"
    QTest::addColumn<int>("clicks"); // events the keys published; then the mouse's clicks there
    QTest::newRow("focus: the first strike") << ""
                                             << "+20 2.900 0" << 0;
    QTest::newRow("down into the next expiry") << "Down Down Down"
                                               << "+50 2.900 0" << 0;
    QTest::newRow("up back out of it") << "Down Down Down Up"
                                       << "+20 3.000 0" << 0;
    QTest::newRow("up at the top stays") << "Up"
                                         << "+20 2.900 0" << 0;
    QTest::newRow("right, right") << "Right Right"
                                  << "+20 2.900 2" << 0;
    QTest::newRow("end") << "End"
                         << "+50 3.000 0" << 0;
    QTest::newRow("home: the first strike") << "Down Down Down Home"
                                            << "+20 2.900 0" << 0;
    QTest::newRow("columns in the order shown") << "Move Left"
                                                << "+20 2.900 7" << 0;
    QTest::newRow("Space: a click") << "Right Space"
                                    << "+20 2.900 1" << 1;
    QTest::newRow("Enter: a double click") << "Down Return"
                                           << "+20 2.950 0" << 2;
    QTest::newRow("Enter on the strike") << "Move Left Enter"
                                         << "+20 2.900 7" << 2;
}

void TestBoard::keyboardJourneys()
{
    QFETCH(QString, keys);
    QFETCH(QString, at);
    QFETCH(int, clicks);
    openPage();
    const auto published = [this](int seen) {
        settle();
        QStringList events;
        for (const BusProbe::Event &event : m_other->events().mid(seen)) {
            events << QString::number(event.type);
            for (const QVariantMap &row : event.rows)
                events.last() += QLatin1Char(' ') + row.value("symbol").toString();
        }
        return events;
    };
    int seen = m_other->events().size();
    press(keys);
    const QStringList fromKeys = published(seen);
    auto *tree = m_page->findChild<QTreeView *>();
    const QModelIndex cell = tree->currentIndex();
    const QStringList where = at.split(QLatin1Char(' '));
    QCOMPARE(cell, strikeIndex(where[0].toInt(), where[1] + ' ', where[2].toInt()));
    // A click publishes the strike's chart; a double click that and the option.
    QCOMPARE(fromKeys.size(), clicks);
    if (clicks == 0)
        return;
    const QPoint point = tree->visualRect(cell).center();
    seen = m_other->events().size();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, point);
    if (clicks == 2) {
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, point);
        QTest::mouseRelease(tree->viewport(), Qt::LeftButton, {}, point);
    }
    QCOMPARE(published(seen), fromKeys);
}

void TestBoard::underlyingPriceFromItsSubscription()
{
    // Prices the host already holds reach a page as soon as it subscribes.
    publishUnderlying(QStringLiteral("510050.SH"), 2.9514 + m_case / 1000.0);
    publishUnderlying(QStringLiteral("159919.SZ"), 3.5127 + m_case / 1000.0);
    QVERIFY(settle());
    openPage();
    TRY_COMPARE(symmetry(), QString::number(2.9514 + m_case / 1000.0, 'f', 3));
    publishUnderlying(QStringLiteral("510050.SH"), 3.0);
    TRY_COMPARE(symmetry(), QStringLiteral("3.000"));

    // A load of another underlying subscribes that one.
    QVariantMap data = category(QStringLiteral("SZ"));
    data.insert("symbol", QStringLiteral("159919.SZ"));
    data.insert("price", VelConst::ZeroPrice);
    data.insert("nominalQty", 99);
    QVERIFY(QMetaObject::invokeMethod(m_page, "signalInitOptionData", Q_ARG(QVariantMap, data)));
    TRY_COMPARE(symmetry(), QString::number(3.5127 + m_case / 1000.0, 'f', 3));
    TRY_COMPARE(layout(), QStringLiteral("+35 3.500 4.000; +80 3.500 4.000; +110 3.500 4.000"));
    publishUnderlying(QStringLiteral("159919.SZ"), 3.6);
    TRY_COMPARE(symmetry(), QStringLiteral("3.600"));
}

void TestBoard::paintedCells_data()
{
    QTest::addColumn<QString>("strike"); // the row at 20 days; the underlying is at 2.96
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("text"); // the cell's "256"
    QTest::addColumn<double>("callChange");
    QTest::addColumn<double>("putChange");
    QTest::addColumn<QColor>("fill"); // inside the cell's corner; invalid: the board's own
    QTest::addColumn<QColor>("pen");  // of the text; invalid: no rise or fall colour at all
    const QColor rise = PivoraUtils::RiseColor(), fall = PivoraUtils::DownColor();
    const QColor callTint(0x2a1a1a), putTint(0x1a2a1a), none;
    QTest::newRow("level 3, call falling")
        << "3.000 " << 0 << "2.9500###3" << -1.5 << 1.0 << QColor(0x000060) << fall;
    QTest::newRow("level 2, call rising")
        << "3.000 " << 1 << "2.9500###2" << 1.5 << -1.0 << QColor(0x000040) << rise;
    QTest::newRow("level 1") << "3.000 " << 2 << "2.9500###1" << 1.0 << 1.0 << QColor(0x000020)
                             << rise;
    QTest::newRow("unknown level: pure blue")
        << "3.000 " << 5 << "2.9500###x" << 1.0 << 1.0 << QColor(0x0000ff) << rise;
    QTest::newRow("level 0: no fill") << "3.000 " << 3 << "1.50%###0" << 1.5 << 1.0 << none << rise;
    QTest::newRow("no change is a rise")
        << "3.000 " << 4 << "0.4200###0" << 0.0 << -1.0 << none << rise;
    QTest::newRow("put side follows column 11")
        << "2.950 " << 12 << "0.1000###3" << -1.0 << 2.0 << QColor(0x000060) << rise;
    QTest::newRow("put falling") << "2.950 " << 14 << "0.1000###0" << 2.0 << -2.0 << none << fall;
    QTest::newRow("two separators: base painting only")
        << "2.950 " << 13 << "1###2###3" << 1.0 << 1.0 << none << none;
    QTest::newRow("in the money call tinted")
        << "2.950 " << 0 << "0.1000###0" << -1.0 << 1.0 << callTint << fall;
    QTest::newRow("blink covers the tint")
        << "2.900 " << 1 << "0.1000###3" << 1.0 << 1.0 << QColor(0x000060) << rise;
    QTest::newRow("in the money put tinted")
        << "3.000 " << 9 << "0.1000###0" << 1.0 << 1.0 << putTint << rise;
    QTest::newRow("open interest of an in the money call tinted")
        << "2.950 " << 6 << QString() << 1.0 << 1.0 << callTint << none;
    QTest::newRow("open interest of an in the money put tinted")
        << "3.000 " << 8 << QString() << 1.0 << 1.0 << putTint << none;
    QTest::newRow("out of the money put: no tint")
        << "2.950 " << 9 << "0.1000###0" << 1.0 << 1.0 << none << rise;
    QTest::newRow("a strike that is no price: no tint")
        << "-1.000 " << 0 << "0.1000###0" << -1.0 << 1.0 << none << fall;
    QTest::newRow("strike in the neutral colour")
        << "2.950 " << 7 << QString() << -1.0 << -1.0 << none << PivoraUtils::BalanceColor();
}

// The real table painted by the page's delegate, read pixel by pixel.
void TestBoard::paintedCells()
{
    QFETCH(QString, strike);
    QFETCH(int, column);
    QFETCH(QString, text);
    QFETCH(double, callChange);
    QFETCH(double, putChange);
    QFETCH(QColor, fill);
    QFETCH(QColor, pen);
    openPage();
    m_page->resize(1600, 800);
    publishUnderlying(QStringLiteral("510050.SH"), 2.96);
    TRY_COMPARE(symmetry(), QStringLiteral("2.960"));
    if (strike.startsWith(QLatin1Char('-'))) {
        Row extra = model()->rowData(strikeIndex(20, "2.950 ", 7));
        extra[7][VelConst::RoleUser] = strike;
        model()->addRow(extra);
    }
    const QModelIndex index = strikeIndex(20, strike, column);
    QVERIFY(index.isValid());
    Row row = model()->rowData(index);
    if (!text.isEmpty())
        row[column][VelConst::RoleUser] = text;
    row[3][VelConst::RoleUser1] = callChange;
    row[11][VelConst::RoleUser1] = putChange;
    QVERIFY(model()->updateRow(row));

    auto *tree = m_page->findChild<QTreeView *>();
    const QRect cell = tree->visualRect(index);
    QVERIFY(tree->viewport()->rect().contains(cell));
    const QImage shot = tree->viewport()->grab().toImage();
    const QColor corner = shot.pixelColor(cell.topLeft() + QPoint(1, 1));
    QCOMPARE(shot.pixelColor(cell.bottomRight() - QPoint(1, 1)), corner); // up to the grid
    QColor grid; // the skin's, under an unfilled cell
    for (const QWidget *w : m_page->findChildren<QWidget *>())
        grid = w->property("gridlinecolor").isValid() ? w->property("gridlinecolor").value<QColor>()
                                                      : grid;
    if (fill.isValid())
        QCOMPARE(corner, fill);
    else
        QVERIFY2((corner == tree->palette().color(QPalette::Base) ||
                  corner == tree->palette().color(QPalette::AlternateBase)) &&
                     shot.pixelColor(cell.left() + 1, cell.bottom()) == grid,
                 qPrintable(corner.name()));
    QSet<QRgb> colours;
    for (int y = cell.top(); y < cell.bottom(); ++y)
        for (int x = cell.left(); x < cell.right(); ++x)
            colours.insert(shot.pixel(x, y) | 0xff000000u);
    for (const QColor &colour :
         {PivoraUtils::RiseColor(), PivoraUtils::DownColor(), PivoraUtils::BalanceColor()})
        QCOMPARE(colours.contains(colour.rgb()), colour == pen);
}

void TestBoard::storedColumnHeads_data()
{
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<bool>("english");       // the window's language
    QTest::addColumn<QString>("strikeHead"); // of column 7; empty: no heads taken
    QStringList own;
    for (int i = 0; i < 15; ++i)
        own << QStringLiteral("c%1").arg(i);
    QTest::newRow("the seeded 15") << kCaptions << false << "行权价";
    QTest::newRow("the seeded 15, English window") << kCaptions << true << "Strike";
    QTest::newRow("15 of the user's own") << own << false << "c7";
    // The page shows what the store answers, even a text its own
    // translation would change.
    own[7] = QStringLiteral("所有");
    QTest::newRow("the user's own as they are, English window") << own << true << "所有";
    QTest::newRow("14 refused") << QStringList(kCaptions.mid(0, 14)) << false << QString();
    QTest::newRow("16 refused") << QStringList(kCaptions + QStringList{"extra"}) << false
                                << QString();
}

void TestBoard::storedColumnHeads()
{
    QFETCH(QStringList, stored);
    QFETCH(bool, english);
    QFETCH(QString, strikeHead);
    QVERIFY(CDataBase::GetInstance()->setPluginHeadDataInfo(
        QStringLiteral("ostrel_optiontquotation"), stored));
    QTranslator translator;
    if (english) {
        QVERIFY(translator.load(QStringLiteral("velapp_en"),
                                QCoreApplication::applicationDirPath() + "/translations"));
        QCoreApplication::installTranslator(&translator);
    }
    openPage();
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(model()->headList().size(), strikeHead.isEmpty() ? 0 : 15);
    QCOMPARE(model()->headerData(7, Qt::Horizontal).toString(), strikeHead);
    // The table keeps its 15 columns either way.
    QCOMPARE(model()->columnCount(), 15);
}

void TestBoard::presenterAndFrameTalkQueued_data()
{
    QTest::addColumn<bool>("fromPresenter");
    QTest::addColumn<QByteArray>("signal");
    for (const char *signal :
         {"PositionListUpdate(QList<QMap<int,QVariantMap>>)", "PositionAdd(QMap<int,QVariantMap>)",
          "PositionUpdate(QMap<int,QVariantMap>)", "quotationUpdate(QVariantMap)",
          "signalClearTableSelection()", "signalUpdateStrikeDate(QStringList)",
          "signalSetSymmetryShortName(QString)", "signalUpdateComboxUnderlying(QString)",
          "signalUpdateCallPutSecurity(QVariantMap,QVariantMap)",
          "signalBaseDataLoadQuatationFinish()"})
        QTest::newRow(signal) << true << QByteArray(signal);
    for (const char *signal :
         {"signalChooseStrikeDate(QStringList)", "signalSetFilter(int,QString)",
          "signalShowChart(QString,QString)", "signalSetUnderlying(QString,QVariantMap)",
          "signalShowSymbol(QString,QString,int)"})
        QTest::newRow(signal) << false << QByteArray(signal);
}

// The presenter also emits on the bus thread and the frame's slots touch
// widgets: every call between them goes through the receiver's event queue,
// whichever thread emits.
void TestBoard::presenterAndFrameTalkQueued()
{
    QFETCH(bool, fromPresenter);
    QFETCH(QByteArray, signal);
    openPage();
    QObject *sender = fromPresenter ? presenter() : frame();
    QObject *receiver = fromPresenter ? frame() : presenter();
    const int index = sender->metaObject()->indexOfSignal(QMetaObject::normalizedSignature(signal));
    QVERIFY2(index >= 0, signal.constData());
    const QMetaMethod method = sender->metaObject()->method(index);

    QVector<void *> values;
    QVector<QGenericArgument> args(10);
    for (int i = 0; i < method.parameterCount(); ++i) {
        const int type = method.parameterType(i);
        values << QMetaType::create(type);
        args[i] = QGenericArgument(QMetaType::typeName(type), values.last());
    }
    QueuedCallCounter counter;
    QCoreApplication::processEvents();
    receiver->installEventFilter(&counter);
    QVERIFY(method.invoke(sender, Qt::DirectConnection, args[0], args[1], args[2]));
    QCoreApplication::sendPostedEvents(receiver, QEvent::MetaCall);
    receiver->removeEventFilter(&counter);
    for (int i = 0; i < values.size(); ++i)
        QMetaType::destroy(method.parameterType(i), values.at(i));
    QCOMPARE(counter.count, 1);
    QVERIFY(settle());
}

FIXTURE_TEST_MAIN(TestBoard)
#include "tst_board.moc"
