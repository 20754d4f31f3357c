#include "TQuotationPresenterClass.h"
#include "optionfixture.h"
#include "presenterprobe.h"
#include "testsupport.h"

#include <businessdatamanager/businessdatainterface.h>
#include <veldefine/veldefine.h>
#include <velmsg/packmessage.h>

#include <QtTest>

#include <cmath>
#include <memory>

using namespace OptionFixture;

namespace {

typedef QMap<int, int> Levels; // column -> blink level; -1: the column is absent

const QString Option = QStringLiteral("MDOPTIONRECORD");

QVariantMap baseTick(const QString &symbol)
{
    return {{"Symbol", symbol},         {"LastPrice", 0.1234}, {"Buy1Price", 0.1233},
            {"Sell1Price", 0.1235},     {"PreSettlePrice", 0.1200}, {"PreClosePrice", 0.1210},
            {"OpenInterest", 12345},    {"MaxPx", 0.4200},     {"MinPx", 0.0001}};
}

QVariantMap merged(QVariantMap tick, const QVariantMap &overrides)
{
    for (auto it = overrides.begin(); it != overrides.end(); ++it) {
        if (it->isValid())
            tick.insert(it.key(), it.value());
        else
            tick.remove(it.key());
    }
    return tick;
}

void publish(const QVariantMap &tick, const QString &kind = Option)
{
    BusinessDataInterface::PublishQuotation(kind, tick);
}

} // namespace

Q_DECLARE_METATYPE(Levels)

class TestPresenterQuotes : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { TestSupport::installWarningGuard(); }
    void init();
    void cleanup();

    void tickRow_data();
    void tickRow();
    void sidesAndKeyCells();
    void limitsKeepFourDecimals();
    void badValues_data();
    void badValues();
    void ignoredTicks();
    void underlyingTick();
    void previousTickAfter_data();
    void previousTickAfter();
    void blinkCycle();
    void reloadsWhileChoosingDates();

private:
    QString call(double strike) const { return callSymbol(m_prefix, strike); }
    QString put(double strike) const { return putSymbol(m_prefix, strike); }
    // Option tick rows (no time stamp) of a side of a strike of m_date.
    QList<Row> rows(double strike, bool callSide, bool refresh) const;
    int refreshIndex(double strike, bool callSide, int n) const;
    void startPage(bool withRefreshCycle);

    std::unique_ptr<PresenterClass> m_presenter;
    std::unique_ptr<ViewProbe> m_view;
    std::unique_ptr<BusProbe> m_bus;
    QString m_prefix, m_underlying, m_date, m_date2;
    int m_case = 0;
};

void TestPresenterQuotes::init()
{
    TestSupport::expectWarning(QRegularExpression("^(waited|held) \\d+ ms at"));
    // The bus keeps every symbol's latest tick for new subscribers: fresh
    // symbols per test keep earlier ticks out.
    ++m_case;
    m_prefix = QStringLiteral("q%1").arg(m_case);
    const QString id = QString::number(520000 + m_case);
    m_underlying = id + ".SH";
    m_date = day(10);
    m_date2 = day(40);
    QVariantMap precise = option(m_prefix + "X.SH", id, m_date, 4.0, "C", "x");
    precise.insert("pricePrecision", 3);
    load(ladder(m_prefix, id, m_date, {2.9, 2.95, 3.0, 3.05})
         + ladder(m_prefix + "b", id, m_date2, {2.9}) + QList<QVariantMap>{precise}
         + QList<QVariantMap>{fund(m_underlying, "ETF", "SH"),
                              option("other.SH", "599999", m_date, 1.0, "C", "x")});
    const QString pid = QStringLiteral("quotes-%1").arg(m_case);
    m_presenter.reset(new PresenterClass(pid, nullptr));
    m_view.reset(new ViewProbe(m_presenter.get()));
    m_bus.reset(new BusProbe(pid + "-other", {213331}));
}

