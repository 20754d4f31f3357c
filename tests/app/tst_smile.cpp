#include "fixture.h"
#include "market/optionpricer.h"
#include "market/smilemodel.h"
#include "market/valuation.h"
#include "pages/smilepage.h"

#include <businessdatamanager/businessdatainterface.h>
#include <velbusinessdata/businessdatabase.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtCharts>
#include <QtTest>

#include <cmath>
#include <limits>

// The volatility smile: Black-76 and the forward from parity, the fast
// implied-volatility solver against bisection, and a session that opens the
// smile page and dumps it.
class TestSmile : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Fixture::installWarningGuard(); }
    void cleanup() { VERIFY_NO_UNEXPECTED_WARNINGS(); }

    void black76_data();
    void black76();
    void forwardFromParity_data();
    void forwardFromParity();
    void atmBetweenStrikes();
    void smileSeesEveryChange_data();
    void smileSeesEveryChange();
    void solverAgreesWithBisection_data();
    void solverAgreesWithBisection();
    void sessionDumpsTheSmile();
    void pageFollowsTheQuotes();
};

void TestSmile::black76_data()
{
    QTest::addColumn<bool>("call");
    QTest::addColumn<QVector<double>>("market"); // forward, strike, rate, volatility, years
    QTest::addColumn<double>("expected");
    QTest::addColumn<double>("tolerance");
    // A put on a futures contract at the money: 1.12 in the textbooks.
    const QVector<double> atm{20, 20, 0.09, 0.25, 4 / 12.0};
    QTest::newRow("futures put at the money") << false << atm << 1.12 << 0.005;
    QTest::newRow("call equals put at F = K") << true << atm << 1.1166 << 0.0001;
    QTest::newRow("call in the money")
        << true << QVector<double>{620, 600, 0.05, 0.2, 0.5} << 44.18 << 0.01;
    // Without time an option is worth its exercise; without volatility its
    // discounted intrinsic value.
    QTest::newRow("call at expiry")
        << true << QVector<double>{3.1, 3.0, 0.05, 0.2, 0.0} << 0.1 << 1e-12;
    QTest::newRow("put without volatility")
        << false << QVector<double>{2.9, 3.0, 0.05, 0.0, 1.0} << 0.1 * std::exp(-0.05) << 1e-12;
    QTest::newRow("no forward") << true << QVector<double>{0, 3.0, 0.05, 0.2, 1.0} << 0.0 << 0.0;
    QTest::newRow("no strike") << true << QVector<double>{3, 0, 0.05, 0.2, 1.0} << 0.0 << 0.0;
    QTest::newRow("NaN strike") << true << QVector<double>{3, qQNaN(), 0.05, 0.2, 1.0} << 0.0
                                << 0.0;
}

// Each value, and on the spot's forward it is Black-Scholes; the solver
// finds the volatility back.
void TestSmile::black76()
{
    QFETCH(bool, call);
    QFETCH(QVector<double>, market);
    QFETCH(double, expected);
    QFETCH(double, tolerance);
    const double f = market[0], k = market[1], r = market[2], v = market[3], t = market[4];
    const double price = OptionPricer::black76(call, f, k, t, r, v);
    QVERIFY2(std::fabs(price - expected) <= tolerance, qPrintable(QString::number(price, 'g', 10)));
    if (!(f > 0 && k > 0 && t > 0 && v > 0)) {
        // Without a price or a strike: no price, and the smile's own level.
        if (!(k > 0))
            QCOMPARE(OptionPricer::blackScholes(call, 3.0, k, t, r, v), 0.0);
        if (!(f > 0))
            QCOMPARE(OptionPricer::smileVolatility(f, k), OptionPricer::baseVolatility);
        return;
    }
    const double spot = f * std::exp(-r * t);
    QVERIFY(std::fabs(OptionPricer::blackScholes(call, spot, k, t, r, v) - price) < 1e-9 * f);
    const auto iv = OptionPricer::impliedVolatilityBlack76(call, price, f, k, t, r);
    QVERIFY(iv && std::fabs(*iv - v) < 1e-6);
}

