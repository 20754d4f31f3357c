#include "builtinmarket.h"
#include "marketsimulator.h"
#include "optionpricer.h"
#include "testsupport.h"

#include <QtTest>

#include <cmath>
#include <limits>

namespace {

bool onTick(double price, int stepsPerUnit = OptionPricer::ticksPerYuan)
{
    const double steps = price * stepsPerUnit;
    return std::fabs(steps - std::round(steps)) < 1e-6;
}

QList<FeedTick> run(MarketSimulator &sim, int slotCount)
{
    QList<FeedTick> all;
    for (int i = 0; i < slotCount; ++i)
        all += sim.nextSlot();
    return all;
}

QString fingerprint(const QList<FeedTick> &ticks)
{
    QStringList parts;
    for (const FeedTick &t : ticks) {
        parts.append(
            t.fields.value(QStringLiteral("Symbol")).toString() + QLatin1Char('=') +
            QString::number(t.fields.value(QStringLiteral("LastPrice")).toDouble(), 'g', 17) +
            QLatin1Char('/') +
            QString::number(t.fields.value(QStringLiteral("Buy1Price")).toDouble(), 'g', 17) +
            QLatin1Char('/') + t.fields.value(QStringLiteral("OpenInterest")).toString());
    }
    return parts.join(QLatin1Char(';'));
}

} // namespace

class TestMarketSimulator : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { TestSupport::installWarningGuard(); }
    void cleanup() { VERIFY_NO_UNEXPECTED_WARNINGS(); }

    void blackScholes_data();
    void blackScholes();
    void smileRisesAwayFromMoney();
    void priceLimits_data();
    void priceLimits();
    void quoteStaysOnTickAndInsideLimits_data();
    void quoteStaysOnTickAndInsideLimits();
    void ticksAreSaneOverTime();
    void everyContractTicksOncePerCycle();
    void sameSeedSameTicks();
    void differentSeedDifferentTicks();
    void unusableRecordsAreSkipped();
};

void TestMarketSimulator::blackScholes_data()
{
    QTest::addColumn<bool>("call");
    QTest::addColumn<double>("spot");
    QTest::addColumn<double>("strike");
    QTest::addColumn<double>("years");
    QTest::addColumn<double>("rate");
    QTest::addColumn<double>("vol");
    QTest::addColumn<double>("expected");
    QTest::addColumn<double>("tolerance");
    // Hull's textbook example (S 42, K 40, r 10%, 0.5 years, 20%), and an
    // at-the-money pair worked by hand whose difference obeys put-call parity.
    QTest::newRow("Hull call") << true << 42.0 << 40.0 << 0.5 << 0.1 << 0.2 << 4.76 << 0.005;
    QTest::newRow("Hull put") << false << 42.0 << 40.0 << 0.5 << 0.1 << 0.2 << 0.81 << 0.005;
    QTest::newRow("at the money call")
        << true << 3.0 << 3.0 << 0.25 << 0.02 << 0.2 << 0.126965 << 5e-6;
    QTest::newRow("at the money put")
        << false << 3.0 << 3.0 << 0.25 << 0.02 << 0.2 << 0.112002 << 5e-6;
    QTest::newRow("expired call is intrinsic")
        << true << 3.1 << 3.0 << 0.0 << 0.02 << 0.2 << 0.1 << 1e-12;
    QTest::newRow("expired put out of money")
        << false << 3.1 << 3.0 << 0.0 << 0.02 << 0.2 << 0.0 << 0.0;
    QTest::newRow("NaN spot gives 0") << true << std::numeric_limits<double>::quiet_NaN() << 3.0
                                      << 0.25 << 0.02 << 0.2 << 0.0 << 0.0;
    QTest::newRow("negative strike gives 0")
        << false << 3.0 << -1.0 << 0.25 << 0.02 << 0.2 << 0.0 << 0.0;
}

