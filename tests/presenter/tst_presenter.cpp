#include "TQuotationPresenterClass.h"
#include "optionfixture.h"
#include "presenterprobe.h"
#include "testsupport.h"

#include <veldefine/velconstants.h>
#include <veldefine/veldefine.h>

#include <QtTest>

#include <memory>

using namespace OptionFixture;

namespace {

const QString C = Ostrel_Values::OptionCallOrPut::call;
const QString P = Ostrel_Values::OptionCallOrPut::put;
const QString U = QStringLiteral("510050.SH");

QString group(const QString &date)
{
    return VelConst::ALL_PRICE + date;
}

QVariantMap pageMap(const QString &symbol, const QString &price = "0.000", int count = 99)
{
    QVariantMap map = category("SH");
    map.insert(Ostrel_Fields::Security::symbol, symbol);
    map.insert(Ostrel_Fields::Security::price, price);
    map.insert(Ostrel_Fields::Security::nominalQty, count);
    return map;
}

} // namespace

class TestPresenter : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void loadBuildsGroupAndStrikeRows();
    void chooseDates_data();
    void chooseDates();
    void filter_data();
    void filter();
    void strikeDateList();
    void underlyingWithoutOptions();
    void refreshBeforeAnyUnderlying();
    void underlyingEvent_data();
    void underlyingEvent();
    void baseDataEvent_data();
    void baseDataEvent();
    void ownAnnouncementComesBackAsRepeat();
    void parentKey_data();
    void parentKey();
    void showSymbol_data();
    void showSymbol();
    void showChart();
    void noUnderlyingSendsNothing();

private:
    void loadStandard();
    void loadPage();
    std::unique_ptr<PresenterClass> m_presenter;
    std::unique_ptr<ViewProbe> m_view;
    std::unique_ptr<BusProbe> m_bus;
    QString d0, d25, d60;
    int m_page = 0;
};

void TestPresenter::initTestCase()
{
    TestSupport::installWarningGuard();
    loadStandard();
}

void TestPresenter::loadStandard()
{
    d0 = day(0);
    d25 = day(25);
    d60 = day(60);
    load(ladder("a", "510050", d0, {2.85, 2.9, 2.95, 3.0, 3.05})
         + ladder("b", "510050", d25, {2.9, 3.0}) + ladder("c", "510050", d60, {9.0, 10.0})
         + ladder("x", "510050", day(-3), {2.9}) + ladder("z", "159919", d25, {1.0}, "SZ")
         + QList<QVariantMap>{fund(U, "50ETF", "SH"), fund("510300.SH", "300ETF", "SH")});
}

void TestPresenter::init()
{
    // Lock-hold diagnostics depend on how busy the machine is, not on the code.
    TestSupport::expectWarning(QRegularExpression("^(waited|held) \\d+ ms at"));
    const QString pid = QStringLiteral("page-%1").arg(++m_page);
    m_presenter.reset(new PresenterClass(pid, nullptr));
    m_view.reset(new ViewProbe(m_presenter.get()));
    m_bus.reset(new BusProbe(pid + "-other", {213331, 213332, 213334}));
}

void TestPresenter::cleanup()
{
    // Announcements are broadcast: ones still queued on a slow machine would
    // reach the next test's presenter. A marker put now arrives after them.
    {
        BusProbe drain(QStringLiteral("drain-%1").arg(m_page), {0x7F0002});
        drain.send(0x7F0002, {{{"marker", true}}});
        TRY_COMPARE(drain.events().size(), 1);
    }
    m_bus.reset();
    m_view.reset();
    m_presenter.reset();
    VERIFY_NO_UNEXPECTED_WARNINGS();
}

void TestPresenter::loadPage()
{
    m_presenter->slotSetUnderlying(U, category("SH"));
    TRY_COMPARE(m_view->lists.size(), 1);
    TRY_COMPARE(m_bus->events().size(), 1); // the page's announcement
}

