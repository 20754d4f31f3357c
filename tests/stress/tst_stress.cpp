#include "fixture.h"

#include "businessdatamanager/businessdatainterface.h"
#include "veldefine/velconstants.h"
#include "velplugin/pluginmanager.h"
#include "velwidget/velpluginbasewidget.h"
#include "velwidget/velpresenterclass.h"
#include "velwidget/veltreemodel.h"
#include "velwidget/veltreeview.h"

#include <QComboBox>
#include <QDate>
#include <QElapsedTimer>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>

#include <atomic>
#include <memory>
#include <thread>

namespace {

// The chains of Fixture::standardMarket(): underlying, number of dates, strikes per date.
struct Chain
{
    QString underlying;
    QList<int> daysAhead;
    int strikes;
};

const QList<Chain> &chains()
{
    static const QList<Chain> c{{QStringLiteral("510050.SH"), {20, 50}, 3},
                                {QStringLiteral("159919.SZ"), {35, 80, 110}, 2}};
    return c;
}

const Chain *chainOf(const QString &underlyingSymbol)
{
    for (const Chain &chain : chains())
        if (chain.underlying == underlyingSymbol)
            return &chain;
    return nullptr;
}

} // namespace

class TestStress : public QObject
{
    Q_OBJECT

private:
    QList<QPointer<VelPluginBaseWidget>> m_pages;
    QStringList m_optionSymbols;

    static QComboBox *combo(QWidget *page, const char *name)
    {
        return page->findChild<QComboBox *>(QLatin1String(name));
    }
    static QPushButton *dateButton(QWidget *page, int i)
    {
        return page->findChild<QPushButton *>(QStringLiteral("pushButton_%1").arg(i + 1));
    }
    static int visibleDateButtons(QWidget *page)
    {
        int n = 0;
        while (dateButton(page, n) && !dateButton(page, n)->isHidden())
            ++n;
        return n;
    }
    static QString shownUnderlying(QWidget *page)
    {
        return combo(page, "comboBox_underlying")->currentData().toString();
    }
    // A presenter that leaves the bus through its base class only, taking
    // every option's ticks.
    std::unique_ptr<VelPresenterClass> plainPresenter()
    {
        auto presenter = std::make_unique<VelPresenterClass>(
            QStringLiteral("plain"), nullptr, IMessageInterface::ThreadType_AllOnBus);
        presenter->Sub(presenter->pluginPid(), QStringLiteral("MDOPTIONRECORD"), 1);
        BusinessDataInterface::SubscribeSecurityQuotation(presenter.get(), m_optionSymbols, 1, 2);
        return presenter;
    }
    void settle() { QVERIFY(Fixture::settle(60000)); }

private slots:
    void initTestCase()
    {
        Fixture::installWarningGuard();
        // This test loads the machine on purpose, so lock holds are slow
        // only because threads are preempted; a hold of seconds still counts.
        if (!qEnvironmentVariableIsSet("VELAPP_SLOW_LOCK_MS"))
            qputenv("VELAPP_SLOW_LOCK_MS", "2000");
        Fixture::expectWarning(QRegularExpression(QStringLiteral("propagateSizeHints")));
        const QList<QVariantMap> market = Fixture::standardMarket();
        for (const QVariantMap &record : market)
            if (record.value(QStringLiteral("mdcSecurityType")) == QLatin1String("OPTION"))
                m_optionSymbols << record.value(QStringLiteral("symbol")).toString();
        Fixture::load(market);
        QString error;
        QVERIFY2(Fixture::loadBoardPlugin(&error), qPrintable(error));
    }

    void cleanupTestCase()
    {
        for (const auto &page : qAsConst(m_pages))
            delete page.data();
        PluginManager::instance()->shutdown();
    }

    void cleanup() { VERIFY_NO_UNEXPECTED_WARNINGS(); }

