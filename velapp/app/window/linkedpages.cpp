#include "window/linkedpages.h"

#include "pages/chartpage.h"
#include "pages/detailpage.h"
#include "window/mainwindow.h"
#include "window/panedock.h"

#include "veldefine/velconstants.h"
#include "veldefine/veldefine.h"
#include "velmsg/packmessage.h"

namespace {

// What a linked page stays on: its option, or the strike's two sides.
QString keyOf(const VelPluginBaseWidget *page)
{
    if (const auto *chart = qobject_cast<const ChartPage *>(page))
        return QStringLiteral("chart:") + chart->symbols().mid(0, 2).join(QLatin1Char('|'));
    if (const auto *detail = qobject_cast<const DetailPage *>(page))
        return QStringLiteral("detail:") + detail->symbol();
    return QString();
}

} // namespace

LinkedPages::LinkedPages(MainWindow *window, double rate)
    : VelPresenterClass(QStringLiteral("velapp.linked"), nullptr,
                        IMessageInterface::ThreadType_Main)
    , m_window(window)
    , m_rate(rate)
{
    SubEvent(pluginPid(), QVariant(int(VelEventType::ShowChart)), 0);
    SubEvent(pluginPid(), QVariant(int(VelEventType::ShowSymbol)), 0);
    for (const char *kind : {"chart", "detail"}) {
        connect(window->pane(QLatin1String(kind)), &PaneDock::keepRequested, this,
                &LinkedPages::keep);
    }
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

bool LinkedPages::reshow(PaneDock *pane, const QString &key)
{
    if (!pane->page() || keyOf(pane->page()) != key)
        return false;
    if (pane->isHidden())
        pane->show();
    return true;
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
    PaneDock *pane = m_window->pane(QStringLiteral("chart"));
    if (!reshow(pane, QStringLiteral("chart:") + callSymbol + QLatin1Char('|') + putSymbol))
        pane->setPage(new ChartPage(call, put));
}

void LinkedPages::showDetail(const QList<QVariantMap> &rows)
{
    const QVariantMap record = rows.value(0);
    const QString symbol = record.value(Ostrel_Fields::Security::symbol).toString();
    if (symbol.isEmpty())
        return;
    PaneDock *pane = m_window->pane(QStringLiteral("detail"));
    if (!reshow(pane, QStringLiteral("detail:") + symbol))
        pane->setPage(new DetailPage(record, m_rate));
}

void LinkedPages::keep(const VelPluginBaseWidget *page)
{
    const QString key = keyOf(page);
    if (key.isEmpty())
        return;
    const QList<VelPluginBaseWidget *> pages = m_window->pages();
    for (VelPluginBaseWidget *tab : pages) {
        if (keyOf(tab) == key) {
            m_window->bringForward(tab);
            return;
        }
    }
    if (const auto *chart = qobject_cast<const ChartPage *>(page))
        m_window->addPage(new ChartPage(chart->callRecord(), chart->putRecord()));
    else if (const auto *detail = qobject_cast<const DetailPage *>(page))
        m_window->addPage(new DetailPage(detail->record(), detail->rate()));
}
