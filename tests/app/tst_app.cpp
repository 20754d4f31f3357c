#include "feed/feedthread.h"
#include "feed/simulatorfeed.h"
#include "fixture.h"
#include "market/builtinmarket.h"
#include "market/marketsimulator.h"
#include "market/optionpricer.h"
#include "pages/boardface.h"
#include "pages/chartpage.h"
#include "session/pagesnapshot.h"
#include "window/desklayout.h"
#include "window/mainwindow.h"
#include "window/pagefactory.h"

#include "velbusinessdata/businessdatabase.h"
#include "veldatabase/database.h"
#include "veldefine/velconstants.h"
#include "velevent/eventmessage.h"
#include "velmsg/packmessage.h"
#include "velplugin/pluginmanager.h"
#include "velwidget/velpluginbasewidget.h"
#include "velwidget/velpresenterclass.h"
#include "velwidget/veltreemodel.h"
#include "velwidget/veltreeview.h"

#include <QAction>
#include <QComboBox>
#include <QDate>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTreeView>
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

// The application: its window hosting real T-board pages, and the built
// velapp run headless the way a user or a script runs it.
class TestApp : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup() { VERIFY_NO_UNEXPECTED_WARNINGS(); }
    void cleanupTestCase();

    void descriptorsThatMakeNoPage();
    void pagesFollowDataAndSurviveClosingWhileStreaming();
    void keysOpenCloseAndCyclePages();
    void layoutComesBack();
    void headlessRunsLeaveTheLayout_data();
    void headlessRunsLeaveTheLayout();
    void builtinMarketDump();
    void refusedBeforeAnyWindow_data();
    void refusedBeforeAnyWindow();
    void answeredWithoutADisplay_data();
    void answeredWithoutADisplay();
    void replayReachesTheBoard();
    void simulatorPrintAndScreenshot();
    void noPagePlugin();
    void simulatorPricesAnUndatedOptionAMonthOut();

private:
    using Run = Fixture::VelappRun;
    // noDisplay: as in a plain terminal or a build's help2man.
    static Run velapp(const QStringList &args, bool noDisplay = false)
    {
        return Fixture::runVelapp(args, nullptr, noDisplay);
    }
    QString write(const QString &name, const QByteArray &content);
    static QJsonObject readJson(const QString &path);

    QList<PageType> m_types;
    QString m_dir;
};

void TestApp::initTestCase()
{
    Fixture::installWarningGuard();
    m_dir = Fixture::scratchDir(QStringLiteral("velapp_run"));
    QVERIFY2(QFile::exists(QStringLiteral(VELAPP_BINARY)), VELAPP_BINARY);
    QString error;
    QVERIFY2(Fixture::loadBoardPlugin(&error), qPrintable(error));
    m_types = PageFactory::findPageTypes(PluginManager::instance()->allObjects());
    QCOMPARE(m_types.size(), 1);
    QCOMPARE(m_types.first().id, QStringLiteral("VELApp.TQuotationWidget"));
}

void TestApp::cleanupTestCase()
{
    PluginManager::instance()->shutdown();
    CBusinessDataBase::GetInstance()->clear();
}

void TestApp::descriptorsThatMakeNoPage()
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
        Fixture::expectWarning(
            QRegularExpression(QStringLiteral("page type %1: meta-type").arg(type.id)));
        QVERIFY(!window.openPage(type));
    }
    QVERIFY(window.pages().isEmpty());
}