void TestSmile::forwardFromParity_data()
{
    using Pair = SmileModel::Pair;
    QTest::addColumn<QVector<Pair>>("pairs");
    QTest::addColumn<double>("years");
    QTest::addColumn<double>("forward"); // NaN: none
    const double none = qQNaN();
    const QVector<Pair> chain{{2.9, 0.12, 0.05}, {3.0, 0.06, 0.08}, {3.1, 0.03, 0.15}};
    QTest::newRow("the strike where C and P are closest")
        << chain << 0.25 << 3.0 + std::exp(0.02 * 0.25) * -0.02;
    QTest::newRow("parity is undiscounted at expiry") << chain << 0.0 << 2.98;
    QTest::newRow("a strike with one side is passed over")
        << QVector<Pair>{{2.9, 0.1, {}}, {3.0, 0.07, 0.05}, {3.1, {}, 0.1}} << 1.0
        << 3.0 + std::exp(0.02) * 0.02;
    QTest::newRow("a tie goes to the lower strike")
        << QVector<Pair>{{2.9, 0.06, 0.05}, {3.0, 0.05, 0.06}} << 1.0
        << 2.9 + std::exp(0.02) * 0.01;
    QTest::newRow("no strike with both sides")
        << QVector<Pair>{{2.9, 0.1, {}}, {3.0, {}, 0.05}} << 1.0 << none;
    QTest::newRow("no strikes") << QVector<Pair>{} << 1.0 << none;
}

Q_DECLARE_METATYPE(QVector<SmileModel::Pair>)

// The forward from parity at rate 0.02.
void TestSmile::forwardFromParity()
{
    QFETCH(QVector<SmileModel::Pair>, pairs);
    QFETCH(double, years);
    QFETCH(double, forward);
    const std::optional<double> f = SmileModel::forwardOf(pairs, years, 0.02);
    QCOMPARE(bool(f), !std::isnan(forward));
    if (f)
        QVERIFY2(std::fabs(*f - forward) < 1e-12, qPrintable(QString::number(*f, 'g', 17)));
}

// Between 2.9 (22%) and 3.0 (20%) linearly in ln(K/F), not in K.
void TestSmile::atmBetweenStrikes()
{
    const QVector<SmileModel::Point> points{
        {2.8, {}, false}, {2.9, 0.22, false}, {3.0, 0.20, true}, {3.1, 0.21, true}};
    QVERIFY(std::fabs(*SmileModel::atmVolatility(points, 2.95) - 0.209915) < 1e-6);
    QCOMPARE(*SmileModel::atmVolatility(points, 3.0), 0.20);
    QVERIFY(!SmileModel::atmVolatility(points, 3.2));
    QVERIFY(!SmileModel::atmVolatility(points, 2.85)); // 2.8 has no volatility
}

// The page redraws when the smile differs in anything it draws, and only then.
namespace {
using Smile = SmileModel::Smile;
using Expiry = SmileModel::Expiry;
const struct
{
    const char *name;
    void (*apply)(Smile &, Expiry &);
} kSmileChanges[] = {
    {"nothing", [](Smile &, Expiry &) {}},
    {"fund", [](Smile &s, Expiry &) { s.underlying = QStringLiteral("510300.SH"); }},
    {"rate", [](Smile &s, Expiry &) { s.rate = 0.02; }},
    {"one expiry more", [](Smile &s, Expiry &e) { s.expiries.append(e); }},
    {"date", [](Smile &, Expiry &e) { e.date = e.date.addDays(1); }},
    {"days", [](Smile &, Expiry &e) { e.days = 17; }},
    {"years", [](Smile &, Expiry &e) { e.years = 0.045; }},
    {"forward", [](Smile &, Expiry &e) { e.forward.reset(); }},
    {"ATM", [](Smile &, Expiry &e) { e.atmIv = 0.21; }},
    {"one point more",
     [](Smile &, Expiry &e) {
         e.points.append({3.1, 0.21, true});
     }},
    {"strike", [](Smile &, Expiry &e) { e.points[0].strike = 3.1; }},
    {"volatility", [](Smile &, Expiry &e) { e.points[0].iv.reset(); }},
    {"side", [](Smile &, Expiry &e) { e.points[0].call = false; }}};
} // namespace

