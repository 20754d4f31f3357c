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

    // Feed side: publishes one tick of kind ("MDOPTIONRECORD" or
    // "MDMARKETRECORD") for tick["Symbol"] to its subscribers, on the bus
    // thread, and keeps it as that symbol's latest tick.
    static void PublishQuotation(const QString &kind, const QVariantMap &tick);
    // The latest tick held for symbol, or an empty map.
    static QVariantMap LatestQuotation(const QString &symbol);
    // Host side: delivers event to presenter alone, if it subscribed to the
    // event's type, after everything published so far; takes ownership.
    static void SendEventTo(VelPresenterClass *presenter, CEventMessageCommon *event);
};
