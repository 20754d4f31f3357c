#include "testsupport.h"

#include "businessdatamanager/businessdatainterface.h"
#include "velbusinessdata/businessdatabase.h"
#include "veldatabase/database.h"
#include "veldefine/velconstants.h"
#include "veldefine/veldefine.h"
#include "velevent/eventmessage.h"
#include "velmsg/packmessage.h"
#include "velplugin/iplugin.h"
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
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <thread>

namespace {

// An event type no page subscribes to: it only marks a point in the bus's queue.
const int kMarkerEvent = 0x7F0001;

struct Chain
{
    QString underlying;
    QString post;
    QList<int> daysAhead;
    QList<double> strikes;
};

const QList<Chain> &chains()
{
    static const QList<Chain> c{
        {QStringLiteral("510050"), QStringLiteral("SH"), {20, 50}, {2.9, 2.95, 3.0}},
        {QStringLiteral("159919"), QStringLiteral("SZ"), {35, 80, 110}, {3.5, 4.0}}};
    return c;
}

QString dateAhead(int days)
{
    return QDate::currentDate().addDays(days).toString(QStringLiteral("yyyyMMdd"));
}

QVariantMap fund(const QString &symbol, const QString &name, const QString &post)
{
    return {{Ostrel_Fields::Security::symbol, symbol},
            {Ostrel_Fields::Security::securityID, symbol.section(QLatin1Char('.'), 0, 0)},
            {Ostrel_Fields::Security::chineseName, name},
            {Ostrel_Fields::MDCFieldDefine::mdcSecurityType,
             Ostrel_Values::MdcSecurityType::FundType},
            {Ostrel_Fields::UserAccount::SymbolPost, post}};
}

// Every option of the chains, with the symbols the feeder ticks.
QList<QVariantMap> referenceData(QStringList *optionSymbols)
{
    QList<QVariantMap> records{
        fund(QStringLiteral("510050.SH"), QStringLiteral("50ETF"), QStringLiteral("SH")),
        fund(QStringLiteral("159919.SZ"), QStringLiteral("深300ETF"), QStringLiteral("SZ"))};
    int id = 10000001;
    for (const Chain &chain : chains()) {
        for (int days : chain.daysAhead) {
            for (double strike : chain.strikes) {
                for (const char *side : {"C", "P"}) {
                    const QString symbol = QString::number(id) + QLatin1Char('.') + chain.post;
                    optionSymbols->append(symbol);
                    records.append(
                        {{Ostrel_Fields::Security::symbol, symbol},
                         {Ostrel_Fields::Security::securityID, QString::number(id)},
                         {Ostrel_Fields::Security::chineseName,
                          QString(QStringLiteral("期权") + QString::number(id))},
                         {Ostrel_Fields::Security::underlyingSecurityID, chain.underlying},
                         {Ostrel_Fields::Security::PutOrCall, QString::fromLatin1(side)},
                         {Ostrel_Fields::Security::StrikeDate, dateAhead(days)},
                         {Ostrel_Fields::Security::StrikePrice, strike},
                         {Ostrel_Fields::MDCFieldDefine::mdcSecurityType,
                          Ostrel_Values::MdcSecurityType::OptionType},
                         {Ostrel_Fields::MDCFieldDefine::mdcSubSecurityType,
                          Ostrel_Values::MdcSubSecurityType::ETFoption},
                         {Ostrel_Fields::UserAccount::SymbolPost, chain.post}});
                    ++id;
                }
            }
        }
    }
    return records;
}

const Chain *chainOf(const QString &underlyingSymbol)
{
    for (const Chain &chain : chains()) {
        if (underlyingSymbol == chain.underlying + QLatin1Char('.') + chain.post)
            return &chain;
    }
    return nullptr;
}

// Counts the markers the bus hands back on the GUI thread.
class Marker : public VelPresenterClass
{
public:
    Marker()
        : VelPresenterClass(QStringLiteral("stress-marker"), nullptr,
                            IMessageInterface::ThreadType_Main)
    {
        SubEvent(pluginPid(), QVariant(kMarkerEvent), 1);
    }
    void ProcEventMsg(QString, QVariant type, QVariant) override
    {
        if (type.toInt() == kMarkerEvent)
            ++received;
    }
    int received = 0;
};

} // namespace

class TestStress : public QObject
{
    Q_OBJECT

private:
    int m_metaId = QMetaType::UnknownType;
    QList<QPointer<VelPluginBaseWidget>> m_pages;
    QStringList m_optionSymbols;
    Marker *m_host = nullptr;

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