void TestApp::pagesFollowDataAndSurviveClosingWhileStreaming()
{
    const QDate today = QDate::currentDate();
    // The offscreen platform's notice about native windows it does not have.
    Fixture::expectWarning(QRegularExpression(QStringLiteral("propagateSizeHints")));
    // On a loaded machine the host's lock diagnostics may report a long hold.
    Fixture::expectWarning(QRegularExpression(QStringLiteral("^held \\d+ ms at ")));
    MainWindow window;
    window.setPageTypes(m_types);
    // Pages take their look from the window's skin folder.
    const QString skin = Fixture::scratchDir(QStringLiteral("skin"));
    QVERIFY(QDir(skin).mkpath(QStringLiteral("Pivora/optiontrade/optiontquotation")));
    QVERIFY(Fixture::writeFile(
        skin + QStringLiteral("/Pivora/optiontrade/optiontquotation/optiontquotation.css"),
        "QTreeView { color: #123456; }"));
    window.setSkinRoot(skin);
    window.show();
    VelPluginBaseWidget *first = window.openPage(m_types.first());
    VelPluginBaseWidget *second = window.openPage(m_types.first());
    QVERIFY(first && second);
    QCOMPARE(window.pages().size(), 2);
    QCOMPARE(first->pluginWidgetTitle(), QStringLiteral("T型行情"));
    QCOMPARE(window.findChild<QTabWidget *>()->tabText(1), QStringLiteral("T型行情"));
    QCOMPARE(first->loadingState(), 1);
    QVERIFY(first->styleSheet().contains(QLatin1String("#123456")));
    // The window carries the current page's title, also when the page retitles itself.
    first->setPluginWidgetTitle(QStringLiteral("改名"));
    QCOMPARE(window.windowTitle(), QStringLiteral("velapp - 改名"));
    window.findChild<QTabWidget *>()->setCurrentWidget(second);
    QCOMPARE(window.windowTitle(), QStringLiteral("velapp - T型行情"));

    // Base data arrive after the pages exist, announced on the bus.
    const QList<QVariantMap> securities = BuiltinMarket::securities(today);
    CBusinessDataBase::GetInstance()->loadSecurities(securities);
    VelPresenterClass host(QStringLiteral("velapp"), nullptr, IMessageInterface::ThreadType_Main);
    host.PutEvent(host.pluginPid(),
                  CEventMessageCommon::create(host.pluginPid(), VelEventType::BaseDataState,
                                              {{QStringLiteral("loadFinish"), true}}));
    QTRY_COMPARE_WITH_TIMEOUT(rowCount(first), 4, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(rowCount(second), 4, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(first->loadingState(), 0, 30000);

    // BoardFace and the form agree: each widget it names is there with its
    // type, and its key columns hold an expiry's date and an option's strike.
    QVERIFY(BoardFace::isBoard(first) && BoardFace::categorySelector(first) &&
            BoardFace::underlyingSelector(first) && BoardFace::allDatesButton(first) &&
            BoardFace::callCaption(first) && BoardFace::putCaption(first) &&
            BoardFace::filterCountInput(first) && BoardFace::filterCentreInput(first) &&
            BoardFace::filterApplyButton(first) && BoardFace::table(first));
    for (int i = 0; i < BoardFace::DateButtonCount; ++i)
        QVERIFY2(BoardFace::dateButton(first, i), qPrintable(QString::number(i)));
    for (const QString &name : BoardFace::widgetNames())
        QVERIFY2(first->findChild<QWidget *>(name), qPrintable(name));
    QVERIFY(!BoardFace::dateButton(first, BoardFace::DateButtonCount));
    const VelTreeModel *model = BoardFace::table(first)->model();
    const QModelIndex group = model->index(0, 0);
    const QString date = BoardFace::shownText(model, group, BoardFace::DateColumn);
    QVERIFY2(QDate::fromString(date, QStringLiteral("yyyyMMdd")).isValid(), qPrintable(date));
    const QModelIndex strikeRow = model->index(1, 0, group);
    const QString strike = BoardFace::shownText(model, strikeRow, BoardFace::StrikeColumn);
    QVERIFY2(strike.trimmed().toDouble() > 0, qPrintable(strike));
    QCOMPARE(BoardFace::strikeRow(model, date, strike + QLatin1Char(' ')), strikeRow);

    FeedThread feed;
    feed.start(std::make_unique<SimulatorFeed>(MarketSimulator(securities, today, 11)));
    QTRY_VERIFY_WITH_TIMEOUT(showsPrices(first), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(showsPrices(second), 30000);
    // The status bar names the feed and counts its ticks a second.
    window.setFeed(QStringLiteral("模拟行情"), [&feed] { return feed.publishedCount(); });
    const auto status = [&window] {
        QStringList texts;
        for (const QLabel *label : window.statusBar()->findChildren<QLabel *>())
            texts << label->text();
        return texts.join(QLatin1Char(' '));
    };
    const QRegularExpression named(
        QStringLiteral("^模拟行情 行情 [1-9]\\d* 笔/秒 · 合并 \\d+ 笔/秒$"));
    QTRY_VERIFY2_WITH_TIMEOUT(named.match(status()).hasMatch(), qPrintable(status()), 30000);

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

void TestApp::keysOpenCloseAndCyclePages()
{
    Fixture::expectWarning(QRegularExpression(QStringLiteral("propagateSizeHints")));
    MainWindow window;
    window.setPageTypes(m_types);
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    const auto current = [&window] { return window.pages().indexOf(window.currentPage()); };
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(&window, Qt::Key_T, Qt::ControlModifier);
    QCOMPARE(window.pages().size(), 3);
    QCOMPARE(current(), 2);
    QTest::keyClick(&window, Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(current(), 0);
    // Shift+Tab arrives as Backtab from a keyboard.
    QTest::keyClick(&window, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(current(), 2);
    QTest::keyClick(&window, Qt::Key_W, Qt::ControlModifier);
    QCOMPARE(window.pages().size(), 2);
    window.closeAllPages();
    // A pane opened from the window's menu before any click has nothing to keep.
    QScopedPointer<QMenu>(window.createPopupMenu())->actions().first()->trigger();
    QVERIFY(!window.findChild<QWidget *>(QStringLiteral("keepButton"))->isEnabled());
}

// A person's arrangement, saved as velapp saves it on quit and taken back by
// the next window as velapp's next start does.
void TestApp::layoutComesBack()
{
    Fixture::expectWarning(QRegularExpression(QStringLiteral("propagateSizeHints")));
    // velapp's own store in this program's data folder, which velapp runs share.
    CDataBase::setDatabasePath(qEnvironmentVariable("XDG_DATA_HOME") + "/velapp/velapp.sqlite");
    const QList<QVariantMap> securities = BuiltinMarket::securities(QDate::currentDate());
    CBusinessDataBase::GetInstance()->loadSecurities(securities);
    const int n = securities.size();
    const auto fundOf = [](VelPluginBaseWidget *page) {
        return BoardFace::underlyingSelector(page)->currentData().toString();
    };
    const auto strikeFirst = [](VelPluginBaseWidget *page) {
        return page->findChild<QTreeView *>()->header()->logicalIndex(0) == 7;
    };
    {
        MainWindow window;
        window.setPageTypes(m_types);
        DeskLayout layout(&window, true, true);
        window.resize(900, 500);
        window.show();
        VelPluginBaseWidget *first = window.openPage(m_types.first());
        QHeaderView *header = first->findChild<QTreeView *>()->header();
        header->moveSection(header->visualIndex(7), 0);
        VelPluginBaseWidget *second = window.openPage(m_types.first());
        QVERIFY(strikeFirst(second)); // the next page takes the order
        window.bringForward(second);
        QTRY_COMPARE_WITH_TIMEOUT(rowCount(second), 4, 30000);
        // A Shenzhen fund that is not its category's first; the boards follow it.
        BoardFace::categorySelector(second)->setCurrentIndex(1);
        QComboBox *fund = BoardFace::underlyingSelector(second);
        fund->setCurrentIndex(fund->findData(QStringLiteral("159922.SZ")));
        QTRY_COMPARE_WITH_TIMEOUT(fundOf(first), QStringLiteral("159922.SZ"), 30000);
        QVERIFY(Fixture::settle()); // its own echoes load it on every date first
        second->findChild<QPushButton *>(QStringLiteral("pushButton_2"))->click();
        QTRY_COMPARE_WITH_TIMEOUT(rowCount(second), 1, 30000);
        // Any two contracts make a chart.
        window.addPage(new ChartPage(securities.at(n - 2), securities.at(n - 1)));
        window.smileAction()->trigger();
        window.bringForward(first);
        layout.save();
        // Back on the first fund before the restart, so only the saved layout
        // holds the Shenzhen one.
        BoardFace::categorySelector(first)->setCurrentIndex(0);
        QTRY_COMPARE_WITH_TIMEOUT(fundOf(second), QStringLiteral("510050.SH"), 30000);
    }
    MainWindow window;
    window.setPageTypes(m_types);
    DeskLayout layout(&window, true, true);
    window.show();
    QCOMPARE(window.size(), QSize(900, 500));
    QSignalSpy restored(&layout, &DeskLayout::pagesRestored);
    QCOMPARE(layout.reopenPages(0.015), 4);
    QVERIFY(restored.wait(30000));
    QStringList kinds;
    for (VelPluginBaseWidget *page : window.pages())
        kinds << BoardFace::kindOf(page);
    QCOMPARE(kinds, (QStringList{"tboard", "tboard", "chart", "smile"}));
    VelPluginBaseWidget *second = window.pages().at(1);
    QCOMPARE(window.currentPage(), window.pages().at(0)); // the first page, as saved
    QCOMPARE(fundOf(second), QStringLiteral("159922.SZ"));
    QCOMPARE(BoardFace::categorySelector(second)->currentIndex(), 1);
    QVERIFY(second->findChild<QPushButton *>(QStringLiteral("pushButton_2"))->isChecked());
    QTRY_COMPARE_WITH_TIMEOUT(rowCount(second), 1, 30000);
    QVERIFY(strikeFirst(window.pages().at(0)) && strikeFirst(second));
    QCOMPARE(qobject_cast<ChartPage *>(window.pages().at(2))->symbols().at(1),
             securities.at(n - 1).value("symbol").toString());

    // --no-restore: the defaults, whatever is stored.
    MainWindow fresh;
    fresh.setPageTypes(m_types);
    DeskLayout defaults(&fresh, false, true);
    QVERIFY(!defaults.hasPages());
    QVERIFY(!strikeFirst(fresh.openPage(m_types.first())));
}

void TestApp::headlessRunsLeaveTheLayout_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("--dump") << QStringList{"--dump", m_dir + "/headless.json"};
    QTest::newRow("--screenshot") << QStringList{"--screenshot", m_dir + "/headless.png"};
    QTest::newRow("--print") << QStringList{"--print"};
    QTest::newRow("--quit-after alone") << QStringList{};
}

// Runs made for files or text start the same on every machine: the layout
// saved above is neither taken nor overwritten.
void TestApp::headlessRunsLeaveTheLayout()
{
    QFETCH(QStringList, args);
    const auto stored = [] { return CDataBase::GetInstance()->getSettingValue("velapp/window"); };
    const QString saved = stored();
    QVERIFY(saved.contains(QLatin1String("\"chart\"")));
    const Run run = velapp(args + QStringList{"--no-feed", "--quit-after", "1500"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(stored(), saved);
    // One board on all its dates, in a window of the default size.
    const QString option = args.value(0);
    if (option == QLatin1String("--dump"))
        QCOMPARE(readJson(args.at(1)).value(QStringLiteral("pages")).toArray().size(), 1);
    else if (option == QLatin1String("--screenshot"))
        QCOMPARE(QImage(args.at(1)).size(), QSize(1600, 800));
    else if (option == QLatin1String("--print"))
        QCOMPARE(run.out.count(QStringLiteral("== T型行情 ==")), 1);
}

QString TestApp::write(const QString &name, const QByteArray &content)
{
    const QString path = m_dir + QLatin1Char('/') + name;
    Fixture::writeFile(path, content);
    return path;
}

QJsonObject TestApp::readJson(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

void TestApp::builtinMarketDump()
{
    const QString dump = m_dir + QStringLiteral("/builtin.json");
    const Run run = velapp({QStringLiteral("--no-feed"), QStringLiteral("--quit-after"),
                            QStringLiteral("1500"), QStringLiteral("--dump"), dump});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.errLines.isEmpty(), qPrintable(run.errLines.join(QLatin1Char('\n'))));
    const QJsonObject root = readJson(dump);
    const QJsonArray pages = root.value(QStringLiteral("pages")).toArray();
    QCOMPARE(pages.size(), 1);
    const QJsonObject page = pages.at(0).toObject();
    QCOMPARE(page.value(QStringLiteral("title")).toString(), QStringLiteral("T型行情"));
    QCOMPARE(
        page.value(QStringLiteral("category")).toObject().value(QStringLiteral("text")).toString(),
        QStringLiteral("上证ETF"));
    const QJsonObject underlying = page.value(QStringLiteral("underlying")).toObject();
    QCOMPARE(underlying.value(QStringLiteral("symbol")).toString(), QStringLiteral("510050.SH"));
    QCOMPARE(underlying.value(QStringLiteral("items")).toArray().size(),
             4); // the four Shanghai funds
    QCOMPARE(page.value(QStringLiteral("dateButtons")).toArray().size(), 10);
    int visibleDates = 0;
    for (const QJsonValue &b : page.value(QStringLiteral("dateButtons")).toArray())
        visibleDates += b.toObject().value(QStringLiteral("visible")).toBool() ? 1 : 0;
    QCOMPARE(visibleDates, 4);
    QCOMPARE(page.value(QStringLiteral("callCaption")).toString(), QStringLiteral("认购期权"));
    QCOMPARE(page.value(QStringLiteral("putCaption")).toString(), QStringLiteral("认沽期权"));

    // One group row per expiry, each with its strikes below it.
    const QJsonArray rows = page.value(QStringLiteral("rows")).toArray();
    QCOMPARE(rows.size(), 4);
    // Contracts adjusted after a dividend (strike keys ending in "A"), a few
    // under one expiry.
    int adjusted = 0;
    int adjustedExpiries = 0;
    for (const QJsonValue &group : rows) {
        const int before = adjusted;
        for (const QJsonValue &strike :
             group.toObject().value(QStringLiteral("children")).toArray())
            adjusted += strike.toObject()
                            .value(QStringLiteral("cells"))
                            .toObject()
                            .value(QStringLiteral("7"))
                            .toObject()
                            .value(QStringLiteral("256"))
                            .toString()
                            .endsWith(QLatin1Char('A'));
        adjustedExpiries += adjusted > before;
        const QJsonObject cells = group.toObject().value(QStringLiteral("cells")).toObject();
        QCOMPARE(
            cells.value(QStringLiteral("7")).toObject().value(QStringLiteral("256")).toString(),
            QStringLiteral("ALL_PRICE"));
        QVERIFY(group.toObject().value(QStringLiteral("children")).toArray().size() >= 9);
        // The exchanges' expiry: the fourth Wednesday of the month.
        const QDate expiry = QDate::fromString(
            cells.value(QStringLiteral("15")).toObject().value(QStringLiteral("256")).toString(),
            QStringLiteral("yyyyMMdd"));
        QCOMPARE(expiry.dayOfWeek(), int(Qt::Wednesday));
        QVERIFY2(expiry.day() >= 22 && expiry.day() <= 28, qPrintable(expiry.toString()));
    }
    QVERIFY(adjusted > 0 && adjusted < 10);
    QCOMPARE(adjustedExpiries, 1);

    // The host announced its base data; the page announced its underlying.
    bool baseData = false;
    bool underlyingChanged = false;
    for (const QJsonValue &v : root.value(QStringLiteral("events")).toArray()) {
        const QJsonObject e = v.toObject();
        const QJsonObject row = e.value(QStringLiteral("rows")).toArray().at(0).toObject();
        if (e.value(QStringLiteral("type")).toInt() == 69647) {
            baseData = e.value(QStringLiteral("src")).toString() == QLatin1String("velapp") &&
                       row.value(QStringLiteral("loadFinish")).toBool();
        }
        if (e.value(QStringLiteral("type")).toInt() == 213331 &&
            row.value(QStringLiteral("symbol")).toString() == QLatin1String("510050.SH"))
            underlyingChanged = true;
    }
    QVERIFY(baseData);
    QVERIFY(underlyingChanged);
}

void TestApp::refusedBeforeAnyWindow_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("expected"); // regular expression for the one stderr line

    const QString badChain = write(QStringLiteral("bad-chain.json"),
                                   "[\n  {\"symbol\": \"510050.SH\"},\n  {\"symbol\" \"x\"}\n]");
    const QString notObjects = write(QStringLiteral("numbers.json"), "[{\"k\": \"a\\\"]\"},\n 7]");
    const QString badReplay =
        write(QStringLiteral("bad.jsonl"),
              "{\"t\": 5, \"type\": \"MDOPTIONRECORD\", \"Symbol\": \"a\"}\n"
              "{\"t\": 4, \"type\": \"MDOPTIONRECORD\", \"Symbol\": \"a\"}\n");
    QTest::newRow("malformed securities")
        << QStringList{QStringLiteral("--securities"), badChain}
        << QStringLiteral("^velapp: .*bad-chain\\.json:3: not valid JSON: .+$");
    QTest::newRow("securities element not an object")
        << QStringList{QStringLiteral("--securities"), notObjects}
        << QStringLiteral("^velapp: .*numbers\\.json:2: element 1 of the array is a number, .+$");
    QTest::newRow("missing securities file")
        << QStringList{QStringLiteral("--securities"), m_dir + QStringLiteral("/none.json")}
        << QStringLiteral("^velapp: .*none\\.json: cannot read: .+$");
    QTest::newRow("replay going back in time")
        << QStringList{QStringLiteral("--replay"), badReplay}
        << QStringLiteral("^velapp: .*bad\\.jsonl:2: \"t\" decreases from 5 to 4$");
    QTest::newRow("bad option value")
        << QStringList{QStringLiteral("--pages"), QStringLiteral("many")}
        << QStringLiteral("^velapp: --pages: 'many' is not a whole number");
}

void TestApp::refusedBeforeAnyWindow()
{
    QFETCH(QStringList, args);
    QFETCH(QString, expected);
    const QString dump = m_dir + QStringLiteral("/refused.json");
    QFile::remove(dump);
    const Run run = velapp(args + QStringList{QStringLiteral("--quit-after"), QStringLiteral("1"),
                                              QStringLiteral("--dump"), dump});
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.errLines.size(), 1);
    QVERIFY2(QRegularExpression(expected).match(run.errLines.first()).hasMatch(),
             qPrintable(run.errLines.first()));
    QVERIFY(run.out.isEmpty());
    QVERIFY(!QFile::exists(dump)); // it never ran
}

void TestApp::answeredWithoutADisplay_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("expected"); // the first line: of stdout on 0, of stderr on 2

    const QString badActions =
        write(QStringLiteral("bad-actions.jsonl"), "{\"t\": 0, \"do\": \"dump\"}\n");
    QTest::newRow("--help") << QStringList{QStringLiteral("--help")} << 0
                            << QStringLiteral("^Usage: velapp \\[options\\]$");
    QTest::newRow("--version") << QStringList{QStringLiteral("--version")} << 0
                               << QStringLiteral("^velapp " VELAPP_VERSION "$");
    QTest::newRow("Qt's own option let through")
        << QStringList{QStringLiteral("-style"), QStringLiteral("fusion"),
                       QStringLiteral("--version")}
        << 0 << QStringLiteral("^velapp ");
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--bogus")} << 2
                                    << QStringLiteral("^velapp: Unknown option 'bogus'\\.$");
    QTest::newRow("malformed securities")
        << QStringList{QStringLiteral("--securities"),
                       write(QStringLiteral("cut.json"), "[{\"symbol\": \"510050.SH\"}")}
        << 2 << QStringLiteral("^velapp: .*cut\\.json:1: not valid JSON: .+$");
    QTest::newRow("a printed board needs no display")
        << QStringList{QStringLiteral("--print"), QStringLiteral("--no-feed"),
                       QStringLiteral("--quit-after"), QStringLiteral("300")}
        << 0 << QStringLiteral("^== T型行情 ==$");
    QTest::newRow("action missing its file")
        << QStringList{QStringLiteral("--actions"), badActions} << 2
        << QStringLiteral("^velapp: .*bad-actions\\.jsonl:1: missing \"file\"$");
}

void TestApp::answeredWithoutADisplay()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, expected);
    const Run run = velapp(args, true);
    QCOMPARE(run.exitCode, exitCode);
    const QStringList lines =
        exitCode == 0 ? run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts) : run.errLines;
    QVERIFY(!lines.isEmpty());
    QVERIFY2(QRegularExpression(expected).match(lines.first()).hasMatch(),
             qPrintable(lines.first()));
    // Nothing else: no platform plugin complaint, no second line.
    if (exitCode == 0) {
        QVERIFY2(run.errLines.isEmpty(), qPrintable(run.errLines.join(QLatin1Char('\n'))));
    } else {
        QCOMPARE(run.errLines.size(), 1);
        QVERIFY(run.out.isEmpty());
    }
}

void TestApp::replayReachesTheBoard()
{
    // A chain of one strike a month ahead; fields beyond those the page
    // needs are left out on purpose.
    const QString date = QDate::currentDate().addDays(30).toString(QStringLiteral("yyyyMMdd"));
    const QByteArray chain =
        QStringLiteral("[{\"symbol\": \"510050.SH\", \"securityID\": \"510050\", \"chineseName\": "
                       "\"50ETF\", \"mdcSecurityType\": \"ETF\", \"SymbolPost\": \"SH\"},"
                       " {\"symbol\": \"10009001.SH\", \"securityID\": \"10009001\", "
                       "\"chineseName\": \"50ETF购1月2950\", \"underlyingSecurityID\": \"510050\","
                       "  \"PutOrCall\": \"C\", \"StrikeDate\": \"%1\", \"StrikePrice\": 2.95, "
                       "\"mdcSecurityType\": \"OPTION\", \"mdcSubSecurityType\": \"ETFOPTION\", "
                       "\"SymbolPost\": \"SH\"},"
                       " {\"symbol\": \"10009002.SH\", \"securityID\": \"10009002\", "
                       "\"chineseName\": \"50ETF沽1月2950\", \"underlyingSecurityID\": \"510050\","
                       "  \"PutOrCall\": \"P\", \"StrikeDate\": \"%1\", \"StrikePrice\": 2.95, "
                       "\"mdcSecurityType\": \"OPTION\", \"mdcSubSecurityType\": \"ETFOPTION\", "
                       "\"SymbolPost\": \"SH\"},"
                       " {\"symbol\": \"no-fields.SH\"}]")
            .arg(date)
            .toUtf8();
    const QString chainPath = write(QStringLiteral("chain.json"), chain);
    const QString replayPath =
        write(QStringLiteral("ticks.jsonl"),
              "{\"t\": 0, \"type\": \"MDOPTIONRECORD\", \"Symbol\": \"10009001.SH\", "
              "\"LastPrice\": 0.1234, \"Buy1Price\": 0.1233,"
              " \"Sell1Price\": 0.1235, \"PreSettlePrice\": 0.12, \"OpenInterest\": 12345, "
              "\"MaxPx\": 0.42, \"MinPx\": 0.0001}\n"
              "\n"
              "{\"t\": 200, \"type\": \"MDOPTIONRECORD\", \"Symbol\": \"10009002.SH\", "
              "\"Buy1Price\": 0.0456}\n"
              "{\"t\": 250, \"type\": \"MDMARKETRECORD\", \"Symbol\": \"510050.SH\", "
              "\"LastPrice\": 2.951}\n");
    const QString dump = m_dir + QStringLiteral("/replay.json");
    const Run run = velapp({QStringLiteral("--securities"), chainPath, QStringLiteral("--replay"),
                            replayPath, QStringLiteral("--quit-after"), QStringLiteral("2500"),
                            QStringLiteral("--dump"), dump, QStringLiteral("--print")});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.errLines.isEmpty(), qPrintable(run.errLines.join(QLatin1Char('\n'))));
    const QJsonArray rows = readJson(dump)
                                .value(QStringLiteral("pages"))
                                .toArray()
                                .at(0)
                                .toObject()
                                .value(QStringLiteral("rows"))
                                .toArray();
    QCOMPARE(rows.size(), 1);
    const QJsonArray strikes = rows.at(0).toObject().value(QStringLiteral("children")).toArray();
    QCOMPARE(strikes.size(), 1);
    const QJsonObject cells = strikes.at(0).toObject().value(QStringLiteral("cells")).toObject();
    auto text = [&cells](int column) {
        return cells.value(QString::number(column))
            .toObject()
            .value(QStringLiteral("256"))
            .toString();
    };
    QVERIFY2(text(0).startsWith(QStringLiteral("0.1233###")), qPrintable(text(0)));   // call bid
    QVERIFY2(text(1).startsWith(QStringLiteral("0.1235###")), qPrintable(text(1)));   // call ask
    QVERIFY2(text(14).startsWith(QStringLiteral("0.0456###")), qPrintable(text(14))); // put bid
    // --print: the strike row under its expiry, bid then ask, the strike in the middle.
    const QRegularExpression printed(
        QStringLiteral("^  0\\.1233 +\\| 0\\.1235 +\\| 0\\.1234 .*\\| 2\\.950 +\\|"),
        QRegularExpression::MultilineOption);
    QVERIFY2(printed.match(run.out).hasMatch(), qPrintable(run.out));
    // The captions, the expiry and the strike rows keep their bars in the same
    // screen columns, a Chinese character taking two.
    QSet<QVector<int>> bars;
    const QString table = run.out.section(QStringLiteral("认沽期权\n"), 1);
    for (const QString &line : table.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        QVector<int> at;
        int x = 0;
        for (const QChar c : line) {
            if (c == QLatin1Char('|'))
                at << x;
            x += c.unicode() >= 0x2E80 ? 2 : 1;
        }
        bars.insert(at);
    }
    QCOMPARE(bars.size(), 1);
}

