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
    // source: the file, as warnings name it.
    ReplayFeed(const QList<ReplayTick> &ticks, const QString &source);
    ~ReplayFeed() override;

    void start() override;

signals:
    void finished();

private:
    void playDue();

    QList<ReplayTick> m_ticks;
    QString m_source;
    int m_next = 0;
    bool m_warnedUnknown = false;
    QElapsedTimer m_clock;
    QTimer *m_timer;
};
