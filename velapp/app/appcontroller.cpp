#include "appcontroller.h"

#include "appfolders.h"
#include "applogging.h"
#include "feed/feedthread.h"
#include "feed/listenfeed.h"
#include "feed/replayfeed.h"
#include "feed/simulatorfeed.h"
#include "feed/tickrecorder.h"
#include "market/builtinmarket.h"
#include "market/marketsimulator.h"
#include "market/valuation.h"
#include "session/boardprinter.h"
#include "session/pagesnapshot.h"
#include "session/sessionrunner.h"
#include "signalquit.h"
#include "velcorelog.h"
#include "window/desklayout.h"
#include "window/linkedpages.h"
#include "window/mainwindow.h"

#include "businessdatamanager/businessdatainterface.h"
#include "velbusinessdata/businessdatabase.h"
#include "veldefine/velconstants.h"
#include "velevent/eventmessage.h"
#include "velmsg/packmessage.h"
#include "velplugin/pluginmanager.h"
#include "velwidget/velbusobserver.h"
#include "velwidget/velpluginbasewidget.h"
#include "velwidget/velpresenterclass.h"

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QEventLoop>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QTimer>

#include <cstdio>

namespace {

void printLine(FILE *stream, const QString &text)
{
    std::fputs(text.toUtf8().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

} // namespace

AppController::AppController(const AppOptions &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
{
    Valuation::setFixedTime(options.valuationTime);
}

AppController::~AppController()
{
    m_signalQuit.reset();
    m_session.reset();
    if (m_feed)
        m_feed->stop();
    if (m_tickRecorder)
        m_tickRecorder->stop();
    m_recorder.detach();
    if (m_linkedPages) {
        m_linkedPages->detach();
        m_linkedPages.reset();
    }
    // Pages leave before the plugin libraries that hold their code unload.
    m_layout.reset();
    m_window.reset();
    if (m_hostPresenter) {
        m_hostPresenter->detach();
        m_hostPresenter.reset();
    }
    PluginManager::instance()->shutdown();
}

QString AppController::applicationDir() const
{
    return QCoreApplication::applicationDirPath();
}

bool AppController::prepare(QString *error)
{
    AppInputs inputs;
    return m_options.loadInputs(&inputs, error) && prepare(std::move(inputs), error);
}

bool AppController::prepare(AppInputs inputs, QString *error)
{
    m_securities = m_options.securitiesFile.isEmpty()
                       ? BuiltinMarket::securities(Valuation::exchangeDate(Valuation::now()))
                       : std::move(inputs.securities);
    m_replay = std::move(inputs.replay);
    m_actions = std::move(inputs.actions);
    if (!inputs.replayWarning.isEmpty())
        printLine(stderr, QStringLiteral("velapp: ") + inputs.replayWarning);
    if (m_options.listenPort != 0) {
        m_listen = std::make_unique<ListenFeed>();
        if (!m_listen->listen(m_options.listenPort, error))
            return false;
    }
    if (!m_options.recordFile.isEmpty()) {
        m_tickRecorder = std::make_unique<TickRecorder>();
        if (!m_tickRecorder->open(m_options.recordFile, error))
            return false;
    }
    return true;
}

void AppController::start()
{
    const QString skinRoot = AppFolders::data(QStringLiteral("skin"));
    VelPluginBaseWidget::setDefaultSkinRoot(skinRoot);
    m_recorder.attach();

    m_window = std::make_unique<MainWindow>();
    m_window->setSkinRoot(skinRoot);
    m_window->setRate(m_options.rate);
    // Made before the first page opens, so every page gets the saved column order.
    m_layout = std::make_unique<DeskLayout>(
        m_window.get(), !m_options.headless() && !m_options.noRestore, !m_options.headless());
    // A page opened after the load gets the start the others had from it.
    connect(m_window.get(), &MainWindow::pageOpened, this, [this](VelPluginBaseWidget *page) {
        if (m_baseDataLoaded)
            sendBaseDataLoaded(page);
    });
    m_window->show();
    m_linkedPages = std::make_unique<LinkedPages>(m_window.get(), m_options.rate);

    const QString pluginDir = m_options.pluginDir.isEmpty()
                                  ? QDir(applicationDir()).filePath(QStringLiteral("plugins"))
                                  : m_options.pluginDir;
    loadPlugins(pluginDir);

    // The reference data arrive after the first pages exist, as from a real
    // back end: the pages first load empty, then reload on the base-data event.
    QTimer::singleShot(0, this, [this] {
        loadBaseData();
        startFeed();
    });
    connect(qApp, &QCoreApplication::aboutToQuit, this, &AppController::finish);
    m_signalQuit = std::make_unique<SignalQuit>();
    if (m_options.quitAfterMs >= 0) {
        QTimer::singleShot(m_options.quitAfterMs, this, [] { QCoreApplication::quit(); });
    }
}

void AppController::loadPlugins(const QString &dir)
{
    const QList<PluginSpec *> pluginInfos = PluginManager::instance()->loadPlugins(dir);
    for (const PluginSpec *pluginInfo : pluginInfos) {
        // The plugin manager has warned already; the run goes on without it.
        if (pluginInfo->hasError()) {
            qCInfo(lcVelPlugins).noquote()
                << "plugin" << pluginInfo->filePath() << "not loaded:" << pluginInfo->errorString();
        }
    }
    const QList<PageType> types =
        PageFactory::findPageTypes(PluginManager::instance()->allObjects());
    m_window->setPageTypes(types);
    if (types.isEmpty()) {
        const QString text =
            QStringLiteral("no page plugin found in %1").arg(QDir::toNativeSeparators(dir));
        m_window->showMessage(tr("没有可用的页面插件") + QLatin1Char('\n') + text);
        printLine(stderr, QStringLiteral("velapp: ") + text);
        return;
    }
    // Saved pages are reopened once the reference data are in.
    if (!m_layout->hasPages())
        openDefaultPages();
}

void AppController::openDefaultPages()
{
    const QList<PageType> types = m_window->pageTypes();
    for (const PageType &type : types) {
        for (int i = 0; i < m_options.pages; ++i)
            m_window->openPage(type);
    }
}

void AppController::loadBaseData()
{
    CBusinessDataBase::GetInstance()->loadSecurities(m_securities);
    qCInfo(lcData) << "loaded" << m_securities.size() << "securities";

    m_hostPresenter = std::make_unique<VelPresenterClass>(QStringLiteral("velapp"), nullptr,
                                                          IMessageInterface::ThreadType_Main);
    m_baseDataLoaded = true;
    // The replay's clock starts with the event, so a recording replays in step.
    if (m_tickRecorder)
        m_tickRecorder->start();
    sendBaseDataLoaded(nullptr);
    emit baseDataLoaded();
    if (m_layout->hasPages() && m_layout->reopenPages(m_options.rate) == 0)
        openDefaultPages();

    if (m_options.actionsFile.isEmpty())
        return;
    // The session's clock starts with the event; a replay plays on it too.
    m_session = std::make_unique<SessionRunner>(
        m_actions, m_replay, m_window.get(), &m_recorder,
        [this](const QString &path, QString *error) { return writeDump(path, error); },
        [this](const QString &path, QString *error) { return writeScreenshot(path, error); });
    if (TickRecorder *recorder = m_tickRecorder.get()) {
        m_session->setPublisher([recorder](const QString &kind, const QVariantMap &tick) {
            if (BusinessDataInterface::PublishQuotation(kind, tick) ==
                BusinessDataInterface::Admission::Accepted)
                recorder->record(kind, tick);
        });
    }
    connect(m_session.get(), &SessionRunner::actionsDone, this, &AppController::afterLastAction);
    m_session->start();
}

void AppController::afterLastAction()
{
    if (m_options.quitAfterMs >= 0)
        return;
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        QTimer::singleShot(500, this, [] { QCoreApplication::quit(); });
}

void AppController::sendBaseDataLoaded(VelPluginBaseWidget *page)
{
    const auto event = [this] {
        return CEventMessageCommon::create(m_hostPresenter->pluginPid(),
                                           VelEventType::BaseDataState,
                                           {{QStringLiteral("loadFinish"), true}});
    };
    if (!page) {
        m_hostPresenter->PutEvent(m_hostPresenter->pluginPid(), event());
        return;
    }
    const QList<VelPresenterClass *> presenters = page->findChildren<VelPresenterClass *>();
    for (VelPresenterClass *presenter : presenters)
        BusinessDataInterface::SendEventTo(presenter, event());
}

void AppController::startFeed()
{
    FeedWorker::Publisher publisher;
    if (TickRecorder *recorder = m_tickRecorder.get()) {
        publisher = [recorder](const QString &kind, const QVariantMap &tick, QString *fault) {
            const auto admission = BusinessDataInterface::PublishQuotation(kind, tick, fault);
            if (admission == BusinessDataInterface::Admission::Accepted)
                recorder->record(kind, tick);
            return admission;
        };
    }
    m_feed = std::make_unique<FeedThread>(publisher);
    FeedThread *feed = m_feed.get();
    auto counter = [feed] { return feed->publishedCount(); };
    if (m_options.noFeed) {
        m_window->setFeed(tr("无行情"), {});
        return;
    }
    if (!m_options.replayFile.isEmpty()) {
        const QString description =
            tr("回放 %1").arg(QDir::toNativeSeparators(m_options.replayFile));
        if (SessionRunner *session = m_session.get()) {
            m_window->setFeed(description, [session] { return session->publishedCount(); });
            return;
        }
        m_window->setFeed(description, counter);
        m_feed->start(std::make_unique<ReplayFeed>(m_replay, m_options.replayFile));
        return;
    }
    if (m_listen) {
        auto clients = m_listen->clientCount();
        m_window->setFeed(tr("监听 127.0.0.1:%1").arg(m_options.listenPort), counter,
                          [clients] { return clients->load(); });
        m_feed->start(std::move(m_listen));
        return;
    }
    const quint64 seed =
        m_options.hasSeed ? m_options.seed : QRandomGenerator::global()->generate64();
    MarketSimulator simulator(m_securities, Valuation::exchangeDate(Valuation::now()), seed);
    m_window->setFeed(tr("模拟行情 (种子 %1)").arg(seed), counter);
    m_feed->start(std::make_unique<SimulatorFeed>(simulator));
}

void AppController::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_layout->save();
    // A feed of its own thread is stopped first, so what quit writes shows
    // every tick it published (and recorded). A session's replay needs no
    // such drain: its actions wait for delivery already.
    if (m_feed && m_feed->isRunning()) {
        m_feed->stop();
        drainFeed();
    }
    if (m_tickRecorder)
        m_tickRecorder->stop();
    if (!writeOutputs())
        m_exitCode = 1;
}

void AppController::drainFeed()
{
    QEventLoop loop;
    // The loop is the context: a late call after the timeout finds it gone.
    VelBusObserver::whenDelivered(&loop, [&loop] { loop.quit(); });
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    loop.exec();
    // What the presenters' own timers flushed is posted by now.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
}

bool AppController::writeDump(const QString &path, QString *error) const
{
    QJsonArray pageArray;
    // Tabs in their order, then the open panes.
    const QList<VelPluginBaseWidget *> pages =
        m_window ? m_window->pages() + m_window->panePages() : QList<VelPluginBaseWidget *>();
    for (const VelPluginBaseWidget *page : pages)
        pageArray.append(PageSnapshot::capture(page));
    QJsonObject root;
    root.insert(QStringLiteral("pages"), pageArray);
    root.insert(QStringLiteral("events"), m_recorder.toJson());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QJsonDocument(root).toJson(QJsonDocument::Indented)) < 0 || !file.commit()) {
        *error = QStringLiteral("%1: cannot write the dump: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool AppController::writeScreenshot(const QString &path, QString *error) const
{
    if (!m_window || !m_window->grab().save(path)) {
        *error = QStringLiteral("%1: cannot write the screenshot").arg(path);
        return false;
    }
    return true;
}

bool AppController::writeOutputs()
{
    bool ok = true;
    QString error;
    if (!m_options.screenshotFile.isEmpty() && m_window &&
        !writeScreenshot(m_options.screenshotFile, &error)) {
        printLine(stderr, QStringLiteral("velapp: ") + error);
        ok = false;
    }
    if (!m_options.dumpFile.isEmpty() && !writeDump(m_options.dumpFile, &error)) {
        printLine(stderr, QStringLiteral("velapp: ") + error);
        ok = false;
    }
    if (m_options.print) {
        const QList<VelPluginBaseWidget *> pages =
            m_window ? m_window->pages() + m_window->panePages() : QList<VelPluginBaseWidget *>();
        QStringList boards;
        for (const VelPluginBaseWidget *page : pages)
            boards.append(BoardPrinter::format(PageSnapshot::capture(page),
                                               PageSnapshot::columnCaptions(page)));
        std::fputs(boards.join(QLatin1Char('\n')).toUtf8().constData(), stdout);
        std::fflush(stdout);
    }
    return ok;
}
