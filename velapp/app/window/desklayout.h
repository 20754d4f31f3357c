#pragma once

#include <QHash>
#include <QJsonArray>
#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

class MainWindow;
class QHeaderView;
class VelPluginBaseWidget;

// What a person arranged, found again at the next start: the window's size
// and place, the open pages (a board's fund and date, a chart's strike, a
// detail page's option) and the order of each table's columns, kept in the
// host's settings store.
class DeskLayout : public QObject
{
    Q_OBJECT
public:
    // restore: start from what the store holds; save: store what the person
    // arranges. With neither, a column moved still reaches the pages opened
    // later in the same run. The saved window size applies at once.
    DeskLayout(MainWindow *window, bool restore, bool save, QObject *parent = nullptr);

    // Saved pages wait to be reopened instead of the default ones.
    bool hasPages() const { return !m_pages.isEmpty(); }
    // Opens the saved pages once the reference data are in (charts and
    // detail pages are made from them), then gives each board its fund and
    // date when the pages have loaded. Returns the pages opened; those of a
    // page type or contract that is gone are left out.
    int reopenPages(double rate);
    // Stores the window and its pages (when saving).
    void save() const;

signals:
    // The saved boards have their fund and date.
    void pagesRestored();

private:
    void adopt(VelPluginBaseWidget *page);
    void restorePanes(const QString &state);
    void rememberOrder(const QString &key, const QHeaderView *header);
    QString pageTypeOf(const VelPluginBaseWidget *page) const;
    void whenSettled(int rounds, std::function<void()> done);
    void chooseFunds();
    void chooseDates(int attempt = 0);

    MainWindow *m_window;
    bool m_restore;
    bool m_save;
    QJsonArray m_pages;
    int m_current = 0;
    // Logical columns in the order shown, by table ("columns/<page class>/<n>").
    QHash<QString, QList<int>> m_columnOrders;
    bool m_ordering = false; // moving sections to a saved order
    struct Board
    {
        QPointer<VelPluginBaseWidget> page;
        int category;
        QString underlying;
        QString date;
        int steady = 0; // checks in a row that found the date still chosen
    };
    QList<Board> m_boards;
    QPointer<VelPluginBaseWidget> m_currentPage;
};
