#include "fixture.h"
#include "market/optionpricer.h"
#include "market/valuation.h"
#include "pages/chartpage.h"
#include "pages/detailpage.h"

#include <businessdatamanager/businessdatainterface.h>
#include <businessdatamanager/pricehistory.h>
#include <velbusinessdata/businessdatabase.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QtTest>

#include <cmath>

// The panes velapp shows for the board's clicks: their pricing, the host's
// price history behind the chart, and a session that keeps them as tabs.
class TestLinked : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Fixture::installWarningGuard(); }
    void cleanup() { VERIFY_NO_UNEXPECTED_WARNINGS(); }

    void textbookValues_data();
    void textbookValues();
    void impliedVolatility_data();
    void impliedVolatility();
    void detailFigures_data();
    void detailFigures();
    void detailNumbers();
    void historyThinsOldPoints();
    void panesFollowClicks();
    void detailLabelsFollowTheFund();
    void chartTimeLinesMeetThePrices();
};

void TestLinked::textbookValues_data()
{
    QTest::addColumn<bool>("call");
    QTest::addColumn<QVector<double>>("market"); // spot, strike, rate, volatility, years
    QTest::addColumn<QString>("figure");
    QTest::addColumn<double>("expected");
    QTest::addColumn<double>("tolerance");
    const QVector<double> a{42, 40, 0.10, 0.20, 0.5};
    const QVector<double> b{49, 50, 0.05, 0.20, 0.3846};
    QTest::newRow("call price") << true << a << "price" << 4.76 << 0.005;
    QTest::newRow("put price") << false << a << "price" << 0.81 << 0.005;
    QTest::newRow("call delta") << true << b << "delta" << 0.522 << 0.0005;
    QTest::newRow("call gamma") << true << b << "gamma" << 0.066 << 0.0005;
    QTest::newRow("call vega per 1.00") << true << b << "vega" << 12.1 << 0.05;
    QTest::newRow("call theta per year") << true << b << "theta" << -4.31 << 0.005;
    // At expiry an option is worth what exercising it gives.
    const QVector<double> expired{42, 40, 0.10, 0.20, 0.0};
    QTest::newRow("call at expiry") << true << expired << "price" << 2.0 << 1e-12;
    QTest::newRow("put at expiry") << false << expired << "price" << 0.0 << 1e-12;
    QTest::newRow("put on no spot")
        << false << QVector<double>{0, 40, 0.1, 0.2, 0.5} << "price" << 0.0 << 0.0;
}

void TestLinked::textbookValues()
{
    QFETCH(bool, call);
    QFETCH(QVector<double>, market);
    QFETCH(QString, figure);
    QFETCH(double, expected);
    QFETCH(double, tolerance);
    const double s = market[0], k = market[1], r = market[2], v = market[3], t = market[4];
    const auto g = OptionPricer::greeks(call, s, k, t, r, v);
    QVERIFY(g || figure == QLatin1String("price"));
    QVERIFY(!OptionPricer::greeks(call, qInf(), k, t, r, v)); // an endless spot prices nothing
    const QHash<QString, double> values{{"price", OptionPricer::blackScholes(call, s, k, t, r, v)},
                                        {"delta", g ? g->delta : 0},
                                        {"gamma", g ? g->gamma : 0},
                                        {"vega", g ? g->vega : 0},
                                        {"theta", g ? g->theta : 0}};
    QVERIFY2(std::fabs(values.value(figure) - expected) <= tolerance,
             qPrintable(QString::number(values.value(figure))));
}

