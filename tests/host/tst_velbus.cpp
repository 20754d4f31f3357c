#include "testsupport.h"

#include "businessdatamanager/businessdatainterface.h"
#include "velevent/eventmessage.h"
#include "velmsg/packmessage.h"
#include "velwidget/velbusobserver.h"
#include "velwidget/velpluginbasewidget.h"
#include "velwidget/velpresenterclass.h"

#include <QPointer>
#include <QSet>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <cmath>
#include <functional>
#include <memory>
#include <mutex>

namespace {

const int kWait = 60000;
const QString kOption = QStringLiteral("MDOPTIONRECORD");
const QString kMarket = QStringLiteral("MDMARKETRECORD");

struct Delivery
{
    QString handler;
    QString src;
    QVariant type;
    QVariantMap row;
    QThread *thread;
};

// Presenters alive right now; a delivery to any other is a fault.
// (std::mutex: unlike QMutex, visible to ThreadSanitizer.)
std::mutex g_liveLock;
QSet<const void *> g_live;
std::atomic<int> g_lateDeliveries{0};

class Recorder : public VelPresenterClass
{
public:
    Recorder(const QString &pid, int threadType, QObject *parent = nullptr)
        : VelPresenterClass(pid, parent, IMessageInterface::ThreadType(threadType))
    {
        std::lock_guard<std::mutex> locker(g_liveLock);
        g_live.insert(this);
    }
    ~Recorder() override
    {
        detach();
        std::lock_guard<std::mutex> locker(g_liveLock);
        g_live.remove(this);
    }

    void ProcQuotationMsg(QString src, QVariant type, QVariant msg) override
    {
        if (record(QStringLiteral("quotation"), src, type, msg) && onQuotation)
            onQuotation(this);
    }
    void ProcEventMsg(QString src, QVariant type, QVariant msg) override
    {
        record(QStringLiteral("event"), src, type, msg);
    }

    QList<Delivery> deliveries(const QString &handler = QString()) const
    {
        std::lock_guard<std::mutex> locker(m_mutex);
        QList<Delivery> result;
        for (const Delivery &d : m_deliveries)
            if (handler.isEmpty() || d.handler == handler)
                result.append(d);
        return result;
    }
    int count() const
    {
        std::lock_guard<std::mutex> locker(m_mutex);
        return m_deliveries.size();
    }
    QList<int> seqs() const
    {
        QList<int> result;
        for (const Delivery &d : deliveries(QStringLiteral("quotation")))
            result << d.row.value(QStringLiteral("seq")).toInt();
        return result;
    }

    // Runs after a quotation is recorded, on the delivering thread.
    std::function<void(Recorder *)> onQuotation;
    std::atomic<int> handlerDelayUs{0};

private:
    bool record(const QString &handler, const QString &src, const QVariant &type,
                const QVariant &msg)
    {
        {
            std::lock_guard<std::mutex> locker(g_liveLock);
            if (!g_live.contains(this)) {
                ++g_lateDeliveries;
                return false;
            }
        }
        CUnPackMessageCommon unpack;
        unpack.SetUnPackMsg(msg, false);
        {
            std::lock_guard<std::mutex> locker(m_mutex);
            m_deliveries.append(
                {handler, src, type, unpack.GetRowValue(), QThread::currentThread()});
        }
        // A slow handler: the presenter must not be destroyed under it.
        const int delay = handlerDelayUs;
        if (delay > 0) {
            QThread::usleep(ulong(delay));
            std::lock_guard<std::mutex> locker(g_liveLock);
            if (!g_live.contains(this)) {
                ++g_lateDeliveries;
                return false;
            }
        }
        return true;
    }

