#include "velbus.h"

#include "velcorelog.h"
#include "veldefine/velconstants.h"
#include "velevent/eventmessage.h"
#include "velmsg/packmessage.h"
#include "veltsan.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>

#include <algorithm>
#include <atomic>

namespace {

std::atomic<VelBus *> g_bus{nullptr};
std::mutex g_createLock;

void stopBusAtExit()
{
    if (VelBus *bus = g_bus.load(std::memory_order_acquire))
        bus->stop();
}

QEvent::Type wakeEventType()
{
    static const int type = QEvent::registerEventType();
    return QEvent::Type(type);
}

// A feed that sends broken ticks would otherwise flood the log.
bool shouldReportBadTick()
{
    static std::atomic<int> reported{0};
    return reported.fetch_add(1, std::memory_order_relaxed) < 20;
}

// Monotonic milliseconds since first use.
qint64 nowMs()
{
    static const QElapsedTimer clock = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    return clock.elapsed();
}

} // namespace

// Lives on the bus thread; one wake event drains everything queued so far.
class VelBus::Worker : public QObject
{
public:
    explicit Worker(VelBus *bus)
        : m_bus(bus)
        , m_retry(new QTimer(this))
    {
        m_retry->setSingleShot(true);
        QObject::connect(m_retry, &QTimer::timeout, this, [this] { m_bus->drain(); });
    }

    // Bus thread: drain again in ms unless woken before.
    void retryIn(int ms) { m_retry->start(qMax(0, ms)); }

    bool event(QEvent *e) override
    {
        VelTsan::acquire(e);
        if (e->type() != wakeEventType())
            return QObject::event(e);
        m_bus->drain();
        return true;
    }

private:
    VelBus *m_bus;
    QTimer *m_retry;
};

VelBus *VelBus::instance()
{
    VelBus *bus = g_bus.load(std::memory_order_acquire);
    if (bus)
        return bus;
    std::lock_guard<std::mutex> locker(g_createLock);
    bus = g_bus.load(std::memory_order_acquire);
    if (!bus) {
        // Never deleted: presenters and feeds may still reach the bus while
        // the process winds down. Its thread is stopped with the application.
        bus = new VelBus;
        g_bus.store(bus, std::memory_order_release);
        qAddPostRoutine(stopBusAtExit);
    }
    return bus;
}

VelBus *VelBus::existing()
{
    return g_bus.load(std::memory_order_acquire);
}

VelBus::VelBus()
{
    m_thread.setObjectName(QStringLiteral("velapp.bus"));
    m_worker = new Worker(this);
    m_worker->moveToThread(&m_thread);
    // Emitted on the new thread after its event dispatcher is made.
    QObject::connect(
        &m_thread, &QThread::started, m_worker,
        [this]() {
            std::lock_guard<std::mutex> locker(m_readyLock);
            m_ready = true;
            m_readyChanged.notify_all();
        },
        Qt::DirectConnection);
}

VelBus::~VelBus()
{
    stop();
}

std::shared_ptr<VelBusClient> VelBus::attach(VelPresenterClass *presenter, const QString &pid,
                                             int threadMask)
{
    auto client = std::make_shared<VelBusClient>(presenter, pid, threadMask);
    std::lock_guard<std::mutex> locker(m_lock);
    m_clients.push_back(client);
    return client;
}

void VelBus::detach(const std::shared_ptr<VelBusClient> &client)
{
    if (!client)
        return;
    {
        std::lock_guard<std::mutex> locker(m_lock);
        m_clients.erase(std::remove(m_clients.begin(), m_clients.end(), client), m_clients.end());
    }
    client->detachAndWait();
}

void VelBus::subscribeKind(const std::shared_ptr<VelBusClient> &client, const QString &kind)
{
    std::lock_guard<std::mutex> locker(m_lock);
    client->kinds.insert(kind);
}

void VelBus::subscribeEvent(const std::shared_ptr<VelBusClient> &client, int type)
{
    std::lock_guard<std::mutex> locker(m_lock);
    client->eventTypes.insert(type);
}

// The caller learns at once what is new, but the symbols become active and
// get their image on the bus thread, in queue order: ticks dispatched before
// that are summed up by the image, ticks after it are delivered normally, so
// the presenter sees each symbol's ticks in order. A symbol already active
// gets its image again: the caller has rebuilt rows that lost their prices.
QStringList VelBus::subscribeSymbols(const std::shared_ptr<VelBusClient> &client,
                                     const QStringList &symbols, const QSet<QString> &emptyImage)
{
    QStringList added;
    QStringList named;
    QSet<QString> seen;
    std::lock_guard<std::mutex> locker(m_lock);
    if (client->isDetached())
        return added;
    for (const QString &symbol : symbols) {
        if (symbol.isEmpty() || seen.contains(symbol))
            continue;
        seen.insert(symbol);
        named.append(symbol);
        if (!client->wantedSymbols.contains(symbol)) {
            client->wantedSymbols.insert(symbol);
            added.append(symbol);
        }
    }
    if (!named.isEmpty()) {
        Job job;
        job.type = Job::Subscribe;
        job.client = client;
        job.symbols = named;
        job.emptyImage = emptyImage;
        enqueueLocked(job);
    }
    return added;
}

