#include "appcontroller.h"

#include "applogging.h"
#include "boardprinter.h"
#include "builtinmarket.h"
#include "feedthread.h"
#include "mainwindow.h"
#include "marketsimulator.h"
#include "pagesnapshot.h"
#include "replayfeed.h"
#include "securitiesfile.h"
#include "simulatorfeed.h"

#include "businessdatamanager/businessdatainterface.h"
#include "velbusinessdata/businessdatabase.h"
#include "veldefine/velconstants.h"
#include "velevent/eventmessage.h"
#include "velmsg/packmessage.h"
#include "velplugin/pluginmanager.h"
#include "velwidget/velpluginbasewidget.h"
#include "velwidget/velpresenterclass.h"

#include <QApplication>
#include <QDate>
#include <QDir>
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
{}

AppController::~AppController()
{
    if (m_feed)
        m_feed->stop();
    m_recorder.detach();
    // Pages leave before the plugin libraries that hold their code unload.
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
    if (!m_options.securitiesFile.isEmpty()) {
        if (!SecuritiesFile::load(m_options.securitiesFile, &m_securities, error))
            return false;
    } else {
        m_securities = BuiltinMarket::securities(QDate::currentDate());
    }
    if (!m_options.replayFile.isEmpty() &&
        !ReplayFile::load(m_options.replayFile, &m_replay, error))
        return false;
    return true;
}

void AppController::start()
{
    const QString skinRoot = QDir(applicationDir()).filePath(QStringLiteral("skin"));
    VelPluginBaseWidget::setDefaultSkinRoot(skinRoot);
    m_recorder.attach();

    m_window = std::make_unique<MainWindow>();
    m_window->setSkinRoot(skinRoot);
    // A page opened after the load gets the start the others had from it.
    connect(m_window.get(), &MainWindow::pageOpened, this, [this](VelPluginBaseWidget *page) {
        if (m_baseDataLoaded)
            sendBaseDataLoaded(page);
    });
    m_window->show();

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
            qCInfo(lcPlugins).noquote()
                << "plugin" << pluginInfo->filePath() << "not loaded:" << pluginInfo->errorString();
        }
    }
    const QList<PageType> types =
        PageFactory::findPageTypes(PluginManager::instance()->allObjects());
    m_window->setPageTypes(types);
    if (types.isEmpty()) {
        const QString text =
            QStringLiteral("no page plugin found in %1").arg(QDir::toNativeSeparators(dir));
        m_window->showMessage(QStringLiteral("没有可用的页面插件\n") + text);
        printLine(stderr, QStringLiteral("velapp: ") + text);
        return;
    }
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
    sendBaseDataLoaded(nullptr);
    emit baseDataLoaded();
}

void AppController::sendBaseDataLoaded(VelPluginBaseWidget *page)
{
    const auto event = [this] {
        CPackMessageCommon pack;
        pack.AddRowVaule({{QStringLiteral("loadFinish"), true}});
        auto *event = new CEventMessageCommon;
        event->SetSrcid(m_hostPresenter->pluginPid());
        event->SetType(int(VelEventType::BaseDataState));
        event->SetMsg(pack.GetPackedMsg(false));
        return event;
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
    m_feed = std::make_unique<FeedThread>();
    FeedThread *feed = m_feed.get();
    auto counter = [feed] { return feed->publishedCount(); };
    if (m_options.noFeed) {
        m_window->setFeed(QStringLiteral("无行情"), {});
        return;
    }
    if (!m_options.replayFile.isEmpty()) {
        m_window->setFeed(
            QStringLiteral("回放 %1").arg(QDir::toNativeSeparators(m_options.replayFile)), counter);
        m_feed->start(std::make_unique<ReplayFeed>(m_replay));
        return;
    }
    const quint64 seed =
        m_options.hasSeed ? m_options.seed : QRandomGenerator::global()->generate64();
    MarketSimulator simulator(m_securities, QDate::currentDate(), seed);
    m_window->setFeed(QStringLiteral("模拟行情 (种子 %1)").arg(seed), counter);
    m_feed->start(std::make_unique<SimulatorFeed>(simulator));
}

void AppController::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    if (!writeOutputs())
        m_exitCode = 1;
    if (m_feed)
        m_feed->stop();
}

bool AppController::writeOutputs()
{
    bool ok = true;
    const QList<VelPluginBaseWidget *> pages =
        m_window ? m_window->pages() : QList<VelPluginBaseWidget *>();
    if (!m_options.screenshotFile.isEmpty() && m_window) {
        if (!m_window->grab().save(m_options.screenshotFile)) {
            printLine(stderr, QStringLiteral("velapp: %1: cannot write the screenshot")
                                  .arg(m_options.screenshotFile));
            ok = false;
        }
    }
    if (!m_options.dumpFile.isEmpty()) {
        QJsonArray pageArray;
        for (const VelPluginBaseWidget *page : pages)
            pageArray.append(PageSnapshot::capture(page));
        QJsonObject root;
        root.insert(QStringLiteral("pages"), pageArray);
        root.insert(QStringLiteral("events"), m_recorder.toJson());
        QSaveFile file(m_options.dumpFile);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(QJsonDocument(root).toJson(QJsonDocument::Indented)) < 0 || !file.commit()) {
            printLine(stderr, QStringLiteral("velapp: %1: cannot write the dump: %2")
                                  .arg(m_options.dumpFile, file.errorString()));
            ok = false;
        }
    }
    if (m_options.print) {
        QStringList boards;
        for (const VelPluginBaseWidget *page : pages)
            boards.append(BoardPrinter::format(PageSnapshot::capture(page),
                                               PageSnapshot::columnCaptions(page)));
        std::fputs(boards.join(QLatin1Char('\n')).toUtf8().constData(), stdout);
        std::fflush(stdout);
    }
    return ok;
}
