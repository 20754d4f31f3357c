#pragma once

#include <QStringList>

#include <atomic>
#include <functional>
#include <thread>

// A feed on its own thread: publishes option ticks on the host's quotation
// bus, round robin over symbols, at a set rate (or as fast as a bound on
// unapplied ticks allows). Tick k is tick number k / n of symbol k % n.
class TickFeeder
{
public:
    // Called on the feeder thread just before tick seq of symbols[index] goes out.
    using Stamp = std::function<void(int index, int seq)>;
    // How many published ticks the consumer has applied so far.
    using Applied = std::function<quint64()>;

    explicit TickFeeder(const QStringList &symbols);
    ~TickFeeder();

    void setStamp(Stamp stamp) { m_stamp = std::move(stamp); }
    // Unlimited rate, but never more than maxInFlight ticks ahead of applied().
    void setFlowControl(Applied applied, quint64 maxInFlight);
    // Stop by itself after total ticks (0: never).
    void setLimit(quint64 total) { m_limit = total; }

    void start(double ticksPerSecond);
    // Takes effect at once; the pace restarts from now.
    void setRate(double ticksPerSecond);
    void stop();
    quint64 published() const { return m_published.load(std::memory_order_acquire); }
    bool isDone() const { return m_done.load(std::memory_order_acquire); }

private:
    void run();
    void publishOne();

    QStringList m_symbols;
    Stamp m_stamp;
    Applied m_applied;
    quint64 m_maxInFlight = 0;
    quint64 m_limit = 0;
    std::atomic<double> m_rate{0};
    std::atomic<int> m_rateVersion{0};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_done{false};
    std::atomic<quint64> m_published{0};
    std::thread m_thread;
};