void TestLinked::impliedVolatility_data()
{
    QTest::addColumn<bool>("call");
    QTest::addColumn<double>("strike"); // spot 3.0, rate 0.015
    QTest::addColumn<double>("years");
    QTest::addColumn<double>("price");      // < 0: the price at volatility
    QTest::addColumn<double>("volatility"); // < 0: no volatility reproduces price
    QTest::newRow("call at the money, a month") << true << 3.0 << 30 / 365.0 << -1.0 << 0.2;
    QTest::newRow("call in the money, a year") << true << 2.5 << 1.0 << -1.0 << 0.35;
    QTest::newRow("call out of the money, a quarter") << true << 3.3 << 0.25 << -1.0 << 0.15;
    QTest::newRow("put out of the money, two months") << false << 2.8 << 60 / 365.0 << -1.0 << 0.4;
    QTest::newRow("put in the money, a week") << false << 3.2 << 7 / 365.0 << -1.0 << 0.8;
    QTest::newRow("put, high volatility") << false << 3.0 << 0.5 << -1.0 << 3.0;
    QTest::newRow("below intrinsic value") << true << 2.5 << 0.25 << 0.4 << -1.0;
    QTest::newRow("above the bound") << true << 3.0 << 0.25 << 3.5 << -1.0;
    QTest::newRow("price 0") << false << 3.0 << 0.25 << 0.0 << -1.0;
    QTest::newRow("price NaN") << false << 3.0 << 0.25 << qQNaN() << -1.0;
    QTest::newRow("no time left") << true << 2.9 << 0.0 << 0.15 << -1.0;
}

void TestLinked::impliedVolatility()
{
    QFETCH(bool, call);
    QFETCH(double, strike);
    QFETCH(double, years);
    QFETCH(double, price);
    QFETCH(double, volatility);
    if (price < 0)
        price = OptionPricer::blackScholes(call, 3.0, strike, years, 0.015, volatility);
    const auto iv = OptionPricer::impliedVolatility(call, price, 3.0, strike, years, 0.015);
    if (volatility < 0) {
        QVERIFY2(!iv, qPrintable(QString::number(iv.value_or(0))));
        return;
    }
    QVERIFY(iv);
    QVERIFY2(std::fabs(*iv - volatility) <= 1e-6, qPrintable(QString::number(*iv, 'g', 10)));
}

void TestLinked::detailFigures_data()
{
    QTest::addColumn<QVariantMap>("record"); // over a call of strike 50, expiring 20270618
    QTest::addColumn<QVariantMap>("tick");
    QTest::addColumn<double>("spot"); // 0: no tick of the underlying
    QTest::addColumn<QDateTime>("at");
    // A number as text gives its tolerance (its last digit); other text, exactly; invalid, null.
    QTest::addColumn<QVariantMap>("expected");
    const QDate expiry(2027, 6, 18);
    // Hull's example: S 49, K 50, r 5 %, T 0.3846 (20 weeks), 20 % volatility, call worth 2.40.
    const QDateTime hull =
        Valuation::closeOf(expiry).addMSecs(-qint64(0.3846 * 365 * 24 * 3600 * 1000));
    const QVariantMap quote{{"Buy1Price", 2.39}, {"Sell1Price", 2.41}, {"LastPrice", 2.38}};
    const QVariant null;
    QTest::newRow("call, textbook")
        << QVariantMap{{"contractUnit", 100}} << quote << 49.0 << hull
        << QVariantMap{{"price", "2.40"},       {"source", "mid"},       {"iv", "0.200"},
                       {"delta", "0.522"},      {"gamma", "0.066"},      {"vega", "0.121"},
                       {"theta", "-0.0118"},    {"rho", "0.0891"},       {"leverage", "10.65"},
                       {"contractUnit", "100"}, {"intrinsic", "0.0000"}, {"days", "140"},
                       {"reason", null}};
    QTest::newRow("put by parity, textbook")
        << QVariantMap{{"PutOrCall", "P"}}
        << QVariantMap{{"Buy1Price", 2.4476}, {"Sell1Price", 2.4478}} << 49.0 << hull
        << QVariantMap{{"iv", "0.200"},          {"delta", "-0.478"},     {"gamma", "0.066"},
                       {"rho", "-0.0996"},       {"intrinsic", "1.0000"}, {"timeValue", "1.4477"},
                       {"contractUnit", "10000"}};
    // On expiry day the option is valued until the close, in Shanghai's time.
    const QVariantMap nearMoney{{"StrikePrice", 2.9}};
    const QVariantMap lastTrades{{"LastPrice", 0.1002}};
    QTest::newRow("expiry day, 14:00 Shanghai")
        << nearMoney << lastTrades << 3.0
        << QDateTime::fromString("2027-06-18T14:00:00+08:00", Qt::ISODate)
        << QVariantMap{{"days", "0"},
                       {"source", "last"},
                       {"intrinsic", "0.1"},
                       {"timeValue", "0.0002"},
                       {"reason", null}};
    QTest::newRow("expiry day, 15:30 Shanghai as UTC")
        << nearMoney << lastTrades << 3.0
        << QDateTime::fromString("2027-06-18T07:30:00Z", Qt::ISODate)
        << QVariantMap{{"days", "0"}, {"iv", null}, {"delta", null}, {"reason", "expired"}};
    const QDateTime month = QDateTime::fromString("2027-05-19T10:00:00+08:00", Qt::ISODate);
    QTest::newRow("no quote at all") << QVariantMap{} << QVariantMap{} << 49.0 << month
                                     << QVariantMap{{"price", null},
                                                    {"source", null},
                                                    {"iv", null},
                                                    {"days", "30"},
                                                    {"reason", "no price"}};
    QTest::newRow("previous close only")
        << QVariantMap{} << QVariantMap{{"PreClosePrice", 1.5}} << 0.0 << month
        << QVariantMap{{"last", "1.5"},
                       {"source", "previous close"},
                       {"spot", null},
                       {"intrinsic", null},
                       {"reason", "no underlying price"}};
    QTest::newRow("below intrinsic value")
        << nearMoney << QVariantMap{{"Buy1Price", 0.08}, {"Sell1Price", 0.09}} << 3.0 << month
        << QVariantMap{{"timeValue", "-0.015"}, {"iv", null}, {"reason", "below intrinsic value"}};
    QTest::newRow("above the no-arbitrage bound")
        << nearMoney << QVariantMap{{"LastPrice", 3.2}, {"Buy1Price", 3.1}} << 3.0 << month
        << QVariantMap{
               {"source", "last"}, {"ivBid", null}, {"reason", "above the no-arbitrage bound"}};
}