void TestPresenter::loadBuildsGroupAndStrikeRows()
{
    loadPage();
    QCOMPARE(m_view->strikeDateLists, (QList<QStringList>{{d0, d25, d60}}));
    const QList<Row> rows = m_view->lists.first();
    QCOMPARE(rows.size(), 3 + 5 + 2 + 2);

    const QList<QDate> dates{QDate::currentDate(), QDate::currentDate().addDays(25),
                             QDate::currentDate().addDays(60)};
    for (int i = 0; i < 3; ++i) {
        const Row &g = rows.at(i);
        const QString key = dates.at(i).toString("yyyyMMdd");
        QCOMPARE(ViewProbe::text(g, 0, "0"), dates.at(i).toString("yyyy年MM月dd日"));
        QCOMPARE(ViewProbe::text(g, 1, "0"), QStringLiteral("(%1日)").arg(i == 0 ? 0 : i == 1 ? 25 : 60));
        QCOMPARE(ViewProbe::text(g, 7), VelConst::ALL_PRICE);
        QCOMPARE(ViewProbe::text(g, 15), key);
        QCOMPARE(ViewProbe::text(g, 15, "0"), key);
        QVERIFY(g.contains(16) && ViewProbe::text(g, 16, "0").isEmpty());
        QCOMPARE(g.keys(), (QList<int>{0, 1, 2, 3, 6, 7, 8, 11, 12, 13, 14, 15, 16}));
    }
    QStringList groupIds{group(d0), group(d25), group(d60)};
    QStringList strikeIds;
    for (const Row &r : rows.mid(3)) {
        // Each strike row hangs under its group and carries no price cells yet.
        QVERIFY(groupIds.contains(ViewProbe::text(r, 16)));
        QCOMPARE(ViewProbe::text(r, 16), group(ViewProbe::text(r, 15)));
        QCOMPARE(ViewProbe::text(r, 16, "0"), ViewProbe::text(r, 16));
        QCOMPARE(ViewProbe::text(r, 7, "257"), ViewProbe::text(r, 7));
        QCOMPARE(r.keys(), (QList<int>{7, 15, 16}));
        strikeIds << ViewProbe::identity(r);
    }
    // Whether 10.000 sorts before 9.000 is the host sort's choice; the rest is plain.
    const QStringList far = strikeIds.filter(d60);
    QCOMPARE(QSet<QString>(far.begin(), far.end()), (QSet<QString>{"9.000 " + d60, "10.000 " + d60}));
    for (const QString &id : far)
        strikeIds.removeOne(id);
    QCOMPARE(strikeIds, (QStringList{"2.850 " + d0, "2.900 " + d0, "2.900 " + d25, "2.950 " + d0,
                                     "3.000 " + d0, "3.000 " + d25, "3.050 " + d0}));
    // A page's choice of underlying is no load of option data: nothing more queued.
    QCoreApplication::processEvents();
    QCOMPARE(m_view->dataLoadFinished, 0);
}

void TestPresenter::chooseDates_data()
{
    QTest::addColumn<QStringList>("choice");
    QTest::addColumn<QStringList>("keys");
    const QString e = day(-3);
    QTest::newRow("one date") << QStringList{day(25)}
                              << QStringList{group(day(25)), "2.900 " + day(25), "3.000 " + day(25)};
    QTest::newRow("two dates, groups first")
        << QStringList{day(25), day(0)}
        << QStringList{group(day(0)), group(day(25)), "2.850 " + day(0), "2.900 " + day(0),
                       "2.900 " + day(25), "2.950 " + day(0), "3.000 " + day(0),
                       "3.000 " + day(25), "3.050 " + day(0)};
    QTest::newRow("none empties the table") << QStringList{} << QStringList{};
    QTest::newRow("expired date empties the table") << QStringList{e} << QStringList{};
    QTest::newRow("not a date of the chain") << QStringList{"x" + day(25)} << QStringList{};
}

void TestPresenter::chooseDates()
{
    QFETCH(QStringList, choice);
    QFETCH(QStringList, keys);
    loadPage();
    QSignalSpy spy(m_presenter.get(), &PresenterClass::PositionListUpdate);
    QVERIFY(spy.isValid());
    m_presenter->slotChooseStrikeDate(choice);
    QCOMPARE(spy.count(), 1); // emitted before the slot returns
    TRY_COMPARE(m_view->lists.size(), 2);
    QCOMPARE(m_view->tableKeys(), keys);
}

