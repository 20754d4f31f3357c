#include "benchpage.h"

#include "window/mainwindow.h"
#include "window/pagefactory.h"

#include "OptionDataHandle.h"
#include "velbusinessdata/businessdatabase.h"
#include "veldatabase/database.h"
#include "veldefine/velconstants.h"
#include "veldefine/veldefine.h"
#include "velevent/eventmessage.h"
#include "velmsg/packmessage.h"
#include "velplugin/pluginmanager.h"
#include "velwidget/velpluginbasewidget.h"
#include "velwidget/velpresenterclass.h"
#include "velwidget/veltreemodel.h"
#include "velwidget/veltreeview.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QThread>
#include <QTreeView>

void BenchPage::prepareProcess(bool showDebug)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's own dispatcher emits awake() when an iteration starts its work and
    // aboutToBlock() just before it waits; the GLib one emits aboutToBlock()
    // ahead of the dispatch, so the GUI busy share could not be read from it.
    // (QT_NO_GLIB set to empty keeps the GLib one, for comparison.)
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        // Qt warns on every start without one; a private folder silences it.
        const QString runtime = QDir::tempPath() + QStringLiteral("/runtime-velapp-bench");
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                           QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    }
    if (!showDebug)
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    // Data, settings and caches of a run stay out of the user's home; removed
    // when the process ends.
    static QTemporaryDir home(QDir::tempPath() + QStringLiteral("/velapp-bench-XXXXXX"));
    for (const char *name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"}) {
        const QString dir = home.path() + QLatin1Char('/') + QString::fromLatin1(name);
        QDir().mkpath(dir);
        qputenv(name, QFile::encodeName(dir));
    }
}

BenchPage::BenchPage() = default;

BenchPage::~BenchPage()
{
    // As velapp ends: pages first, then the host's own presenter, then the
    // plugin libraries that hold the pages' code.
    m_window.reset();
    if (m_hostPresenter) {
        m_hostPresenter->detach();
        m_hostPresenter.reset();
    }
    PluginManager::instance()->shutdown();
}

bool BenchPage::open(const QSize &windowSize, QString *error)
{
    if (!m_settingsDir.isValid()) {
        *error = QStringLiteral("no temporary folder for the settings database");
        return false;
    }
    // The column heads live in a throw-away database, not the user's.
    CDataBase::setDatabasePath(m_settingsDir.filePath(QStringLiteral("velapp.sqlite")));
    const QString skinRoot = QStringLiteral(VELAPP_BENCH_SKIN_DIR);
    VelPluginBaseWidget::setDefaultSkinRoot(skinRoot);

    const QString pluginDir = QStringLiteral(VELAPP_BENCH_PLUGIN_DIR);
    const QList<PluginSpec *> pluginInfos = PluginManager::instance()->loadPlugins(pluginDir);
    for (const PluginSpec *pluginInfo : pluginInfos) {
        if (pluginInfo->hasError()) {
            *error = pluginInfo->filePath() + QStringLiteral(": ") + pluginInfo->errorString();
            return false;
        }
    }
    const QList<PageType> types =
        PageFactory::findPageTypes(PluginManager::instance()->allObjects());
    if (types.isEmpty()) {
        *error = QStringLiteral("no page plugin in ") + pluginDir;
        return false;
    }

    m_window = std::make_unique<MainWindow>();
    m_window->setSkinRoot(skinRoot);
    m_window->setPageTypes(types);
    m_window->resize(windowSize);
    m_window->show();
    m_type = types.first();
    m_page = m_window->openPage(types.first());
    if (!m_page || !table()) {
        *error = QStringLiteral("the page type %1 made no T-board page").arg(types.first().id);
        return false;
    }
    QCoreApplication::processEvents();
    return true;
}

void BenchPage::loadReferenceData(const QList<QVariantMap> &records)
{
    CBusinessDataBase::GetInstance()->loadSecurities(records);
    if (!m_hostPresenter) {
        m_hostPresenter = std::make_unique<VelPresenterClass>(
            QStringLiteral("velapp-bench"), nullptr, IMessageInterface::ThreadType_Main);
    }
    m_hostPresenter->PutEvent(m_hostPresenter->pluginPid(),
                              CEventMessageCommon::create(m_hostPresenter->pluginPid(),
                                                          VelEventType::BaseDataState,
                                                          {{QStringLiteral("loadFinish"), true}}));
}

bool BenchPage::waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        // Work may be on the bus thread: do not spin the core it needs.
        if (!done())
            QThread::usleep(200);
    }
    return true;
}

bool BenchPage::waitForRows(int rows, int timeoutMs)
{
    return waitFor([this, rows] { return model()->totalRowCount() == rows; }, timeoutMs);
}

QHash<QString, BenchPage::Place> BenchPage::places(const QVariantMap &category) const
{
    QHash<QString, Place> result;
    const OptionChainMap chain = OptionDataHandle::getOptionData(category);
    for (const auto &dates : chain) {
        for (auto date = dates.cbegin(); date != dates.cend(); ++date) {
            for (auto strike = date->cbegin(); strike != date->cend(); ++strike) {
                Row row;
                row[7][VelConst::RoleUser] = strike.key();
                row[15][VelConst::RoleUser] = date.key();
                const QString identity = model()->identityOf(row);
                for (auto side = strike->cbegin(); side != strike->cend(); ++side) {
                    Place place;
                    place.identity = identity;
                    place.call = side.key() == Ostrel_Values::OptionCallOrPut::call;
                    result.insert(side->value(Ostrel_Fields::Security::symbol).toString(), place);
                }
            }
        }
    }
    return result;
}

VelPluginBaseWidget *BenchPage::openAnother()
{
    VelPluginBaseWidget *page = m_window->openPage(m_type);
    QCoreApplication::processEvents();
    return page;
}

bool BenchPage::close(VelPluginBaseWidget *page)
{
    if (page == m_page || !m_window->closePage(page))
        return false;
    // waitFor() runs processEvents(), which leaves deferred deletes to the
    // event loop: delete the closed page now, as velapp's loop would.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return true;
}

void BenchPage::closeAll()
{
    m_window->closeAllPages();
    m_page = nullptr;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

VelTreeModel *BenchPage::modelOf(VelPluginBaseWidget *page)
{
    auto *table = page ? page->findChild<VelTreeView *>() : nullptr;
    return table ? table->model() : nullptr;
}

QTreeView *BenchPage::treeOf(VelPluginBaseWidget *page)
{
    auto *table = page ? page->findChild<VelTreeView *>() : nullptr;
    return table ? table->treeView() : nullptr;
}

QComboBox *BenchPage::underlyingBoxOf(VelPluginBaseWidget *page)
{
    return page ? page->findChild<QComboBox *>(QStringLiteral("comboBox_underlying")) : nullptr;
}

VelPresenterClass *BenchPage::presenter() const
{
    return m_page ? m_page->findChild<VelPresenterClass *>() : nullptr;
}

VelTreeView *BenchPage::table() const
{
    return m_page ? m_page->findChild<VelTreeView *>() : nullptr;
}

VelTreeModel *BenchPage::model() const
{
    return table() ? table()->model() : nullptr;
}

QTreeView *BenchPage::tree() const
{
    return table() ? table()->treeView() : nullptr;
}

QComboBox *BenchPage::underlyingBox() const
{
    return m_page ? m_page->findChild<QComboBox *>(QStringLiteral("comboBox_underlying")) : nullptr;
}