void TestApp::simulatorPrintAndScreenshot()
{
    const QString shot = m_dir + QStringLiteral("/shot.png");
    QFile::remove(shot);
    const Run run =
        velapp({QStringLiteral("--seed"), QStringLiteral("5"), QStringLiteral("--pages"),
                QStringLiteral("2"), QStringLiteral("--quit-after"), QStringLiteral("2500"),
                QStringLiteral("--print"), QStringLiteral("--screenshot"), shot});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.errLines.isEmpty(), qPrintable(run.errLines.join(QLatin1Char('\n'))));
    QCOMPARE(run.out.count(QStringLiteral("== T型行情 ==")), 2);
    QVERIFY(run.out.contains(QStringLiteral("标的: 上证ETF / 50ETF (510050.SH)")));
    // Strike rows are indented under their expiry and carry simulated prices.
    const QRegularExpression priced(QStringLiteral("^  0\\.\\d{4}(\\*\\d)? +\\| 0\\.\\d{4}"),
                                    QRegularExpression::MultilineOption);
    QVERIFY2(priced.match(run.out).hasMatch(), qPrintable(run.out.left(3000)));
    const QImage image(shot);
    QVERIFY(!image.isNull());
    QVERIFY(image.width() >= 800 && image.height() >= 400);
}