void TestPresenterQuotes::cleanup()
{
    m_bus.reset();
    m_view.reset();
    m_presenter.reset();
    VERIFY_NO_UNEXPECTED_WARNINGS();
}

void TestPresenterQuotes::startPage(bool withRefreshCycle)
{
    m_presenter->slotSetUnderlying(m_underlying, category("SH"));
    TRY_COMPARE(m_bus->events().size(), 1); // echoed to the page too, as a repeat
    if (withRefreshCycle) {
        // The host's end of loading starts the refresh cycle, as at start-up.
        m_bus->send(69647, {{{"loadFinish", true}}});
        TRY_COMPARE(m_view->baseDataFinished, 1);
    }
    TRY_COMPARE(m_view->lists.size(), withRefreshCycle ? 2 : 1);
}

QList<Row> TestPresenterQuotes::rows(double strike, bool callSide, bool refresh) const
{
    const QString key = QString::asprintf("%0.3f ", strike);
    QList<Row> result;
    for (const Row &row : m_view->updatesOf(key, m_date, refresh))
        if (row.contains(callSide ? 2 : 12))
            result.append(row);
    return result;
}

// Position in all updates of the n-th (0-based) refresh row of a side, or -1.
int TestPresenterQuotes::refreshIndex(double strike, bool callSide, int n) const
{
    const QString id = QString::asprintf("%0.3f ", strike) + m_date;
    for (int i = 0; i < m_view->updates.size(); ++i) {
        const Row &row = m_view->updates.at(i);
        if (ViewProbe::identity(row) == id && row.contains(10000) && row.contains(callSide ? 2 : 12)
            && n-- == 0)
            return i;
    }
    return -1;
}

void TestPresenterQuotes::tickRow_data()
{
    QTest::addColumn<QVariantMap>("first");
    QTest::addColumn<QVariantMap>("second"); // empty: no second tick
    QTest::addColumn<Levels>("levels");      // of the last row sent
    QTest::addColumn<QString>("lastText");

    QTest::newRow("first tick: nothing blinks")
        << QVariantMap() << QVariantMap()
        << Levels{{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}} << "0.1234###0";
    QTest::newRow("last +0.001: last and change blink")
        << QVariantMap() << QVariantMap{{"LastPrice", 0.1244}}
        << Levels{{0, 0}, {1, 0}, {2, 3}, {3, 3}, {4, 0}, {5, 0}} << "0.1244###3";
    QTest::newRow("last +1e-12: no change")
        << QVariantMap() << QVariantMap{{"LastPrice", 0.1234 + 1e-12}}
        << Levels{{0, 0}, {1, 0}, {2, 0}, {3, 0}} << "0.1234###0";
    QTest::newRow("identical tick") << QVariantMap() << QVariantMap{{"OpenInterest", 12345}}
                                    << Levels{{0, 0}, {1, 0}, {2, 0}, {3, 0}} << "0.1234###0";
    QTest::newRow("only the bid") << QVariantMap() << QVariantMap{{"Buy1Price", 0.1230}}
                                  << Levels{{0, 3}, {1, 0}, {2, 0}, {3, 0}} << "0.1234###0";
    QTest::newRow("only the ask") << QVariantMap() << QVariantMap{{"Sell1Price", 0.124}}
                                  << Levels{{0, 0}, {1, 3}, {2, 0}, {3, 0}} << "0.1234###0";
    QTest::newRow("previous settlement 0: no change column")
        << QVariantMap{{"PreSettlePrice", 0}} << QVariantMap() << Levels{{2, 0}, {3, -1}}
        << "0.1234###0";
    QTest::newRow("previous settlement absent: no change column")
        << QVariantMap{{"PreSettlePrice", QVariant()}} << QVariantMap()
        << Levels{{2, 0}, {3, -1}} << "0.1234###0";
}