void TestSmile::smileSeesEveryChange_data()
{
    QTest::addColumn<int>("change");
    for (int i = 0; i < int(std::size(kSmileChanges)); ++i)
        QTest::newRow(kSmileChanges[i].name) << i;
}

void TestSmile::smileSeesEveryChange()
{
    QFETCH(int, change);
    const Expiry same{QDate(2026, 12, 23), 16, 0.044, 3.02, 0.2, {{3.0, 0.2, true}}};
    const Smile a{"510050.SH", 0.015, {same}};
    Smile b = a;
    Expiry e = same;
    kSmileChanges[change].apply(b, e);
    b.expiries.replace(0, e);
    QCOMPARE(a == b, change == 0);
    QCOMPARE(a != b, change != 0);
}

void TestSmile::solverAgreesWithBisection_data()
{
    QTest::addColumn<bool>("call");
    QTest::addColumn<double>("moneyness"); // K / F, spot 3.0, rate 0.015
    QTest::addColumn<double>("years");
    QTest::addColumn<double>("price"); // < 0: the price at volatility -price, on the tick
    const double hour = 1 / (365.0 * 24);
    for (bool call : {true, false}) {
        for (double m : {0.5, 0.8, 1.0, 1.25, 2.0}) {
            for (double t : {hour, 1 / 365.0, 30 / 365.0, 2.0}) {
                for (double v : {0.05, 0.3, 1.5, 3.0}) {
                    QTest::addRow("%s K/F %.2f T %.4f vol %.2f", call ? "call" : "put", m, t, v)
                        << call << m << t << -v;
                }
            }
        }
    }
    // The edges: one tick far out of the money, an hour left, the bounds.
    QTest::newRow("one tick, call twice the forward") << true << 2.0 << 30 / 365.0 << 0.0001;
    QTest::newRow("one tick, put at half, an hour") << false << 0.5 << hour << 0.0001;
    QTest::newRow("one tick at the money, an hour") << true << 1.0 << hour << 0.0001;
    QTest::newRow("just above the least volatility") << true << 1.0 << 0.5 << -0.00011;
    QTest::newRow("just below the greatest volatility") << false << 1.0 << 2.0 << -4.999;
    QTest::newRow("at the spot, above every volatility") << true << 1.0 << 2.0 << 3.0;
    QTest::newRow("below the intrinsic value") << false << 2.0 << 1.0 << 2.9;
}

// Where the price settles the volatility to 1e-6 the two agree to 1e-6;
// where it does not (the price does not move over +-1e-6 of volatility in
// double precision), the solver's volatility reproduces the price. Both see
// a solution in the same cases, and the solver needs a handful of prices.
void TestSmile::solverAgreesWithBisection()
{
    QFETCH(bool, call);
    QFETCH(double, moneyness);
    QFETCH(double, years);
    QFETCH(double, price);
    const double spot = 3.0, rate = 0.015;
    const double strike = moneyness * spot * std::exp(rate * years);
    const auto model = [&](double v) {
        return OptionPricer::blackScholes(call, spot, strike, years, rate, v);
    };
    if (price < 0)
        price = -price < 0.001 || -price > 4.9 ? model(-price)
                                               : OptionPricer::roundToStep(model(-price));
    int evaluations = 0;
    const auto fast =
        OptionPricer::impliedVolatility(call, price, spot, strike, years, rate, &evaluations);
    const auto reference =
        OptionPricer::impliedVolatilityBisection(call, price, spot, strike, years, rate, 200, 0.0);
    QCOMPARE(bool(fast), bool(reference));
    // Bisection to 1e-8 needs some 30; at the money the first guess is the
    // price's own inverse, nearly exact.
    QVERIFY2(evaluations <= (moneyness == 1.0 ? 5 : 7), qPrintable(QString::number(evaluations)));
    if (!fast)
        return;
    QVERIFY(*fast >= OptionPricer::minVolatility && *fast <= OptionPricer::maxVolatility);
    const double noise = 16 * std::numeric_limits<double>::epsilon() * (spot + strike);
    const double lo = qMax(OptionPricer::minVolatility, *reference - 1e-6);
    const double hi = qMin(OptionPricer::maxVolatility, *reference + 1e-6);
    if (model(hi) - model(lo) > noise)
        QVERIFY2(std::fabs(*fast - *reference) <= 1e-6,
                 qPrintable(QStringLiteral("%1 against %2")
                                .arg(*fast, 0, 'g', 12)
                                .arg(*reference, 0, 'g', 12)));
    else
        QVERIFY(std::fabs(model(*fast) - price) <= noise);
}