void TestMarketSimulator::blackScholes()
{
    QFETCH(bool, call);
    QFETCH(double, spot);
    QFETCH(double, strike);
    QFETCH(double, years);
    QFETCH(double, rate);
    QFETCH(double, vol);
    QFETCH(double, expected);
    QFETCH(double, tolerance);
    const double price = OptionPricer::blackScholes(call, spot, strike, years, rate, vol);
    QVERIFY2(std::fabs(price - expected) <= tolerance, qPrintable(QString::number(price, 'f', 6)));
}

void TestMarketSimulator::smileRisesAwayFromMoney()
{
    const double atm = OptionPricer::smileVolatility(3.0, 3.0);
    QCOMPARE(atm, OptionPricer::baseVolatility);
    QVERIFY(OptionPricer::smileVolatility(3.0, 2.5) > atm);
    QVERIFY(OptionPricer::smileVolatility(3.0, 3.5) > atm);
    QVERIFY(OptionPricer::smileVolatility(3.0, 4.0) > OptionPricer::smileVolatility(3.0, 3.5));
    QVERIFY(OptionPricer::smileVolatility(3.0, 1e6) <= 1.0);
}

void TestMarketSimulator::priceLimits_data()
{
    QTest::addColumn<bool>("call");
    QTest::addColumn<double>("settle");
    QTest::addColumn<double>("close");
    QTest::addColumn<double>("strike");
    QTest::addColumn<double>("maxPx");
    QTest::addColumn<double>("minPx");
    // call: settle + max(0.5% U, min(2U - K, U) * 10%); put: settle +
    // max(0.5% K, min(2K - U, U) * 10%); min: max(settle - 10% U, tick).
    QTest::newRow("call at the money") << true << 0.1269 << 3.0 << 3.0 << 0.4269 << 0.0001;
    QTest::newRow("call deep in the money") << true << 1.0 << 3.0 << 2.0 << 1.3 << 0.7;
    QTest::newRow("call far out of the money") << true << 0.0005 << 3.0 << 6.5 << 0.0155 << 0.0001;
    QTest::newRow("put deep out of the money") << false << 0.0012 << 3.0 << 2.0 << 0.1012 << 0.0001;
    QTest::newRow("put far out of the money floor")
        << false << 0.0003 << 3.0 << 1.2 << 0.0063 << 0.0001;
    QTest::newRow("rounded to the tick") << true << 0.12346 << 2.951 << 2.95 << 0.4186 << 0.0001;
    QTest::newRow("NaN settle stays sane")
        << true << std::numeric_limits<double>::quiet_NaN() << 3.0 << 3.0 << 0.3 << 0.0001;
}

void TestMarketSimulator::priceLimits()
{
    QFETCH(bool, call);
    QFETCH(double, settle);
    QFETCH(double, close);
    QFETCH(double, strike);
    QFETCH(double, maxPx);
    QFETCH(double, minPx);
    const OptionPricer::Limits limits = OptionPricer::priceLimits(call, settle, close, strike);
    QCOMPARE(limits.maxPx, maxPx);
    QCOMPARE(limits.minPx, minPx);
    QVERIFY(onTick(limits.maxPx) && onTick(limits.minPx));
}

void TestMarketSimulator::quoteStaysOnTickAndInsideLimits_data()
{
    QTest::addColumn<double>("model");
    QTest::addColumn<double>("maxPx");
    QTest::addColumn<double>("minPx");
    QTest::newRow("ordinary") << 0.12345 << 0.4269 << 0.0001;
    QTest::newRow("worthless") << 0.0 << 0.0155 << 0.0001;
    QTest::newRow("above the upper limit") << 2.0 << 1.3 << 0.7;
    QTest::newRow("below the lower limit") << 0.1 << 1.3 << 0.7;
    QTest::newRow("NaN model") << std::numeric_limits<double>::quiet_NaN() << 0.2 << 0.0001;
    QTest::newRow("limits one tick apart") << 0.5 << 0.0002 << 0.0001;
}

