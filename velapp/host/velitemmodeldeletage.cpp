#include "velwidget/velitemmodeldeletage.h"

#include <QFontMetrics>
#include <QPainter>

namespace {

const int kTextPadding = 3;

} // namespace

VelItemModelDeletage::VelItemModelDeletage(QObject *parent)
    : QStyledItemDelegate(parent)
    , m_gridColor(0x40, 0x40, 0x40)
{}

VelItemModelDeletage::~VelItemModelDeletage() = default;

void VelItemModelDeletage::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                 const QModelIndex &index) const
{
    if (!painter)
        return;
    QStyledItemDelegate::paint(painter, option, index);
    if (m_gridLineStyle == 0)
        return;

    painter->save();
    QPen pen(m_gridColor);
    pen.setCosmetic(true);
    painter->setPen(pen);
    const QRect &rect = option.rect;
    if (m_gridLineStyle & 1)
        painter->drawLine(rect.bottomLeft(), rect.bottomRight());
    if (m_gridLineStyle & 2)
        painter->drawLine(rect.topRight(), rect.bottomRight());
    painter->restore();
}

void VelItemModelDeletage::drawMetricsText(QPainter *painter, const QRect &rect, int flags,
                                           const QString &text) const
{
    if (!painter || text.isEmpty())
        return;
    QRect textRect = rect;
    if (rect.width() > 2 * kTextPadding)
        textRect.adjust(kTextPadding, 0, -kTextPadding, 0);
    const QString shown = painter->fontMetrics().elidedText(text, Qt::ElideRight, textRect.width());
    painter->drawText(textRect, flags, shown);
}

void VelItemModelDeletage::setGridColor(const QColor &color)
{
    if (color.isValid())
        m_gridColor = color;
}

QColor VelItemModelDeletage::gridColor() const
{
    return m_gridColor;
}

void VelItemModelDeletage::setGridLineStyle(int style)
{
    m_gridLineStyle = qBound(0, style, 3);
}

int VelItemModelDeletage::gridLineStyle() const
{
    return m_gridLineStyle;
}
