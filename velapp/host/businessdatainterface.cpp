#include "businessdatamanager/businessdatainterface.h"

#include "velbus.h"
#include "velevent/eventmessage.h"
#include "velcorelog.h"
#include "velwidget/velpresenterclass.h"

namespace {

QStringList symbolList(const QVariant &symbols)
{
    if (symbols.userType() == QMetaType::QString)
        return QStringList{symbols.toString()};
    return symbols.toStringList();
}

} // namespace

QString BusinessDataInterface::SubscribeSecurityQuotation(VelPresenterClass *presenter,
                                                          const QVariant &symbols, int, int)
{
    if (!presenter) {
        qCWarning(lcVelBus) << "SubscribeSecurityQuotation without a presenter ignored";
        return QString();
    }
    return VelBus::instance()
        ->subscribeSymbols(VelBusClient::of(presenter), symbolList(symbols))
        .join(QLatin1Char(','));
}

void BusinessDataInterface::PublishQuotation(const QString &kind, const QVariantMap &tick)
{
    VelBus::instance()->publishQuotation(kind, tick);
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