void TestMarketSimulator::quoteStaysOnTickAndInsideLimits()
{
    QFETCH(double, model);
    QFETCH(double, maxPx);
    QFETCH(double, minPx);
    const OptionPricer::Quote q = OptionPricer::quote(model, {maxPx, minPx});
    QVERIFY(onTick(q.bid) && onTick(q.ask));
    QVERIFY2(q.ask >= q.bid + OptionPricer::tick - 1e-12,
             qPrintable(QStringLiteral("%1 %2").arg(q.bid).arg(q.ask)));
    QVERIFY(q.bid >= minPx - 1e-12 && q.bid >= OptionPricer::tick - 1e-12);
    QVERIFY(q.ask <= maxPx + 1e-12);
}

void TestMarketSimulator::ticksAreSaneOverTime()
{
    MarketSimulator sim(BuiltinMarket::securities(QDate(2025, 12, 5)), QDate(2025, 12, 5), 7);
    int options = 0;
    int funds = 0;
    for (const FeedTick &t : run(sim, 400)) {
        const QVariantMap &f = t.fields;
        QVERIFY(!f.value(QStringLiteral("Symbol")).toString().isEmpty());
        if (t.kind == QLatin1String("MDMARKETRECORD")) {
            ++funds;
            QVERIFY(onTick(f.value(QStringLiteral("LastPrice")).toDouble(), 1000));
            QVERIFY(f.value(QStringLiteral("PreClosePrice")).toDouble() > 0);
            continue;
        }
        QCOMPARE(t.kind, QStringLiteral("MDOPTIONRECORD"));
        ++options;
        const double bid = f.value(QStringLiteral("Buy1Price")).toDouble();
        const double ask = f.value(QStringLiteral("Sell1Price")).toDouble();
        const double last = f.value(QStringLiteral("LastPrice")).toDouble();
        const double maxPx = f.value(QStringLiteral("MaxPx")).toDouble();
        const double minPx = f.value(QStringLiteral("MinPx")).toDouble();
        const QString symbol = f.value(QStringLiteral("Symbol")).toString();
        for (const QString &key :
             {QStringLiteral("Buy1Price"), QStringLiteral("Sell1Price"),
              QStringLiteral("LastPrice"), QStringLiteral("MaxPx"), QStringLiteral("MinPx"),
              QStringLiteral("PreSettlePrice"), QStringLiteral("PreClosePrice")}) {
            QVERIFY2(onTick(f.value(key).toDouble()), qPrintable(symbol + QLatin1Char(' ') + key));
        }
        QVERIFY2(bid < ask, qPrintable(symbol));
        QVERIFY(bid >= OptionPricer::tick - 1e-12);
        QVERIFY2(minPx <= bid && ask <= maxPx, qPrintable(symbol));
        QVERIFY2(minPx <= last && last <= maxPx,
                 qPrintable(symbol + QStringLiteral(" %1 %2 %3 %4 %5")
                                         .arg(minPx)
                                         .arg(bid)
                                         .arg(last)
                                         .arg(ask)
                                         .arg(maxPx)));
        // Last price near the quote.
        QVERIFY2(last >= bid - OptionPricer::tick - 1e-12 &&
                     last <= ask + OptionPricer::tick + 1e-12,
                 qPrintable(symbol));
        QVERIFY(f.value(QStringLiteral("OpenInterest")).toLongLong() >= 0);
    }
    QVERIFY(options > 1000);
    QVERIFY(funds >= 7 * 40);
}

