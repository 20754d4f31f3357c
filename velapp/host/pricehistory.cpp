#include "businessdatamanager/pricehistory.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <array>
#include <cmath>
#include <deque>
#include <vector>

namespace {

// Seconds of thinned points in blocks of fixed size: 6 bytes a point (an
// offset from the block's first second and a float price), so a whole
// market's day stays small, and no block is ever copied to grow.
struct SecondBlock
{
    static constexpr int capacity = 1024;
    qint64 base = 0; // the second of offset 0
    int size = 0;
    std::array<quint16, capacity> offsets;
    std::array<float, capacity> prices;
};

constexpr qint64 thinningBatchMsecs = 5000;

qint64 secondOf(qint64 msecs)
{
    return msecs >= 0 ? msecs / 1000 : -((-msecs + 999) / 1000);
}

} // namespace

struct VelPriceHistory::Series
{
    std::vector<std::unique_ptr<SecondBlock>> seconds;
    std::deque<Point> recent;
    int thinned = 0;
    quint64 total = 0;

    void append(qint64 msecs, double price)
    {
        if (!recent.empty() && msecs < recent.back().msecs)
            msecs = recent.back().msecs;
        recent.push_back({msecs, price});
        ++total;
        // Thinned a few seconds' worth at a time: the oldest points are cold
        // memory, cheaper to visit together.
        const qint64 horizon = msecs - recentMsecs;
        if (recent.front().msecs >= horizon - thinningBatchMsecs)
            return;
        while (recent.front().msecs < horizon) {
            thin(recent.front());
            recent.pop_front();
        }
    }

    // The point joins the seconds: the last one of its second wins.
    void thin(const Point &point)
    {
        const qint64 second = secondOf(point.msecs);
        SecondBlock *block = seconds.empty() ? nullptr : seconds.back().get();
        if (block && block->base + block->offsets[size_t(block->size - 1)] == second) {
            block->prices[size_t(block->size - 1)] = float(point.price);
            return;
        }
        if (!block || block->size == SecondBlock::capacity || second - block->base > 0xffff) {
            seconds.push_back(std::make_unique<SecondBlock>());
            block = seconds.back().get();
            block->base = second;
        }
        block->offsets[size_t(block->size)] = quint16(second - block->base);
        block->prices[size_t(block->size)] = float(point.price);
        ++block->size;
        ++thinned;
    }

    template<typename F> void forEach(F f) const
    {
        for (const auto &block : seconds) {
            for (int i = 0; i < block->size; ++i)
                f(Point{(block->base + block->offsets[size_t(i)]) * 1000,
                        double(block->prices[size_t(i)])});
        }
        for (const Point &point : recent)
            f(point);
    }

    qint64 firstMsecs() const
    {
        return seconds.empty() ? recent.front().msecs : seconds.front()->base * 1000;
    }

    qint64 bytes() const
    {
        // A deque keeps its points in blocks of 512 bytes.
        const qint64 perNode = 512 / qint64(sizeof(Point));
        return qint64(seconds.size()) * qint64(sizeof(SecondBlock)) +
               (qint64(recent.size()) + perNode - 1) / perNode * 512;
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
    if (symbol.isEmpty())
        return;
    // A quote of no price still changes what pages show: its bid and ask.
    if (std::isfinite(price) && price > 0 && price < 1e9) {
        std::lock_guard<std::mutex> locker(m_lock);
        auto it = m_series.find(symbol);
        if (it == m_series.end())
            it = m_series.insert(symbol, std::make_shared<Series>());
        it.value()->append(msecs, price);
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
    QVector<Point> out;
    if (it == m_series.constEnd())
        return out;
    out.reserve(it.value()->thinned + int(it.value()->recent.size()));
    it.value()->forEach([&out](const Point &point) { out.append(point); });
    return out;
}

int VelPriceHistory::count(const QString &symbol) const
{
    std::lock_guard<std::mutex> locker(m_lock);
    const auto it = m_series.constFind(symbol);
    return it == m_series.constEnd() ? 0 : it.value()->thinned + int(it.value()->recent.size());
}

bool VelPriceHistory::last(const QString &symbol, Point *point) const
{
    std::lock_guard<std::mutex> locker(m_lock);
    const auto it = m_series.constFind(symbol);
    if (it == m_series.constEnd() || it.value()->recent.empty())
        return false;
    *point = it.value()->recent.back();
    return true;
}

bool VelPriceHistory::span(const QString &symbol, qint64 *first, qint64 *latest) const
{
    std::lock_guard<std::mutex> locker(m_lock);
    const auto it = m_series.constFind(symbol);
    if (it == m_series.constEnd() || it.value()->recent.empty())
        return false;
    *first = it.value()->firstMsecs();
    *latest = it.value()->recent.back().msecs;
    return true;
}

QVector<VelPriceHistory::Column> VelPriceHistory::columns(const QString &symbol, qint64 from,
                                                          qint64 to, int columns) const
{
    QVector<Column> out(qMax(0, columns));
    if (columns <= 0 || to < from)
        return out;
    const double scale = double(columns) / (double(to) - double(from) + 1.0);
    std::lock_guard<std::mutex> locker(m_lock);
    const auto it = m_series.constFind(symbol);
    if (it == m_series.constEnd())
        return out;
    it.value()->forEach([&](const Point &point) {
        if (point.msecs < from || point.msecs > to)
            return;
        const int index = qMin(columns - 1, int((double(point.msecs) - double(from)) * scale));
        Column &c = out[index];
        if (c.count++ == 0) {
            c.first = c.min = c.max = point.price;
        } else {
            c.min = qMin(c.min, point.price);
            c.max = qMax(c.max, point.price);
        }
        c.last = point.price;
    });
    return out;
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
        held += series->thinned + qint64(series->recent.size());
    return held;
}

qint64 VelPriceHistory::heldBytes() const
{
    std::lock_guard<std::mutex> locker(m_lock);
    qint64 bytes = 0;
    for (const auto &series : m_series)
        bytes += series->bytes();
    return bytes;
}