namespace {

// The test market's smile: 20% at the forward 3.02, rising both ways.
double volatilityAt(double strike)
{
    return 0.20 + 2 * (strike - 3.02) * (strike - 3.02);
}

QString tickLine(int t, const QString &symbol, double last, double bid, double ask)
{
    return QStringLiteral(R"({"t": %1, "type": "MDOPTIONRECORD", "Symbol": "%2", "LastPrice": %3, )"
                          R"("Buy1Price": %4, "Sell1Price": %5})")
        .arg(t)
        .arg(symbol)
        .arg(last, 0, 'g', 17)
        .arg(bid, 0, 'g', 17)
        .arg(ask, 0, 'g', 17);
}

} // namespace

// Two funds; 50ETF's near expiry quoted on a smile around the forward 3.02
// (the 3.2 call by its last price alone) with an adjusted contract quoted
// absurdly, its far expiry with calls only. The page opened from the menu
// shows the board's fund, and follows the board to the Shenzhen fund.
void TestSmile::sessionDumpsTheSmile()
{
    const QString dir = Fixture::scratchDir(QStringLiteral("smile"));
    const QString near = Fixture::day(30), far = Fixture::day(60);
    const double rate = 0.02, years = 30 / 365.0, forward = 3.02;
    const QList<double> strikes{2.8, 2.9, 3.0, 3.1, 3.2};
    QList<QVariantMap> records =
        QList<QVariantMap>{Fixture::fund(QStringLiteral("510050.SH"), QStringLiteral("50ETF"),
                                         QStringLiteral("SH")),
                           Fixture::fund(QStringLiteral("159919.SZ"), QStringLiteral("300ETF"),
                                         QStringLiteral("SZ"))} +
        Fixture::ladder(QStringLiteral("1"), QStringLiteral("510050"), near, strikes) +
        Fixture::ladder(QStringLiteral("2"), QStringLiteral("510050"), far, {2.9, 3.0}) +
        Fixture::ladder(QStringLiteral("3"), QStringLiteral("159919"), near, {3.9, 4.0},
                        QStringLiteral("SZ"));
    records << Fixture::option(QStringLiteral("1CA.SH"), QStringLiteral("510050"), near, 2.851,
                               QStringLiteral("C"), QStringLiteral("50ETF购2.851A"))
            << Fixture::option(QStringLiteral("1PA.SH"), QStringLiteral("510050"), near, 2.851,
                               QStringLiteral("P"), QStringLiteral("50ETF沽2.851Z"));
    const QString securities = dir + QStringLiteral("/chain.json");
    QVERIFY(Fixture::writeFile(securities, Fixture::securitiesJson(records)));

    QStringList ticks;
    for (double k : strikes) {
        for (bool call : {true, false}) {
            const double p = OptionPricer::black76(call, forward, k, years, rate, volatilityAt(k));
            const QString symbol = call ? Fixture::callSymbol(QStringLiteral("1"), k)
                                        : Fixture::putSymbol(QStringLiteral("1"), k);
            ticks << (call && k == 3.2 ? tickLine(100, symbol, p, 0, 0)
                                       : tickLine(100, symbol, 0.5, p - 0.0001, p + 0.0001));
        }
    }
    ticks << tickLine(100, QStringLiteral("1CA.SH"), 0.9, 0.9, 0.95)
          << tickLine(100, QStringLiteral("1PA.SH"), 0.001, 0.001, 0.002);
    for (double k : {2.9, 3.0})
        ticks << tickLine(100, Fixture::callSymbol(QStringLiteral("2"), k), 0.1, 0.1, 0.11);
    for (double k : {3.9, 4.0}) {
        for (const QString &symbol : {Fixture::callSymbol(QStringLiteral("3"), k, "SZ"),
                                      Fixture::putSymbol(QStringLiteral("3"), k, "SZ")})
            ticks << tickLine(100, symbol, 0.05, 0.05, 0.06);
    }
    const QString replay = dir + QStringLiteral("/ticks.jsonl");
    QVERIFY(Fixture::writeFile(replay, ticks.join(QLatin1Char('\n')).toUtf8()));
    const QString actions = dir + QStringLiteral("/actions.jsonl");
    QVERIFY(Fixture::writeFile(actions, QStringLiteral(R"({"t": 500, "do": "open", "kind": "smile"}
{"t": 600, "do": "dump", "file": "%1/sh.json"}
{"t": 700, "do": "category", "page": 0, "index": 1}
{"t": 1200, "do": "dump", "file": "%1/sz.json"}
{"t": 1300, "do": "quit"})")
                                            .arg(dir)
                                            .toUtf8()));

    QProcess velapp;
    velapp.start(QStringLiteral(VELAPP_BINARY),
                 {"-platform", "offscreen", "--rate", QString::number(rate), "--securities",
                  securities, "--valuation-time",
                  QDate::currentDate().toString(Qt::ISODate) + "T15:00:00+08:00", "--replay",
                  replay, "--actions", actions, "--print"});
    QVERIFY(velapp.waitForFinished(60000));
    QCOMPARE(velapp.exitCode(), 0);
    // --print shows the smile's figures, not an empty board.
    const QString printed = QString::fromUtf8(velapp.readAllStandardOutput());
    const QString smile = printed.mid(printed.indexOf(QStringLiteral("== 波动率")));
    QVERIFY2(QRegularExpression(QStringLiteral("^== 波动率 \\S+ ==\n159919\\.SZ 利率 %1\n\\d{8} "
                                               "\\(\\d+天\\) F \\d+\\.\\d{4} ATM \\d+\\.\\d\\d%\n"
                                               "(  [CP] \\d\\.\\d{3} (\\d+\\.\\d\\d%|--)\n)+")
                                    .arg(rate))
                 .match(smile)
                 .hasMatch(),
             qPrintable(smile));
    const auto smileOf = [&](const QString &name) {
        QFile file(dir + QLatin1Char('/') + name);
        const QJsonArray pages =
            file.open(QIODevice::ReadOnly)
                ? QJsonDocument::fromJson(file.readAll()).object().value("pages").toArray()
                : QJsonArray();
        return pages.size() == 2 ? pages.at(1).toObject() : QJsonObject();
    };

    const QJsonObject sh = smileOf(QStringLiteral("sh.json"));
    QCOMPARE(sh.value("kind").toString(), QStringLiteral("smile"));
    QCOMPARE(sh.value("title").toString(), QStringLiteral("波动率 50ETF"));
    QCOMPARE(sh.value("underlying").toString(), QStringLiteral("510050.SH"));
    QCOMPARE(sh.value("rate").toDouble(), rate);
    const QJsonArray expiries = sh.value("expiries").toArray();
    QCOMPARE(expiries.size(), 2);
    const QJsonObject first = expiries.at(0).toObject();
    QCOMPARE(first.value("date").toString(), near);
    QCOMPARE(first.value("days").toInt(), 30);
    QCOMPARE(first.value("T").toDouble(), years);
    QVERIFY2(std::fabs(first.value("forward").toDouble() - forward) < 1e-9,
             qPrintable(QString::number(first.value("forward").toDouble(), 'g', 17)));
    // Puts below the forward, calls above it, each at its volatility; no adjusted 2.851.
    const QJsonArray points = first.value("points").toArray();
    QCOMPARE(points.size(), strikes.size());
    for (int i = 0; i < strikes.size(); ++i) {
        const QJsonObject p = points.at(i).toObject();
        QCOMPARE(p.value("strike").toDouble(), strikes.at(i));
        QCOMPARE(p.value("side").toString(),
                 strikes.at(i) < forward ? QStringLiteral("P") : QStringLiteral("C"));
        QVERIFY2(std::fabs(p.value("iv").toDouble() - volatilityAt(strikes.at(i))) < 1e-6,
                 qPrintable(QString::number(p.value("iv").toDouble(), 'g', 10)));
    }
    const double w = std::log(forward / 3.0) / std::log(3.1 / 3.0);
    QVERIFY(std::fabs(first.value("atmIv").toDouble() -
                      ((1 - w) * volatilityAt(3.0) + w * volatilityAt(3.1))) < 1e-6);
    // Calls alone give no forward, so nothing else.
    const QJsonObject second = expiries.at(1).toObject();
    QCOMPARE(second.value("date").toString(), far);
    QVERIFY(second.value("forward").isNull());
    QVERIFY(second.value("atmIv").isNull());
    QCOMPARE(second.value("points").toArray().size(), 0);

    const QJsonObject sz = smileOf(QStringLiteral("sz.json"));
    QCOMPARE(sz.value("underlying").toString(), QStringLiteral("159919.SZ"));
    QCOMPARE(sz.value("title").toString(), QStringLiteral("波动率 300ETF"));
    QCOMPARE(sz.value("expiries").toArray().size(), 1);
}