void TestMarketSimulator::everyContractTicksOncePerCycle()
{
    const QList<QVariantMap> records = BuiltinMarket::securities(QDate(2025, 12, 5));
    MarketSimulator sim(records, QDate(2025, 12, 5), 1);
    QCOMPARE(sim.instrumentCount(), records.size());
    QStringList seen;
    int largestSlot = 0;
    for (int i = 0; i < MarketSimulator::slotCount; ++i) {
        const QList<FeedTick> slot = sim.nextSlot();
        largestSlot = qMax(largestSlot, slot.size());
        for (const FeedTick &t : slot)
            seen.append(t.fields.value(QStringLiteral("Symbol")).toString());
    }
    std::sort(seen.begin(), seen.end());
    QStringList expected = sim.symbols();
    std::sort(expected.begin(), expected.end());
    QCOMPARE(seen, expected);
    // Spread over the cycle, not all at once.
    QVERIFY(largestSlot <= records.size() / MarketSimulator::slotCount + 1);
}

void TestMarketSimulator::sameSeedSameTicks()
{
    const QList<QVariantMap> records = BuiltinMarket::securities(QDate(2025, 12, 5));
    MarketSimulator a(records, QDate(2025, 12, 5), 42);
    MarketSimulator b(records, QDate(2025, 12, 5), 42);
    const QList<FeedTick> ticksA = run(a, 60);
    const QList<FeedTick> ticksB = run(b, 60);
    QCOMPARE(ticksA.size(), ticksB.size());
    QCOMPARE(fingerprint(ticksA), fingerprint(ticksB));
    for (int i = 0; i < ticksA.size(); ++i)
        QCOMPARE(ticksA.at(i).fields, ticksB.at(i).fields);
}

void TestMarketSimulator::differentSeedDifferentTicks()
{
    const QList<QVariantMap> records = BuiltinMarket::securities(QDate(2025, 12, 5));
    MarketSimulator a(records, QDate(2025, 12, 5), 42);
    MarketSimulator b(records, QDate(2025, 12, 5), 43);
    QVERIFY(fingerprint(run(a, 60)) != fingerprint(run(b, 60)));
}

void TestMarketSimulator::unusableRecordsAreSkipped()
{
    auto option = [](const QString &symbol, const QVariant &strike, const QString &date) {
        return QVariantMap{{QStringLiteral("symbol"), symbol},
                           {QStringLiteral("mdcSecurityType"), QStringLiteral("OPTION")},
                           {QStringLiteral("underlyingSecurityID"), QStringLiteral("510050")},
                           {QStringLiteral("SymbolPost"), QStringLiteral("SH")},
                           {QStringLiteral("PutOrCall"), QStringLiteral("C")},
                           {QStringLiteral("StrikePrice"), strike},
                           {QStringLiteral("StrikeDate"), date}};
    };
    const QList<QVariantMap> records{
        option(QStringLiteral("ok.SH"), 2.95, QStringLiteral("20251224")),
        option(QStringLiteral("nostrike.SH"), QVariant(), QStringLiteral("20251224")),
        option(QStringLiteral("nan.SH"), std::numeric_limits<double>::quiet_NaN(),
               QStringLiteral("20251224")),
        option(QStringLiteral("negative.SH"), -3.0, QStringLiteral("20251224")),
        option(QStringLiteral("expired.SH"), 2.95, QStringLiteral("20251204")),
        option(QStringLiteral("nodate.SH"), 2.9, QStringLiteral("soon")),
        {{QStringLiteral("chineseName"), QStringLiteral("no symbol")}},
    };
    MarketSimulator sim(records, QDate(2025, 12, 5), 3);
    // The underlying ticks although it has no record of its own.
    QCOMPARE(sim.symbols(), (QStringList{QStringLiteral("ok.SH"), QStringLiteral("nodate.SH"),
                                         QStringLiteral("510050.SH")}));
    for (const FeedTick &t : run(sim, 20)) {
        for (auto it = t.fields.cbegin(); it != t.fields.cend(); ++it) {
            if (it.value().userType() == QMetaType::Double)
                QVERIFY2(std::isfinite(it.value().toDouble()), qPrintable(it.key()));
        }
    }
}

QTEST_GUILESS_MAIN(TestMarketSimulator)
#include "tst_marketsimulator.moc"