void VelBus::publishQuotation(const QString &kind, const QVariantMap &tick)
{
    const QString symbol = tick.value(QStringLiteral("Symbol")).toString();
    if (kind.isEmpty() || symbol.isEmpty()) {
        if (shouldReportBadTick())
            qCWarning(lcVelBus).noquote()
                << "dropped a tick without" << (kind.isEmpty() ? "kind" : "Symbol") << "("
                << tick.size() << "fields )";
        return;
    }
    // Packed once here, on the publishing thread, and shared by every delivery.
    QByteArray packed = CPackMessageCommon::pack(QList<QVariantMap>{tick});
    m_publishedCount.fetch_add(1, std::memory_order_relaxed);
    std::lock_guard<std::mutex> locker(m_lock);
    if (m_stopped)
        return;
    Published &latest = m_published[symbol];
    latest.kind = kind;
    latest.tick = tick;
    // Ticks are whole snapshots: the waiting one is summed up by this one.
    const auto waiting = m_waiting.constFind(symbol);
    if (waiting != m_waiting.constEnd()) {
        Job &earlier = m_queue[*waiting];
        earlier.name = kind;
        earlier.packed.swap(packed);
        m_mergedCount.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    Job job;
    job.type = Job::Quotation;
    job.name = kind;
    job.symbol = symbol;
    job.packed.swap(packed);
    if (enqueueLocked(job))
        m_waiting.insert(symbol, m_queue.size() - 1);
}

QVariantMap VelBus::latestQuotation(const QString &symbol) const
{
    std::lock_guard<std::mutex> locker(m_lock);
    return m_published.value(symbol).tick;
}

bool VelBus::eventJob(std::unique_ptr<CEventMessageCommon> event, const QString &fallbackSrc,
                      Job *job)
{
    if (!event) {
        qCWarning(lcVelBus).noquote() << "PutEvent from" << fallbackSrc << "without an event";
        return false;
    }
    bool ok = false;
    const int type = event->GetType().toInt(&ok);
    if (!ok) {
        qCWarning(lcVelBus).noquote() << "PutEvent from" << fallbackSrc << ": event type"
                                      << event->GetType().toString() << "is not an int; dropped";
        return false;
    }
    job->type = Job::Event;
    job->name = event->GetSrcid().isEmpty() ? fallbackSrc : event->GetSrcid();
    job->eventType = type;
    job->eventMsg = event->GetMsg();
    job->event = std::move(event);
    return true;
}

void VelBus::publishEvent(CEventMessageCommon *event, const QString &fallbackSrc)
{
    Job job;
    if (!eventJob(std::unique_ptr<CEventMessageCommon>(event), fallbackSrc, &job))
        return;
    // The observer lock also orders the queue, so the observer sees events in
    // the order they are dispatched.
    std::lock_guard<std::mutex> observerLocker(m_observerLock);
    if (m_observer)
        m_observer(job.eventType, job.name, job.eventMsg);
    std::lock_guard<std::mutex> locker(m_lock);
    enqueueLocked(job);
}

void VelBus::sendEventTo(const std::shared_ptr<VelBusClient> &client, CEventMessageCommon *event)
{
    Job job;
    if (!eventJob(std::unique_ptr<CEventMessageCommon>(event), QStringLiteral("host"), &job) ||
        !client)
        return;
    job.client = client;
    std::lock_guard<std::mutex> observerLocker(m_observerLock);
    if (m_observer)
        m_observer(job.eventType, job.name, job.eventMsg);
    std::lock_guard<std::mutex> locker(m_lock);
    enqueueLocked(job);
}

void VelBus::setEventObserver(EventObserver observer)
{
    std::lock_guard<std::mutex> locker(m_observerLock);
    m_observer = std::move(observer);
}

void VelBus::afterDelivery(std::function<void()> done)
{
    Job job;
    job.type = Job::Barrier;
    job.done = std::move(done);
    std::lock_guard<std::mutex> locker(m_lock);
    enqueueLocked(job);
}

bool VelBus::isBusThread() const
{
    return QThread::currentThread() == &m_thread;
}

void VelBus::stop()
{
    std::vector<Job> dropped;
    bool started = false;
    {
        std::lock_guard<std::mutex> locker(m_lock);
        if (m_stopped)
            return;
        m_stopped = true;
        started = m_started;
        dropped.swap(m_queue);
        m_waiting.clear();
    }
    if (!dropped.empty())
        qCDebug(lcVelBus) << "dropped" << dropped.size() << "undelivered messages at exit";
    if (!started)
        return;
    m_thread.quit();
    if (!isBusThread() && !m_thread.wait(10000))
        qCWarning(lcVelBus) << "the bus thread is still in a handler; leaving it behind";
}

bool VelBus::enqueueLocked(Job &job)
{
    if (m_stopped)
        return false;
    if (!m_started) {
        m_started = true;
        m_thread.start();
        // Posting before the thread's dispatcher exists works, but the
        // hand-over is then invisible to ThreadSanitizer; wait for it once.
        if (m_thread.isRunning()) {
            std::unique_lock<std::mutex> ready(m_readyLock);
            m_readyChanged.wait(ready, [this]() { return m_ready; });
        }
    }
    // Nothing queued before an event, a subscription or a barrier may take a
    // later tick's value: it would then pass them.
    if (job.type != Job::Quotation)
        m_waiting.clear();
    m_queue.push_back(std::move(job));
    if (!m_wakePosted) {
        m_wakePosted = true;
        wake();
    }
    return true;
}

void VelBus::wake()
{
    auto *event = new QEvent(wakeEventType());
    VelTsan::release(event);
    QCoreApplication::postEvent(m_worker, event);
}

bool VelBus::guiBehind() const
{
    return m_roundsShown.load(std::memory_order_acquire) != m_roundsSent &&
           nowMs() - m_roundSentAtMs < maxGuiWaitMs;
}

void VelBus::awaitGui()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return;
    const quint64 round = ++m_roundsSent;
    m_roundSentAtMs = nowMs();
    // Posted after the rows the presenters sent the GUI thread this round,
    // so it runs once they are handled.
    VelTsan::release(&m_roundsShown);
    QMetaObject::invokeMethod(
        app,
        [this, round] {
            VelTsan::acquire(&m_roundsShown);
            m_roundsShown.store(round, std::memory_order_release);
            wake();
        },
        Qt::QueuedConnection);
}

