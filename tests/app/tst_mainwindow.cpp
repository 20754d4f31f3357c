#include "builtinmarket.h"
#include "feedthread.h"
#include "mainwindow.h"
#include "marketsimulator.h"
#include "pagefactory.h"
#include "pagesnapshot.h"
#include "simulatorfeed.h"
#include "testsupport.h"

#include "velbusinessdata/businessdatabase.h"
#include "veldefine/velconstants.h"
#include "velevent/eventmessage.h"
#include "velmsg/packmessage.h"
#include "velplugin/pluginmanager.h"
#include "velwidget/velpluginbasewidget.h"
#include "velwidget/velpresenterclass.h"

#include <QAction>
#include <QJsonArray>
#include <QPointer>
#include <QTabWidget>
#include <QtTest>

namespace {

int rowCount(const VelPluginBaseWidget *page)
{
    return PageSnapshot::capture(page).value(QStringLiteral("rows")).toArray().size();
}

// True once some strike row of page shows a call bid.
bool showsPrices(const VelPluginBaseWidget *page)
{
    const QJsonArray groups = PageSnapshot::capture(page).value(QStringLiteral("rows")).toArray();
    for (const QJsonValue &group : groups) {
        for (const QJsonValue &row : group.toObject().value(QStringLiteral("children")).toArray()) {
            const QJsonObject bid = row.toObject()
                                        .value(QStringLiteral("cells"))
                                        .toObject()
                                        .value(QStringLiteral("0"))
                                        .toObject();
            if (bid.value(QStringLiteral("256")).toString().contains(QStringLiteral("###")))
                return true;
        }
    }
    return false;
}

QAction *findAction(const MainWindow &window, const QString &text)
{
    const QList<QAction *> actions = window.findChildren<QAction *>();
    for (QAction *action : actions) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

} // namespace

// The window hosting real T-board pages, as velapp runs it.
class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup() { VERIFY_NO_UNEXPECTED_WARNINGS(); }
    void cleanupTestCase();

    void descriptorsThatMakeNoPage();
    void pagesFollowDataAndSurviveClosingWhileStreaming();

private:
    QList<PageType> m_types;
};

void TestMainWindow::initTestCase()
{
    TestSupport::installWarningGuard();
    const QString dir = qEnvironmentVariable("VELAPP_PLUGIN_DIR");
    QVERIFY2(!dir.isEmpty(), "VELAPP_PLUGIN_DIR is not set");
    const QList<PluginSpec *> pluginInfos = PluginManager::instance()->loadPlugins(dir);
    for (const PluginSpec *pluginInfo : pluginInfos)
        QVERIFY2(!pluginInfo->hasError(), qPrintable(pluginInfo->errorString()));
    m_types = PageFactory::findPageTypes(PluginManager::instance()->allObjects());
    QCOMPARE(m_types.size(), 1);
    QCOMPARE(m_types.first().id, QStringLiteral("VELApp.TQuotationWidget"));
}

void TestMainWindow::cleanupTestCase()
{
    PluginManager::instance()->shutdown();
    CBusinessDataBase::GetInstance()->clear();
}

void TestMainWindow::descriptorsThatMakeNoPage()
{
    QObject noMetaId;
    noMetaId.setProperty("id", QStringLiteral("x.NoMeta"));
    QObject notAWidget;
    notAWidget.setProperty("id", QStringLiteral("x.String"));
    notAWidget.setProperty("metaId", int(QMetaType::QString));
    QObject unregistered;
    unregistered.setProperty("id", QStringLiteral("x.Unknown"));
    unregistered.setProperty("metaId", 987654);
    const QList<PageType> types =
        PageFactory::findPageTypes({&noMetaId, nullptr, &notAWidget, &unregistered});
    QCOMPARE(types.size(), 2);
    MainWindow window;
    for (const PageType &type : types) {
        TestSupport::expectWarning(
            QRegularExpression(QStringLiteral("page type %1: meta-type").arg(type.id)));
        QVERIFY(!window.openPage(type));
    }
    QVERIFY(window.pages().isEmpty());
}

