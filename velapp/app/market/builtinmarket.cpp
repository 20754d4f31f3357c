#include "market/builtinmarket.h"

#include "veldefine/veldefine.h"

#include <cmath>

namespace {

// Codes are handed out per exchange like the exchanges do: 8 digits,
// Shanghai 1000xxxx, Shenzhen 9000xxxx.
struct CodeCounter
{
    int shanghai = 10007001;
    int shenzhen = 90002001;
    QString next(const QString &post)
    {
        return QString::number(post == Ostrel_Values::SymbolPost::sh ? shanghai++ : shenzhen++);
    }
};

struct Contract
{
    int strikeMilli;
    bool adjusted; // name ends in "A", non-standard strike
};

QVariantMap fundRecord(const BuiltinMarket::Fund &fund)
{
    using namespace Ostrel_Fields;
    QVariantMap r;
    r.insert(Security::symbol, QString(fund.code + QLatin1Char('.') + fund.post));
    r.insert(Security::securityID, fund.code);
    r.insert(Security::chineseName, fund.name);
    r.insert(MDCFieldDefine::mdcSecurityType, Ostrel_Values::MdcSecurityType::FundType);
    r.insert(UserAccount::SymbolPost, fund.post);
    r.insert(MDCFieldDefine::pricePrecision, 3);
    return r;
}

QVariantMap optionRecord(const BuiltinMarket::Fund &fund, const QString &code, bool call,
                         const QDate &expiry, const Contract &contract)
{
    using namespace Ostrel_Fields;
    // "50ETF购12月2950"; an adjusted contract shows its strike: "50ETF购12月2.851A".
    const QString strikeText =
        contract.adjusted
            ? QString::number(contract.strikeMilli / 1000.0, 'f', 3) + QLatin1Char('A')
            : QString::number(contract.strikeMilli);
    const QString name = fund.optionName + (call ? QStringLiteral("购") : QStringLiteral("沽")) +
                         QString::number(expiry.month()) + QStringLiteral("月") + strikeText;
    QVariantMap r;
    r.insert(Security::symbol, QString(code + QLatin1Char('.') + fund.post));
    r.insert(Security::securityID, code);
    r.insert(Security::chineseName, name);
    r.insert(Security::underlyingSecurityID, fund.code);
    r.insert(Security::PutOrCall,
             call ? Ostrel_Values::OptionCallOrPut::call : Ostrel_Values::OptionCallOrPut::put);
    r.insert(Security::StrikeDate, expiry.toString(QStringLiteral("yyyyMMdd")));
    r.insert(Security::StrikePrice, contract.strikeMilli / 1000.0);
    r.insert(MDCFieldDefine::mdcSecurityType, Ostrel_Values::MdcSecurityType::OptionType);
    r.insert(MDCFieldDefine::mdcSubSecurityType, Ostrel_Values::MdcSubSecurityType::ETFoption);
    r.insert(UserAccount::SymbolPost, fund.post);
    r.insert(MDCFieldDefine::pricePrecision, 4);
    return r;
}

// After a dividend the exchange adjusts the strikes of the listed contracts
// (and renames them with "A"); these factors make such odd strikes.
QList<Contract> adjustedContracts(const QList<int> &standard, double factor, int count)
{
    QList<Contract> result;
    const int first = qMax(0, (standard.size() - count) / 2);
    for (int i = first; i < standard.size() && result.size() < count; ++i)
        result.append({int(std::lround(standard.at(i) * factor)), true});
    return result;
}

} // namespace

