#include "session/pagesnapshot.h"

#include "pages/boardface.h"
#include "pages/chartpage.h"
#include "pages/detailpage.h"
#include "pages/smilepage.h"

#include "velwidget/velpluginbasewidget.h"
#include "velwidget/veltreemodel.h"
#include "velwidget/veltreeview.h"

#include <QComboBox>
#include <QDockWidget>
#include <QJsonArray>
#include <QLabel>
#include <QPushButton>

namespace {

QJsonObject buttonState(const QPushButton *button, const QWidget *page)
{
    QJsonObject o;
    o.insert(QStringLiteral("text"), button->text());
    // Visible as part of the page: a page in a background tab still counts.
    o.insert(QStringLiteral("visible"), button->isVisibleTo(page));
    o.insert(QStringLiteral("checked"), button->isChecked());
    return o;
}

QJsonObject cellsOf(const Row &row)
{
    QJsonObject cells;
    for (auto column = row.constBegin(); column != row.constEnd(); ++column) {
        QJsonObject record;
        for (auto role = column.value().constBegin(); role != column.value().constEnd(); ++role)
            record.insert(role.key(), QJsonValue::fromVariant(role.value()));
        cells.insert(QString::number(column.key()), record);
    }
    return cells;
}

QJsonArray rowsUnder(const VelTreeModel *model, const QModelIndex &parent)
{
    QJsonArray rows;
    const int count = model->rowCount(parent);
    for (int r = 0; r < count; ++r) {
        const QModelIndex index = model->index(r, 0, parent);
        QJsonObject row;
        row.insert(QStringLiteral("cells"), cellsOf(model->rowData(index)));
        row.insert(QStringLiteral("children"), rowsUnder(model, index));
        rows.append(row);
    }
    return rows;
}

// A linked pane's page, as opposed to a tab's.
bool isDocked(const QWidget *page)
{
    for (const QWidget *w = page->parentWidget(); w; w = w->parentWidget()) {
        if (qobject_cast<const QDockWidget *>(w))
            return true;
    }
    return false;
}

} // namespace

QJsonObject PageSnapshot::capture(const VelPluginBaseWidget *page)
{
    QJsonObject o;
    o.insert(QStringLiteral("title"), page->pluginWidgetTitle());
    const QString kind = BoardFace::kindOf(page);
    o.insert(QStringLiteral("kind"), kind);
    o.insert(QStringLiteral("docked"), isDocked(page));
    if (kind == QLatin1String("tboard")) {
        o.insert(QStringLiteral("loading"), page->loadingState() != 0);
        o.insert(QStringLiteral("underlyingPrice"), BoardFace::underlyingPrice(page));
    }
    QJsonObject own;
    if (const auto *chart = qobject_cast<const ChartPage *>(page))
        own = chart->snapshot();
    else if (const auto *detail = qobject_cast<const DetailPage *>(page))
        own = detail->snapshot();
    else if (const auto *smile = qobject_cast<const SmilePage *>(page))
        own = smile->snapshot();
    for (auto it = own.constBegin(); it != own.constEnd(); ++it)
        o.insert(it.key(), it.value());

    if (const auto *category = BoardFace::categorySelector(page)) {
        QJsonObject c;
        c.insert(QStringLiteral("index"), category->currentIndex());
        c.insert(QStringLiteral("text"), category->currentText());
        o.insert(QStringLiteral("category"), c);
    }
    if (const auto *underlying = BoardFace::underlyingSelector(page)) {
        QJsonObject u;
        u.insert(QStringLiteral("index"), underlying->currentIndex());
        u.insert(QStringLiteral("text"), underlying->currentText());
        u.insert(QStringLiteral("symbol"), underlying->currentData().toString());
        QJsonArray items;
        for (int i = 0; i < underlying->count(); ++i) {
            QJsonObject item;
            item.insert(QStringLiteral("text"), underlying->itemText(i));
            item.insert(QStringLiteral("symbol"), underlying->itemData(i).toString());
            items.append(item);
        }
        u.insert(QStringLiteral("items"), items);
        o.insert(QStringLiteral("underlying"), u);
    }
    if (const auto *all = BoardFace::allDatesButton(page))
        o.insert(QStringLiteral("allButton"), buttonState(all, page));
    QJsonArray dates;
    for (int i = 0; i < BoardFace::DateButtonCount; ++i) {
        if (const auto *button = BoardFace::dateButton(page, i))
            dates.append(buttonState(button, page));
    }
    if (!dates.isEmpty())
        o.insert(QStringLiteral("dateButtons"), dates);
    if (const auto *call = BoardFace::callCaption(page))
        o.insert(QStringLiteral("callCaption"), call->text());
    if (const auto *put = BoardFace::putCaption(page))
        o.insert(QStringLiteral("putCaption"), put->text());
    if (const auto *view = BoardFace::table(page)) {
        if (const VelTreeModel *model = view->model())
            o.insert(QStringLiteral("rows"), rowsUnder(model, QModelIndex()));
    }
    return o;
}

QStringList PageSnapshot::columnCaptions(const VelPluginBaseWidget *page)
{
    QStringList captions;
    const auto *view = BoardFace::table(page);
    const VelTreeModel *model = view ? view->model() : nullptr;
    if (!model)
        return captions;
    for (int c = 0; c < model->columnCount(); ++c)
        captions.append(model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString());
    return captions;
}
