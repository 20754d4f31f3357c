#pragma once

#include "velwidget/velpresenterclass.h"

class MainWindow;
class PaneDock;
class VelPluginBaseWidget;

// Answers the T-board's clicks on the bus the way a desk's linked windows
// do: a strike clicked (213332) shows in the chart pane, an option double
// clicked (213334) in the detail pane, and the board stays current. Keep
// copies a pane into a tab that stays on its option.
class LinkedPages : public VelPresenterClass
{
    Q_OBJECT
public:
    LinkedPages(MainWindow *window, double rate);

    // Runs on the GUI thread (the presenter's), where pages live.
    void ProcEventMsg(QString src, QVariant type, QVariant msg) override;
    // A tab of the pane's page; the tab of the same option comes forward
    // instead of a second one.
    void keep(const VelPluginBaseWidget *page);

private:
    void showChart(const QList<QVariantMap> &rows);
    void showDetail(const QList<QVariantMap> &rows);
    // The pane shows again when it was closed; true when it showed page's like.
    bool reshow(PaneDock *pane, const QString &key);

    MainWindow *m_window;
    double m_rate;
};