    void pagesUnderLoad()
    {
        const int cycles = qEnvironmentVariableIsSet("VELAPP_STRESS_CYCLES")
                               ? qEnvironmentVariableIntValue("VELAPP_STRESS_CYCLES")
                               : 1000;
        QVERIFY(cycles > 0);
        QRandomGenerator random(20260);

        std::atomic<bool> stop{false};
        std::atomic<int> published{0};
        const QStringList symbols = m_optionSymbols;
        // Stopped and joined on every way out of this function.
        struct Feeder
        {
            std::atomic<bool> &stop;
            std::thread thread;
            ~Feeder()
            {
                stop = true;
                if (thread.joinable())
                    thread.join();
            }
        } feeder{
            stop, std::thread([&]() {
                QRandomGenerator rnd(7);
                while (!stop) {
                    const QString symbol = symbols.at(rnd.bounded(symbols.size()));
                    const double price = 0.01 + rnd.bounded(1000) / 1000.0;
                    BusinessDataInterface::PublishQuotation(
                        QStringLiteral("MDOPTIONRECORD"),
                        {{QStringLiteral("Symbol"), symbol},
                         {QStringLiteral("LastPrice"), price},
                         {QStringLiteral("PreSettlePrice"), 0.5},
                         {QStringLiteral("Buy1Price"), price - 0.001},
                         {QStringLiteral("Sell1Price"), price + 0.001}});
                    BusinessDataInterface::PublishQuotation(
                        QStringLiteral("MDMARKETRECORD"),
                        {{QStringLiteral("Symbol"), rnd.bounded(2) ? QStringLiteral("510050.SH")
                                                                   : QStringLiteral("159919.SZ")},
                         {QStringLiteral("LastPrice"), 2.9 + rnd.bounded(100) / 1000.0}});
                    published += 2;
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
                }
            })};

        QElapsedTimer elapsed;
        elapsed.start();
        std::unique_ptr<VelPresenterClass> plain = plainPresenter();
        for (int i = 0; i < 3; ++i)
            m_pages.append(Fixture::openPage());

        // Each closed page must be gone with its view and presenter.
        QList<QPointer<QObject>> closed;
        int opened = 3;
        for (int cycle = 0; cycle < cycles; ++cycle) {
            const int p = random.bounded(m_pages.size());
            VelPluginBaseWidget *page = m_pages.at(p);
            QVERIFY(page);
            switch (random.bounded(10)) {
            case 0:
            case 1: { // another underlying
                QComboBox *category = combo(page, "comboBox_underlyingCategory");
                if (category->count() > 1)
                    category->setCurrentIndex((category->currentIndex() + 1) % category->count());
                break;
            }
            case 2:
            case 3:
            case 4: { // one date, or all of them
                const int shown = visibleDateButtons(page);
                if (shown == 0)
                    break;
                const int choice = random.bounded(shown + 1);
                QPushButton *button =
                    choice == shown
                        ? page->findChild<QPushButton *>(QStringLiteral("pushButton_allDate"))
                        : dateButton(page, choice);
                button->click();
                break;
            }
            case 5: // reference data loaded again
                Fixture::putEvent(VelEventType::BaseDataState,
                                  {{QStringLiteral("loadFinish"), true}});
                break;
            case 6:
                page->refreshPluginWidget();
                break;
            case 7: { // closed and another opened, as velapp does
                closed << QPointer<QObject>(page->findChild<VelPresenterClass *>())
                       << QPointer<QObject>(
                              page->findChild<QFrame *>(QStringLiteral("TQuotationFrame")));
                page->doBeforeClose();
                if (random.bounded(2))
                    page->deleteLater();
                else
                    delete page;
                m_pages[p] = Fixture::openPage();
                plain = plainPresenter();
                QVERIFY(m_pages.at(p));
                ++opened;
                break;
            }
            default:
                break;
            }
            QCoreApplication::processEvents();
            // No event loop runs here; do what its next turn would.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }

        // Let the loop's work drain, then make one last choice on every page.
        settle();
        if (QTest::currentTestFailed())
            return;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        for (const auto &object : qAsConst(closed))
            QVERIFY2(object.isNull(), "a closed page's view or presenter is still alive");

        VelPluginBaseWidget *first = m_pages.first();
        QComboBox *firstCategory = combo(first, "comboBox_underlyingCategory");
        const int target = (firstCategory->currentIndex() + 1) % firstCategory->count();
        for (const auto &page : qAsConst(m_pages))
            combo(page, "comboBox_underlyingCategory")->setCurrentIndex(target);
        const QString underlying = shownUnderlying(first);
        const Chain *chain = chainOf(underlying);
        QVERIFY2(chain, qPrintable(underlying));
        settle();
        if (QTest::currentTestFailed())
            return;
        for (const auto &page : qAsConst(m_pages)) {
            QTRY_COMPARE_WITH_TIMEOUT(shownUnderlying(page), underlying, 30000);
            QTRY_COMPARE_WITH_TIMEOUT(visibleDateButtons(page), chain->daysAhead.size(), 30000);
        }

        QList<int> chosen;
        for (const auto &page : qAsConst(m_pages)) {
            chosen << random.bounded(chain->daysAhead.size());
            dateButton(page, chosen.last())->click();
        }
        settle();
        if (QTest::currentTestFailed())
            return;
        for (int p = 0; p < m_pages.size(); ++p) {
            const VelTreeModel *model = m_pages.at(p)->findChild<VelTreeView *>()->model();
            const QString date = QDate::currentDate()
                                     .addDays(chain->daysAhead.at(chosen.at(p)))
                                     .toString(QStringLiteral("yyyy年MM月dd日"));
            QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(), 1, 30000);
            QTRY_COMPARE_WITH_TIMEOUT(model->index(0, 0).data().toString(), date, 30000);
            QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(model->index(0, 0)), chain->strikes, 30000);
        }

        stop = true;
        feeder.thread.join();
        QVERIFY(published > 0);
        qInfo("%d cycles, %d pages opened, %d ticks published in %lld ms", cycles, opened,
              int(published), elapsed.elapsed());

        // Ticks for pages that are gone reach nobody.
        for (const auto &page : qAsConst(m_pages))
            delete page.data();
        m_pages.clear();
        for (const QString &symbol : symbols)
            BusinessDataInterface::PublishQuotation(
                QStringLiteral("MDOPTIONRECORD"),
                {{QStringLiteral("Symbol"), symbol}, {QStringLiteral("LastPrice"), 0.2}});
        settle();
        if (QTest::currentTestFailed())
            return;
    }
};

FIXTURE_TEST_MAIN(TestStress)
#include "tst_stress.moc"