void TestMainWindow::pagesFollowDataAndSurviveClosingWhileStreaming()
{
    const QDate today = QDate::currentDate();
    // The offscreen platform's notice about native windows it does not have.
    TestSupport::expectWarning(QRegularExpression(QStringLiteral("propagateSizeHints")));
    // On a loaded machine the host's lock diagnostics may report a long hold.
    TestSupport::expectWarning(QRegularExpression(QStringLiteral("^held \\d+ ms at ")));
    MainWindow window;
    window.setPageTypes(m_types);
    window.show();
    VelPluginBaseWidget *first = window.openPage(m_types.first());
    VelPluginBaseWidget *second = window.openPage(m_types.first());
    QVERIFY(first && second);
    QCOMPARE(window.pages().size(), 2);
    QCOMPARE(first->pluginWidgetTitle(), QStringLiteral("T型行情"));
    QCOMPARE(window.findChild<QTabWidget *>()->tabText(1), QStringLiteral("T型行情"));
    QCOMPARE(first->loadingState(), 1);

    // Base data arrive after the pages exist, announced on the bus.
    const QList<QVariantMap> securities = BuiltinMarket::securities(today);
    CBusinessDataBase::GetInstance()->loadSecurities(securities);
    VelPresenterClass host(QStringLiteral("velapp"), nullptr, IMessageInterface::ThreadType_Main);
    CPackMessageCommon pack;
    pack.AddRowVaule({{QStringLiteral("loadFinish"), true}});
    auto *event = new CEventMessageCommon;
    event->SetSrcid(host.pluginPid());
    event->SetType(int(VelEventType::BaseDataState));
    event->SetMsg(pack.GetPackedMsg(false));
    host.PutEvent(host.pluginPid(), event);
    QTRY_COMPARE_WITH_TIMEOUT(rowCount(first), 4, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(rowCount(second), 4, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(first->loadingState(), 0, 30000);

    FeedThread feed;
    feed.start(std::make_unique<SimulatorFeed>(MarketSimulator(securities, today, 11)));
    QTRY_VERIFY_WITH_TIMEOUT(showsPrices(first), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(showsPrices(second), 30000);

    // Closing a page while its presenter receives ticks.
    QPointer<VelPluginBaseWidget> closed(first);
    QVERIFY(window.closePage(first));
    QCOMPARE(window.pages().size(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(closed.isNull(), 30000);
    const quint64 before = feed.publishedCount();
    QTRY_VERIFY_WITH_TIMEOUT(feed.publishedCount() > before + 500, 30000);
    QVERIFY(!window.closePage(nullptr));

    // A page opened while streaming loads and fills as well.
    VelPluginBaseWidget *third = window.openPage(m_types.first());
    QVERIFY(third);
    QTRY_COMPARE_WITH_TIMEOUT(rowCount(third), 4, 30000);
    QTRY_VERIFY_WITH_TIMEOUT(showsPrices(third), 30000);

    // Refresh goes to the current page and ends in its loaded state.
    window.findChild<QTabWidget *>()->setCurrentWidget(second);
    QSignalSpy loading(second, &VelPluginBaseWidget::loadingStateChanged);
    QVERIFY(loading.isValid());
    window.refreshCurrentPage();
    QTRY_COMPARE_WITH_TIMEOUT(loading.count(), 2, 30000);
    QCOMPARE(loading.at(0).at(0).toInt(), 1);
    QCOMPARE(loading.at(1).at(0).toInt(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(rowCount(second), 4, 30000);

    window.closeCurrentPage();
    QCOMPARE(window.pages(), QList<VelPluginBaseWidget *>{third});

    // The menu offers the page type by the title its pages carry.
    QAction *open = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((open = findAction(window, QStringLiteral("T型行情"))) != nullptr,
                             30000);
    open->trigger();
    QCOMPARE(window.pages().size(), 2);
    QCOMPARE(window.currentPage(), window.pages().last());
    window.closeAllPages();
    QVERIFY(window.pages().isEmpty());
    feed.stop();
    host.detach();
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
