#include "builtinmarket.h"
#include "testsupport.h"

#include "veldefine/veldefine.h"

#include <QRegularExpression>
#include <QSet>
#include <QtTest>

using namespace Ostrel_Fields;

class TestBuiltinMarket : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { TestSupport::installWarningGuard(); }
    void cleanup() { VERIFY_NO_UNEXPECTED_WARNINGS(); }

    void expiries_data();
    void expiries();
    void expiriesAreFourthWednesdays();
    void strikeSpacing_data();
    void strikeSpacing();
    void strikesAroundFollowBands_data();
    void strikesAroundFollowBands();
    void chainsUseBandSpacing();
    void adjustedContracts();
    void codesUniqueAndExchangeShaped();
    void recordsComplete();

private:
    static QList<QVariantMap> options(const QList<QVariantMap> &records)
    {
        QList<QVariantMap> result;
        for (const QVariantMap &r : records) {
            if (r.value(MDCFieldDefine::mdcSecurityType) ==
                Ostrel_Values::MdcSecurityType::OptionType)
                result.append(r);
        }
        return result;
    }
    static bool isAdjusted(const QVariantMap &r)
    {
        return r.value(Security::chineseName).toString().endsWith(QLatin1Char('A'));
    }
    static int milli(const QVariantMap &r)
    {
        return qRound(r.value(Security::StrikePrice).toDouble() * 1000);
    }
    const QDate m_today{2025, 12, 5};
};

void TestBuiltinMarket::expiries_data()
{
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QList<QDate>>("expected");
    QTest::newRow("early in the month")
        << QDate(2025, 12, 5)
        << QList<QDate>{{2025, 12, 24}, {2026, 1, 28}, {2026, 3, 25}, {2026, 6, 24}};
    QTest::newRow("on the expiry day itself")
        << QDate(2025, 12, 24)
        << QList<QDate>{{2025, 12, 24}, {2026, 1, 28}, {2026, 3, 25}, {2026, 6, 24}};
    QTest::newRow("day after expiry starts next month")
        << QDate(2025, 12, 25)
        << QList<QDate>{{2026, 1, 28}, {2026, 2, 25}, {2026, 3, 25}, {2026, 6, 24}};
    QTest::newRow("next month is a quarter month")
        << QDate(2026, 2, 10)
        << QList<QDate>{{2026, 2, 25}, {2026, 3, 25}, {2026, 6, 24}, {2026, 9, 23}};
    QTest::newRow("month starting on a Wednesday")
        << QDate(2025, 10, 1)
        << QList<QDate>{{2025, 10, 22}, {2025, 11, 26}, {2025, 12, 24}, {2026, 3, 25}};
}

void TestBuiltinMarket::expiries()
{
    QFETCH(QDate, today);
    QFETCH(QList<QDate>, expected);
    QCOMPARE(BuiltinMarket::expiries(today), expected);
}

void TestBuiltinMarket::expiriesAreFourthWednesdays()
{
    // Every day of two years: four Wednesdays in days 22..28, the first not
    // before today, months strictly increasing, the last two quarter months.
    for (QDate today(2025, 1, 1); today < QDate(2027, 1, 1); today = today.addDays(1)) {
        const QList<QDate> dates = BuiltinMarket::expiries(today);
        QCOMPARE(dates.size(), 4);
        QVERIFY2(dates.first() >= today, qPrintable(today.toString(Qt::ISODate)));
        QVERIFY(today.daysTo(dates.first()) < 40);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(dates.at(i).dayOfWeek(), int(Qt::Wednesday));
            QVERIFY(dates.at(i).day() >= 22 && dates.at(i).day() <= 28);
            if (i > 0)
                QVERIFY(dates.at(i) > dates.at(i - 1));
        }
        QCOMPARE(dates.at(0).addMonths(1).month(), dates.at(1).month());
        QCOMPARE(dates.at(2).month() % 3, 0);
        QCOMPARE(dates.at(3).month() % 3, 0);
        QCOMPARE(QDate(dates.at(2).year(), dates.at(2).month(), 1).addMonths(3).month(),
                 dates.at(3).month());
    }
}

