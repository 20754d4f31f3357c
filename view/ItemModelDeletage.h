#pragma once

#include "velwidget/velitemmodeldeletage.h"

// Paints the T table's cells: blinking price fills, prices in the colour of
// their side's rise or fall, the strike in the neutral colour, and a tint on
// the in-the-money half of each strike row.
class ItemModelDeletage : public VelItemModelDeletage
{
    Q_OBJECT
public:
    explicit ItemModelDeletage(QObject *parent);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
};
