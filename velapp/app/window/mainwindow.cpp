#include "window/mainwindow.h"

#include "pages/boardface.h"
#include "pages/smilepage.h"
#include "window/panedock.h"

#include "businessdatamanager/businessdatainterface.h"
#include "velbusinessdata/businessdatabase.h"

#include "velcorelog.h"
#include "veldefine/veldefine.h"
#include "velwidget/velpluginbasewidget.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_stack(new QStackedWidget)
    , m_tabs(new QTabWidget)
    , m_message(new QLabel)
    , m_openMenu(nullptr)
    , m_refreshAction(nullptr)
    , m_smileAction(nullptr)
    , m_feedLabel(new QLabel)
    , m_rateLabel(new QLabel)
    , m_rateTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("velappMainWindow"));
    resize(1600, 800);

    m_tabs->setObjectName(QStringLiteral("velappPages"));
    m_tabs->setTabsClosable(true);
    m_tabs->setMovable(true);
    m_tabs->setDocumentMode(true);
    connect(m_tabs, &QTabWidget::tabCloseRequested, this, [this](int index) {
        closePage(qobject_cast<VelPluginBaseWidget *>(m_tabs->widget(index)));
    });
    connect(m_tabs, &QTabWidget::currentChanged, this, &MainWindow::updateTitle);

    m_message->setObjectName(QStringLiteral("velappMessage"));
    m_message->setAlignment(Qt::AlignCenter);
    m_message->setWordWrap(true);

    m_stack->addWidget(m_tabs);
    m_stack->addWidget(m_message);
    setCentralWidget(m_stack);

    QMenu *pageMenu = menuBar()->addMenu(tr("页面(&P)"));
    m_openMenu = pageMenu->addMenu(tr("新建页面(&N)"));
    QAction *close =
        pageMenu->addAction(tr("关闭当前页面(&C)"), this, &MainWindow::closeCurrentPage);
    // Ctrl+W first, so the menu shows it whatever the platform's first choice.
    close->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_W), QKeySequence(Qt::CTRL | Qt::Key_F4)});
    m_refreshAction = pageMenu->addAction(tr("刷新(&R)"), this, &MainWindow::refreshCurrentPage);
    m_refreshAction->setShortcut(QKeySequence::Refresh);
    m_smileAction = pageMenu->addAction(tr("波动率微笑(&M)"), this, &MainWindow::openSmile);
    m_smileAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    pageMenu->addSeparator();
    QAction *next = pageMenu->addAction(tr("下一个页面"), this, [this] { stepPage(1); });
    next->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab));
    QAction *previous = pageMenu->addAction(tr("上一个页面"), this, [this] { stepPage(-1); });
    previous->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab),
                            QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab)});
    pageMenu->addSeparator();
    QAction *quit = pageMenu->addAction(tr("退出(&Q)"), this, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);
    rebuildOpenMenu();

    m_feedLabel->setObjectName(QStringLiteral("velappFeed"));
    m_rateLabel->setObjectName(QStringLiteral("velappTickRate"));
    statusBar()->addWidget(m_feedLabel);
    statusBar()->addPermanentWidget(m_rateLabel);
    m_rateTimer->setInterval(1000);
    connect(m_rateTimer, &QTimer::timeout, this, &MainWindow::updateRate);
    addPanes();
    updateTitle();
}

// Right of the board, the chart above the detail; they appear with the
// first click they answer.
void MainWindow::addPanes()
{
    m_chartPane = new PaneDock(QStringLiteral("chart"), tr("走势"), this);
    m_detailPane = new PaneDock(QStringLiteral("detail"), tr("详情"), this);
    addDockWidget(Qt::RightDockWidgetArea, m_chartPane);
    splitDockWidget(m_chartPane, m_detailPane, Qt::Vertical);
    resizeDocks({m_chartPane}, {560}, Qt::Horizontal);
    m_chartPane->hide();
    m_detailPane->hide();
    // The first time both show, the detail gets the height its figures need
    // (half at most), the chart the rest.
    for (PaneDock *dock : {m_chartPane, m_detailPane}) {
        connect(dock, &QDockWidget::visibilityChanged, this, [this](bool visible) {
            if (!visible || m_panesSized || !m_chartPane->isVisible() ||
                !m_detailPane->isVisible() ||
                dockWidgetArea(m_chartPane) != dockWidgetArea(m_detailPane))
                return;
            m_panesSized = true;
            const int height = m_chartPane->height() + m_detailPane->height();
            const int detail = qMin(m_detailPane->sizeHint().height(), height / 2);
            resizeDocks({m_chartPane, m_detailPane}, {height - detail, detail}, Qt::Vertical);
        });
    }
}