void TestPresenter::filter_data()
{
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("centre");
    QTest::addColumn<QStringList>("keys");
    QTest::newRow("4 around 2.95")
        << 4 << "2.95"
        << QStringList{group(day(0)), "2.850 " + day(0), "2.900 " + day(0), "2.950 " + day(0),
                       "3.000 " + day(0)};
    QTest::newRow("0 around 0.000: one side only, no group")
        << 0 << "0.000" << QStringList{};
    QTest::newRow("1 around 3.000: 2.950")
        << 1 << "3.000" << QStringList{group(day(0)), "2.950 " + day(0)};
}

void TestPresenter::filter()
{
    QFETCH(int, limit);
    QFETCH(QString, centre);
    QFETCH(QStringList, keys);
    loadPage();
    m_presenter->slotChooseStrikeDate({d0});
    m_presenter->slotSetFilter(limit, centre);
    TRY_COMPARE(m_view->lists.size(), 3);
    QCOMPARE(m_view->tableKeys(), keys);
    // The choice of dates outlives the filter; a refresh drops both.
    m_presenter->slotSetFilter(99, "0.000");
    TRY_COMPARE(m_view->lists.size(), 4);
    QCOMPARE(m_view->table.size(), 6);
    m_presenter->slotRefresh();
    TRY_COMPARE(m_view->lists.size(), 5);
    QCOMPARE(m_view->table.size(), 12);
    TRY_COMPARE(m_view->dataLoadFinished, 2);
}

void TestPresenter::strikeDateList()
{
    loadPage();
    QSignalSpy spy(m_presenter.get(), &PresenterClass::signalUpdateStrikeDate);
    QVERIFY(spy.isValid());
    QStringList dates{"stale", d25};
    m_presenter->slotInitStrikeDate(U, dates);
    QCOMPARE(dates, (QStringList{d0, d25, d60}));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toStringList(), dates);

    // More than ten dates: all of them chosen and shown.
    QList<QVariantMap> records;
    for (int i = 0; i < 12; ++i)
        records += ladder(QStringLiteral("m%1").arg(i), "588000", day(i * 7), {1.0});
    load(records);
    m_presenter->slotSetUnderlying("588000.SH", category("SH"));
    TRY_COMPARE(m_view->lists.size(), 2);
    QCOMPARE(m_view->strikeDateLists.last().size(), 12);
    QCOMPARE(m_view->table.size(), 24);
    loadStandard();
}

void TestPresenter::underlyingWithoutOptions()
{
    loadPage();
    m_presenter->slotSetUnderlying("510300.SH", category("SH"));
    TRY_COMPARE(m_view->lists.size(), 2);
    QVERIFY(m_view->table.isEmpty());
    QCOMPARE(m_view->strikeDateLists.last(), QStringList());
    // No chain: a click finds nothing and sends nothing.
    QSignalSpy spy(m_presenter.get(), &PresenterClass::signalUpdateCallPutSecurity);
    QVERIFY(spy.isValid());
    m_presenter->slotShowChart(d0, "2.950 ");
    QCOMPARE(spy.count(), 0);
}

void TestPresenter::refreshBeforeAnyUnderlying()
{
    QSignalSpy loaded(m_presenter.get(), &VelPresenterClass::signalDataLoadFinished);
    QSignalSpy rows(m_presenter.get(), &PresenterClass::PositionListUpdate);
    QSignalSpy dates(m_presenter.get(), &PresenterClass::signalUpdateStrikeDate);
    QVERIFY(loaded.isValid() && rows.isValid() && dates.isValid());
    m_presenter->slotRefresh();
    QCOMPARE(loaded.count(), 2);
    QCOMPARE(rows.count(), 1);
    QCOMPARE(rows.at(0).at(0).value<QList<Row>>(), QList<Row>());
    QCOMPARE(dates.count(), 1);
    QCOMPARE(dates.at(0).at(0).toStringList(), QStringList());
}

