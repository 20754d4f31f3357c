#include "velbusclient.h"

#include "veltsan.h"

#include "velwidget/velpresenterclass.h"

namespace {

// The deliveries running on the current thread, innermost first: a frame
// per handler call, linked through the stack.
struct DeliveryFrame
{
    const VelBusClient *client;
    DeliveryFrame *outer;
};
thread_local DeliveryFrame *t_deliveries = nullptr;

int handlerBit(VelBusClient::Handler handler)
{
    switch (handler) {
    case VelBusClient::Msg:
        return IMessageInterface::ThreadType_MsgOnBus;
    case VelBusClient::Event:
        return IMessageInterface::ThreadType_EventOnBus;
    case VelBusClient::Quotation:
        return IMessageInterface::ThreadType_QuotationOnBus;
    case VelBusClient::Async:
        return IMessageInterface::ThreadType_AsyncOnBus;
    }
    return 0;
}

} // namespace

// Holds one in-flight count for its lifetime and records the delivery on
// this thread's stack of deliveries.
class DeliveryScope
{
public:
    explicit DeliveryScope(VelBusClient *client)
        : m_client(client)
        , m_entered(client->enter())
        , m_frame{client, t_deliveries}
    {
        if (m_entered)
            t_deliveries = &m_frame;
    }
    ~DeliveryScope()
    {
        if (m_entered) {
            t_deliveries = m_frame.outer;
            m_client->leave();
        }
    }
    explicit operator bool() const { return m_entered; }

private:
    VelBusClient *m_client;
    bool m_entered;
    DeliveryFrame m_frame;
};

VelBusClient::VelBusClient(VelPresenterClass *presenter, const QString &pid, int threadMask)
    : m_presenter(presenter)
    , m_pid(pid)
    , m_threadMask(threadMask)
{}

std::shared_ptr<VelBusClient> VelBusClient::of(const VelPresenterClass *presenter)
{
    return presenter->m_client;
}

bool VelBusClient::enter()
{
    std::lock_guard<std::mutex> locker(m_mutex);
    if (m_detached.load(std::memory_order_relaxed))
        return false;
    ++m_inFlight;
    return true;
}

void VelBusClient::leave()
{
    std::lock_guard<std::mutex> locker(m_mutex);
    if (--m_inFlight == 0 || m_detached.load(std::memory_order_relaxed))
        m_idle.notify_all();
}

int VelBusClient::deliveriesOnThisThread() const
{
    int count = 0;
    for (const DeliveryFrame *f = t_deliveries; f; f = f->outer)
        if (f->client == this)
            ++count;
    return count;
}

void VelBusClient::detachAndWait()
{
    std::unique_lock<std::mutex> locker(m_mutex);
    m_detached.store(true, std::memory_order_release);
    const int own = deliveriesOnThisThread();
    m_idle.wait(locker, [this, own]() { return m_inFlight <= own; });
}

void VelBusClient::callHandler(Handler handler, const QString &src, const QVariant &type,
                               const QVariant &msg)
{
    switch (handler) {
    case Msg:
        m_presenter->ProcMsg(src, type, msg);
        break;
    case Event:
        m_presenter->ProcEventMsg(src, type, msg);
        break;
    case Quotation:
        m_presenter->ProcQuotationMsg(src, type, msg);
        break;
    case Async:
        m_presenter->ProcAsyncCallBack(0, src, type, msg);
        break;
    }
}

void VelBusClient::deliver(Handler handler, const QString &src, const QVariant &type,
                           const QVariant &msg)
{
    DeliveryScope scope(this);
    if (!scope)
        return;
    if (m_threadMask & handlerBit(handler)) {
        callHandler(handler, src, type, msg);
        return;
    }
    // Posting needs the presenter alive, which the scope guarantees: detach
    // waits for it. The queued call checks again, since the presenter may
    // leave the bus before its thread runs it.
    std::shared_ptr<VelBusClient> self = shared_from_this();
    VelTsan::release(this);
    QMetaObject::invokeMethod(
        m_presenter,
        [self, handler, src, type, msg]() {
            VelTsan::acquire(self.get());
            DeliveryScope queued(self.get());
            if (queued)
                self->callHandler(handler, src, type, msg);
        },
        Qt::QueuedConnection);
}
