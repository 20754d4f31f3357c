#include "businessdatamanager/businessdatainterface.h"

#include "PivoraUtils/pivorautils.h"
#include "businessdatamanager/pricehistory.h"
#include "velbus.h"
#include "velbusinessdata/businessdatabase.h"
#include "velcorelog.h"
#include "veldefine/veldefine.h"
#include "velevent/eventmessage.h"
#include "velwidget/velpresenterclass.h"

#include <QDateTime>

#include <atomic>
#include <cmath>

namespace {

std::atomic<quint64> g_received{0};
std::atomic<quint64> g_unknownSymbols{0};
std::atomic<quint64> g_refused{0};

QStringList symbolList(const QVariant &symbols)
{
    if (symbols.userType() == QMetaType::QString)
        return QStringList{symbols.toString()};
    return symbols.toStringList();
}

// The fields the page reads as prices; a bad one would replace a good price.
const QStringList &priceFields()
{
    static const QStringList fields{
        QStringLiteral("LastPrice"),     QStringLiteral("Buy1Price"),
        QStringLiteral("Sell1Price"),    QStringLiteral("PreSettlePrice"),
        QStringLiteral("PreClosePrice"), QStringLiteral("MaxPx"),
        QStringLiteral("MinPx")};
    return fields;
}

// value as a number: a number, or text that reads wholly as one.
bool readNumber(const QVariant &value, double *number)
{
    switch (value.userType()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        *number = value.toDouble();
        return true;
    case QMetaType::QString: {
        bool ok = false;
        *number = value.toString().toDouble(&ok);
        return ok;
    }
    default:
        return false;
    }
}

QString describe(const QVariant &value)
{
    switch (value.userType()) {
    case QMetaType::UnknownType:
    case QMetaType::Nullptr:
        return QStringLiteral("null");
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QMetaType::QString:
        return velQuoted(value.toString());
    case QMetaType::QVariantMap:
        return QStringLiteral("an object");
    case QMetaType::QVariantList:
        return QStringLiteral("an array");
    default:
        break;
    }
    double number = 0;
    if (readNumber(value, &number))
        return QString::number(number, 'g', 15);
    return QString::fromLatin1(value.typeName());
}

// A security of the reference data that is no option: a fund, which gets an
// empty image while unpriced.
bool isFund(const QVariantMap &record)
{
    return !record.isEmpty() &&
           record.value(Ostrel_Fields::MDCFieldDefine::mdcSecurityType).toString() !=
               Ostrel_Values::MdcSecurityType::OptionType;
}

} // namespace

QString BusinessDataInterface::SubscribeSecurityQuotation(VelPresenterClass *presenter,
                                                          const QVariant &symbols, int, int)
{
    if (!presenter) {
        qCWarning(lcVelBus) << "SubscribeSecurityQuotation without a presenter ignored";
        return QString();
    }
    const QStringList named = symbolList(symbols);
    QSet<QString> funds;
    const CBusinessDataBase *data = CBusinessDataBase::GetInstance();
    for (const QString &symbol : named) {
        if (isFund(data->GetSecurityDetailsBySymbol(symbol)))
            funds.insert(symbol);
    }
    return VelBus::instance()
        ->subscribeSymbols(VelBusClient::of(presenter), named, funds)
        .join(QLatin1Char(','));
}

QString BusinessDataInterface::QuotationFault(const QVariantMap &tick)
{
    double number = 0;
    for (const QString &field : priceFields()) {
        const auto it = tick.constFind(field);
        if (it == tick.constEnd())
            continue;
        if (!readNumber(*it, &number) || !std::isfinite(number) || number < 0 || number > 1e9)
            return QStringLiteral("\"%1\" is %2, not a number from 0 to 1e9")
                .arg(field, describe(*it));
    }
    const auto interest = tick.constFind(QStringLiteral("OpenInterest"));
    if (interest != tick.constEnd() &&
        (!readNumber(*interest, &number) || !std::isfinite(number) || number < 0 || number > 1e15 ||
         std::floor(number) != number))
        return QStringLiteral("\"OpenInterest\" is %1, not a whole number from 0 to 1e15")
            .arg(describe(*interest));
    return QString();
}

BusinessDataInterface::Admission BusinessDataInterface::PublishQuotation(const QString &kind,
                                                                         const QVariantMap &tick,
                                                                         QString *fault)
{
    g_received.fetch_add(1, std::memory_order_relaxed);
    const QString symbol = tick.value(QStringLiteral("Symbol")).toString();
    if (!CBusinessDataBase::GetInstance()->GetSecurityDetailsBySymbol(symbol).isEmpty()) {
        QString why = QuotationFault(tick);
        if (!why.isEmpty()) {
            g_refused.fetch_add(1, std::memory_order_relaxed);
            if (fault)
                *fault = std::move(why);
            return Admission::Refused;
        }
    } else {
        // Nothing is kept for it: a feed of made-up symbols cannot fill memory.
        g_unknownSymbols.fetch_add(1, std::memory_order_relaxed);
        if (fault)
            *fault =
                QStringLiteral("symbol %1 is not in the reference data").arg(velQuoted(symbol));
        return Admission::UnknownSymbol;
    }
    // Here the tick is still a map: no unpacking just for the history.
    VelPriceHistory::instance()->record(symbol, QDateTime::currentMSecsSinceEpoch(),
                                        PivoraBusiUtils::GetLastPriceFromTick(tick));
    VelBus::instance()->publishQuotation(kind, tick);
    return Admission::Accepted;
}

BusinessDataInterface::QuotationCounts BusinessDataInterface::Counts()
{
    QuotationCounts counts;
    counts.received = g_received.load(std::memory_order_relaxed);
    counts.unknownSymbols = g_unknownSymbols.load(std::memory_order_relaxed);
    counts.refused = g_refused.load(std::memory_order_relaxed);
    if (const VelBus *bus = VelBus::existing())
        counts.merged = bus->mergedCount();
    return counts;
}

void BusinessDataInterface::SendEventTo(VelPresenterClass *presenter, CEventMessageCommon *event)
{
    if (!presenter) {
        delete event;
        return;
    }
    VelBus::instance()->sendEventTo(VelBusClient::of(presenter), event);
}

QVariantMap BusinessDataInterface::LatestQuotation(const QString &symbol)
{
    if (VelBus *bus = VelBus::existing())
        return bus->latestQuotation(symbol);
    return QVariantMap();
}
