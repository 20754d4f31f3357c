#include "OptionDataHandle.h"

#include <velbusinessdata/businessdatabase.h>
#include <veldefine/veldefine.h>

#include <QDate>
#include <QDebug>
#include <QHash>
#include <QLoggingCategory>

#include <algorithm>
#include <cmath>

// The chain is logged whole; skip the formatting when nobody listens.
#define OPTIONDATA_DEBUG                                                                           \
    if (!QLoggingCategory::defaultCategory()->isDebugEnabled()) {                                  \
    } else                                                                                         \
        qDebug().noquote() << Q_FUNC_INFO << "OptionDataHandle" << __LINE__

namespace {

QString strikeText(const QVariant &value)
{
    bool ok = false;
    double strike = value.toString().toDouble(&ok);
    // "nan"/"inf" parse as numbers but make no strike; treat them as no number.
    if (!ok || !std::isfinite(strike))
        strike = 0.0;
    return QString::asprintf("%0.3f", strike);
}

QString suffixOf(const QString &name)
{
    const QChar last = name.isEmpty() ? QChar() : name.at(name.size() - 1);
    if (last >= QLatin1Char('A') && last <= QLatin1Char('Z'))
        return QString(last);
    return QStringLiteral(" ");
}

} // namespace

OptionChainMap OptionDataHandle::getOptionData(const QVariantMap &request)
{
    const QString subType =
        request.value(Ostrel_Fields::MDCFieldDefine::mdcSubSecurityType).toString();
    const QString post = request.value(Ostrel_Fields::UserAccount::SymbolPost).toString();

    const CBusinessDataBase *base = CBusinessDataBase::GetInstance();
    const QStringList symbols = base->GetSymbolListByType(
        Ostrel_Values::MdcSecurityType::OptionType, subType, post, false, QStringList());
    OPTIONDATA_DEBUG << "current etfSymbolList ==" << symbols;

    const QDate today = QDate::currentDate();
    QHash<QString, bool> expiredByDate;
    OptionChainMap chain;
    for (const QString &symbol : symbols) {
        const QVariantMap record = base->GetSecurityDetailsBySymbol(symbol);
        OPTIONDATA_DEBUG << "current securityInfo ==" << record;

        const QString underlying =
            record.value(Ostrel_Fields::Security::underlyingSecurityID).toString() +
            QLatin1Char('.') + post;
        const QString strike = strikeText(record.value(Ostrel_Fields::Security::StrikePrice));
        const QString strikeDate = record.value(Ostrel_Fields::Security::StrikeDate).toString();
        const QString side = record.value(Ostrel_Fields::Security::PutOrCall).toString();
        const QString strikeKey =
            strike + suffixOf(record.value(Ostrel_Fields::Security::chineseName).toString());

        // An unparsable date counts as zero days away: kept, never expired.
        // A chain has a handful of dates among hundreds of records, and
        // parsing a date is the costliest step here: decide once per text.
        auto known = expiredByDate.constFind(strikeDate);
        if (known == expiredByDate.cend()) {
            const QDate date = QDate::fromString(strikeDate, QStringLiteral("yyyyMMdd"));
            known = expiredByDate.insert(strikeDate, date.isValid() && today.daysTo(date) < 0);
        }
        if (known.value())
            continue;

        // The leaf also carries the fields read above, null when the record lacked them.
        QVariantMap leaf = record;
        for (const QString &field :
             {Ostrel_Fields::Security::underlyingSecurityID, Ostrel_Fields::Security::StrikePrice,
              Ostrel_Fields::Security::StrikeDate, Ostrel_Fields::Security::PutOrCall,
              Ostrel_Fields::Security::chineseName}) {
            if (!leaf.contains(field))
                leaf.insert(field, QVariant());
        }
        chain[underlying][strikeDate][strikeKey][side] = leaf;
    }
    OPTIONDATA_DEBUG << "etf all data" << chain;
    return chain;
}

OptionChainMap OptionDataHandle::getFilteredOptionData(const QString &underlyingSymbol,
                                                       const QString &symmetryPrice,
                                                       int limitNumber, const QVariantMap &request)
{
    const OptionChainMap chain = getOptionData(request);
    OptionChainMap result;
    const auto underlyingIt = chain.constFind(underlyingSymbol);
    if (underlyingIt == chain.constEnd())
        return result;

    for (auto dateIt = underlyingIt->constBegin(); dateIt != underlyingIt->constEnd(); ++dateIt) {
        const QMap<QString, QMap<QString, QVariantMap>> &strikes = dateIt.value();
        if (limitNumber >= strikes.size()) {
            result[underlyingSymbol][dateIt.key()] = strikes;
            continue;
        }

        // Keys are already in text order; the centre goes in at its upper
        // bound and the split is made there, so a key equal to the centre
        // text counts as below it.
        const QStringList keys = strikes.keys();
        const int centre =
            int(std::upper_bound(keys.cbegin(), keys.cend(), symmetryPrice) - keys.cbegin());
        QStringList below = keys.mid(0, centre);
        QStringList above = keys.mid(centre);

        QStringList taken;
        for (int n = qMin(below.size(), above.size()); n > 0; --n) {
            taken.append(below.takeLast());
            if (taken.size() >= limitNumber)
                break;
            taken.append(above.takeFirst());
            if (taken.size() >= limitNumber)
                break;
        }
        if (taken.size() < limitNumber) {
            if (!below.isEmpty()) {
                while (!below.isEmpty() && taken.size() < limitNumber)
                    taken.append(below.takeLast());
            } else {
                while (!above.isEmpty() && taken.size() < limitNumber)
                    taken.append(above.takeFirst());
            }
        }
        for (const QString &key : qAsConst(taken))
            result[underlyingSymbol][dateIt.key()][key] = strikes.value(key);
    }
    return result;
}

QStringList OptionDataHandle::getUnderlyingSymbolList(const QVariantMap &categoryData)
{
    const QString subType =
        categoryData.value(Ostrel_Fields::MDCFieldDefine::mdcSubSecurityType).toString();
    const QString suffix = categoryData.value(Ostrel_Fields::UserAccount::SymbolPost).toString();

    const CBusinessDataBase *base = CBusinessDataBase::GetInstance();
    const QStringList options = base->GetSymbolListByType(
        Ostrel_Values::MdcSecurityType::OptionType, subType, suffix, false, QStringList());

    const QString dottedSuffix = QStringLiteral(".%1").arg(suffix);
    QStringList result;
    for (const QString &option : options) {
        const QString id = base->GetSecurityDetailsBySymbol(option)
                               .value(Ostrel_Fields::Security::underlyingSecurityID)
                               .toString();
        if (id.isEmpty())
            continue;
        const QString full = id.endsWith(dottedSuffix) ? id : id + dottedSuffix;
        if (!result.contains(full))
            result.append(full);
    }
    return result;
}
