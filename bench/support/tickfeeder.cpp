#include "tickfeeder.h"

#include "benchmarket.h"

#include "businessdatamanager/businessdatainterface.h"

#include <chrono>

TickFeeder::TickFeeder(const QStringList &symbols)
    : m_symbols(symbols)
{}

TickFeeder::~TickFeeder()
{
    stop();
}

void TickFeeder::setFlowControl(Applied applied, quint64 maxInFlight)
{
    m_applied = std::move(applied);
    m_maxInFlight = maxInFlight;
}

void TickFeeder::start(double ticksPerSecond)
{
    m_rate.store(ticksPerSecond);
    m_stop.store(false);
    m_done.store(false);
    m_thread = std::thread([this] { run(); });
}

void TickFeeder::setRate(double ticksPerSecond)
{
    m_rate.store(ticksPerSecond);
    m_rateVersion.fetch_add(1);
}

void TickFeeder::stop()
{
    m_stop.store(true);
    if (m_thread.joinable())
        m_thread.join();
}

void TickFeeder::publishOne()
{
    const quint64 k = m_published.load(std::memory_order_relaxed);
    const int index = int(k % quint64(m_symbols.size()));
    const int seq = int(k / quint64(m_symbols.size()));
    const QVariantMap tick = BenchMarket::optionTick(m_symbols.at(index), seq);
    if (m_stamp)
        m_stamp(index, seq);
    BusinessDataInterface::PublishQuotation(QStringLiteral("MDOPTIONRECORD"), tick);
    m_published.store(k + 1, std::memory_order_release);
}

void TickFeeder::run()
{
    using Clock = std::chrono::steady_clock;
    int version = -1;
    Clock::time_point base;
    quint64 baseCount = 0;
    while (!m_stop.load()) {
        if (m_limit && published() >= m_limit)
            break;
        if (m_applied) {
            // Flow controlled: as fast as the consumer keeps up.
            if (published() - m_applied() >= m_maxInFlight) {
                std::this_thread::sleep_for(std::chrono::microseconds(100));
                continue;
            }
            publishOne();
            continue;
        }
        if (version != m_rateVersion.load()) {
            version = m_rateVersion.load();
            base = Clock::now();
            baseCount = published();
        }
        // Catch up with the ticks due by now, then sleep a little: the
        // rate holds on average whatever the sleep's granularity.
        const double seconds = std::chrono::duration<double>(Clock::now() - base).count();
        const quint64 due = baseCount + quint64(seconds * m_rate.load());
        while (published() < due && !m_stop.load() && !(m_limit && published() >= m_limit))
            publishOne();
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    m_done.store(true, std::memory_order_release);
}
