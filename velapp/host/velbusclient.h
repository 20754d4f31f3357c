#pragma once

#include <QSet>
#include <QString>
#include <QVariant>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

class VelPresenterClass;

// The bus's handle on one presenter: its subscriptions and the bookkeeping
// that lets the presenter leave the bus safely while deliveries run on other
// threads. Shared between the presenter and every delivery in flight, so it
// outlives the presenter when needed.
class VelBusClient : public std::enable_shared_from_this<VelBusClient>
{
public:
    enum Handler { Msg, Event, Quotation, Async };

    VelBusClient(VelPresenterClass *presenter, const QString &pid, int threadMask);

    // The handle of presenter (its private member).
    static std::shared_ptr<VelBusClient> of(const VelPresenterClass *presenter);

    QString pid() const { return m_pid; }
    bool isDetached() const { return m_detached.load(std::memory_order_acquire); }

    // Calls the handler on this thread when its bit is set in the thread
    // mask, else queues the call to the presenter's thread. Does nothing once
    // the presenter has left the bus.
    void deliver(Handler handler, const QString &src, const QVariant &type, const QVariant &msg);

    // Stops all further deliveries and waits until those running have
    // finished, except those running below us on this very thread (a handler
    // that detaches its own presenter).
    void detachAndWait();

    // Subscriptions, guarded by the bus's lock (not by this object).
    QSet<QString> kinds;
    QSet<int> eventTypes;
    QSet<QString> wantedSymbols; // everything asked for, for the caller's answer
    QSet<QString> activeSymbols; // what the bus thread delivers; see VelBus::subscribeSymbols

private:
    bool enter();
    void leave();
    void callHandler(Handler handler, const QString &src, const QVariant &type,
                     const QVariant &msg);
    int deliveriesOnThisThread() const;

    VelPresenterClass *const m_presenter;
    const QString m_pid;
    const int m_threadMask;
    std::atomic<bool> m_detached{false};
    std::mutex m_mutex;
    std::condition_variable m_idle;
    int m_inFlight = 0;

    friend class DeliveryScope;
};
