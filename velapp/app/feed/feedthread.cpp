#include "feed/feedthread.h"

#include "businessdatamanager/businessdatainterface.h"
#include "feed/feedlogging.h"
#include "velutils/vellockorder.h"

#include <QThread>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

FeedThread::FeedThread(FeedWorker::Publisher publisher, QObject *parent)
    : QObject(parent)
    , m_thread(new QThread(this))
    , m_publisher(std::move(publisher))
{
    m_thread->setObjectName(QStringLiteral("velapp feed"));
    if (!m_publisher)
        m_publisher = [](const QString &kind, const QVariantMap &tick, QString *fault) {
            return BusinessDataInterface::PublishQuotation(kind, tick, fault);
        };
}

FeedThread::~FeedThread()
{
    stop();
}

void FeedThread::start(std::unique_ptr<FeedWorker> worker)
{
    if (m_thread->isRunning()) {
        qCWarning(lcFeed) << "feed already running; a second source is not started";
        return;
    }
    worker->setPublisher([this](const QString &kind, const QVariantMap &tick, QString *fault) {
        const FeedWorker::Admission admission = m_publisher(kind, tick, fault);
        if (admission == FeedWorker::Admission::Accepted)
            m_published.fetch_add(1, std::memory_order_relaxed);
        return admission;
    });
    FeedWorker *w = worker.release();
    w->moveToThread(m_thread);
    // When cores are short the board comes first: a feed faster than the
    // pages then waits in its socket, and the bus merges what it sent.
    connect(
        m_thread, &QThread::started, w,
        [] { ::setpriority(PRIO_PROCESS, id_t(::syscall(SYS_gettid)), niceness); },
        Qt::DirectConnection);
    connect(m_thread, &QThread::started, w, &FeedWorker::start);
    // Deleted on its own thread, after its event loop ended.
    connect(m_thread, &QThread::finished, w, &QObject::deleteLater);
    // QThread::wait() is invisible to ThreadSanitizer: mark the thread's end
    // here and its join in stop(), so what the feed wrote counts as done.
    connect(
        m_thread, &QThread::finished, this, [this] { VelLockOrder::releasing(this); },
        Qt::DirectConnection);
    m_thread->start();
}

void FeedThread::stop()
{
    if (!m_thread->isRunning())
        return;
    m_thread->quit();
    m_thread->wait();
    VelLockOrder::acquired(this);
}

bool FeedThread::isRunning() const
{
    return m_thread->isRunning();
}

quint64 FeedThread::publishedCount() const
{
    return m_published.load(std::memory_order_relaxed);
}
