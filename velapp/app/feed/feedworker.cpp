#include "feed/feedworker.h"

FeedWorker::FeedWorker() = default;
FeedWorker::~FeedWorker() = default;

void FeedWorker::setPublisher(Publisher publisher)
{
    m_publisher = std::move(publisher);
}

FeedWorker::Admission FeedWorker::publish(const QString &kind, const QVariantMap &tick,
                                          QString *fault) const
{
    return m_publisher ? m_publisher(kind, tick, fault) : Admission::Accepted;
}