void TestLinked::detailFigures()
{
    QFETCH(QVariantMap, record);
    QFETCH(QVariantMap, tick);
    QFETCH(double, spot);
    QFETCH(QDateTime, at);
    QFETCH(QVariantMap, expected);
    QVariantMap option = Fixture::option("10000001.SH", "510050", "20270618", 50.0, "C", "购");
    for (auto it = record.cbegin(); it != record.cend(); ++it)
        option.insert(it.key(), it.value());
    const QVariantMap underlying = spot > 0 ? QVariantMap{{"LastPrice", spot}} : QVariantMap();
    const QJsonObject fields =
        DetailPage::fieldsOf(DetailPage::compute(option, tick, underlying, at, 0.05));
    QCOMPARE(fields.size(), 23);
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const QJsonValue got = fields.value(it.key());
        const QString want = it.value().toString();
        bool number = false;
        const double value = want.toDouble(&number);
        const QString shown =
            it.key() + ": " + QJsonDocument(QJsonArray{got}).toJson(QJsonDocument::Compact);
        if (!it.value().isValid())
            QVERIFY2(got.isNull(), qPrintable(shown));
        else if (!number)
            QVERIFY2(got.toString() == want, qPrintable(shown));
        else {
            const int decimals = want.contains('.') ? want.size() - want.indexOf('.') - 1 : 0;
            QVERIFY2(got.isDouble() &&
                         std::fabs(got.toDouble() - value) <= 0.75 * std::pow(10, -decimals),
                     qPrintable(shown));
        }
    }
    // A quote's two sides bracket the mid's volatility.
    if (fields.value("ivBid").isDouble() && fields.value("ivAsk").isDouble())
        QVERIFY(fields.value("ivBid").toDouble() < fields.value("iv").toDouble() &&
                fields.value("iv").toDouble() < fields.value("ivAsk").toDouble());
    // A null volatility says why, a volatility needs no reason.
    QCOMPARE(fields.value("iv").isNull(), !fields.value("reason").isNull());
    QCOMPARE(fields.value("delta").isNull(), fields.value("iv").isNull());
}

