#include "baselinefeed.h"

#include "businessdatamanager/businessdatainterface.h"
#include "velmsg/packmessage.h"

#include <QMetaObject>

BaselineFeed::BaselineFeed(BaselineBoard *board)
    : VelPresenterClass(QStringLiteral("bench-baseline"), nullptr,
                        IMessageInterface::ThreadType_QuotationOnBus)
    , m_board(board)
{
    Sub(pluginPid(), QVariant(QStringLiteral("MDOPTIONRECORD")), 1);
}

BaselineFeed::~BaselineFeed()
{
    detach();
}

void BaselineFeed::subscribe(const QStringList &symbols)
{
    BusinessDataInterface::SubscribeSecurityQuotation(this, QVariant(symbols), 1, 2);
}

void BaselineFeed::ProcQuotationMsg(QString, QVariant, QVariant msg)
{
    CUnPackMessageCommon unpack;
    if (!unpack.SetUnPackMsg(msg, false))
        return;
    const QVariantMap tick = unpack.GetRowValue();
    // Queued to the feed itself: a call still queued when it is gone is dropped.
    QMetaObject::invokeMethod(
        this,
        [this, tick] {
            if (m_board->applyTick(tick))
                m_applied.fetch_add(1, std::memory_order_acq_rel);
        },
        Qt::QueuedConnection);
}