void TestPresenter::underlyingEvent_data()
{
    QTest::addColumn<QVariantMap>("announced");
    QTest::addColumn<int>("lists");        // after the announcement and one reload
    QTest::addColumn<QStringList>("combo");
    QTest::addColumn<int>("rows");
    QTest::newRow("repeat changes nothing") << pageMap(U) << 2 << QStringList{} << 12;
    QTest::newRow("other price text reloads")
        << pageMap(U, "0.00") << 3 << QStringList{U} << 12;
    QTest::newRow("other count reloads with it")
        << pageMap(U, "0.000", 1) << 3 << QStringList{U} << 3 + 3;
    QTest::newRow("other underlying") << pageMap("510300.SH") << 3 << QStringList{"510300.SH"} << 0;
}

void TestPresenter::underlyingEvent()
{
    QFETCH(QVariantMap, announced);
    QFETCH(int, lists);
    QFETCH(QStringList, combo);
    QFETCH(int, rows);
    loadPage();
    m_bus->send(213331, {announced});
    // The bus keeps order: once the reload it requests next is done, the
    // announcement has been handled.
    m_bus->send(69647, {{{"loadFinish", true}}});
    TRY_COMPARE(m_view->baseDataFinished, 1);
    TRY_COMPARE(m_view->lists.size(), lists);
    QCOMPARE(m_view->comboUnderlyings, combo);
    QCOMPARE(m_view->table.size(), rows);
}

void TestPresenter::baseDataEvent_data()
{
    QTest::addColumn<QVariantMap>("row");
    QTest::addColumn<int>("reloads");
    QTest::newRow("loadFinish") << QVariantMap{{"loadFinish", true}} << 1;
    QTest::newRow("loadFinish false still reloads") << QVariantMap{{"loadFinish", false}} << 1;
    QTest::newRow("no loadFinish") << QVariantMap{{"loading", true}} << 0;
    QTest::newRow("empty row") << QVariantMap{} << 0;
}

void TestPresenter::baseDataEvent()
{
    QFETCH(QVariantMap, row);
    QFETCH(int, reloads);
    loadPage();
    m_presenter->slotChooseStrikeDate({d25});
    TRY_COMPARE(m_view->lists.size(), 2);
    m_bus->send(69647, {row});
    m_bus->send(213332, {}); // reaches only the probe, after the presenter's delivery
    TRY_COMPARE(m_bus->events().size(), 2);
    QCoreApplication::processEvents(); // what the presenter sent before it
    QCOMPARE(m_view->baseDataFinished, reloads);
    QCOMPARE(m_view->lists.size(), 2 + reloads);
    QCOMPARE(m_view->dataLoadFinished, reloads);
    // A reload chooses every date again.
    QCOMPARE(m_view->table.size(), reloads ? 12 : 3);
}

void TestPresenter::ownAnnouncementComesBackAsRepeat()
{
    loadPage();
    const BusProbe::Event event = m_bus->events().first();
    QCOMPARE(event.type, 213331);
    QCOMPARE(event.src, m_presenter->pluginPid());
    QCOMPARE(event.rows, QList<QVariantMap>{pageMap(U)});
    // Delivered back to the page itself, it is a repeat: no second load.
    m_bus->send(69647, {{{"loadFinish", 1}}});
    TRY_COMPARE(m_view->baseDataFinished, 1);
    TRY_COMPARE(m_view->lists.size(), 2);
    QVERIFY(m_view->comboUnderlyings.isEmpty());

    // So is a message that is no message: ignored after the host's warning.
    TestSupport::expectWarning(QRegularExpression("cannot unpack message"));
    m_presenter->ProcEventMsg("x", 213331, QVariant(QByteArray("garbage")));
    QCOMPARE(m_view->lists.size(), 2);
    m_presenter->slotNotifyUderlying(pageMap("510300.SH"));
    TRY_COMPARE(m_bus->events().size(), 2);
    QCOMPARE(m_bus->events().last().rows, QList<QVariantMap>{pageMap("510300.SH")});
    TRY_COMPARE(m_view->comboUnderlyings, QStringList{"510300.SH"});
}

void TestPresenter::parentKey_data()
{
    QTest::addColumn<QVariantMap>("record");
    QTest::addColumn<QString>("key");
    QTest::newRow("date") << QVariantMap{{Ostrel_Fields::Security::StrikeDate, "20261223"}}
                          << "ALL_PRICE20261223";
    QTest::newRow("no date") << QVariantMap{} << "ALL_PRICE";
}