PaneDock *MainWindow::pane(const QString &kind) const
{
    if (kind == QLatin1String("chart"))
        return m_chartPane;
    return kind == QLatin1String("detail") ? m_detailPane : nullptr;
}

QList<VelPluginBaseWidget *> MainWindow::panePages() const
{
    QList<VelPluginBaseWidget *> result;
    for (const PaneDock *dock : {m_chartPane, m_detailPane}) {
        if (dock->isShowing())
            result.append(dock->page());
    }
    return result;
}

MainWindow::~MainWindow()
{
    // Pages go before the window's other children: their presenters leave
    // the bus while the rest of the host is still in place.
    const QList<VelPluginBaseWidget *> all = pages();
    for (VelPluginBaseWidget *page : all)
        delete page;
}

void MainWindow::setSkinRoot(const QString &root)
{
    m_skinRoot = root;
}

void MainWindow::setPageTypes(const QList<PageType> &types)
{
    m_pageTypes = types;
    rebuildOpenMenu();
}

QList<PageType> MainWindow::pageTypes() const
{
    return m_pageTypes;
}

void MainWindow::rebuildOpenMenu()
{
    m_openMenu->clear();
    m_openMenu->setEnabled(!m_pageTypes.isEmpty());
    for (const PageType &type : qAsConst(m_pageTypes)) {
        QAction *open =
            m_openMenu->addAction(m_titleByType.value(type.id, type.id), this, [this, type] {
                if (VelPluginBaseWidget *page = openPage(type))
                    m_tabs->setCurrentWidget(page);
            });
        open->setData(type.id);
        // The first page type is the one a new page gets from the keyboard.
        if (type.id == m_pageTypes.constFirst().id)
            open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    }
}

VelPluginBaseWidget *MainWindow::openPage(const PageType &type)
{
    QString error;
    VelPluginBaseWidget *page = PageFactory::create(type, &error);
    if (!page) {
        qCWarning(lcVelPlugins).noquote() << error;
        return nullptr;
    }
    if (m_titleByType.value(type.id) != page->pluginWidgetTitle()) {
        m_titleByType.insert(type.id, page->pluginWidgetTitle());
        // Later: the action that asked for this page may be running now.
        QMetaObject::invokeMethod(this, &MainWindow::rebuildOpenMenu, Qt::QueuedConnection);
    }
    page->setLoadingState(1);
    page->loadSkin(m_skinRoot);
    // The presenter base ends the loading state when the page reports its
    // data loaded.
    page->initPluginWidget();
    const int index = insertPage(page);
    if (m_tabs->count() == 1)
        m_tabs->setCurrentIndex(index);
    emit pageOpened(page);
    return page;
}

void MainWindow::addPage(VelPluginBaseWidget *page)
{
    insertPage(page);
    m_tabs->setCurrentWidget(page);
    emit pageOpened(page);
}

void MainWindow::bringForward(VelPluginBaseWidget *page)
{
    if (m_tabs->indexOf(page) >= 0)
        m_tabs->setCurrentWidget(page);
}

int MainWindow::insertPage(VelPluginBaseWidget *page)
{
    const int index = m_tabs->addTab(page, page->pluginWidgetTitle());
    connect(page, &VelPluginBaseWidget::pluginWidgetTitleChanged, this,
            [this, page](const QString &title) {
                const int i = m_tabs->indexOf(page);
                if (i >= 0)
                    m_tabs->setTabText(i, title);
                updateTitle();
            });
    m_stack->setCurrentWidget(m_tabs);
    updateTitle();
    return index;
}

bool MainWindow::closePage(VelPluginBaseWidget *page)
{
    const int index = page ? m_tabs->indexOf(page) : -1;
    if (index < 0)
        return false;
    QString reason;
    if (page->isCloseable(reason) == 0) {
        statusBar()->showMessage(reason.isEmpty() ? tr("页面不能关闭") : reason, 5000);
        return false;
    }
    page->doBeforeClose();
    page->closeByUser();
    m_tabs->removeTab(index);
    page->hide();
    // Deleted once the slot that asked for it has returned.
    page->deleteLater();
    updateTitle();
    return true;
}

void MainWindow::closeAllPages()
{
    const QList<VelPluginBaseWidget *> all = pages();
    for (VelPluginBaseWidget *page : all) {
        m_tabs->removeTab(m_tabs->indexOf(page));
        delete page;
    }
    updateTitle();
}

QList<VelPluginBaseWidget *> MainWindow::pages() const
{
    QList<VelPluginBaseWidget *> result;
    for (int i = 0; i < m_tabs->count(); ++i) {
        if (auto *page = qobject_cast<VelPluginBaseWidget *>(m_tabs->widget(i)))
            result.append(page);
    }
    return result;
}