    // The way velapp opens a page.
    VelPluginBaseWidget *openPage()
    {
        auto *page = qobject_cast<VelPluginBaseWidget *>(
            static_cast<QObject *>(QMetaType::create(m_metaId)));
        if (!page)
            return nullptr;
        page->setLoadingState(1);
        page->loadSkin(
            QString(qEnvironmentVariable("VELAPP_PLUGIN_DIR") + QStringLiteral("/../skin")));
        page->initPluginWidget();
        page->resize(1200, 500);
        page->show();
        return page;
    }

    void putEvent(int type, const QVariantMap &row)
    {
        CPackMessageCommon pack;
        pack.AddRowVaule(row);
        auto *event = new CEventMessageCommon;
        event->SetSrcid(m_host->pluginPid());
        event->SetType(type);
        event->SetMsg(pack.GetPackedMsg(false));
        m_host->PutEvent(m_host->pluginPid(), event);
    }

    // Returns once everything put on the bus before has been delivered.
    void settle()
    {
        const int before = m_host->received;
        putEvent(kMarkerEvent, {{QStringLiteral("marker"), before}});
        QTRY_VERIFY_WITH_TIMEOUT(m_host->received > before, 60000);
        QCoreApplication::processEvents();
    }

private slots:
    void initTestCase()
    {
        TestSupport::installWarningGuard();
        // This test loads the machine on purpose, so lock holds are slow
        // only because threads are preempted; a hold of seconds still counts.
        if (!qEnvironmentVariableIsSet("VELAPP_SLOW_LOCK_MS"))
            qputenv("VELAPP_SLOW_LOCK_MS", "2000");
        // Offscreen windows cannot propagate size hints; said once per page.
        TestSupport::expectWarning(
            QRegularExpression(QStringLiteral("does not support propagateSizeHints")));
        CDataBase::setDatabasePath(TestSupport::scratchDir(QStringLiteral("stress")) +
                                   QStringLiteral("/velapp.sqlite"));
        CBusinessDataBase::GetInstance()->loadSecurities(referenceData(&m_optionSymbols));

        const QList<PluginSpec *> pluginInfos =
            PluginManager::instance()->loadPlugins(qEnvironmentVariable("VELAPP_PLUGIN_DIR"));
        QCOMPARE(pluginInfos.size(), 1);
        QVERIFY2(!pluginInfos.first()->hasError(), qPrintable(pluginInfos.first()->errorString()));
        for (QObject *descriptor : PluginManager::instance()->allObjects()) {
            if (descriptor->objectName() == QLatin1String("TQuotationWidget"))
                m_metaId = descriptor->property("metaId").toInt();
        }
        QVERIFY(m_metaId != QMetaType::UnknownType);
        m_host = new Marker;
    }

    void cleanupTestCase()
    {
        for (const auto &page : qAsConst(m_pages))
            delete page.data();
        delete m_host;
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
        } feeder{stop, std::thread([&]() {
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
                    {{QStringLiteral("Symbol"),
                      rnd.bounded(2) ? QStringLiteral("510050.SH") : QStringLiteral("159919.SZ")},
                     {QStringLiteral("LastPrice"), 2.9 + rnd.bounded(100) / 1000.0}});
                published += 2;
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        })};

        QElapsedTimer elapsed;
        elapsed.start();
        for (int i = 0; i < 3; ++i)
            m_pages.append(openPage());

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
                    choice == shown ? page->findChild<QPushButton *>(
                                          QStringLiteral("pushButton_allDate"))
                                    : dateButton(page, choice);
                button->click();
                break;
            }
            case 5: // reference data loaded again
                putEvent(VelEventType::BaseDataState, {{QStringLiteral("loadFinish"), true}});
                break;
            case 6:
                page->refreshPluginWidget();
                break;
            case 7: { // closed and another opened, as velapp does
                closed << QPointer<QObject>(page->findChild<VelPresenterClass *>())
                       << QPointer<QObject>(page->findChild<QFrame *>(
                              QStringLiteral("TQuotationFrame")));
                page->doBeforeClose();
                if (random.bounded(2))
                    page->deleteLater();
                else
                    delete page;
                m_pages[p] = openPage();
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
            QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(model->index(0, 0)), chain->strikes.size(),
                                      30000);
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

QTEST_MAIN(TestStress)
#include "tst_stress.moc"