void TestBuiltinMarket::strikeSpacing_data()
{
    QTest::addColumn<int>("strike");
    QTest::addColumn<int>("spacing");
    QTest::newRow("below 3") << 2950 << 50;
    QTest::newRow("3 itself") << 3000 << 50;
    QTest::newRow("just above 3") << 3100 << 100;
    QTest::newRow("5 itself") << 5000 << 100;
    QTest::newRow("above 5") << 5250 << 250;
    QTest::newRow("10 itself") << 10000 << 250;
    QTest::newRow("above 10") << 10500 << 500;
    QTest::newRow("20 itself") << 20000 << 500;
    QTest::newRow("above 20") << 21000 << 1000;
    QTest::newRow("50 itself") << 50000 << 1000;
    QTest::newRow("above 50") << 52500 << 2500;
    QTest::newRow("above 100") << 105000 << 5000;
}

void TestBuiltinMarket::strikeSpacing()
{
    QFETCH(int, strike);
    QFETCH(int, spacing);
    QCOMPARE(BuiltinMarket::strikeSpacingMilli(strike), spacing);
}

void TestBuiltinMarket::strikesAroundFollowBands_data()
{
    QTest::addColumn<double>("price");
    QTest::addColumn<QList<int>>("expected");
    QTest::newRow("crossing 3") << 3.0
                                << QList<int>{2800, 2850, 2900, 2950, 3000, 3100, 3200, 3300, 3400};
    QTest::newRow("crossing 5") << 5.02
                                << QList<int>{4600, 4700, 4800, 4900, 5000, 5250, 5500, 5750, 6000};
    QTest::newRow("price between strikes")
        << 2.93 << QList<int>{2750, 2800, 2850, 2900, 2950, 3000, 3100, 3200, 3300};
    QTest::newRow("near zero stops above zero") << 0.12 << QList<int>{50, 100, 150, 200, 250, 300};
}

void TestBuiltinMarket::strikesAroundFollowBands()
{
    QFETCH(double, price);
    QFETCH(QList<int>, expected);
    QCOMPARE(BuiltinMarket::strikesAround(price, 4, 4), expected);
}

void TestBuiltinMarket::chainsUseBandSpacing()
{
    const QList<QVariantMap> opts = options(BuiltinMarket::securities(m_today));
    // underlying + expiry + side -> standard strikes
    QMap<QString, QList<int>> chains;
    for (const QVariantMap &r : opts) {
        if (isAdjusted(r))
            continue;
        chains[r.value(Security::underlyingSecurityID).toString() +
               r.value(Security::StrikeDate).toString() + r.value(Security::PutOrCall).toString()]
            .append(milli(r));
    }
    QCOMPARE(chains.size(), 7 * 4 * 2);
    for (auto it = chains.cbegin(); it != chains.cend(); ++it) {
        QList<int> strikes = it.value();
        std::sort(strikes.begin(), strikes.end());
        QVERIFY2(strikes.size() >= 9 && strikes.size() <= 13, qPrintable(it.key()));
        for (int i = 0; i < strikes.size(); ++i) {
            QCOMPARE(strikes.at(i) % BuiltinMarket::strikeSpacingMilli(strikes.at(i)), 0);
            if (i > 0) {
                QCOMPARE(strikes.at(i) - strikes.at(i - 1),
                         BuiltinMarket::strikeSpacingMilli(strikes.at(i)));
            }
        }
    }
}

void TestBuiltinMarket::adjustedContracts()
{
    const QList<QVariantMap> opts = options(BuiltinMarket::securities(m_today));
    QMap<QString, QSet<int>> adjustedByChain;
    for (const QVariantMap &r : opts) {
        if (!isAdjusted(r))
            continue;
        const int k = milli(r);
        // A non-standard strike, named with its three decimals.
        QVERIFY(k % BuiltinMarket::strikeSpacingMilli(k) != 0);
        QVERIFY2(r.value(Security::chineseName)
                     .toString()
                     .endsWith(QString::number(k / 1000.0, 'f', 3) + QLatin1Char('A')),
                 qPrintable(r.value(Security::chineseName).toString()));
        adjustedByChain[r.value(Security::symbol).toString().section(QLatin1Char('.'), 1) +
                        QLatin1Char(':') + r.value(Security::underlyingSecurityID).toString() +
                        QLatin1Char(':') + r.value(Security::StrikeDate).toString() +
                        r.value(Security::PutOrCall).toString()]
            .insert(k);
    }
    const QStringList keys = adjustedByChain.keys();
    QVERIFY2(!keys.filter(QStringLiteral("SH:510050:")).isEmpty(),
             qPrintable(keys.join(QLatin1Char(','))));
    for (const QString &key : keys.filter(QStringLiteral("SH:510050:")))
        QCOMPARE(adjustedByChain.value(key).size(), 3);
    // Calls and puts come in pairs.
    QCOMPARE(keys.filter(QRegularExpression(QStringLiteral("C$"))).size(),
             keys.filter(QRegularExpression(QStringLiteral("P$"))).size());
}

