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
// them: every point of the last recentMsecs, and before that the last price
// of each second. Any thread may record and read.
class VELHOST_EXPORT VelPriceHistory : public QObject
{
    Q_OBJECT
public:
    struct Point
    {
        qint64 msecs; // since the epoch, when recorded; a whole second once thinned
        double price;
    };
    // The points of a span of time that fall in one column of a chart.
    struct Column
    {
        int count = 0;
        double first = 0;
        double last = 0;
        double min = 0;
        double max = 0;
    };
    static constexpr qint64 recentMsecs = 10 * 60 * 1000;

    static VelPriceHistory *instance();

    // Keeps price when it is a price (finite, above 0, below 1e9); a quote
    // without one is still announced. A time before the symbol's latest
    // counts as that latest: a series never runs back.
    void record(const QString &symbol, qint64 msecs, double price);
    // Oldest first. Thinned points carry their price as a float.
    QVector<Point> points(const QString &symbol) const;
    int count(const QString &symbol) const;
    // False when symbol has no point; the price exactly as recorded.
    bool last(const QString &symbol, Point *point) const;
    // The times of the symbol's first and latest points; false when none.
    bool span(const QString &symbol, qint64 *first, qint64 *latest) const;
    // The points from `from` to `to` (inclusive) in `columns` equal spans of
    // time, so a chart draws a day in what a minute costs.
    QVector<Column> columns(const QString &symbol, qint64 from, qint64 to, int columns) const;
    // Points ever recorded for symbol, thinned ones included: a change mark.
    quint64 revision(const QString &symbol) const;
    qint64 heldPoints() const;
    // Memory the points take, the blocks they are kept in counted whole.
    qint64 heldBytes() const;
    void clear();

signals:
    // A quote arrived; at most once a frame, on the GUI thread.
    void changed();

private:
    VelPriceHistory();
    struct Series;
    void announce();

    mutable std::mutex m_lock;
    QHash<QString, std::shared_ptr<Series>> m_series;
    std::atomic<bool> m_announcing{false};
};
