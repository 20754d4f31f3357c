#include "feed/simulatorfeed.h"

#include "feed/feedlogging.h"

#include <QTimer>

SimulatorFeed::SimulatorFeed(const MarketSimulator &simulator)
    : m_simulator(simulator)
    , m_timer(new QTimer(this))
{
    m_timer->setInterval(MarketSimulator::slotIntervalMs);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &SimulatorFeed::publishSlot);
}

SimulatorFeed::~SimulatorFeed() = default;

void SimulatorFeed::start()
{
    qCInfo(lcFeed) << "simulator started with" << m_simulator.instrumentCount() << "contracts";
    publishSlot();
    m_timer->start();
}

void SimulatorFeed::publishSlot()
{
    const QList<FeedTick> ticks = m_simulator.nextSlot();
    for (const FeedTick &tick : ticks)
        publish(tick.kind, tick.fields);
}