// Every tick of the last ten minutes; before that the last price of each second.
void TestLinked::historyThinsOldPoints()
{
    VelPriceHistory *history = VelPriceHistory::instance();
    const QString symbol = QStringLiteral("thin");
    QVector<VelPriceHistory::Point> expected;
    for (int s = 0; s < 30; ++s) {
        for (int k = 0; k < 4; ++k)
            history->record(symbol, s * 1000 + k * 250, 1 + s + k / 4.0);
        expected.append({s * 1000, 1 + s + 0.75});
    }
    // The tick at 900000 thins what is older than ten minutes; the tick
    // exactly ten minutes old stays whole (51.1 is no float).
    history->record(symbol, 299999, 50);
    history->record(symbol, 300000, 51.1);
    history->record(symbol, 300100, 52);
    expected += {{299000, 50}, {300000, 51.1}, {300100, 52}};
    for (int k = 0; k < 3; ++k) {
        history->record(symbol, 900000 + k * 100, 100 + k);
        expected.append({900000 + k * 100, 100.0 + k});
    }
    history->record(symbol, 5, 104.0625); // late: taken as of the latest time
    expected.append({900200, 104.0625});
    for (double bad : {0.0, -1.0, qQNaN(), qInf(), 1e300})
        history->record(symbol, 900300, bad);

    const QVector<VelPriceHistory::Point> points = history->points(symbol);
    QCOMPARE(points.size(), expected.size());
    for (int i = 0; i < points.size(); ++i) {
        QCOMPARE(points.at(i).msecs, expected.at(i).msecs);
        QCOMPARE(points.at(i).price, expected.at(i).price);
    }
    QCOMPARE(history->count(symbol), expected.size());
    QCOMPARE(history->revision(symbol), quint64(127));
    VelPriceHistory::Point last{};
    QVERIFY(history->last(symbol, &last));
    QCOMPARE(last.price, 104.0625);
    // Two columns of the first half minute: each holds its 15 seconds.
    const QVector<VelPriceHistory::Column> halves = history->columns(symbol, 0, 29999, 2);
    QCOMPARE(halves.size(), 2);
    QCOMPARE(halves.at(0).count, 15);
    QCOMPARE(halves.at(0).min, 1.75);
    QCOMPARE(halves.at(1).max, 30.75);
    QCOMPARE(halves.at(1).last, 30.75);
    // A new option's first 32 ticks of 16 bytes are counted as the one block that holds them.
    const qint64 held = history->heldBytes();
    for (int i = 1; i <= 32; ++i)
        history->record(QStringLiteral("one"), i, i);
    QCOMPARE(history->heldBytes() - held, qint64(512));
}

namespace {

double call(double s, double k, double t, double r, double v)
{
    const double d1 = (std::log(s / k) + (r + v * v / 2) * t) / (v * std::sqrt(t));
    const auto n = [](double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); };
    return s * n(d1) - k * std::exp(-r * t) * n(d1 - v * std::sqrt(t));
}

double rounded(double x)
{
    return std::round(x * 1e4) / 1e4;
}

} // namespace

