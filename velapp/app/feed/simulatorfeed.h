#pragma once

#include "feed/feedworker.h"
#include "market/marketsimulator.h"

class QTimer;

// Publishes the simulated market: one slot of contracts per timer turn.
class SimulatorFeed : public FeedWorker
{
    Q_OBJECT
public:
    explicit SimulatorFeed(const MarketSimulator &simulator);
    ~SimulatorFeed() override;

    void start() override;

private:
    void publishSlot();

    MarketSimulator m_simulator;
    QTimer *m_timer;
};
