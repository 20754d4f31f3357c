#pragma once

#include "feed/feedworker.h"
#include "files/replayfile.h"

#include <QElapsedTimer>

class QTimer;

// Publishes recorded ticks at their offsets from start().
class ReplayFeed : public FeedWorker
{
    Q_OBJECT
public:
    explicit ReplayFeed(const QList<ReplayTick> &ticks);
    ~ReplayFeed() override;

    void start() override;

signals:
    void finished();

private:
    void playDue();

    QList<ReplayTick> m_ticks;
    int m_next = 0;
    QElapsedTimer m_clock;
    QTimer *m_timer;
};