    mutable std::mutex m_mutex;
    QList<Delivery> m_deliveries;
};

QVariantMap tick(const QString &symbol, int seq)
{
    return QVariantMap{{QStringLiteral("Symbol"), symbol},
                       {QStringLiteral("seq"), seq},
                       {QStringLiteral("LastPrice"), 0.1 + seq / 1000.0}};
}

// Runs fn on a thread of its own, as the market feed does, and returns that
// thread (finished) for identity checks.
std::unique_ptr<QThread> onFeedThread(std::function<void()> fn)
{
    std::unique_ptr<QThread> thread(QThread::create(std::move(fn)));
    thread->start();
    thread->wait();
    return thread;
}

QString subscribe(VelPresenterClass *presenter, const QVariant &symbols)
{
    return BusinessDataInterface::SubscribeSecurityQuotation(presenter, symbols, 1, 2);
}

CEventMessageCommon *makeEvent(const QString &src, const QVariant &type, const QVariantMap &row)
{
    CPackMessageCommon pack;
    pack.AddRowVaule(row);
    auto *event = new CEventMessageCommon;
    event->SetSrcid(src);
    event->SetType(type);
    event->SetMsg(pack.GetPackedMsg(false));
    return event;
}

} // namespace

class TestVelBus : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { TestSupport::installWarningGuard(); }
    void cleanup()
    {
        VERIFY_NO_UNEXPECTED_WARNINGS();
        QCOMPARE(g_lateDeliveries.load(), 0);
    }

    void handlersRunOnTheChosenThread_data();
    void handlersRunOnTheChosenThread();
    void deliversOnlySubscribedKindsAndSymbols_data();
    void deliversOnlySubscribedKindsAndSymbols();
    void subscriptionsAdd();
    void newSubscriptionGetsTheLatestTick();
    void keepsPublicationOrder_data();
    void keepsPublicationOrder();
    void eventsReachEverySubscriberIncludingTheSender();
    void badInputIsRefused();
    void detachedPresenterGetsNothing();
    void detachInsideHandler_data();
    void detachInsideHandler();
    void destroyPresentersWhileTicksStream();
    void dataLoadFinishedEndsThePageLoadingState();
};

void TestVelBus::handlersRunOnTheChosenThread_data()
{
    QTest::addColumn<int>("threadType");
    QTest::addColumn<bool>("quotationOnBus");
    QTest::addColumn<bool>("eventOnBus");

    QTest::newRow("all on bus (15)") << 15 << true << true;
    QTest::newRow("own thread (0)") << 0 << false << false;
    QTest::newRow("events on bus (2)") << 2 << false << true;
}

void TestVelBus::handlersRunOnTheChosenThread()
{
    QFETCH(int, threadType);
    QFETCH(bool, quotationOnBus);
    QFETCH(bool, eventOnBus);

    const QString symbol = QStringLiteral("THREAD.") + QString::number(threadType);
    const int eventType = 700000 + threadType;
    Recorder r(QStringLiteral("threads"), threadType);
    QCOMPARE(int(r.threadType()), threadType);
    r.Sub(r.pluginPid(), kOption, 1);
    r.SubEvent(r.pluginPid(), eventType, 1);
    subscribe(&r, QStringList{symbol});

    const auto feed = onFeedThread(
        [symbol]() { BusinessDataInterface::PublishQuotation(kOption, tick(symbol, 1)); });
    r.PutEvent(r.pluginPid(), makeEvent(r.pluginPid(), eventType, {}));
    QTRY_COMPARE_WITH_TIMEOUT(r.count(), 2, kWait);

    QThread *main = QThread::currentThread();
    for (const Delivery &d : r.deliveries()) {
        const bool onBus = d.handler == QLatin1String("quotation") ? quotationOnBus : eventOnBus;
        QVERIFY2(d.thread != feed.get(), qPrintable(d.handler));
        QVERIFY2((d.thread != main) == onBus, qPrintable(d.handler));
    }
}

void TestVelBus::deliversOnlySubscribedKindsAndSymbols_data()
{
    QTest::addColumn<int>("threadType");
    QTest::newRow("on bus") << 15;
    QTest::newRow("own thread") << 0;
}