void VelBus::drain()
{
    for (;;) {
        {
            std::lock_guard<std::mutex> locker(m_lock);
            if (m_queue.empty() || m_stopped) {
                m_wakePosted = false;
                return;
            }
            // The wake stays posted: the GUI's answer or the timer drains.
            if (guiBehind()) {
                m_worker->retryIn(int(maxGuiWaitMs - (nowMs() - m_roundSentAtMs)));
                return;
            }
            m_batch.swap(m_queue);
            m_waiting.clear();
        }
        bool delivered = false;
        for (Job &job : m_batch)
            delivered = process(job) || delivered;
        m_batch.clear();
        if (delivered)
            awaitGui();
    }
}

bool VelBus::process(Job &job)
{
    switch (job.type) {
    case Job::Quotation:
        return dispatchQuotation(job);
    case Job::Event:
        dispatchEvent(job);
        break;
    case Job::Subscribe:
        return dispatchSubscription(job);
    case Job::Barrier:
        job.done();
        break;
    }
    return false;
}

bool VelBus::dispatchQuotation(Job &job)
{
    {
        std::lock_guard<std::mutex> locker(m_lock);
        Dispatched &latest = m_dispatched[job.symbol];
        latest.kind = job.name;
        latest.packed = job.packed;
        for (const auto &client : m_clients)
            if (client->kinds.contains(job.name) && client->activeSymbols.contains(job.symbol))
                m_targets.push_back(client);
    }
    if (m_targets.empty())
        return false;
    const QVariant type(job.name);
    const QVariant msg(job.packed);
    for (const auto &client : m_targets)
        client->deliver(VelBusClient::Quotation, job.symbol, type, msg);
    m_targets.clear();
    return true;
}

void VelBus::dispatchEvent(Job &job)
{
    {
        std::lock_guard<std::mutex> locker(m_lock);
        for (const auto &client : m_clients)
            if (client->eventTypes.contains(job.eventType) && (!job.client || job.client == client))
                m_targets.push_back(client);
    }
    const QVariant type(job.eventType);
    for (const auto &client : m_targets)
        client->deliver(VelBusClient::Event, job.name, type, job.eventMsg);
    m_targets.clear();
    // Delivered (or queued with its own copy of the message): the event is done.
    job.event.reset();
}

// A fund the market has not priced yet still gets an image, an empty tick:
// the page then drops whatever price it showed for the fund before.
bool VelBus::dispatchSubscription(Job &job)
{
    struct Image
    {
        QString symbol;
        QString kind;
        QByteArray packed;
    };
    QVector<Image> images;
    {
        std::lock_guard<std::mutex> locker(m_lock);
        if (job.client->isDetached())
            return false;
        for (const QString &symbol : qAsConst(job.symbols)) {
            job.client->activeSymbols.insert(symbol);
            const auto it = m_dispatched.constFind(symbol);
            if (it != m_dispatched.constEnd()) {
                if (job.client->kinds.contains(it->kind))
                    images.append({symbol, it->kind, it->packed});
            } else if (job.client->kinds.contains(VelConst::MarketRecord) &&
                       job.emptyImage.contains(symbol)) {
                images.append(
                    {symbol, VelConst::MarketRecord,
                     CPackMessageCommon::pack({QVariantMap{{QStringLiteral("Symbol"), symbol}}})});
            }
        }
    }
    for (const Image &image : qAsConst(images))
        job.client->deliver(VelBusClient::Quotation, image.symbol, QVariant(image.kind),
                            QVariant(image.packed));
    return !images.isEmpty();
}