void TestPresenter::parentKey()
{
    QFETCH(QVariantMap, record);
    QFETCH(QString, key);
    QCOMPARE(m_presenter->getParentKey(record), key);
}

void TestPresenter::showSymbol_data()
{
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("strike");
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("sent"); // symbols of the event's rows
    const QString c = callSymbol("a", 2.95), p = putSymbol("a", 2.95);
    QTest::newRow("call bid") << day(0) << "2.950 " << 0 << QStringList{c};
    QTest::newRow("call open interest") << day(0) << "2.950 " << 6 << QStringList{c};
    QTest::newRow("strike: no row") << day(0) << "2.950 " << 7 << QStringList{};
    QTest::newRow("put open interest") << day(0) << "2.950 " << 8 << QStringList{p};
    QTest::newRow("put bid") << day(0) << "2.950 " << 14 << QStringList{p};
    QTest::newRow("strike missing: empty record")
        << day(0) << "2.950A" << 2 << QStringList{QString()};
}

void TestPresenter::showSymbol()
{
    QFETCH(QString, date);
    QFETCH(QString, strike);
    QFETCH(int, column);
    QFETCH(QStringList, sent);
    loadPage();
    QSignalSpy spy(m_presenter.get(), &PresenterClass::signalUpdateCallPutSecurity);
    QVERIFY(spy.isValid());
    m_presenter->slotShowSymbol(date, strike, column);
    QCOMPARE(spy.count(), 1);
    const bool found = strike == "2.950 ";
    QCOMPARE(spy.at(0).at(0).toMap().value("symbol").toString(), found ? callSymbol("a", 2.95) : "");
    QCOMPARE(spy.at(0).at(1).toMap().value("symbol").toString(), found ? putSymbol("a", 2.95) : "");

    TRY_COMPARE(m_bus->events().size(), 2);
    const BusProbe::Event event = m_bus->events().last();
    QCOMPARE(event.type, 213334);
    QCOMPARE(event.src, m_presenter->pluginPid());
    QStringList symbols;
    for (const QVariantMap &row : event.rows)
        symbols << row.value("symbol").toString();
    QCOMPARE(symbols, sent);
}

void TestPresenter::showChart()
{
    loadPage();
    m_presenter->slotShowChart(d25, "3.000 ");
    m_presenter->slotShowChart(d25, "2.950 "); // not a strike of that date
    TRY_COMPARE(m_bus->events().size(), 3);
    const BusProbe::Event event = m_bus->events().at(1);
    QCOMPARE(event.type, 213332);
    QCOMPARE(event.rows.size(), 2);
    QCOMPARE(event.rows.at(0).value("symbol").toString(), callSymbol("b", 3.0));
    QCOMPARE(event.rows.at(1).value("symbol").toString(), putSymbol("b", 3.0));
    QCOMPARE(event.rows.at(0).value("StrikeDate").toString(), d25);
    QCOMPARE(m_bus->events().at(2).rows, (QList<QVariantMap>{{}, {}}));
    TRY_COMPARE(m_view->callPut.size(), 4);
    QCOMPARE(m_view->callPut.at(1), event.rows.at(1));
    QCOMPARE(m_view->callPut.mid(2), (QList<QVariantMap>{{}, {}}));
}

void TestPresenter::noUnderlyingSendsNothing()
{
    QSignalSpy spy(m_presenter.get(), &PresenterClass::signalUpdateCallPutSecurity);
    QVERIFY(spy.isValid());
    m_presenter->slotShowChart(d0, "2.950 ");
    m_presenter->slotShowSymbol(d0, "2.950 ", 0);
    QCOMPARE(spy.count(), 0);
    m_bus->send(213332, {}); // the probe's own event comes first if nothing else was sent
    TRY_COMPARE(m_bus->events().size(), 1);
    QCOMPARE(m_bus->events().first().src, m_bus->pluginPid());
    QCoreApplication::processEvents();
    QVERIFY(m_view->callPut.isEmpty());
}

QTEST_MAIN(TestPresenter)
#include "tst_presenter.moc"
