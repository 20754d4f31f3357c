#include "feed/feedworker.h"

FeedWorker::FeedWorker() = default;
FeedWorker::~FeedWorker() = default;

void FeedWorker::setPublisher(Publisher publisher)
{
    m_publisher = std::move(publisher);
}

void FeedWorker::publish(const QString &kind, const QVariantMap &tick) const
{
    if (m_publisher)
        m_publisher(kind, tick);
}
