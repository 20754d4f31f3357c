#include "window/linkedpages.h"

#include "pages/chartpage.h"
#include "pages/detailpage.h"
#include "window/mainwindow.h"

#include "veldefine/velconstants.h"
#include "veldefine/veldefine.h"
#include "velmsg/packmessage.h"

LinkedPages::LinkedPages(MainWindow *window, double rate)
    : VelPresenterClass(QStringLiteral("velapp.linked"), nullptr,
                        IMessageInterface::ThreadType_Main)
    , m_window(window)
    , m_rate(rate)
{
    SubEvent(pluginPid(), QVariant(int(VelEventType::ShowChart)), 0);
    SubEvent(pluginPid(), QVariant(int(VelEventType::ShowSymbol)), 0);
}

void LinkedPages::ProcEventMsg(QString, QVariant type, QVariant msg)
{
    CUnPackMessageCommon unpack;
    unpack.SetUnPackMsg(msg, false);
    const QList<QVariantMap> rows = unpack.rows();
    if (type.toInt() == VelEventType::ShowChart)
        showChart(rows);
    else if (type.toInt() == VelEventType::ShowSymbol)
        showDetail(rows);
}

void LinkedPages::showChart(const QList<QVariantMap> &rows)
{
    const QVariantMap call = rows.value(0);
    const QVariantMap put = rows.value(1);
    const QString callSymbol = call.value(Ostrel_Fields::Security::symbol).toString();
    const QString putSymbol = put.value(Ostrel_Fields::Security::symbol).toString();
    // No rows, or a strike the chain lacked: nothing to draw.
    if (callSymbol.isEmpty() && putSymbol.isEmpty())
        return;
    const QList<VelPluginBaseWidget *> pages = m_window->pages();
    for (VelPluginBaseWidget *page : pages) {
        const auto *chart = qobject_cast<ChartPage *>(page);
        if (chart && chart->symbols().at(0) == callSymbol && chart->symbols().at(1) == putSymbol) {
            m_window->bringForward(page);
            return;
        }
    }
    m_window->addPage(new ChartPage(call, put));
}

void LinkedPages::showDetail(const QList<QVariantMap> &rows)
{
    const QVariantMap record = rows.value(0);
    const QString symbol = record.value(Ostrel_Fields::Security::symbol).toString();
    if (symbol.isEmpty())
        return;
    const QList<VelPluginBaseWidget *> pages = m_window->pages();
    for (VelPluginBaseWidget *page : pages) {
        const auto *detail = qobject_cast<DetailPage *>(page);
        if (detail && detail->symbol() == symbol) {
            m_window->bringForward(page);
            return;
        }
    }
    m_window->addPage(new DetailPage(record, m_rate));
}
