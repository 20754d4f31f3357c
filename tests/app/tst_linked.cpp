#include "fixture.h"
#include "market/optionpricer.h"

#include <businessdatamanager/pricehistory.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <cmath>

// The pages velapp opens for the board's clicks: their pricing, the host's
// price history behind the chart, and a session that opens both.
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
    void historyKeepsTheLatestPoints();
    void clicksOpenPages();
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

void TestLinked::historyKeepsTheLatestPoints()
{
    VelPriceHistory *history = VelPriceHistory::instance();
    const int extra = 5;
    for (int i = 0; i < VelPriceHistory::maxPoints + extra; ++i)
        history->record(QStringLiteral("bound"), i, 1.0 + i);
    for (double bad : {0.0, -1.0, qQNaN(), qInf(), 1e300})
        history->record(QStringLiteral("bound"), 0, bad);
    const QVector<VelPriceHistory::Point> points = history->points(QStringLiteral("bound"));
    QCOMPARE(points.size(), VelPriceHistory::maxPoints);
    QCOMPARE(points.first().msecs, qint64(extra));
    QCOMPARE(points.last().price, 1.0 * (VelPriceHistory::maxPoints + extra));
    VelPriceHistory::Point last{};
    QVERIFY(history->last(QStringLiteral("bound"), &last));
    QCOMPARE(last.price, points.last().price);
    QCOMPARE(history->revision(QStringLiteral("bound")),
             quint64(VelPriceHistory::maxPoints + extra));
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

// Ticks every 100 ms; a click opens the chart, a second click and a double
// click on the strike column open nothing more, a double click opens the
// call's detail page.
void TestLinked::clicksOpenPages()
{
    const QString dir = Fixture::scratchDir(QStringLiteral("linked"));
    const QString date = Fixture::day(30);
    QVariantList chain{
        Fixture::fund(QStringLiteral("510050.SH"), QStringLiteral("50ETF"), QStringLiteral("SH"))};
    for (const QVariantMap &option :
         Fixture::ladder(QStringLiteral("1000"), QStringLiteral("510050"), date, {2.95}))
        chain.append(option);
    QFile securities(dir + QStringLiteral("/chain.json"));
    QVERIFY(securities.open(QIODevice::WriteOnly));
    securities.write(QJsonDocument(QJsonArray::fromVariantList(chain)).toJson());
    securities.close();

    const QString callSymbol = Fixture::callSymbol(QStringLiteral("1000"), 2.95);
    const QString putSymbol = Fixture::putSymbol(QStringLiteral("1000"), 2.95);
    const auto spot = [](int t) { return 2.95 + t / 100000.0; };
    const auto mid = [](int t) { return rounded(0.08 + t / 1000000.0); };
    QFile replay(dir + QStringLiteral("/ticks.jsonl"));
    QVERIFY(replay.open(QIODevice::WriteOnly));
    for (int t = 100; t <= 2500; t += 100) {
        const QString line = QStringLiteral(
            R"({"t": %1, "type": "%2", "Symbol": "%3", "LastPrice": %4, "Buy1Price": %5, "Sell1Price": %6})"
            "\n");
        replay.write(
            line.arg(t).arg("MDMARKETRECORD", "510050.SH").arg(spot(t)).arg(0).arg(0).toUtf8());
        for (const QString &symbol : {callSymbol, putSymbol})
            replay.write(line.arg(t)
                             .arg("MDOPTIONRECORD", symbol)
                             .arg(mid(t))
                             .arg(mid(t) - 0.0002)
                             .arg(mid(t) + 0.0002)
                             .toUtf8());
    }
    replay.close();

    const QString click = QStringLiteral(
        R"({"t": %1, "do": "%2", "page": 0, "date": "%3", "strike": "2.950", "column": %4})");
    const QString dump = QStringLiteral(R"({"t": %1, "do": "dump", "file": "%2/%3"})");
    QFile actions(dir + QStringLiteral("/actions.jsonl"));
    QVERIFY(actions.open(QIODevice::WriteOnly));
    const QStringList lines{
        click.arg(1000).arg("click", date).arg(2),     dump.arg(1200).arg(dir, "early.json"),
        click.arg(1300).arg("click", date).arg(12),    click.arg(1400).arg("dblclick", date).arg(7),
        click.arg(1500).arg("dblclick", date).arg(2),  dump.arg(2000).arg(dir, "late.json"),
        QStringLiteral(R"({"t": 2100, "do": "quit"})")};
    actions.write(lines.join(QLatin1Char('\n')).toUtf8());
    actions.close();

    QCOMPARE(Fixture::runVelapp({"--rate", "0.03", "--securities", securities.fileName(),
                                 "--replay", replay.fileName(), "--actions", actions.fileName()})
                 .exitCode,
             0);
    const auto pages = [&](const QString &name) {
        QFile file(dir + QLatin1Char('/') + name);
        return file.open(QIODevice::ReadOnly)
                   ? QJsonDocument::fromJson(file.readAll()).object().value("pages").toArray()
                   : QJsonArray();
    };
    const QJsonArray early = pages(QStringLiteral("early.json"));
    const QJsonArray late = pages(QStringLiteral("late.json"));
    QCOMPARE(early.size(), 2);
    QCOMPARE(late.size(), 3);

    const QJsonObject chart = late.at(1).toObject();
    QCOMPARE(chart.value("kind").toString(), QStringLiteral("chart"));
    QCOMPARE(chart.value("title").toString(), QStringLiteral("走势 2.950"));
    QCOMPARE(chart.value("symbols").toArray(), QJsonArray({callSymbol, putSymbol, "510050.SH"}));
    // Opened at 1000 ms, it still holds every tick since the start.
    for (const QString &symbol : {callSymbol, putSymbol, QStringLiteral("510050.SH")}) {
        QCOMPARE(early.at(1).toObject().value("points").toObject().value(symbol).toInt(), 12);
        QCOMPARE(chart.value("points").toObject().value(symbol).toInt(), 20);
    }
    QCOMPARE(chart.value("last").toObject().value(callSymbol).toDouble(), mid(2000));

    const QJsonObject detail = late.at(2).toObject();
    QCOMPARE(detail.value("kind").toString(), QStringLiteral("detail"));
    QCOMPARE(detail.value("title").toString(), QStringLiteral("购2950"));
    QCOMPARE(detail.value("symbol").toString(), callSymbol);
    const QJsonObject fields = detail.value("fields").toObject();
    QCOMPARE(fields.value("days").toDouble(), 30.0);
    QVERIFY(fields.value("change").isNull()); // the ticks carry no previous settlement
    // An independent bisection on the mid, at the rate given on the command line.
    double lo = 0.0001, hi = 5.0;
    for (int i = 0; i < 60; ++i)
        (call(spot(2000), 2.95, 30 / 365.0, 0.03, (lo + hi) / 2) < mid(2000) ? lo : hi) =
            (lo + hi) / 2;
    QVERIFY2(std::fabs(fields.value("iv").toDouble() - lo) < 1e-5, qPrintable(QString::number(lo)));
    QVERIFY(fields.value("delta").toDouble() > 0.4 && fields.value("delta").toDouble() < 0.7);
}

FIXTURE_TEST_MAIN(TestLinked)
#include "tst_linked.moc"
