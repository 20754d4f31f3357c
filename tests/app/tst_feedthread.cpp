#include "builtinmarket.h"
#include "feedthread.h"
#include "marketsimulator.h"
#include "replayfeed.h"
#include "simulatorfeed.h"
#include "testsupport.h"

#include <QThread>
#include <QtTest>

#include <mutex>

namespace {

// Collects what a feed publishes, from whichever thread. A std::mutex, so
// that the thread sanitizer sees the locking.
struct Sink
{
    std::mutex lock;
    QStringList symbols;
    QSet<QThread *> threads;
    FeedWorker::Publisher publisher()
    {
        return [this](const QString &kind, const QVariantMap &tick) {
            std::lock_guard<std::mutex> locker(lock);
            symbols.append(kind + QLatin1Char(':') +
                           tick.value(QStringLiteral("Symbol")).toString());
            threads.insert(QThread::currentThread());
        };
    }
    int size()
    {
        std::lock_guard<std::mutex> locker(lock);
        return symbols.size();
    }
};

ReplayTick tick(qint64 t, const char *kind, const char *symbol)
{
    return {t, QLatin1String(kind), {{QStringLiteral("Symbol"), QLatin1String(symbol)}}};
}

} // namespace

class TestFeedThread : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { TestSupport::installWarningGuard(); }
    void cleanup() { VERIFY_NO_UNEXPECTED_WARNINGS(); }

    void replayPlaysInOrderOnFeedThread();
    void simulatorStreamsUntilStopped();
    void destroyedWhileStreaming();
};

void TestFeedThread::replayPlaysInOrderOnFeedThread()
{
    Sink sink;
    FeedThread feed(sink.publisher());
    auto *worker =
        new ReplayFeed({tick(0, "MDMARKETRECORD", "510050.SH"), tick(0, "MDOPTIONRECORD", "a"),
                        tick(40, "MDOPTIONRECORD", "b"), tick(120, "MDOPTIONRECORD", "a")});
    // Counted on this thread: a QSignalSpy would record on the feed thread.
    int finished = 0;
    connect(worker, &ReplayFeed::finished, this, [&finished] { ++finished; });
    feed.start(std::unique_ptr<FeedWorker>(worker));
    QTRY_COMPARE_WITH_TIMEOUT(finished, 1, 20000);
    QCOMPARE(
        sink.symbols,
        (QStringList{QStringLiteral("MDMARKETRECORD:510050.SH"), QStringLiteral("MDOPTIONRECORD:a"),
                     QStringLiteral("MDOPTIONRECORD:b"), QStringLiteral("MDOPTIONRECORD:a")}));
    QCOMPARE(feed.publishedCount(), quint64(4));
    QCOMPARE(sink.threads.size(), 1);
    QVERIFY(!sink.threads.contains(QThread::currentThread()));
    feed.stop();
    QVERIFY(!feed.isRunning());
}

void TestFeedThread::simulatorStreamsUntilStopped()
{
    const QDate today(2025, 12, 5);
    Sink sink;
    FeedThread feed(sink.publisher());
    feed.start(std::make_unique<SimulatorFeed>(
        MarketSimulator(BuiltinMarket::securities(today), today, 9)));
    QVERIFY(feed.isRunning());
    // Two full cycles: every contract has ticked at least once.
    const int contracts = BuiltinMarket::securities(today).size();
    QTRY_VERIFY_WITH_TIMEOUT(sink.size() >= 2 * contracts, 30000);
    feed.stop();
    QVERIFY(!feed.isRunning());
    const int published = sink.size();
    QCOMPARE(feed.publishedCount(), quint64(published));
    QCoreApplication::processEvents();
    QCOMPARE(sink.size(), published); // nothing after stop()

    // A stopped feed takes a new source.
    feed.start(std::make_unique<ReplayFeed>(QList<ReplayTick>{tick(0, "MDOPTIONRECORD", "x")}));
    QTRY_COMPARE_WITH_TIMEOUT(sink.size(), published + 1, 20000);
}

void TestFeedThread::destroyedWhileStreaming()
{
    const QDate today(2025, 12, 5);
    Sink sink;
    {
        FeedThread feed(sink.publisher());
        feed.start(std::make_unique<SimulatorFeed>(
            MarketSimulator(BuiltinMarket::securities(today), today, 1)));
        QTRY_VERIFY_WITH_TIMEOUT(sink.size() > 0, 20000);
    }
    const int published = sink.size();
    QCoreApplication::processEvents();
    QCOMPARE(sink.size(), published);
}

QTEST_GUILESS_MAIN(TestFeedThread)
#include "tst_feedthread.moc"
