#pragma once

#include "velbusclient.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QStringList>
#include <QThread>
#include <QVariantMap>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class CEventMessageCommon;
class QObject;
class VelPresenterClass;

// The process's message bus: presenters register here, quotation ticks and
// events are queued here and dispatched, in publication order, on the bus's
// own thread. A tick for a symbol whose earlier tick still waits replaces it
// in its place in line, so what waits is bounded by the symbols, not by the
// feed's rate. Handlers are never called with a bus lock held.
class VelBus
{
public:
    using EventObserver = std::function<void(int type, const QString &src, const QVariant &msg)>;

    // How long the next round waits for a GUI thread that does not answer
    // (busy elsewhere, or not running its loop).
    static constexpr int maxGuiWaitMs = 200;

    // The bus, created on first use.
    static VelBus *instance();
    // The bus if it exists, else null; for paths that must not create it.
    static VelBus *existing();

    std::shared_ptr<VelBusClient> attach(VelPresenterClass *presenter, const QString &pid,
                                         int threadMask);
    // Takes client off the bus; deliveries to it end once this returns
    // (except one running below the caller on the same thread).
    void detach(const std::shared_ptr<VelBusClient> &client);

    void subscribeKind(const std::shared_ptr<VelBusClient> &client, const QString &kind);
    void subscribeEvent(const std::shared_ptr<VelBusClient> &client, int type);
    // Adds symbols to client's subscription and asks for their image: the
    // latest tick of each named symbol is delivered again, subscribed before
    // or not; a symbol of emptyImage without a tick yet gets an empty one.
    // Returns the symbols not subscribed before.
    QStringList subscribeSymbols(const std::shared_ptr<VelBusClient> &client,
                                 const QStringList &symbols, const QSet<QString> &emptyImage = {});

    void publishQuotation(const QString &kind, const QVariantMap &tick);
    // Ticks published so far, and those of them replaced by a newer tick of
    // their symbol before delivery.
    quint64 publishedCount() const { return m_publishedCount.load(std::memory_order_relaxed); }
    quint64 mergedCount() const { return m_mergedCount.load(std::memory_order_relaxed); }
    QVariantMap latestQuotation(const QString &symbol) const;
    void publishEvent(CEventMessageCommon *event, const QString &fallbackSrc);
    // Delivers event to client alone (if it subscribed to the type), in queue
    // order with everything published before; takes ownership of event.
    void sendEventTo(const std::shared_ptr<VelBusClient> &client, CEventMessageCommon *event);

    void setEventObserver(EventObserver observer);
    // Calls done on the bus thread once every job queued before it has been
    // dispatched; dropped when the bus has stopped.
    void afterDelivery(std::function<void()> done);

    bool isBusThread() const;
    // Stops the bus thread and drops what is still queued; used at exit.
    void stop();

private:
    VelBus();
    ~VelBus(); // never called: the bus lives until the process ends

    struct Job
    {
        enum Type { Quotation, Event, Subscribe, Barrier } type;
        QString name;   // quotation kind, or event source
        QString symbol; // quotation symbol
        QByteArray packed;
        int eventType = 0;
        QVariant eventMsg;
        std::unique_ptr<CEventMessageCommon> event;
        std::shared_ptr<VelBusClient> client; // subscriber, or an event's only target
        QStringList symbols;
        QSet<QString> emptyImage;
        std::function<void()> done;
    };
    struct Dispatched
    {
        QString kind;
        QByteArray packed;
    };
    struct Published
    {
        QString kind;
        QVariantMap tick;
    };

    // Queues job; requires m_lock. Returns false (job untouched) once stopped.
    bool enqueueLocked(Job &job);
    // Job for event, or false (with a warning) when it cannot be sent.
    static bool eventJob(std::unique_ptr<CEventMessageCommon> event, const QString &fallbackSrc,
                         Job *job);
    void drain();
    // True when the job handed a tick to a presenter.
    bool process(Job &job);
    bool dispatchQuotation(Job &job);
    void dispatchEvent(Job &job);
    bool dispatchSubscription(Job &job);
    // Posts a wake event to the bus thread.
    void wake();
    // After a round that handed ticks to presenters: the GUI thread answers
    // once it has handled everything they sent it, and the next round waits
    // for that (at most maxGuiWaitMs). Meanwhile newer ticks merge, so a page
    // is one round behind, not a growing queue of rows behind.
    void awaitGui();
    bool guiBehind() const;

    class Worker;
    friend class Worker;

    // std::mutex rather than QMutex: visible to ThreadSanitizer.
    mutable std::mutex m_lock;
    std::vector<std::shared_ptr<VelBusClient>> m_clients;
    QHash<QString, Published> m_published;   // latest tick per symbol, as published
    QHash<QString, Dispatched> m_dispatched; // latest tick per symbol, as dispatched
    std::vector<Job> m_queue;
    // Where in m_queue each symbol's waiting tick is; only ticks queued after
    // the last event, subscription or barrier, so those keep their order.
    QHash<QString, size_t> m_waiting;
    std::atomic<quint64> m_publishedCount{0};
    std::atomic<quint64> m_mergedCount{0};
    bool m_wakePosted = false;
    bool m_started = false;
    bool m_stopped = false;
    // Set on the bus thread once its event dispatcher exists.
    std::mutex m_readyLock;
    std::condition_variable m_readyChanged;
    bool m_ready = false;

    std::mutex m_observerLock;
    EventObserver m_observer;

    QThread m_thread;
    Worker *m_worker = nullptr;
    // Rounds handed to presenters, and the last one the GUI thread answered.
    quint64 m_roundsSent = 0; // bus thread only
    std::atomic<quint64> m_roundsShown{0};
    qint64 m_roundSentAtMs = 0; // bus thread only
    // Reused on the bus thread only, so the tick path allocates nothing here.
    std::vector<std::shared_ptr<VelBusClient>> m_targets;
    std::vector<Job> m_batch;
};
