#include "feed/replayfeed.h"

#include "feed/feedlogging.h"

#include <QTimer>

#include <limits>

ReplayFeed::ReplayFeed(const QList<ReplayTick> &ticks, const QString &source)
    : m_ticks(ticks)
    , m_source(source)
    , m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &ReplayFeed::playDue);
}

ReplayFeed::~ReplayFeed() = default;

void ReplayFeed::start()
{
    qCInfo(lcFeed) << "replay started with" << m_ticks.size() << "ticks";
    m_next = 0;
    m_clock.start();
    playDue();
}

void ReplayFeed::playDue()
{
    const qint64 now = m_clock.elapsed();
    while (m_next < m_ticks.size() && m_ticks.at(m_next).t <= now) {
        const ReplayTick &tick = m_ticks.at(m_next++);
        QString fault;
        if (publish(tick.kind, tick.fields, &fault) == Admission::UnknownSymbol &&
            !m_warnedUnknown) {
            m_warnedUnknown = true;
            qCWarning(lcFeed).noquote()
                << QStringLiteral("%1: %2; ticks of symbols not listed are dropped")
                       .arg(m_source, fault);
        }
    }
    if (m_next >= m_ticks.size()) {
        qCInfo(lcFeed) << "replay finished";
        emit finished();
        return;
    }
    // A far offset is approached in steps the timer can hold.
    const qint64 wait = m_ticks.at(m_next).t - now;
    m_timer->start(int(qMin<qint64>(wait, std::numeric_limits<int>::max())));
}