void TestVelBus::deliversOnlySubscribedKindsAndSymbols()
{
    QFETCH(int, threadType);
    const QString a = QStringLiteral("FILTER.A.") + QString::number(threadType);
    const QString b = QStringLiteral("FILTER.B.") + QString::number(threadType);

    Recorder r(QStringLiteral("filter"), threadType);
    r.Sub(r.pluginPid(), kOption, 1);
    subscribe(&r, QStringList{a});
    onFeedThread([a, b]() {
        BusinessDataInterface::PublishQuotation(kMarket, tick(a, 1)); // kind not subscribed
        BusinessDataInterface::PublishQuotation(kOption, tick(b, 2)); // symbol not subscribed
        BusinessDataInterface::PublishQuotation(kOption, tick(a, 3));
        BusinessDataInterface::PublishQuotation(QStringLiteral("OTHER"), tick(a, 4));
        BusinessDataInterface::PublishQuotation(kOption, tick(a, 5));
    });
    // Deliveries keep publication order, so once 5 is in nothing else can follow.
    QTRY_VERIFY_WITH_TIMEOUT(r.seqs().contains(5), kWait);
    QCOMPARE(r.seqs(), (QList<int>{3, 5}));
    for (const Delivery &d : r.deliveries()) {
        QCOMPARE(d.type.userType(), int(QMetaType::QString));
        QCOMPARE(d.type.toString(), kOption);
        QCOMPARE(d.src, a);
        QCOMPARE(d.row.value(QStringLiteral("Symbol")).toString(), a);
    }
}

void TestVelBus::subscriptionsAdd()
{
    const QString a = QStringLiteral("ADD.A"), b = QStringLiteral("ADD.B"),
                  c = QStringLiteral("ADD.C");
    Recorder r(QStringLiteral("additive"), 15);
    r.Sub(r.pluginPid(), kOption, 1);

    // The answer lists what is new; nothing earlier is dropped.
    QCOMPARE(subscribe(&r, QStringList{a}), a);
    QCOMPARE(subscribe(&r, QStringList{a, b, QString(), b}), b);
    QCOMPARE(subscribe(&r, QVariant(c)), c);
    QCOMPARE(subscribe(&r, QVariantList{a, c}), QString());
    QCOMPARE(subscribe(&r, QStringList{}), QString());

    onFeedThread([=]() {
        BusinessDataInterface::PublishQuotation(kOption, tick(a, 1));
        BusinessDataInterface::PublishQuotation(kOption, tick(b, 2));
        BusinessDataInterface::PublishQuotation(kOption, tick(c, 3));
    });
    QTRY_COMPARE_WITH_TIMEOUT(r.seqs(), (QList<int>{1, 2, 3}), kWait);
}

void TestVelBus::newSubscriptionGetsTheLatestTick()
{
    const QString x = QStringLiteral("IMAGE.X"), y = QStringLiteral("IMAGE.Y"),
                  z = QStringLiteral("IMAGE.Z");
    QVERIFY(BusinessDataInterface::LatestQuotation(x).isEmpty());
    onFeedThread([=]() {
        BusinessDataInterface::PublishQuotation(kOption, tick(x, 1));
        BusinessDataInterface::PublishQuotation(kOption, tick(x, 2));
        BusinessDataInterface::PublishQuotation(kMarket, tick(y, 3));
    });
    QCOMPARE(BusinessDataInterface::LatestQuotation(x), tick(x, 2));
    QCOMPARE(BusinessDataInterface::LatestQuotation(y), tick(y, 3));

    // Only option records are wanted: the image of Y (a market record) is not.
    Recorder r(QStringLiteral("image"), 15);
    r.Sub(r.pluginPid(), kOption, 1);
    subscribe(&r, QStringList{x, y, z});
    BusinessDataInterface::PublishQuotation(kOption, tick(x, 4));
    QTRY_VERIFY_WITH_TIMEOUT(r.seqs().contains(4), kWait);
    QCOMPARE(r.seqs(), (QList<int>{2, 4}));

    // A later subscriber starts from the newest tick; subscribing again asks
    // for the image again.
    Recorder late(QStringLiteral("image.late"), 0);
    late.Sub(late.pluginPid(), kOption, 1);
    late.Sub(late.pluginPid(), kMarket, 1);
    subscribe(&late, QStringList{x, y});
    subscribe(&r, QStringList{x});
    BusinessDataInterface::PublishQuotation(kOption, tick(z, 5));
    QTRY_VERIFY_WITH_TIMEOUT(r.seqs().contains(5), kWait);
    QCOMPARE(r.seqs(), (QList<int>{2, 4, 4, 5}));
    QTRY_COMPARE_WITH_TIMEOUT(late.seqs(), (QList<int>{4, 3}), kWait);
    QCOMPARE(late.deliveries().at(1).type.toString(), kMarket);
}