void TestPresenterQuotes::tickRow()
{
    QFETCH(QVariantMap, first);
    QFETCH(QVariantMap, second);
    QFETCH(Levels, levels);
    QFETCH(QString, lastText);
    startPage(false);
    const QVariantMap tick1 = merged(baseTick(call(2.95)), first);
    publish(tick1);
    if (!second.isEmpty())
        publish(merged(tick1, second));
    TRY_COMPARE(rows(2.95, true, false).size(), second.isEmpty() ? 1 : 2);
    const Row row = rows(2.95, true, false).last();
    for (auto it = levels.begin(); it != levels.end(); ++it) {
        if (it.value() < 0)
            QVERIFY2(!row.contains(it.key()), qPrintable(QString::number(it.key())));
        else
            QCOMPARE(ViewProbe::level(row, it.key()), it.value());
    }
    QCOMPARE(ViewProbe::text(row, 2), lastText);
    QCOMPARE(ViewProbe::text(m_view->tableRow("2.950 ", m_date), 2), lastText);
}

void TestPresenterQuotes::sidesAndKeyCells()
{
    startPage(false);
    publish(baseTick(put(3.0)));
    publish(baseTick(call(3.0)));
    TRY_COMPARE(rows(3.0, true, false).size(), 1);
    const Row putRow = rows(3.0, false, false).value(0);
    const Row callRow = rows(3.0, true, false).value(0);
    QCOMPARE(putRow.keys(), (QList<int>{7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));
    QCOMPARE(callRow.keys(), (QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 15, 16}));
    for (const Row &row : {putRow, callRow}) {
        QCOMPARE(ViewProbe::text(row, 7), QStringLiteral("3.000 "));
        QCOMPARE(ViewProbe::text(row, 7, "257"), QStringLiteral("3.000 "));
        QCOMPARE(ViewProbe::text(row, 15), m_date);
        QCOMPARE(ViewProbe::text(row, 15, "0"), m_date);
        QCOMPARE(ViewProbe::text(row, 16), "ALL_PRICE" + m_date);
        QCOMPARE(ViewProbe::text(row, 16, "0"), "ALL_PRICE" + m_date);
    }
    // Change per cent from the previous settlement; open interest number and text swapped.
    QCOMPARE(ViewProbe::text(callRow, 3), QStringLiteral("2.83%###0"));
    QCOMPARE(ViewProbe::text(putRow, 11), QStringLiteral("2.83%###0"));
    QCOMPARE(callRow.value(6).value("256").toLongLong(), 12345);
    QCOMPARE(ViewProbe::text(putRow, 8, "257"), QStringLiteral("12345"));
    QCOMPARE(putRow.value(12).value("257").toDouble(), 0.1234);
    QCOMPARE(ViewProbe::text(putRow, 14), QStringLiteral("0.1233###0"));
    QCOMPARE(ViewProbe::text(putRow, 13), QStringLiteral("0.1235###0"));
    // Both sides end in the one strike row.
    const Row shown = m_view->tableRow("3.000 ", m_date);
    QCOMPARE(ViewProbe::text(shown, 2), QStringLiteral("0.1234###0"));
    QCOMPARE(ViewProbe::text(shown, 12), QStringLiteral("0.1234###0"));
}

void TestPresenterQuotes::limitsKeepFourDecimals()
{
    startPage(false);
    publish(merged(baseTick(m_prefix + "X.SH"), {{"MaxPx", 1.5}, {"MinPx", 0.05}}));
    TRY_COMPARE(rows(4.0, true, false).size(), 1);
    const Row row = rows(4.0, true, false).first();
    QCOMPARE(ViewProbe::text(row, 4), QStringLiteral("1.5000###0"));
    QCOMPARE(ViewProbe::text(row, 5), QStringLiteral("0.0500###0"));
    QCOMPARE(ViewProbe::text(row, 2), QStringLiteral("0.123###0")); // the symbol's 3 decimals
}