// The drawn smile follows every new quote, and its axis closes in on a
// smile that flattens.
void TestSmile::pageFollowsTheQuotes()
{
    const QList<double> strikes{2.8, 2.9, 3.0, 3.1, 3.2};
    const QString near = Fixture::day(30);
    CBusinessDataBase::GetInstance()->loadSecurities(
        Fixture::ladder("1", "510050", near, strikes)
        << Fixture::fund(QStringLiteral("510050.SH"), QStringLiteral("50ETF"), "SH"));
    const QDateTime at(QDate::currentDate(), QTime(15, 0), Valuation::exchangeZone());
    Valuation::setFixedTime(at);
    const double years = Valuation::yearsToExpiry(QDate::fromString(near, "yyyyMMdd"), at);
    const auto quote = [&](double wing) {
        for (double k : strikes) {
            for (bool call : {true, false}) {
                const double v = 0.2 + wing * (k - 3.0) * (k - 3.0);
                const double p = OptionPricer::black76(call, 3.0, k, years, 0.02, v);
                const QString symbol =
                    call ? Fixture::callSymbol("1", k) : Fixture::putSymbol("1", k);
                BusinessDataInterface::PublishQuotation(
                    "MDOPTIONRECORD", {{"Symbol", symbol}, {"Buy1Price", p}, {"Sell1Price", p}});
            }
        }
    };
    quote(20);
    Fixture::expectWarning(QRegularExpression(QStringLiteral("propagateSizeHints")));
    SmilePage page(QStringLiteral("510050.SH"), 0.02);
    page.show();
    QChart *chart = nullptr;
    for (const QChartView *view : page.findChildren<QChartView *>())
        chart = view->chart()->title().startsWith("波动率微笑") ? view->chart() : chart;
    const auto *axis = qobject_cast<QValueAxis *>(chart->axes(Qt::Vertical).value(0));
    const auto highest = [chart] {
        const auto *series = qobject_cast<QLineSeries *>(chart->series().value(0));
        double top = 0;
        for (const QPointF &p : series ? series->pointsVector() : QVector<QPointF>())
            top = qMax(top, p.y());
        return top;
    };
    QTRY_VERIFY(qAbs(highest() - 100 * (0.2 + 20 * 0.04)) < 1e-3);
    QVERIFY(axis->max() - axis->min() > 80);
    quote(0);
    QTRY_VERIFY(qAbs(highest() - 20) < 1e-3);
    QVERIFY(axis->max() - axis->min() < 5); // the last test: the fixed clock may stay
    QSignalSpy redrawn(chart->series().value(0), SIGNAL(pointsReplaced()));
    page.hide(); // shown again, the same smile is not drawn anew
    page.show();
    QCOMPARE(redrawn.count(), 0);
}

FIXTURE_TEST_MAIN(TestSmile)
#include "tst_smile.moc"