// Ticks every 100 ms on two strikes. The panes follow the clicks while the
// board stays the only tab; what is kept stays on its option.
void TestLinked::panesFollowClicks()
{
    const QString dir = Fixture::scratchDir(QStringLiteral("linked"));
    const QString date = Fixture::day(30);
    const QString securities = dir + QStringLiteral("/chain.json");
    QVERIFY(Fixture::writeFile(
        securities,
        Fixture::securitiesJson(
            QList<QVariantMap>{Fixture::fund("510050.SH", "50ETF", "SH")} +
            Fixture::ladder(QStringLiteral("1000"), QStringLiteral("510050"), date, {2.95, 3.0}))));

    const QString callSymbol = Fixture::callSymbol(QStringLiteral("1000"), 2.95);
    const QString putSymbol = Fixture::putSymbol(QStringLiteral("1000"), 2.95);
    const QString put3 = Fixture::putSymbol(QStringLiteral("1000"), 3.0);
    const auto spot = [](int t) { return 2.95 + t / 100000.0; };
    const auto mid = [](int t) { return rounded(0.08 + t / 1000000.0); };
    QString ticks;
    for (int t = 100; t <= 2500; t += 100) {
        const QString line = QStringLiteral(
            R"({"t": %1, "type": "%2", "Symbol": "%3", "LastPrice": %4, "Buy1Price": %5, "Sell1Price": %6})"
            "\n");
        ticks += line.arg(t).arg("MDMARKETRECORD", "510050.SH").arg(spot(t)).arg(0).arg(0);
        for (const QString &symbol : {callSymbol, putSymbol, put3})
            ticks += line.arg(t)
                         .arg("MDOPTIONRECORD", symbol)
                         .arg(mid(t))
                         .arg(mid(t) - 0.0002)
                         .arg(mid(t) + 0.0002);
    }
    const QString replay = dir + QStringLiteral("/ticks.jsonl");
    QVERIFY(Fixture::writeFile(replay, ticks.toUtf8()));

    const QString click = QStringLiteral(
        R"({"t": %1, "do": "%2", "page": 0, "date": "%3", "strike": "%4", "column": %5})");
    const QString keep = QStringLiteral(R"({"t": %1, "do": "keep", "pane": "%2"})");
    const QString dump = QStringLiteral(R"({"t": %1, "do": "dump", "file": "%2/%3"})");
    const QStringList lines{keep.arg(500).arg("chart"), // nothing to keep yet
                            click.arg(1000).arg("click", date, "2.950").arg(2),
                            click.arg(1100).arg("dblclick", date, "2.950").arg(2),
                            dump.arg(1150).arg(dir, "early.json"),
                            keep.arg(1200).arg("chart"),
                            keep.arg(1250).arg("detail"),
                            keep.arg(1260).arg("detail"), // its tab comes forward
                            click.arg(1300).arg("click", date, "3.000").arg(12),
                            click.arg(1400).arg("dblclick", date, "3.000").arg(12),
                            dump.arg(2000).arg(dir, "late.json"),
                            QStringLiteral(R"({"t": 2100, "do": "quit"})")};
    const QString actions = dir + QStringLiteral("/actions.jsonl");
    QVERIFY(Fixture::writeFile(actions, lines.join(QLatin1Char('\n')).toUtf8()));

    const Fixture::VelappRun velapp = Fixture::runVelapp(
        {"--rate", "0.03", "--securities", securities,
         // At the close, 30 days before expiry: T is 30/365 in any zone.
         "--valuation-time", QDate::currentDate().toString(Qt::ISODate) + "T15:00:00+08:00",
         "--replay", replay, "--actions", actions});
    QCOMPARE(velapp.exitCode, 0);
    QCOMPARE(velapp.errLines,
             QStringList{"velapp: actions line 1: the chart pane shows nothing to keep"});
    const auto read = [&](const QString &name) {
        QFile file(dir + QLatin1Char('/') + name);
        return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object()
                                              : QJsonObject();
    };
    const auto describe = [](const QJsonArray &pages) {
        QStringList out;
        for (const QJsonValue &page : pages)
            out << page["kind"].toString() + (page["docked"].toBool() ? "+" : "-") +
                       page["title"].toString();
        return out;
    };
    const QString month = QString::number(QDate::fromString(date, "yyyyMMdd").month());
    const QJsonArray early = read(QStringLiteral("early.json")).value("pages").toArray();
    QCOMPARE(describe(early),
             (QStringList{"tboard-T型行情", "chart+走势 2.950 " + month + "月", "detail+购2950"}));
    const QJsonObject lateDump = read(QStringLiteral("late.json"));
    const QJsonArray late = lateDump.value("pages").toArray();
    QCOMPARE(describe(late),
             (QStringList{"tboard-T型行情", "chart-走势 2.950 " + month + "月", "detail-购2950",
                          "chart+走势 3.000 " + month + "月", "detail+沽3000"}));
    QVERIFY(lateDump.value("events").toArray().contains(QJsonObject{
        {"type", "action-error"}, {"line", 1}, {"text", "the chart pane shows nothing to keep"}}));

    const QJsonObject kept = late.at(1).toObject();
    QCOMPARE(kept.value("symbols").toArray(), QJsonArray({callSymbol, putSymbol, "510050.SH"}));
    // Made at 1000 ms, the chart still holds every tick since the start.
    for (const QString &symbol : {callSymbol, putSymbol, QStringLiteral("510050.SH")}) {
        QCOMPARE(early.at(1)["points"][symbol].toInt(), 11);
        QCOMPARE(kept["points"][symbol].toInt(), 20);
    }
    QCOMPARE(kept["last"][callSymbol].toDouble(), mid(2000));
    QCOMPARE(late.at(4)["symbol"].toString(), put3);

    const QJsonObject fields = late.at(2).toObject().value("fields").toObject();
    QCOMPARE(late.at(2)["symbol"].toString(), callSymbol);
    QCOMPARE(fields.value("days").toDouble(), 30.0);
    QCOMPARE(fields.value("source").toString(), QStringLiteral("mid"));
    QCOMPARE(fields.value("spot").toDouble(), spot(2000));
    QVERIFY(fields.value("change").isNull()); // the ticks carry no previous settlement
    // An independent bisection on the mid, at the rate given on the command line.
    double lo = 0.0001, hi = 5.0;
    for (int i = 0; i < 60; ++i)
        (call(spot(2000), 2.95, 30 / 365.0, 0.03, (lo + hi) / 2) < mid(2000) ? lo : hi) =
            (lo + hi) / 2;
    QVERIFY2(std::fabs(fields.value("iv").toDouble() - lo) < 1e-5, qPrintable(QString::number(lo)));
}