void TestBuiltinMarket::codesUniqueAndExchangeShaped()
{
    const QList<QVariantMap> records = BuiltinMarket::securities(m_today);
    QSet<QString> symbols;
    QSet<QString> ids;
    for (const QVariantMap &r : records) {
        const QString symbol = r.value(Security::symbol).toString();
        const QString id = r.value(Security::securityID).toString();
        QVERIFY2(!symbols.contains(symbol), qPrintable(symbol));
        QVERIFY2(!ids.contains(id), qPrintable(id));
        symbols.insert(symbol);
        ids.insert(id);
        QCOMPARE(symbol, id + QLatin1Char('.') + r.value(UserAccount::SymbolPost).toString());
        if (r.value(MDCFieldDefine::mdcSecurityType) != Ostrel_Values::MdcSecurityType::OptionType)
            continue;
        const QString prefix = r.value(UserAccount::SymbolPost) == Ostrel_Values::SymbolPost::sh
                                   ? QStringLiteral("1000")
                                   : QStringLiteral("9000");
        QVERIFY2(QRegularExpression(QStringLiteral("^") + prefix + QStringLiteral("\\d{4}$"))
                     .match(id)
                     .hasMatch(),
                 qPrintable(id));
    }
}

void TestBuiltinMarket::recordsComplete()
{
    const QList<QVariantMap> records = BuiltinMarket::securities(m_today);
    const QList<QDate> expiries = BuiltinMarket::expiries(m_today);
    QStringList expiryTexts;
    for (const QDate &d : expiries)
        expiryTexts.append(d.toString(QStringLiteral("yyyyMMdd")));

    int funds = 0;
    QMap<QString, QString> fundNames;
    for (const BuiltinMarket::Fund &f : BuiltinMarket::funds())
        fundNames.insert(f.code, f.optionName);
    const QRegularExpression name(QStringLiteral("^(.+)(购|沽)(\\d{1,2})月(\\d+|\\d+\\.\\d{3}A)$"));
    for (const QVariantMap &r : records) {
        const QString type = r.value(MDCFieldDefine::mdcSecurityType).toString();
        if (type == Ostrel_Values::MdcSecurityType::FundType) {
            ++funds;
            QCOMPARE(r.value(MDCFieldDefine::pricePrecision).toInt(), 3);
            QVERIFY(!r.value(Security::chineseName).toString().isEmpty());
            continue;
        }
        QCOMPARE(type, Ostrel_Values::MdcSecurityType::OptionType);
        for (const QString &key :
             {Security::symbol, Security::securityID, Security::chineseName,
              Security::underlyingSecurityID, Security::PutOrCall, Security::StrikeDate,
              Security::StrikePrice, MDCFieldDefine::mdcSubSecurityType, UserAccount::SymbolPost}) {
            QVERIFY2(r.contains(key), qPrintable(key));
        }
        QCOMPARE(r.value(Security::StrikePrice).userType(), int(QMetaType::Double));
        QCOMPARE(r.value(MDCFieldDefine::mdcSubSecurityType).toString(),
                 Ostrel_Values::MdcSubSecurityType::ETFoption);
        QCOMPARE(r.value(MDCFieldDefine::pricePrecision).toInt(), 4);
        QVERIFY(expiryTexts.contains(r.value(Security::StrikeDate).toString()));
        const bool call = r.value(Security::PutOrCall) == Ostrel_Values::OptionCallOrPut::call;
        QVERIFY(call || r.value(Security::PutOrCall) == Ostrel_Values::OptionCallOrPut::put);

        const QRegularExpressionMatch m = name.match(r.value(Security::chineseName).toString());
        QVERIFY2(m.hasMatch(), qPrintable(r.value(Security::chineseName).toString()));
        QCOMPARE(m.captured(1),
                 fundNames.value(r.value(Security::underlyingSecurityID).toString()));
        QCOMPARE(m.captured(2), call ? QStringLiteral("购") : QStringLiteral("沽"));
        QCOMPARE(m.captured(3).toInt(), QDate::fromString(r.value(Security::StrikeDate).toString(),
                                                          QStringLiteral("yyyyMMdd"))
                                            .month());
        if (!isAdjusted(r))
            QCOMPARE(m.captured(4).toInt(), milli(r));
    }
    QCOMPARE(funds, 7);
}

QTEST_GUILESS_MAIN(TestBuiltinMarket)
#include "tst_builtinmarket.moc"
