#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QVector>

#include <atomic>

#include "benchpage.h"

class VelTreeModel;

// Tick-to-table latency. The feed stamps each tick as it publishes it, keyed
// by (symbol, tick number); the tick number follows from the last price,
// which is unique per symbol. When the table's model reports the last-price
// cell of a row changed, the probe reads the cell, finds the stamp and
// records the time since it.
class LatencyProbe : public QObject
{
    Q_OBJECT
public:
    struct Sample
    {
        qint64 atNs; // when the table showed it, on the probe's clock
        double latencyMs;
    };

    LatencyProbe(VelTreeModel *model, const QStringList &symbols,
                 const QHash<QString, BenchPage::Place> &places, QObject *parent = nullptr);

    // Feeder thread: tick seq of symbols[index] is being published now.
    void stamp(int index, int seq);

    qint64 nowNs() const { return m_clock.nsecsElapsed(); }
    // Off: ticks are only counted (a long run keeps no samples).
    void setKeepSamples(bool keep) { m_keepSamples = keep; }
    // Samples since the last take, and forgets them.
    QVector<Sample> takeSamples();
    // Ticks stamped and not yet seen in the table.
    int outstanding() const;
    quint64 matched() const { return m_matched.load(std::memory_order_acquire); }
    // Last-price changes that matched no stamp (faded rows, repeated values).
    quint64 unmatched() const { return m_unmatched; }

private:
    void onDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight);
    static quint64 key(int index, int seq);

    VelTreeModel *m_model;
    QHash<QString, int> m_indexByPlace; // identity + 'C' or 'P' -> symbol index
    QElapsedTimer m_clock;
    mutable QMutex m_mutex;
    QHash<quint64, qint64> m_stamps;
    QVector<Sample> m_samples;
    std::atomic<quint64> m_matched{0};
    quint64 m_unmatched = 0;
    bool m_keepSamples = true;
};
