#include "benchmarket.h"

#include "veldefine/veldefine.h"

#include <cmath>

QList<QDate> BenchMarket::expiries()
{
    const QDate today = QDate::currentDate();
    return {today.addDays(25), today.addDays(55), today.addDays(115), today.addDays(205)};
}

QList<QVariantMap> BenchMarket::chain(const Underlying &underlying, int *nextCode)
{
    using namespace Ostrel_Fields;
    QList<QVariantMap> records;
    QVariantMap fund;
    fund.insert(Security::symbol, QString(underlying.code + QLatin1Char('.') + underlying.post));
    fund.insert(Security::securityID, underlying.code);
    fund.insert(Security::chineseName, underlying.name);
    fund.insert(MDCFieldDefine::mdcSecurityType, Ostrel_Values::MdcSecurityType::FundType);
    fund.insert(UserAccount::SymbolPost, underlying.post);
    fund.insert(MDCFieldDefine::pricePrecision, 3);
    records.append(fund);

    const QList<QDate> dates = expiries();
    const int strikes = underlying.contracts / 2;
    for (int e = 0; e < dates.size(); ++e) {
        // Strikes of this expiry: an even share, the remainder to the last ones.
        const int count = strikes / dates.size() + (e >= dates.size() - strikes % dates.size());
        for (int k = 0; k < count; ++k) {
            const int strikeMilli = underlying.firstStrikeMilli + 50 * k;
            for (bool call : {true, false}) {
                const QString code = QString::number((*nextCode)++);
                QVariantMap r;
                r.insert(Security::symbol, QString(code + QLatin1Char('.') + underlying.post));
                r.insert(Security::securityID, code);
                r.insert(Security::chineseName,
                         QString(underlying.name +
                                 (call ? QStringLiteral("购") : QStringLiteral("沽")) +
                                 QString::number(dates.at(e).month()) + QStringLiteral("月") +
                                 QString::number(strikeMilli)));
                r.insert(Security::underlyingSecurityID, underlying.code);
                r.insert(Security::PutOrCall, call ? Ostrel_Values::OptionCallOrPut::call
                                                   : Ostrel_Values::OptionCallOrPut::put);
                r.insert(Security::StrikeDate, dates.at(e).toString(QStringLiteral("yyyyMMdd")));
                r.insert(Security::StrikePrice, strikeMilli / 1000.0);
                r.insert(MDCFieldDefine::mdcSecurityType,
                         Ostrel_Values::MdcSecurityType::OptionType);
                r.insert(MDCFieldDefine::mdcSubSecurityType,
                         Ostrel_Values::MdcSubSecurityType::ETFoption);
                r.insert(UserAccount::SymbolPost, underlying.post);
                r.insert(MDCFieldDefine::pricePrecision, 4);
                records.append(r);
            }
        }
    }
    return records;
}

QList<QVariantMap> BenchMarket::singleChain()
{
    int code = 10007001;
    return chain(
        {QStringLiteral("510050"), QStringLiteral("SH"), QStringLiteral("50ETF"), 2000, 250},
        &code);
}

QList<BenchMarket::Underlying> BenchMarket::listedUnderlyings()
{
    // Distinct strike ranges, so the rows of one chain never look like another's.
    return {
        {QStringLiteral("510050"), QStringLiteral("SH"), QStringLiteral("50ETF"), 1000, 250},
        {QStringLiteral("510300"), QStringLiteral("SH"), QStringLiteral("300ETF"), 3000, 250},
        {QStringLiteral("510500"), QStringLiteral("SH"), QStringLiteral("500ETF"), 5000, 250},
        {QStringLiteral("588000"), QStringLiteral("SH"), QStringLiteral("科创50"), 7000, 250},
        {QStringLiteral("159919"), QStringLiteral("SZ"), QStringLiteral("300ETF"), 3100, 200},
        {QStringLiteral("159915"), QStringLiteral("SZ"), QStringLiteral("创业板ETF"), 1500, 100},
    };
}

QList<QVariantMap> BenchMarket::listedMarket()
{
    QList<QVariantMap> records;
    int shanghai = 10007001;
    int shenzhen = 90002001;
    const QList<Underlying> all = listedUnderlyings();
    // Funds first, then the options, as the exchanges' lists come.
    QList<QVariantMap> options;
    for (const Underlying &u : all) {
        const QList<QVariantMap> chainRecords =
            chain(u, u.post == QLatin1String("SH") ? &shanghai : &shenzhen);
        records.append(chainRecords.first());
        options.append(chainRecords.mid(1));
    }
    return records + options;
}

QStringList BenchMarket::optionSymbols(const QList<QVariantMap> &records, const QString &code)
{
    QStringList symbols;
    for (const QVariantMap &r : records) {
        if (r.value(Ostrel_Fields::Security::underlyingSecurityID).toString() == code)
            symbols.append(r.value(Ostrel_Fields::Security::symbol).toString());
    }
    return symbols;
}

QVariantMap BenchMarket::category(const QString &post)
{
    return {{Ostrel_Fields::MDCFieldDefine::mdcSubSecurityType,
             Ostrel_Values::MdcSubSecurityType::ETFoption},
            {Ostrel_Fields::UserAccount::SymbolPost, post}};
}

double BenchMarket::lastPriceOf(int seq)
{
    return (1000 + seq % 20000) / 10000.0;
}

QVariantMap BenchMarket::optionTick(const QString &symbol, int seq)
{
    const double last = lastPriceOf(seq);
    QVariantMap tick;
    tick.insert(QStringLiteral("Symbol"), symbol);
    tick.insert(QStringLiteral("LastPrice"), last);
    tick.insert(QStringLiteral("Buy1Price"), std::round((last - 0.0001) * 10000) / 10000);
    tick.insert(QStringLiteral("Sell1Price"), std::round((last + 0.0001) * 10000) / 10000);
    tick.insert(QStringLiteral("PreSettlePrice"), 0.0800);
    tick.insert(QStringLiteral("PreClosePrice"), 0.0810);
    tick.insert(QStringLiteral("OpenInterest"), qint64(120000));
    tick.insert(QStringLiteral("MaxPx"), 2.5000);
    tick.insert(QStringLiteral("MinPx"), 0.0001);
    return tick;
}