QList<BuiltinMarket::Fund> BuiltinMarket::funds()
{
    const QString sh = Ostrel_Values::SymbolPost::sh;
    const QString sz = Ostrel_Values::SymbolPost::sz;
    return {
        {QStringLiteral("510050"), sh, QStringLiteral("50ETF"), QStringLiteral("50ETF"), 2.95},
        {QStringLiteral("510300"), sh, QStringLiteral("300ETF"), QStringLiteral("300ETF"), 3.92},
        {QStringLiteral("510500"), sh, QStringLiteral("500ETF"), QStringLiteral("500ETF"), 5.86},
        {QStringLiteral("588000"), sh, QStringLiteral("科创50"), QStringLiteral("科创50"), 1.03},
        {QStringLiteral("159919"), sz, QStringLiteral("300ETF"), QStringLiteral("300ETF"), 4.04},
        {QStringLiteral("159922"), sz, QStringLiteral("500ETF"), QStringLiteral("500ETF"), 6.12},
        {QStringLiteral("159915"), sz, QStringLiteral("创业板ETF"), QStringLiteral("创业板ETF"),
         2.28},
    };
}

QDate BuiltinMarket::fourthWednesday(int year, int month)
{
    const QDate first(year, month, 1);
    const int toWednesday = (Qt::Wednesday - first.dayOfWeek() + 7) % 7;
    return first.addDays(toWednesday + 21);
}

QList<QDate> BuiltinMarket::expiries(const QDate &today)
{
    QDate month(today.year(), today.month(), 1);
    if (fourthWednesday(month.year(), month.month()) < today)
        month = month.addMonths(1);
    QList<QDate> result;
    result.append(fourthWednesday(month.year(), month.month()));
    month = month.addMonths(1);
    result.append(fourthWednesday(month.year(), month.month()));
    while (result.size() < 4) {
        month = month.addMonths(1);
        if (month.month() % 3 == 0)
            result.append(fourthWednesday(month.year(), month.month()));
    }
    return result;
}

int BuiltinMarket::strikeSpacingMilli(int strikeMilli)
{
    if (strikeMilli <= 3000)
        return 50;
    if (strikeMilli <= 5000)
        return 100;
    if (strikeMilli <= 10000)
        return 250;
    if (strikeMilli <= 20000)
        return 500;
    if (strikeMilli <= 50000)
        return 1000;
    if (strikeMilli <= 100000)
        return 2500;
    return 5000;
}

QList<int> BuiltinMarket::strikesAround(double price, int below, int above)
{
    const int priceMilli = int(std::lround(price * 1000));
    const int spacing = strikeSpacingMilli(priceMilli);
    const int centre = int(std::lround(double(priceMilli) / spacing)) * spacing;
    QList<int> result{centre};
    // Going down, the step is the spacing of the band the strike is in;
    // going up, that of the band just above it.
    for (int i = 0, k = centre; i < below && k > strikeSpacingMilli(k); ++i) {
        k -= strikeSpacingMilli(k);
        result.prepend(k);
    }
    for (int i = 0, k = centre; i < above; ++i) {
        k += strikeSpacingMilli(k + 1);
        result.append(k);
    }
    return result;
}

QList<QVariantMap> BuiltinMarket::securities(const QDate &today)
{
    const QList<Fund> all = funds();
    const QList<QDate> dates = expiries(today);
    QList<QVariantMap> result;
    for (const Fund &fund : all)
        result.append(fundRecord(fund));

    CodeCounter codes;
    for (const Fund &fund : all) {
        for (int e = 0; e < dates.size(); ++e) {
            // 9, 11, 13, 9 strikes: later expiries list more as prices moved.
            const int side = 4 + e % 3;
            const QList<int> standard = strikesAround(fund.referencePrice, side, side);
            QList<Contract> contracts;
            for (int k : standard)
                contracts.append({k, false});
            if (fund.code == QLatin1String("510050") && e == 2)
                contracts += adjustedContracts(standard, 0.9664, 3);
            if (fund.code == QLatin1String("159919") && e == 1)
                contracts += adjustedContracts(standard, 0.9817, 2);
            for (bool call : {true, false}) {
                for (const Contract &c : qAsConst(contracts))
                    result.append(optionRecord(fund, codes.next(fund.post), call, dates.at(e), c));
            }
        }
    }
    return result;
}