// Four significant digits at least, tiny ones in e-notation, no minus zero.
void TestLinked::detailNumbers()
{
    const struct
    {
        double value;
        const char *text;
    } table[] = {{1234.5, "1234.50"}, {0.5, "0.5000"}, {-0.00004, "-0.00004000"},
                 {5e-7, "5.000e-07"}, {-0.0, "0.00"},  {std::nan(""), "--"}};
    for (const auto &row : table)
        QCOMPARE(DetailPage::formatNumber(row.value, 2), QString(row.text));
}

// The open pane's labels: without prices it says why it has no volatility;
// with them it shows its figures, and a move of the fund alone reaches them.
void TestLinked::detailLabelsFollowTheFund()
{
    const QVariantMap option =
        Fixture::option("10000001.SH", "510050", Fixture::day(30), 2.95, "C", "购");
    CBusinessDataBase::GetInstance()->loadSecurities(
        {Fixture::fund("510050.SH", "50ETF", "SH"), option});
    Fixture::expectWarning(QRegularExpression(QStringLiteral("propagateSizeHints")));
    DetailPage page(option, 0.02);
    page.resize(800, 600);
    page.show();
    const auto shown = [&page](const char *field) {
        const auto *label = page.findChild<QLabel *>(QStringLiteral("label_") + field);
        return label && label->isVisible() ? label->text() : QStringLiteral("(hidden)");
    };
    QCOMPARE(shown("reason"), QStringLiteral("无隐含波动率与希腊值: 无价格"));
    const auto publish = [](const char *kind, const char *symbol, double last) {
        const QVariantMap tick{{"Symbol", symbol}, {"LastPrice", last}, {"PreSettlePrice", 0.1}};
        QCOMPARE(BusinessDataInterface::PublishQuotation(kind, tick),
                 BusinessDataInterface::Admission::Accepted);
    };
    publish("MDMARKETRECORD", "510050.SH", 3.0);
    publish("MDOPTIONRECORD", "10000001.SH", 0.08);
    QTRY_COMPARE(shown("last"), QStringLiteral("0.0800"));
    QCOMPARE(shown("spot"), QStringLiteral("3.000"));
    QCOMPARE(shown("reason"), QString());
    QCOMPARE(shown("change"), QStringLiteral("-20.00%"));
    QCOMPARE(shown("contractUnit"), QStringLiteral("10000"));
    const auto iv = DetailPage::compute(option, {{"LastPrice", 0.08}}, {{"LastPrice", 3.0}},
                                        QDateTime::currentDateTime(), 0.02)
                        .iv;
    QVERIFY(iv);
    QCOMPARE(shown("iv"), QString::number(*iv * 100, 'f', 2) + '%');

    // Four equal columns, the heads of the quote's column over its captions.
    const auto labelled = [&page](const QString &text) {
        for (const QLabel *label : page.findChildren<QLabel *>())
            if (label->text() == text)
                return label->geometry();
        return QRect();
    };
    QCOMPARE(labelled("行情").left(), labelled("最新价").left());
    QVERIFY(labelled("行情").bottom() < labelled("最新价").top());
    QVERIFY(qAbs(labelled("定价价格").left() - page.width() / 2) < 20);
    QVERIFY(page.findChild<QLabel *>("label_reason")->y() < page.height() - 100); // room below
    publish("MDMARKETRECORD", "510050.SH", 3.01);
    QTRY_COMPARE(shown("spot"), QStringLiteral("3.010"));
}

