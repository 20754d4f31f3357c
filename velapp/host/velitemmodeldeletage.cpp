#include "velwidget/velitemmodeldeletage.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>

namespace {

const int kTextPadding = 3;
// Text wider than its cell is drawn smaller, down to this share of the
// font, before it is cut: a page's column widths are fixed, and a date
// cut to "2026…" tells nothing.
const double kMinFontScale = 0.7;

} // namespace

QFont VelItemModelDeletage::fittingFont(const QFont &font, const QString &text, int width)
{
    const int needed = QFontMetrics(font).horizontalAdvance(text);
    if (needed <= width || width <= 0)
        return font;
    const double scale = qMax(kMinFontScale, double(width) / needed);
    QFont smaller = font;
    if (font.pixelSize() > 0)
        smaller.setPixelSize(qMax(1, int(font.pixelSize() * scale)));
    else
        smaller.setPointSizeF(font.pointSizeF() * scale * 0.98);
    return smaller;
}

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
    QStyleOptionViewItem fitted = option;
    const QString text = index.data(Qt::DisplayRole).toString();
    if (!text.isEmpty()) {
        const QStyle *style = option.widget ? option.widget->style() : QApplication::style();
        const int margin =
            style->pixelMetric(QStyle::PM_FocusFrameHMargin, &option, option.widget) + 1;
        fitted.font =
            VelItemModelDeletage::fittingFont(option.font, text, option.rect.width() - 2 * margin);
    }
    QStyledItemDelegate::paint(painter, fitted, index);
    if (m_gridLineStyle == 0)
        return;

    // The grid is one-pixel bands filled rather than lines stroked: the same
    // pixels, at a fraction of the cost on every painted cell.
    const QRect &rect = option.rect;
    if (m_gridLineStyle & 1)
        painter->fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), m_gridColor);
    if (m_gridLineStyle & 2)
        painter->fillRect(QRect(rect.right(), rect.top(), 1, rect.height()), m_gridColor);
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
