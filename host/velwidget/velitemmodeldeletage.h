#pragma once

#include "velhost_global.h"

#include <QColor>
#include <QStyledItemDelegate>

// The host's cell painting: background, selection, the display text and
// the grid. Page delegates derive from it and paint on top.
class VELHOST_EXPORT VelItemModelDeletage : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit VelItemModelDeletage(QObject *parent = nullptr);
    ~VelItemModelDeletage() override;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    // Draws text into rect with the alignment flags, elided to fit, with the
    // painter's current pen.
    void drawMetricsText(QPainter *painter, const QRect &rect, int flags,
                         const QString &text) const;
    // font, made smaller (to 70 % at most) where text would not fit width;
    // the base painting draws a cell's text with it rather than cut it.
    static QFont fittingFont(const QFont &font, const QString &text, int width);

    void setGridColor(const QColor &color);
    QColor gridColor() const;
    void setGridLineStyle(int style); // 0 none, 1 horizontal, 2 vertical, 3 both
    int gridLineStyle() const;

private:
    QColor m_gridColor;
    int m_gridLineStyle = 3;
};
