#include "latencyprobe.h"

#include "benchmarket.h"

#include "veldefine/velconstants.h"
#include "velwidget/veltreemodel.h"

#include <cmath>

LatencyProbe::LatencyProbe(VelTreeModel *model, const QStringList &symbols,
                           const QHash<QString, BenchPage::Place> &places, QObject *parent)
    : QObject(parent)
    , m_model(model)
{
    m_clock.start();
    for (int i = 0; i < symbols.size(); ++i) {
        const BenchPage::Place place = places.value(symbols.at(i));
        m_indexByPlace.insert(place.identity + QLatin1Char(place.call ? 'C' : 'P'), i);
    }
    connect(model, &VelTreeModel::dataChanged, this, &LatencyProbe::onDataChanged);
}

quint64 LatencyProbe::key(int index, int seq)
{
    return (quint64(index) << 32) | quint64(seq % 20000);
}

void LatencyProbe::stamp(int index, int seq)
{
    const qint64 now = m_clock.nsecsElapsed();
    QMutexLocker locker(&m_mutex);
    m_stamps.insert(key(index, seq), now);
}

void LatencyProbe::onDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight)
{
    // One signal spans a row's changed cells: the last price is 2 or 12.
    const auto spans = [&](int column) {
        return topLeft.column() <= column && bottomRight.column() >= column;
    };
    const int column = spans(2) ? 2 : (spans(12) ? 12 : -1);
    if (column < 0)
        return;
    const qint64 now = m_clock.nsecsElapsed();
    const Row row = m_model->rowData(topLeft);
    const int index =
        m_indexByPlace.value(m_model->identityOf(row) + QLatin1Char(column == 2 ? 'C' : 'P'), -1);
    const QVariant last = row.value(column).value(VelConst::RoleUser1);
    if (index < 0 || !last.isValid()) {
        ++m_unmatched;
        return;
    }
    // Inverse of BenchMarket::lastPriceOf.
    const int seq = int(std::lround(last.toDouble() * 10000)) - 1000;
    QMutexLocker locker(&m_mutex);
    const auto it = m_stamps.find(key(index, seq));
    if (it == m_stamps.end()) {
        ++m_unmatched;
        return;
    }
    if (m_keepSamples)
        m_samples.append({now, (now - it.value()) / 1e6});
    m_stamps.erase(it);
    m_matched.fetch_add(1, std::memory_order_release);
}

QVector<LatencyProbe::Sample> LatencyProbe::takeSamples()
{
    QMutexLocker locker(&m_mutex);
    QVector<Sample> samples;
    samples.swap(m_samples);
    return samples;
}

int LatencyProbe::outstanding() const
{
    QMutexLocker locker(&m_mutex);
    return m_stamps.size();
}
