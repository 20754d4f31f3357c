#include "ItemModelDeletage.h"

#include "TQuotationFrame.h"

#include "PivoraUtils/pivorautils.h"
#include "veldefine/velconstants.h"
#include "velwidget/veltreemodel.h"

#include <QPainter>
#include <QStyle>

#include <cmath>

namespace {

const int kStrikeColumn = 7;
const int kCallChangeColumn = 3;
const int kPutChangeColumn = 11;

bool isPriceColumn(int column)
{
    return (column >= 0 && column <= 5) || (column >= 9 && column <= 14);
}

bool isOpenInterestColumn(int column)
{
    return column == 6 || column == 8;
}

// Fill of a blinking cell: opaque blue whose strength fades with the level.
QColor blinkColor(const QString &level)
{
    QColor color(QStringLiteral("#0000FF"));
    if (level == QLatin1String("3"))
        color.setBlue(96);
    else if (level == QLatin1String("2"))
        color.setBlue(64);
    else if (level == QLatin1String("1"))
        color.setBlue(32);
    return color;
}

// The number a strike short name starts with ("2.950 ", "2.950A" -> 2.95).
bool leadingNumber(const QString &text, double *value)
{
    int end = 0;
    while (end < text.size() && (text.at(end).isDigit() || text.at(end) == QLatin1Char('.')))
        ++end;
    bool ok = false;
    *value = text.leftRef(end).toDouble(&ok);
    return ok && std::isfinite(*value);
}

// In-the-money tint: calls whose strike is below the underlying's last
// price, puts whose strike is above it. Nothing until a price is known,
// nothing on group rows, and the selection highlight is never covered.
void paintMoneyness(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index,
                    int column, const TQuotationFrame *frame, const VelTreeModel *model)
{
    if (option.state & QStyle::State_Selected)
        return;
    const bool call = column < kStrikeColumn;
    const QColor color = call ? frame->getUpBackgroudColor() : frame->getDownBackgroudColor();
    if (!color.isValid())
        return;
    bool ok = false;
    const double underlyingPrice = frame->getSymmetryShortName().toDouble(&ok);
    if (!ok || !std::isfinite(underlyingPrice) || underlyingPrice <= 0)
        return;
    const QString strikeText = model->getIndexData(index, kStrikeColumn, Qt::UserRole).toString();
    double strike = 0;
    if (strikeText == VelConst::ALL_PRICE || !leadingNumber(strikeText, &strike))
        return;
    const bool inTheMoney = call ? strike < underlyingPrice : strike > underlyingPrice;
    if (inTheMoney)
        painter->fillRect(option.rect.adjusted(0, 0, -1, -1), color); // keep the grid lines
}

} // namespace

ItemModelDeletage::ItemModelDeletage(QObject *parent)
    : VelItemModelDeletage(parent)
{}

void ItemModelDeletage::paint(QPainter *painter, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const
{
    VelItemModelDeletage::paint(painter, option, index);

    const TQuotationFrame *frame = qobject_cast<const TQuotationFrame *>(parent());
    if (!frame)
        return;
    const int column = VelModelIndex::column(index);
    const VelTreeModel *model = qobject_cast<const VelTreeModel *>(index.model());
    if (!model)
        return;

    const QRect rect = option.rect;
    const int alignment = model->data(index, Qt::TextAlignmentRole).toInt();

    if (column == kStrikeColumn) {
        const QString text = model->data(index, Qt::UserRole).toString();
        painter->save();
        if (text != VelConst::ALL_PRICE) {
            painter->setPen(PivoraUtils::BalanceColor());
            drawMetricsText(painter, rect, alignment, text);
        }
        painter->restore();
        return;
    }

    if (isPriceColumn(column)) {
        painter->save();
        paintMoneyness(painter, option, index, column, frame, model);
        painter->restore();

        const QStringList parts =
            model->data(index, Qt::UserRole)
                .toString()
                .split(VelConst::BlinkSeparator, Qt::KeepEmptyParts, Qt::CaseSensitive);
        if (parts.size() != 2)
            return;
        const QString &value = parts.at(0);
        const QString &level = parts.at(1);

        if (level != QLatin1String("0")) {
            const QColor fill = blinkColor(level);
            painter->save();
            painter->setBrush(QBrush(fill, Qt::SolidPattern));
            painter->setPen(fill);
            painter->drawRect(rect.x(), rect.y(), rect.width(), rect.height());
            painter->restore();
        }

        // Every price of a side takes its colour from that side's change.
        const int changeColumn = column < kStrikeColumn ? kCallChangeColumn : kPutChangeColumn;
        const double change = model->getIndexData(index, changeColumn, Qt::UserRole + 1).toDouble();
        const QColor penColor = change < 0 ? PivoraUtils::DownColor() : PivoraUtils::RiseColor();

        painter->save();
        painter->setPen(QPen(penColor));
        painter->drawText(rect, alignment, value);
        painter->restore();
        return;
    }

    if (isOpenInterestColumn(column)) {
        painter->save();
        paintMoneyness(painter, option, index, column, frame, model);
        painter->restore();

        painter->save();
        drawMetricsText(painter, rect, alignment, model->data(index, Qt::UserRole + 1).toString());
        painter->restore();
    }
}