VelPluginBaseWidget *MainWindow::currentPage() const
{
    return qobject_cast<VelPluginBaseWidget *>(m_tabs->currentWidget());
}

QTabBar *MainWindow::tabBar() const
{
    return m_tabs->tabBar();
}

QAction *MainWindow::refreshAction() const
{
    return m_refreshAction;
}

QAction *MainWindow::openAction(const QString &typeId) const
{
    const QList<QAction *> actions = m_openMenu->actions();
    for (QAction *action : actions) {
        if (action->data().toString() == typeId)
            return action;
    }
    return nullptr;
}

VelPluginBaseWidget *MainWindow::openSmile()
{
    const QList<VelPluginBaseWidget *> all = pages();
    for (VelPluginBaseWidget *page : all) {
        if (qobject_cast<SmilePage *>(page)) {
            bringForward(page);
            return page;
        }
    }
    // The fund of the board in front, else of the first board, else the
    // first fund listed.
    QString fund;
    QList<VelPluginBaseWidget *> boards{currentPage()};
    boards += all;
    for (VelPluginBaseWidget *page : qAsConst(boards)) {
        const QComboBox *selector = BoardFace::underlyingSelector(page);
        if (fund.isEmpty() && selector)
            fund = selector->currentData().toString();
    }
    const QList<QVariantMap> securities = CBusinessDataBase::GetInstance()->allSecurities();
    for (int i = 0; fund.isEmpty() && i < securities.size(); ++i) {
        if (securities.at(i).value(Ostrel_Fields::MDCFieldDefine::mdcSecurityType).toString() ==
            Ostrel_Values::MdcSecurityType::FundType)
            fund = securities.at(i).value(Ostrel_Fields::Security::symbol).toString();
    }
    auto *smile = new SmilePage(fund, m_rate);
    addPage(smile);
    return smile;
}

void MainWindow::showMessage(const QString &text)
{
    m_message->setText(text);
    m_stack->setCurrentWidget(m_message);
}

void MainWindow::setFeed(const QString &description, std::function<quint64()> counter,
                         std::function<int()> clients)
{
    m_feedLabel->setText(description);
    m_counter = std::move(counter);
    m_clients = std::move(clients);
    m_lastCount = m_counter ? m_counter() : 0;
    m_lastMerged = BusinessDataInterface::Counts().merged;
    m_rateClock.start();
    m_rateLabel->setText(m_counter ? rateText(0, 0) : QString());
    if (m_counter)
        m_rateTimer->start();
    else
        m_rateTimer->stop();
}

// Merged ticks were summed up by a later tick of their symbol before a page
// took them; unlisted and refused ones never reached the pages.
QString MainWindow::rateText(quint64 rate, quint64 merged) const
{
    QString text = tr("行情 %1 笔/秒").arg(rate) + tr(" · 合并 %1 笔/秒").arg(merged);
    const BusinessDataInterface::QuotationCounts counts = BusinessDataInterface::Counts();
    if (counts.unknownSymbols > 0)
        text += tr(" · 未列代码 %1 笔").arg(counts.unknownSymbols);
    if (counts.refused > 0)
        text += tr(" · 拒收 %1 笔").arg(counts.refused);
    return m_clients ? tr("连接 %1 · ").arg(m_clients()) + text : text;
}

void MainWindow::updateRate()
{
    if (!m_counter)
        return;
    const quint64 count = m_counter();
    const qint64 elapsed = qMax<qint64>(1, m_rateClock.restart());
    const quint64 rate = (count - m_lastCount) * 1000 / quint64(elapsed);
    m_lastCount = count;
    const quint64 merged = BusinessDataInterface::Counts().merged;
    const quint64 mergedRate = (merged - m_lastMerged) * 1000 / quint64(elapsed);
    m_lastMerged = merged;
    m_rateLabel->setText(rateText(rate, mergedRate));
}

void MainWindow::refreshCurrentPage()
{
    if (VelPluginBaseWidget *page = currentPage())
        page->refreshPluginWidget();
}

void MainWindow::closeCurrentPage()
{
    closePage(currentPage());
}

// Round the tabs, as a browser's Ctrl+Tab goes.
void MainWindow::stepPage(int step)
{
    const int count = m_tabs->count();
    if (count > 1)
        m_tabs->setCurrentIndex((m_tabs->currentIndex() + step + count) % count);
}

void MainWindow::updateTitle()
{
    const VelPluginBaseWidget *page = currentPage();
    setWindowTitle(page ? QStringLiteral("velapp - ") + page->pluginWidgetTitle()
                        : QStringLiteral("velapp"));
}
