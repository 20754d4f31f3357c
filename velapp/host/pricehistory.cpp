#include "businessdatamanager/pricehistory.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <cmath>
#include <vector>

// A ring of at most maxPoints. Reserved whole when the symbol first ticks:
// the block is mapped, not touched, so memory grows with the points written
// while the tick path never allocates.
struct VelPriceHistory::Series
{
    std::vector<Point> ring;
    int oldest = 0;
    quint64 total = 0;

    Series() { ring.reserve(maxPoints); }

    void append(const Point &point)
    {
        ++total;
        if (int(ring.size()) < maxPoints) {
            ring.push_back(point);
            return;
        }
        ring[size_t(oldest)] = point;
        oldest = (oldest + 1) % maxPoints;
    }

    QVector<Point> inOrder() const
    {
        QVector<Point> out;
        out.reserve(int(ring.size()));
        for (size_t i = 0; i < ring.size(); ++i)
            out.append(ring[(size_t(oldest) + i) % ring.size()]);
        return out;
    }
};

VelPriceHistory *VelPriceHistory::instance()
{
    // Never deleted, like the bus that feeds it.
    static VelPriceHistory *const history = new VelPriceHistory;
    return history;
}

VelPriceHistory::VelPriceHistory()
{
    // Its change notice is delivered on the GUI thread, whoever records first.
    if (QCoreApplication *app = QCoreApplication::instance())
        moveToThread(app->thread());
}

void VelPriceHistory::record(const QString &symbol, qint64 msecs, double price)
{
    if (symbol.isEmpty() || !std::isfinite(price) || price <= 0 || price >= 1e9)
        return;
    {
        std::lock_guard<std::mutex> locker(m_lock);
        auto it = m_series.find(symbol);
        if (it == m_series.end())
            it = m_series.insert(symbol, std::make_shared<Series>());
        it.value()->append({msecs, price});
    }
    if (!m_announcing.exchange(true))
        announce();
}

// One queued call per frame at most, however fast the ticks come.
void VelPriceHistory::announce()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            QTimer::singleShot(16, this, [this] {
                m_announcing.store(false);
                emit changed();
            });
        },
        Qt::QueuedConnection);
}

QVector<VelPriceHistory::Point> VelPriceHistory::points(const QString &symbol) const
{
    std::lock_guard<std::mutex> locker(m_lock);
    const auto it = m_series.constFind(symbol);
    return it == m_series.constEnd() ? QVector<Point>() : it.value()->inOrder();
}

int VelPriceHistory::count(const QString &symbol) const
{
    std::lock_guard<std::mutex> locker(m_lock);
    const auto it = m_series.constFind(symbol);
    return it == m_series.constEnd() ? 0 : int(it.value()->ring.size());
}

bool VelPriceHistory::last(const QString &symbol, Point *point) const
{
    std::lock_guard<std::mutex> locker(m_lock);
    const auto it = m_series.constFind(symbol);
    if (it == m_series.constEnd() || it.value()->ring.empty())
        return false;
    const Series &series = *it.value();
    const int newest =
        int(series.ring.size() < size_t(maxPoints) ? series.ring.size() - 1
                                                   : (series.oldest + maxPoints - 1) % maxPoints);
    *point = series.ring[size_t(newest)];
    return true;
}

quint64 VelPriceHistory::revision(const QString &symbol) const
{
    std::lock_guard<std::mutex> locker(m_lock);
    const auto it = m_series.constFind(symbol);
    return it == m_series.constEnd() ? 0 : it.value()->total;
}

void VelPriceHistory::clear()
{
    std::lock_guard<std::mutex> locker(m_lock);
    m_series.clear();
}

qint64 VelPriceHistory::heldPoints() const
{
    std::lock_guard<std::mutex> locker(m_lock);
    qint64 held = 0;
    for (const auto &series : m_series)
        held += qint64(series->ring.size());
    return held;
}
