#pragma once

#include "velwidget/velpresenterclass.h"

class MainWindow;

// Answers the T-board's clicks on the bus with velapp's own pages: a chart
// for a strike (213332), a detail page for an option (213334). A page that
// is open already is brought forward instead of opened twice.
class LinkedPages : public VelPresenterClass
{
    Q_OBJECT
public:
    LinkedPages(MainWindow *window, double rate);

    // Runs on the GUI thread (the presenter's), where pages live.
    void ProcEventMsg(QString src, QVariant type, QVariant msg) override;

private:
    void showChart(const QList<QVariantMap> &rows);
    void showDetail(const QList<QVariantMap> &rows);

    MainWindow *m_window;
    double m_rate;
};