void TestVelBus::keepsPublicationOrder_data()
{
    QTest::addColumn<int>("threadType");
    QTest::newRow("on bus") << 15;
    QTest::newRow("own thread") << 0;
}

void TestVelBus::keepsPublicationOrder()
{
    QFETCH(int, threadType);
    const int ticks = 3000;
    QStringList symbols;
    for (int i = 0; i < 3; ++i)
        symbols << QStringLiteral("ORDER.%1.%2").arg(threadType).arg(i);

    Recorder r(QStringLiteral("order"), threadType);
    r.Sub(r.pluginPid(), kOption, 1);
    subscribe(&r, symbols);
    onFeedThread([&symbols, ticks]() {
        for (int i = 0; i < ticks; ++i)
            BusinessDataInterface::PublishQuotation(kOption, tick(symbols.at(i % 3), i));
    });
    QTRY_COMPARE_WITH_TIMEOUT(r.count(), ticks, kWait);
    const QList<int> seqs = r.seqs();
    for (int i = 0; i < ticks; ++i)
        QCOMPARE(seqs.at(i), i);
}

void TestVelBus::eventsReachEverySubscriberIncludingTheSender()
{
    std::mutex observedLock;
    QStringList observed;
    VelBusObserver::setEventObserver([&](int type, const QString &src, const QVariant &msg) {
        CUnPackMessageCommon unpack;
        unpack.SetUnPackMsg(msg, false);
        std::lock_guard<std::mutex> locker(observedLock);
        observed << QStringLiteral("%1 %2 %3")
                        .arg(type)
                        .arg(src, unpack.GetRowValue().keys().join(QLatin1Char(',')));
    });

    Recorder a(QStringLiteral("pageA"), 15), b(QStringLiteral("pageB"), 0),
        c(QStringLiteral("pageC"), 15);
    a.SubEvent(a.pluginPid(), 213331, 1);
    b.SubEvent(b.pluginPid(), QVariant(213331), 1);
    b.SubEvent(b.pluginPid(), 69647, 1);
    c.SubEvent(c.pluginPid(), 69647, 1);

    a.PutEvent(a.pluginPid(), makeEvent(QStringLiteral("pageA"), 213331,
                                        {{QStringLiteral("symbol"), QStringLiteral("510050.SH")}}));
    // No source on the event: the publisher's id stands in.
    c.PutEvent(c.pluginPid(),
               makeEvent(QString(), QVariant(69647), {{QStringLiteral("loadFinish"), true}}));
    // A closing 213331, so that everything before it has been dispatched.
    b.PutEvent(b.pluginPid(),
               makeEvent(QStringLiteral("pageB"), 213331, {{QStringLiteral("end"), 1}}));
    {
        std::lock_guard<std::mutex> locker(observedLock);
        QCOMPARE(observed, (QStringList{QStringLiteral("213331 pageA symbol"),
                                        QStringLiteral("69647 pageC loadFinish"),
                                        QStringLiteral("213331 pageB end")}));
    }
    VelBusObserver::setEventObserver({});

    QTRY_COMPARE_WITH_TIMEOUT(a.count(), 2, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(b.count(), 3, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(c.count(), 1, kWait);

    const Delivery own = a.deliveries().at(0);
    QCOMPARE(own.handler, QStringLiteral("event"));
    QCOMPARE(own.src, QStringLiteral("pageA"));
    QCOMPARE(own.type.userType(), int(QMetaType::Int));
    QCOMPARE(own.type.toInt(), 213331);
    QCOMPARE(own.row.value(QStringLiteral("symbol")).toString(), QStringLiteral("510050.SH"));
    QCOMPARE(a.deliveries().at(1).src, QStringLiteral("pageB"));

    QStringList bSeen;
    for (const Delivery &d : b.deliveries())
        bSeen << QString::number(d.type.toInt()) + QLatin1Char(' ') + d.src;
    QCOMPARE(bSeen, (QStringList{QStringLiteral("213331 pageA"), QStringLiteral("69647 pageC"),
                                 QStringLiteral("213331 pageB")}));
    QCOMPARE(c.deliveries().at(0).src, QStringLiteral("pageC"));
    QCOMPARE(c.deliveries().at(0).row.value(QStringLiteral("loadFinish")).toBool(), true);
}

void TestVelBus::badInputIsRefused()
{
    Recorder r(QStringLiteral("bad"), 15);
    r.SubEvent(r.pluginPid(), 4242, 1);
    r.Sub(r.pluginPid(), kOption, 1);
    subscribe(&r, QStringList{QStringLiteral("BAD.X")});

    const auto expect = [](const char *pattern) {
        const QRegularExpression re(QString::fromLatin1(pattern));
        TestSupport::expectWarning(re);
        QTest::ignoreMessage(QtWarningMsg, re);
    };
    expect("PutEvent from bad without an event");
    r.PutEvent(r.pluginPid(), nullptr);
    expect("event type abc is not an int; dropped");
    r.PutEvent(r.pluginPid(), makeEvent(r.pluginPid(), QStringLiteral("abc"), {}));
    expect("dropped a tick without Symbol");
    BusinessDataInterface::PublishQuotation(kOption, {{QStringLiteral("LastPrice"), 1.0}});
    expect("dropped a tick without kind");
    BusinessDataInterface::PublishQuotation(QString(), tick(QStringLiteral("BAD.X"), 1));
    expect("Sub with an empty quotation kind ignored");
    r.Sub(r.pluginPid(), QVariant(), 1);
    expect("SubEvent with event type x ignored");
    r.SubEvent(r.pluginPid(), QStringLiteral("x"), 1);
    expect("SubscribeSecurityQuotation without a presenter ignored");
    QCOMPARE(subscribe(nullptr, QStringList{QStringLiteral("BAD.X")}), QString());

    // Nothing of the above reached the presenter; a good event still does.
    r.PutEvent(r.pluginPid(), makeEvent(r.pluginPid(), 4242, {}));
    QTRY_COMPARE_WITH_TIMEOUT(r.count(), 1, kWait);
    QCOMPARE(r.deliveries().at(0).type.toInt(), 4242);
}

void TestVelBus::detachedPresenterGetsNothing()
{
    const QString symbol = QStringLiteral("DETACH.D");
    Recorder p(QStringLiteral("detached"), 15), witness(QStringLiteral("witness"), 15);
    for (Recorder *r : {&p, &witness}) {
        r->Sub(r->pluginPid(), kOption, 1);
        subscribe(r, QStringList{symbol});
    }
    p.detach();
    p.detach(); // twice is harmless
    // After leaving, subscribing is a no-op rather than a fault.
    QCOMPARE(subscribe(&p, QStringList{QStringLiteral("DETACH.E")}), QString());
    p.Sub(p.pluginPid(), kMarket, 1);

    BusinessDataInterface::PublishQuotation(kOption, tick(symbol, 1));
    QTRY_COMPARE_WITH_TIMEOUT(witness.count(), 1, kWait);
    QCOMPARE(p.count(), 0);
}

void TestVelBus::detachInsideHandler_data()
{
    QTest::addColumn<int>("threadType");
    QTest::newRow("on bus") << 15;
    QTest::newRow("own thread") << 0;
}

void TestVelBus::detachInsideHandler()
{
    QFETCH(int, threadType);
    const QString symbol = QStringLiteral("INSIDE.") + QString::number(threadType);
    std::atomic<bool> returned{false};

    Recorder r(QStringLiteral("inside"), threadType),
        witness(QStringLiteral("witness"), threadType);
    // Leaving the bus from the handler it is running must not wait for itself.
    r.onQuotation = [&returned](Recorder *self) {
        self->detach();
        returned = true;
    };
    for (Recorder *p : {&r, &witness}) {
        p->Sub(p->pluginPid(), kOption, 1);
        subscribe(p, QStringList{symbol});
    }
    BusinessDataInterface::PublishQuotation(kOption, tick(symbol, 1));
    QTRY_VERIFY_WITH_TIMEOUT(returned.load(), kWait);
    BusinessDataInterface::PublishQuotation(kOption, tick(symbol, 2));
    BusinessDataInterface::PublishQuotation(kOption, tick(symbol, 3));
    QTRY_COMPARE_WITH_TIMEOUT(witness.seqs(), (QList<int>{1, 2, 3}), kWait);
    QCOMPARE(r.seqs(), QList<int>{1});
}

void TestVelBus::destroyPresentersWhileTicksStream()
{
    const int symbolCount = 8;
    QStringList symbols;
    for (int i = 0; i < symbolCount; ++i)
        symbols << QStringLiteral("STREAM.%1").arg(i);
    std::atomic<bool> stop{false};
    std::unique_ptr<QThread> feed(QThread::create([&]() {
        for (int seq = 0; !stop; ++seq) {
            BusinessDataInterface::PublishQuotation(kOption,
                                                    tick(symbols.at(seq % symbolCount), seq));
            if (seq % symbolCount == 0)
                QThread::usleep(1000);
        }
    }));
    feed->start();

    for (int i = 0; i < 200; ++i) {
        const int threadType = i % 2 ? 15 : 0;
        auto *r = new Recorder(QStringLiteral("stream.%1").arg(i), threadType);
        r->handlerDelayUs = threadType ? 200 : 0;
        r->Sub(r->pluginPid(), kOption, 1);
        subscribe(r, QStringList{symbols.at(i % symbolCount), symbols.at((i + 3) % symbolCount)});
        QTRY_VERIFY_WITH_TIMEOUT(r->count() > 0, kWait);
        switch (i % 3) {
        case 0:
            delete r;
            break;
        case 1: {
            QPointer<Recorder> guard(r);
            r->deleteLater();
            QTRY_VERIFY_WITH_TIMEOUT(guard.isNull(), kWait);
            break;
        }
        case 2: {
            r->detach();
            const int seen = r->count();
            QCoreApplication::processEvents();
            QCOMPARE(r->count(), seen);
            delete r;
            break;
        }
        }
    }
    stop = true;
    QVERIFY(feed->wait(kWait));
    QCoreApplication::processEvents();
    QCOMPARE(g_lateDeliveries.load(), 0);
}

void TestVelBus::dataLoadFinishedEndsThePageLoadingState()
{
    VelPluginBaseWidget page;
    page.setLoadingState(1);
    auto *presenter = new Recorder(QStringLiteral("page"), 15, &page);
    QSignalSpy finished(presenter, &VelPresenterClass::signalDataLoadFinished);
    QVERIFY(finished.isValid());
    emit presenter->signalDataLoadFinished();
    QCOMPARE(finished.count(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(page.loadingState(), 0, kWait);

    // Any other parent: nothing to end, nothing to break.
    QObject plain;
    auto *other = new Recorder(QStringLiteral("plain"), 15, &plain);
    emit other->signalDataLoadFinished();
    QCoreApplication::processEvents();
    QCOMPARE(page.loadingState(), 0);
}

QTEST_MAIN(TestVelBus)
#include "tst_velbus.moc"