void TestPresenterQuotes::badValues_data()
{
    QTest::addColumn<QVariantMap>("overrides");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("bid");
    QTest::addColumn<QString>("openInterest");
    QTest::newRow("NaN last falls back, inf bid")
        << QVariantMap{{"LastPrice", qQNaN()}, {"Buy1Price", qInf()}} << "0.1210###0" << "--###0"
        << "12345";
    QTest::newRow("strings where numbers belong")
        << QVariantMap{{"Buy1Price", "abc"}, {"OpenInterest", "many"}, {"MaxPx", "x"}}
        << "0.1234###0" << "0.0000###0" << "0";
    QTest::newRow("negative and huge")
        << QVariantMap{{"LastPrice", 1e300}, {"Buy1Price", -0.5}, {"OpenInterest", 1e30}}
        << "1e+300###0" << "-0.5000###0" << "0";
    QTest::newRow("everything missing but the symbol")
        << QVariantMap{{"LastPrice", QVariant()}, {"PreClosePrice", QVariant()},
                       {"Buy1Price", QVariant()}, {"Sell1Price", QVariant()},
                       {"PreSettlePrice", QVariant()}, {"OpenInterest", QVariant()},
                       {"MaxPx", QVariant()}, {"MinPx", QVariant()}}
        << "0.0000###0" << "0.0000###0" << "0";
}

void TestPresenterQuotes::badValues()
{
    QFETCH(QVariantMap, overrides);
    QFETCH(QString, last);
    QFETCH(QString, bid);
    QFETCH(QString, openInterest);
    startPage(false);
    publish(merged(baseTick(call(2.9)), overrides));
    publish(merged(baseTick(call(2.9)), overrides)); // compared with itself: no crash either
    TRY_COMPARE(rows(2.9, true, false).size(), 2);
    const Row row = rows(2.9, true, false).first();
    QCOMPARE(ViewProbe::text(row, 2), last);
    QCOMPARE(ViewProbe::text(row, 0), bid);
    QCOMPARE(ViewProbe::text(row, 6, "257"), openInterest);
    for (auto it = row.begin(); it != row.end(); ++it) {
        const QString text = it->value("256").toString();
        QVERIFY2(!text.contains("nan") && !text.contains("inf"), qPrintable(text));
        if (it->value("257").userType() == QMetaType::Double)
            QVERIFY(std::isfinite(it->value("257").toDouble()));
    }
}

void TestPresenterQuotes::ignoredTicks()
{
    startPage(false);
    m_presenter->slotSetFilter(1, "2.95"); // keeps 2.900 only
    TRY_COMPARE(m_view->lists.size(), 2);
    // A type differing in case only, reaching the handler directly.
    m_presenter->ProcQuotationMsg("x", QString("mdoptionrecord"),
                                  CPackMessageCommon::pack({baseTick(call(2.9))}));
    publish(baseTick(call(3.0)));       // a strike the filter dropped
    publish(baseTick("other.SH"));      // another underlying's option
    publish(merged(baseTick("599999.SH"), {{"LastPrice", 1.0}}), "MDMARKETRECORD");
    TestSupport::expectWarning(QRegularExpression("dropped a tick without"));
    publish(merged(baseTick(call(2.9)), {{"Symbol", ""}})); // dropped by the host already
    publish(baseTick(put(2.9))); // the put of the kept strike is subscribed too
    TRY_COMPARE(m_view->updates.size(), 1);
    QCoreApplication::processEvents();
    QCOMPARE(m_view->updates.size(), 1);
    QCOMPARE(rows(2.9, false, false).size(), 1);
    // Only the empty image of the unpriced fund reached the frame.
    QVERIFY(!m_view->symmetryNames.isEmpty());
    QVERIFY(!m_view->symmetryNames.contains("1.000"));
}

void TestPresenterQuotes::underlyingTick()
{
    startPage(false);
    publish(merged(baseTick("599999.SH"), {{"LastPrice", 9.9}}), "MDMARKETRECORD");
    publish(merged(baseTick(m_underlying), {{"LastPrice", 2.9514}}), "MDMARKETRECORD");
    // The fund had no price when subscribed: its empty image says so first.
    TRY_COMPARE(m_view->symmetryNames, (QStringList{"0.000", "2.951"})); // a fund: 3 decimals
}

