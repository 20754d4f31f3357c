#pragma once

#include "velhost_global.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QVector>

#include <atomic>
#include <memory>
#include <mutex>

// Every symbol's last prices since the session started, as the bus published
// them: the latest maxPoints a symbol, oldest first. Any thread may record
// and read.
class VELHOST_EXPORT VelPriceHistory : public QObject
{
    Q_OBJECT
public:
    struct Point
    {
        qint64 msecs; // since the epoch, when recorded
        double price;
    };
    static constexpr int maxPoints = 20000;

    static VelPriceHistory *instance();

    // Keeps price when it is a price (finite, above 0, below 1e9).
    void record(const QString &symbol, qint64 msecs, double price);
    QVector<Point> points(const QString &symbol) const;
    int count(const QString &symbol) const;
    // False when symbol has no point.
    bool last(const QString &symbol, Point *point) const;
    // Points ever recorded for symbol, dropped ones included: a change mark.
    quint64 revision(const QString &symbol) const;
    // Points held over all symbols: the history's share of memory is this
    // times sizeof(Point), and grows until every ring is full.
    qint64 heldPoints() const;
    void clear();

signals:
    // Something was recorded; at most once a frame, on the GUI thread.
    void changed();

private:
    VelPriceHistory();
    struct Series;
    void announce();

    mutable std::mutex m_lock;
    QHash<QString, std::shared_ptr<Series>> m_series;
    std::atomic<bool> m_announcing{false};
};
