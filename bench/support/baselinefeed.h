#pragma once

#include "baselineboard.h"

#include "velwidget/velpresenterclass.h"

#include <QStringList>

#include <atomic>

// The baseline board fed the way the page is: a subscriber on the host's bus
// unpacks each option tick on the bus thread and hands it, queued, to the
// GUI thread, where the board applies it. The same feed, the same bus and
// the same thread hop as the page, with the plain model and view at the end.
class BaselineFeed : public VelPresenterClass
{
public:
    explicit BaselineFeed(BaselineBoard *board);
    ~BaselineFeed() override;

    void subscribe(const QStringList &symbols);
    void ProcQuotationMsg(QString src, QVariant type, QVariant msg) override;
    // Ticks the board has applied, of those subscribed.
    quint64 applied() const { return m_applied.load(std::memory_order_acquire); }

private:
    BaselineBoard *m_board;
    std::atomic<quint64> m_applied{0};
};
