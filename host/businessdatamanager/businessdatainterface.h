#pragma once

#include "velhost_global.h"

#include <QString>
#include <QVariant>
#include <QVariantMap>

class CEventMessageCommon;
class VelPresenterClass;

class VELHOST_EXPORT BusinessDataInterface
{
public:
    // Adds the symbols in symbols (a QStringList, or one QString) to what
    // presenter receives; nothing is dropped. Every call is also a request
    // for an image: the latest tick held for each symbol named, subscribed
    // before or not, is delivered at once (a fund without one gets an empty
    // tick). Returns the symbols newly added, joined with ",".
    static QString SubscribeSecurityQuotation(VelPresenterClass *presenter, const QVariant &symbols,
                                              int reserved1, int reserved2);

    enum class Admission { Accepted, UnknownSymbol, Refused };
    // Feed side, where a tick enters the host: a tick of kind
    // ("MDOPTIONRECORD" or "MDMARKETRECORD") for a symbol the reference data
    // list, with sane values (see QuotationFault), is recorded in the price
    // history, published to its subscribers on the bus thread and kept as the
    // symbol's latest tick. Any other is dropped whole and counted; fault
    // (when given) then says why.
    static Admission PublishQuotation(const QString &kind, const QVariantMap &tick,
                                      QString *fault = nullptr);
    // Empty when every price field present is a finite number (or text that
    // reads wholly as one) from 0 to 1e9 and "OpenInterest", when present, a
    // whole number from 0 to 1e15; else names the first field that is not.
    static QString QuotationFault(const QVariantMap &tick);

    struct QuotationCounts
    {
        quint64 received = 0;       // ticks offered to PublishQuotation
        quint64 merged = 0;         // replaced by a newer tick before delivery
        quint64 unknownSymbols = 0; // dropped: not in the reference data
        quint64 refused = 0;        // dropped: a field without a sane value
    };
    static QuotationCounts Counts();

    // The latest tick held for symbol, or an empty map.
    static QVariantMap LatestQuotation(const QString &symbol);
    // Host side: delivers event to presenter alone, if it subscribed to the
    // event's type, after everything published so far; takes ownership.
    static void SendEventTo(VelPresenterClass *presenter, CEventMessageCommon *event);
};
