#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTemporaryDir>
#include <QVariantMap>

#include "window/pagefactory.h"

#include <functional>
#include <memory>

class MainWindow;
class QComboBox;
class QTreeView;
class VelPluginBaseWidget;
class VelPresenterClass;
class VelTreeModel;
class VelTreeView;

// One T-board page hosted as velapp hosts it: the built plugin loaded by the
// plugin manager, the page opened in velapp's main window and shown, the
// reference data loaded afterwards and announced with the base-data event.
class BenchPage : public QObject
{
    Q_OBJECT
public:
    // Where a tick of an option lands in the table.
    struct Place
    {
        QString identity; // the row's identity in the table model
        bool call = true;
    };

    // Before QApplication: offscreen unless a platform was chosen; debug
    // lines off unless showDebug (velapp keeps the pages' trace off too).
    static void prepareProcess(bool showDebug = false);

    BenchPage();
    ~BenchPage() override;

    // Loads the plugins and opens one shown page of the first page type.
    bool open(const QSize &windowSize, QString *error);
    // Opens one more shown page of the same type (the window shows it).
    VelPluginBaseWidget *openAnother();
    bool close(VelPluginBaseWidget *page);
    // Closes every page (their presenters leave the bus); the window stays.
    void closeAll();
    static VelTreeModel *modelOf(VelPluginBaseWidget *page);
    static QTreeView *treeOf(VelPluginBaseWidget *page);
    static QComboBox *underlyingBoxOf(VelPluginBaseWidget *page);

    // Loads records as the host's reference data and sends the base-data event.
    void loadReferenceData(const QList<QVariantMap> &records);
    // Runs the event loop until done() holds or timeoutMs passed; false on timeout.
    static bool waitFor(const std::function<bool()> &done, int timeoutMs = 60000);
    // Waits until the table holds rows rows (group rows included).
    bool waitForRows(int rows, int timeoutMs = 60000);

    // Table places of the options of category's chain (all underlyings in it).
    QHash<QString, Place> places(const QVariantMap &category) const;

    MainWindow *window() const { return m_window.get(); }
    VelPluginBaseWidget *page() const { return m_page; }
    VelPresenterClass *presenter() const;
    VelTreeView *table() const;
    VelTreeModel *model() const;
    QTreeView *tree() const;
    QComboBox *underlyingBox() const;

private:
    QTemporaryDir m_settingsDir;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<VelPresenterClass> m_hostPresenter;
    VelPluginBaseWidget *m_page = nullptr;
    PageType m_type; // the page type opened first
};
