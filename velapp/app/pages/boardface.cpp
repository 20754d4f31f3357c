#include "pages/boardface.h"

#include "pages/chartpage.h"
#include "pages/detailpage.h"
#include "pages/smilepage.h"

#include "veldefine/velconstants.h"
#include "velwidget/velpluginbasewidget.h"
#include "velwidget/veltreemodel.h"
#include "velwidget/veltreeview.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

const char kCategory[] = "comboBox_underlyingCategory";
const char kUnderlying[] = "comboBox_underlying";
const char kAllDates[] = "pushButton_allDate";
const char kCall[] = "label_Call";
const char kPut[] = "label_Put";
const char kCount[] = "lineEdit_limitNumber";
const char kCentre[] = "lineEdit_SymmetryPrice";
const char kApply[] = "pushButton";

QString dateButtonName(int index)
{
    return QStringLiteral("pushButton_%1").arg(index + 1);
}

template<typename T> T *child(const VelPluginBaseWidget *page, const QString &name)
{
    return page ? page->findChild<T *>(name) : nullptr;
}

template<typename T> T *child(const VelPluginBaseWidget *page, const char *name)
{
    return child<T>(page, QLatin1String(name));
}

} // namespace

namespace BoardFace {

bool isBoard(const VelPluginBaseWidget *page)
{
    return page && page->inherits("TQuotationWidget");
}

QString kindOf(const VelPluginBaseWidget *page)
{
    if (isBoard(page))
        return QStringLiteral("tboard");
    if (qobject_cast<const ChartPage *>(page))
        return QStringLiteral("chart");
    if (qobject_cast<const DetailPage *>(page))
        return QStringLiteral("detail");
    if (qobject_cast<const SmilePage *>(page))
        return QStringLiteral("smile");
    return QStringLiteral("unknown");
}

QComboBox *categorySelector(const VelPluginBaseWidget *page)
{
    return child<QComboBox>(page, kCategory);
}

QComboBox *underlyingSelector(const VelPluginBaseWidget *page)
{
    return child<QComboBox>(page, kUnderlying);
}

QPushButton *allDatesButton(const VelPluginBaseWidget *page)
{
    return child<QPushButton>(page, kAllDates);
}

QPushButton *dateButton(const VelPluginBaseWidget *page, int index)
{
    if (index < 0 || index >= DateButtonCount)
        return nullptr;
    return child<QPushButton>(page, dateButtonName(index));
}

QLabel *callCaption(const VelPluginBaseWidget *page)
{
    return child<QLabel>(page, kCall);
}

QLabel *putCaption(const VelPluginBaseWidget *page)
{
    return child<QLabel>(page, kPut);
}

QLineEdit *filterCountInput(const VelPluginBaseWidget *page)
{
    return child<QLineEdit>(page, kCount);
}

QLineEdit *filterCentreInput(const VelPluginBaseWidget *page)
{
    return child<QLineEdit>(page, kCentre);
}

QPushButton *filterApplyButton(const VelPluginBaseWidget *page)
{
    return child<QPushButton>(page, kApply);
}

VelTreeView *table(const VelPluginBaseWidget *page)
{
    return page ? page->findChild<VelTreeView *>() : nullptr;
}

QStringList widgetNames()
{
    QStringList names{QLatin1String(kCategory), QLatin1String(kUnderlying),
                      QLatin1String(kAllDates), QLatin1String(kCall),
                      QLatin1String(kPut),      QLatin1String(kCount),
                      QLatin1String(kCentre),   QLatin1String(kApply)};
    for (int i = 0; i < DateButtonCount; ++i)
        names.append(dateButtonName(i));
    return names;
}

// The frame holds the price text; read through the meta-object system so
// velapp needs no plugin header.
QString underlyingPrice(const VelPluginBaseWidget *page)
{
    const QList<QObject *> children = page->findChildren<QObject *>();
    for (QObject *object : children) {
        if (!object->inherits("TQuotationFrame"))
            continue;
        QString price;
        if (QMetaObject::invokeMethod(object, "getSymmetryShortName", Qt::DirectConnection,
                                      Q_RETURN_ARG(QString, price)))
            return price;
    }
    return QString();
}

QString shownText(const VelTreeModel *model, const QModelIndex &row, int column)
{
    const QVariantMap cell = model->rowData(row).value(column);
    const QString display = cell.value(VelConst::RoleDisplay).toString();
    return display.isEmpty() ? cell.value(VelConst::RoleUser).toString() : display;
}

QModelIndex strikeRow(const VelTreeModel *model, const QString &date, const QString &strike)
{
    for (int g = 0; g < model->rowCount(); ++g) {
        const QModelIndex group = model->index(g, 0);
        if (shownText(model, group, DateColumn) != date)
            continue;
        for (int r = 0; r < model->rowCount(group); ++r) {
            const QModelIndex row = model->index(r, 0, group);
            if (shownText(model, row, StrikeColumn).trimmed() == strike.trimmed())
                return row;
        }
    }
    return QModelIndex();
}

} // namespace BoardFace