// The time axis and the price lines keep one clock: the grid line of 10:02
// runs through the column where the call's price jumps at 10:02.
void TestLinked::chartTimeLinesMeetThePrices()
{
    const QVariantMap call =
        Fixture::option("chart.C", "510300", Fixture::day(30), 2.95, "C", "购");
    const QVariantMap put = Fixture::option("chart.P", "510300", Fixture::day(30), 2.95, "P", "沽");
    CBusinessDataBase::GetInstance()->loadSecurities(
        {Fixture::fund("510300.SH", "300ETF", "SH"), call, put});
    const qint64 ten =
        QDateTime(QDate(2026, 12, 7), QTime(10, 0), Valuation::exchangeZone()).toMSecsSinceEpoch();
    VelPriceHistory *history = VelPriceHistory::instance();
    for (qint64 s = 0; s <= 240; s += 10) {
        history->record("chart.C", ten + s * 1000, s < 120 ? 0.1 : 0.2);
        history->record("chart.P", ten + s * 1000, 0.05);
        history->record("510300.SH", ten + s * 1000, 3.0);
        if (s == 110)
            history->record("chart.C", ten + 119999, 0.1);
    }
    Fixture::expectWarning(QRegularExpression(QStringLiteral("propagateSizeHints")));
    ChartPage page(call, put);
    page.resize(800, 600);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    const QImage shot = page.grab().toImage();
    // The call's band is the top third: its jump is the column with the most red.
    int jump = -1, most = 0;
    for (int x = 0; x < shot.width(); ++x) {
        int red = 0;
        for (int y = 0; y < shot.height() / 3; ++y)
            red += shot.pixelColor(x, y) == QColor(0xe8, 0x5c, 0x5c) ? 1 : 0;
        if (red > most)
            most = red, jump = x;
    }
    QVERIFY(most > 20);
    // Upright grid lines, read across the put's band (its flat price sits mid-band).
    QList<int> lines;
    const int y = shot.height() / 2 - 40;
    for (int x = 0; x < shot.width(); ++x)
        if (shot.pixelColor(x, y) == QColor(0x33, 0x36, 0x40) &&
            shot.pixelColor(x, y + 6) == QColor(0x33, 0x36, 0x40))
            lines << x;
    QVERIFY2(lines.size() >= 3, qPrintable(QString::number(lines.size())));
    QVERIFY2(
        std::any_of(lines.cbegin(), lines.cend(), [jump](int x) { return qAbs(x - jump) <= 1; }),
        qPrintable(QStringLiteral("jump at %1, %2 lines").arg(jump).arg(lines.size())));
}

FIXTURE_TEST_MAIN(TestLinked)
#include "tst_linked.moc"
