#include "optionfixture.h"

#include <velbusinessdata/businessdatabase.h>
#include <veldefine/veldefine.h>

#include <QDate>

namespace OptionFixture {

QString day(int offset)
{
    return QDate::currentDate().addDays(offset).toString(QStringLiteral("yyyyMMdd"));
}

QVariantMap option(const QString &symbol, const QString &underlyingId, const QString &strikeDate,
                   const QVariant &strike, const QString &side, const QString &name,
                   const QString &post)
{
    QVariantMap record{
        {Ostrel_Fields::Security::symbol, symbol},
        {Ostrel_Fields::Security::securityID, symbol.section(QLatin1Char('.'), 0, 0)},
        {Ostrel_Fields::Security::chineseName, name},
        {Ostrel_Fields::Security::underlyingSecurityID, underlyingId},
        {Ostrel_Fields::Security::PutOrCall, side},
        {Ostrel_Fields::Security::StrikeDate, strikeDate},
        {Ostrel_Fields::Security::StrikePrice, strike},
        {Ostrel_Fields::MDCFieldDefine::mdcSecurityType, Ostrel_Values::MdcSecurityType::OptionType},
        {Ostrel_Fields::MDCFieldDefine::mdcSubSecurityType,
         Ostrel_Values::MdcSubSecurityType::ETFoption},
        {Ostrel_Fields::UserAccount::SymbolPost, post},
    };
    return record;
}

QVariantMap fund(const QString &symbol, const QString &name, const QString &post)
{
    return {{Ostrel_Fields::Security::symbol, symbol},
            {Ostrel_Fields::Security::chineseName, name},
            {Ostrel_Fields::MDCFieldDefine::mdcSecurityType,
             Ostrel_Values::MdcSecurityType::FundType},
            {Ostrel_Fields::UserAccount::SymbolPost, post}};
}

QVariantMap category(const QString &post)
{
    return {{Ostrel_Fields::MDCFieldDefine::mdcSubSecurityType,
             Ostrel_Values::MdcSubSecurityType::ETFoption},
            {Ostrel_Fields::UserAccount::SymbolPost, post}};
}

QString callSymbol(const QString &prefix, double strike, const QString &post)
{
    return prefix + QLatin1Char('C') + QString::number(qRound(strike * 1000)) + QLatin1Char('.')
           + post;
}

QString putSymbol(const QString &prefix, double strike, const QString &post)
{
    return prefix + QLatin1Char('P') + QString::number(qRound(strike * 1000)) + QLatin1Char('.')
           + post;
}

QList<QVariantMap> ladder(const QString &prefix, const QString &underlyingId,
                          const QString &strikeDate, const QList<double> &strikes,
                          const QString &post)
{
    QList<QVariantMap> records;
    for (double strike : strikes) {
        const QString price = QString::number(qRound(strike * 1000));
        records << option(callSymbol(prefix, strike, post), underlyingId, strikeDate, strike,
                          Ostrel_Values::OptionCallOrPut::call, QStringLiteral("购") + price)
                << option(putSymbol(prefix, strike, post), underlyingId, strikeDate, strike,
                          Ostrel_Values::OptionCallOrPut::put, QStringLiteral("沽") + price);
    }
    return records;
}

void load(const QList<QVariantMap> &records)
{
    CBusinessDataBase::GetInstance()->loadSecurities(records);
}

} // namespace OptionFixture
