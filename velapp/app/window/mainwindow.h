#pragma once

#include "window/pagefactory.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QMainWindow>

#include <functional>

class QAction;
class QLabel;
class QMenu;
class QTabBar;
class QStackedWidget;
class QTabWidget;
class QTimer;
class PaneDock;
class VelPluginBaseWidget;

// The host window: one tab per page, a menu to open and close pages and to
// refresh the current one, and the feed's rate in the status bar.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Folder handed to each page's loadSkin.
    void setSkinRoot(const QString &root);
    // The page types the menu offers.
    void setPageTypes(const QList<PageType> &types);
    QList<PageType> pageTypes() const;
    // Creates, initialises and shows a page of type; null (and a warning)
    // when the type makes no page.
    VelPluginBaseWidget *openPage(const PageType &type);
    // A page of velapp's own (made and set up by the caller): a new tab,
    // made current. The window owns it from here on.
    void addPage(VelPluginBaseWidget *page);
    // Makes page's tab the current one.
    void bringForward(VelPluginBaseWidget *page);
    // Closes page unless it refuses; the page is deleted from the event loop.
    bool closePage(VelPluginBaseWidget *page);
    void closeAllPages();
    QList<VelPluginBaseWidget *> pages() const;
    VelPluginBaseWidget *currentPage() const;

    // The panes docked beside the tabs ("chart", "detail"); hidden until
    // they first have something to show.
    PaneDock *pane(const QString &kind) const;
    // The pages of the panes that are open, chart first.
    QList<VelPluginBaseWidget *> panePages() const;

    // What a person clicks: the tabs, 刷新 and 新建页面's entry for a page
    // type (null when the menu does not offer it).
    QTabBar *tabBar() const;
    QAction *refreshAction() const;
    QAction *openAction(const QString &typeId) const;
    // 页面 → 波动率微笑: the smile of the fund the current (or first) board
    // shows, priced at rate; a smile page open already comes forward.
    QAction *smileAction() const { return m_smileAction; }
    void setRate(double rate) { m_rate = rate; }
    VelPluginBaseWidget *openSmile();

    // Shown instead of the tabs when there is nothing to show.
    void showMessage(const QString &text);
    // The feed shown in the status bar; counter gives published ticks so far,
    // clients (when set) the clients connected to it.
    void setFeed(const QString &description, std::function<quint64()> counter,
                 std::function<int()> clients = {});

signals:
    // A page was created and initialised (and is in its tab).
    void pageOpened(VelPluginBaseWidget *page);

public slots:
    void refreshCurrentPage();
    void closeCurrentPage();
    // The tab step places after the current one (before it when negative).
    void stepPage(int step);

private:
    int insertPage(VelPluginBaseWidget *page);
    void rebuildOpenMenu();
    void updateRate();
    QString rateText(quint64 rate, quint64 merged) const;
    void updateTitle();

    void addPanes();

    QString m_skinRoot;
    PaneDock *m_chartPane = nullptr;
    PaneDock *m_detailPane = nullptr;
    bool m_panesSized = false;
    QList<PageType> m_pageTypes;
    QHash<QString, QString> m_titleByType; // learnt from the first page of each type
    QStackedWidget *m_stack;               // the tabs, or the message
    QTabWidget *m_tabs;
    QLabel *m_message;
    QMenu *m_openMenu;
    QAction *m_refreshAction;
    QAction *m_smileAction;
    double m_rate = 0.015;
    QLabel *m_feedLabel;
    QLabel *m_rateLabel;
    QTimer *m_rateTimer;
    std::function<quint64()> m_counter;
    std::function<int()> m_clients;
    quint64 m_lastCount = 0;
    quint64 m_lastMerged = 0;
    QElapsedTimer m_rateClock;
};