void TestApp::noPagePlugin()
{
    const QString empty = Fixture::scratchDir(QStringLiteral("velapp_run_noplugins"));
    const QString dump = m_dir + QStringLiteral("/nopages.json");
    const Run run = velapp({QStringLiteral("--plugins"), empty, QStringLiteral("--no-feed"),
                            QStringLiteral("--quit-after"), QStringLiteral("300"),
                            QStringLiteral("--dump"), dump});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.errLines.size(), 1);
    QVERIFY2(run.errLines.first().startsWith(QStringLiteral("velapp: no page plugin found in ")),
             qPrintable(run.errLines.first()));
    const QJsonObject root = readJson(dump);
    QVERIFY(root.contains(QStringLiteral("pages")));
    QVERIFY(root.value(QStringLiteral("pages")).toArray().isEmpty());
    QCOMPARE(root.value(QStringLiteral("events")).toArray().size(), 1); // the base-data event only
}

// An option whose expiry does not read is priced as one a month out; the
// fund is quoted a step either side of its last price.
void TestApp::simulatorPricesAnUndatedOptionAMonthOut()
{
    MarketSimulator market({Fixture::fund("510050.SH", "50ETF", "SH"),
                            Fixture::option("A.SH", "510050", Fixture::day(30), 3.0, "C", "购"),
                            Fixture::option("B.SH", "510050", "soon", 3.0, "C", "购")},
                           QDate::currentDate(), 3);
    QVariantMap settle;
    double spread = 0;
    for (int slot = 0; slot < 100 && settle.size() < 2; ++slot)
        for (const FeedTick &tick : market.nextSlot())
            if (tick.fields.contains("PreSettlePrice"))
                settle.insert(tick.fields.value("Symbol").toString(),
                              tick.fields["PreSettlePrice"]);
            else
                spread = tick.fields["Sell1Price"].toDouble() - tick.fields["Buy1Price"].toDouble();
    QCOMPARE(settle.size(), 2);
    QCOMPARE(qRound(spread * 1000), 2);
    // Daily limits as the exchange sets them, out of the money either side.
    QCOMPARE(OptionPricer::priceLimits(false, 0.1, 3.0, 2.5).maxPx, 0.3);
    QCOMPARE(OptionPricer::priceLimits(true, 0.1, 3.0, 3.5).maxPx, 0.35);
    QCOMPARE(OptionPricer::quote(0, OptionPricer::priceLimits(true, 0, 3.0, 4.5)).bid, 0.0001);
    QCOMPARE(settle.value("B.SH"), settle.value("A.SH"));
    // A trade at the bid mostly stands while the quote holds: no new trade every tick.
    int stood = 0, traded = 0;
    QVariantMap was;
    for (int slot = 0; slot < 30000; ++slot)
        for (const FeedTick &tick : market.nextSlot()) {
            const QVariantMap &now = tick.fields;
            if (now["Symbol"] == "A.SH" && was["LastPrice"] == was["Buy1Price"] &&
                was["Buy1Price"] == now["Buy1Price"] && was["Sell1Price"] == now["Sell1Price"])
                ++(now["LastPrice"] == was["LastPrice"] ? stood : traded);
            was = now["Symbol"] == "A.SH" ? now : was;
        }
    QVERIFY2(stood > 2 * traded, qPrintable(QStringLiteral("%1 %2").arg(stood).arg(traded)));
}

FIXTURE_TEST_MAIN(TestApp)
#include "tst_app.moc"
