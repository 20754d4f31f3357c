#include "window/mainwindow.h"

#include "businessdatamanager/businessdatainterface.h"
#include "velcorelog.h"
#include "velwidget/velpluginbasewidget.h"

#include <QAction>
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
    updateTitle();
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
