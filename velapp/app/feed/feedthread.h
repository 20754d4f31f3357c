#pragma once

#include "feed/feedworker.h"

#include <QObject>

#include <atomic>
#include <memory>

class QThread;

// The feed's own thread: runs one FeedWorker and counts what it publishes.
class FeedThread : public QObject
{
    Q_OBJECT
public:
    // publisher: where ticks go; empty means the host's quotation bus.
    explicit FeedThread(FeedWorker::Publisher publisher = {}, QObject *parent = nullptr);
    ~FeedThread() override;

    // Moves worker to the thread and starts it there. One worker per run.
    void start(std::unique_ptr<FeedWorker> worker);
    // Stops the worker and waits for the thread to end.
    void stop();
    bool isRunning() const;
    quint64 publishedCount() const;

    // The feed thread's nice value, above the pages' threads.
    static constexpr int niceness = 5;

private:
    QThread *m_thread;
    FeedWorker::Publisher m_publisher;
    std::atomic<quint64> m_published{0};
};