void TestPresenterQuotes::previousTickAfter_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("level"); // of the changed last price in the next tick
    QTest::addColumn<int>("updates"); // rows of the option by then
    // Rebuilt rows are filled again from the host's image of the last tick,
    // so the next tick blinks against the price the board shows.
    QTest::newRow("nothing") << "nothing" << 3 << 2;
    QTest::newRow("filter change keeps the previous tick") << "filter" << 3 << 3;
    QTest::newRow("choice of dates: the image") << "dates" << 3 << 3;
    QTest::newRow("repeated underlying event forgets it") << "repeat" << 0 << 2;
    QTest::newRow("refresh: the image") << "refresh" << 3 << 3;
}

void TestPresenterQuotes::previousTickAfter()
{
    QFETCH(QString, action);
    QFETCH(int, level);
    QFETCH(int, updates);
    startPage(false);
    publish(baseTick(call(2.9)));
    TRY_COMPARE(rows(2.9, true, false).size(), 1);
    if (action == "filter")
        m_presenter->slotSetFilter(99, "0.000");
    else if (action == "dates")
        m_presenter->slotChooseStrikeDate({m_date, m_date2});
    else if (action == "refresh")
        m_presenter->slotRefresh();
    else if (action == "repeat")
        m_bus->send(213331, {m_bus->events().first().rows.value(0)});
    if (updates == 3) {
        TRY_COMPARE(rows(2.9, true, false).size(), 2);
        QCOMPARE(ViewProbe::level(rows(2.9, true, false).last(), 2), 0);
    }
    publish(merged(baseTick(call(2.9)), {{"LastPrice", 0.2}}));
    TRY_COMPARE(rows(2.9, true, false).size(), updates);
    QCOMPARE(ViewProbe::level(rows(2.9, true, false).last(), 2), level);
    QCOMPARE(m_view->comboUnderlyings, QStringList());
}

void TestPresenterQuotes::blinkCycle()
{
    startPage(true);
    // Initialised twice: still one refresh cycle.
    m_bus->send(69647, {{{"loadFinish", true}}});
    TRY_COMPARE(m_view->baseDataFinished, 2);
    TRY_COMPARE(m_view->lists.size(), 3);

    const QVariantMap c = baseTick(call(2.9)), b = baseTick(call(2.95)),
                      e = baseTick(call(3.0)), t = baseTick(call(3.05)),
                      f = baseTick(put(2.9)), w = baseTick(put(2.95));
    for (const QVariantMap &tick : {f, c, b, e, t, w})
        publish(tick);
    publish(merged(c, {{"LastPrice", 0.1244}}));
    publish(merged(b, {{"Buy1Price", 0.1200}}));
    publish(e);
    publish(merged(t, {{"LastPrice", 0.1234 + 1e-12}}));
    publish(merged(w, {{"LastPrice", 0.3}}));
    publish(merged(w, {{"LastPrice", 0.3}})); // stops the blinking at once
    const auto tickRows = [this]() {
        int n = 0;
        for (const Row &row : m_view->updates)
            n += row.contains(10000) ? 0 : 1;
        return n;
    };
    TRY_COMPARE(tickRows(), 12);
    QCOMPARE(ViewProbe::level(rows(2.9, true, false).last(), 2), 3);
    QCOMPARE(ViewProbe::level(rows(2.95, false, false).at(1), 12), 3);
    QCOMPARE(ViewProbe::level(rows(2.95, false, false).at(2), 12), 0);

    // C fades one level per run once older than 1000 ms.
    TRY_VERIFY(rows(2.9, true, true).size() >= 3);
    QList<int> levels;
    for (const Row &row : rows(2.9, true, true))
        levels << ViewProbe::level(row, 2);
    QCOMPARE(levels.mid(0, 3), (QList<int>{2, 1, 0}));
    QCOMPARE(ViewProbe::level(rows(2.9, true, true).first(), 3), 2);
    QCOMPARE(ViewProbe::level(rows(2.95, true, true).value(0), 0), 2); // B: the bid
    QCOMPARE(ViewProbe::level(rows(2.95, true, true).value(0), 2), 0);

    // An anchor blinking from now on: by its fourth refresh row C is older than 3000 ms.
    const QVariantMap a = baseTick(put(3.0));
    publish(a);
    publish(merged(a, {{"Sell1Price", 0.2}}));
    TRY_VERIFY(refreshIndex(3.0, false, 3) >= 0);
    const int anchor = refreshIndex(3.0, false, 3);
    const QList<Row> cRows = rows(2.9, true, true);
    QVERIFY(refreshIndex(2.9, true, cRows.size() - 1) < anchor); // C's record is gone
    QVERIFY(cRows.size() <= 8); // one cycle: at most one run per 300 ms of 1000..3000 ms
    for (const Row &row : cRows.mid(2))
        QCOMPARE(ViewProbe::level(row, 2), 0);
    QCOMPARE(cRows.last().value(10000), cRows.first().value(10000)); // its own time stamp
    // Limits stay as sent.
    QCOMPARE(ViewProbe::text(cRows.last(), 4), QStringLiteral("0.4200###0"));

    // No record for a first tick, an identical tick or a change below 1e-10.
    QVERIFY(rows(2.9, false, true).isEmpty());
    QVERIFY(rows(3.0, true, true).isEmpty());
    QVERIFY(rows(3.05, true, true).isEmpty());
    // W's record was replaced by its level-0 row.
    QVERIFY(!rows(2.95, false, true).isEmpty());
    for (const Row &row : rows(2.95, false, true))
        QCOMPARE(ViewProbe::level(row, 12), 0);
    // The table ends with the newest values of every side.
    const Row shown = m_view->tableRow("2.900 ", m_date);
    QCOMPARE(ViewProbe::text(shown, 2), QStringLiteral("0.1244###0"));
    QCOMPARE(ViewProbe::text(shown, 12), QStringLiteral("0.1234###0"));
    QCOMPARE(ViewProbe::text(m_view->tableRow("2.950 ", m_date), 12), QStringLiteral("0.3000###0"));
}

void TestPresenterQuotes::reloadsWhileChoosingDates()
{
    startPage(false);
    const QList<QStringList> choices{{m_date}, {m_date2}, {m_date, m_date2}, {}};
    QStringList finalKeys;
    for (int round = 1; round <= 40; ++round) {
        // A reload on the bus thread races the user's choice on this one.
        m_bus->send(69647, {{{"loadFinish", true}}});
        m_presenter->slotChooseStrikeDate(choices.at(round % choices.size()));
        TRY_COMPARE(m_view->baseDataFinished, round);
        QCoreApplication::processEvents();
        finalKeys = m_view->tableKeys();
        const int lists = m_view->lists.size();
        // The filter rebuilds the rows of the choice the presenter kept: they
        // must be the rows on the table.
        m_presenter->slotSetFilter(99, "0.000");
        TRY_COMPARE(m_view->lists.size(), lists + 1);
        QCOMPARE(m_view->tableKeys(), finalKeys);
    }

    // And the ticks it takes are those of the rows shown.
    const bool nearShown = finalKeys.contains("2.900 " + m_date);
    const bool farShown = finalKeys.contains("2.900 " + m_date2);
    publish(baseTick(callSymbol(m_prefix + "b", 2.9)));
    publish(baseTick(call(2.9)));
    publish(baseTick(m_underlying), "MDMARKETRECORD"); // always shown: the sentinel
    TRY_VERIFY(m_view->symmetryNames.count() > m_view->symmetryNames.count("0.000"));
    QCoreApplication::processEvents();
    QCOMPARE(m_view->updatesOf("2.900 ", m_date, false).size(), nearShown ? 1 : 0);
    QCOMPARE(m_view->updatesOf("2.900 ", m_date2, false).size(), farShown ? 1 : 0);
}

QTEST_MAIN(TestPresenterQuotes)
#include "tst_presenter_quotes.moc"
