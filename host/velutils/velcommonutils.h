#pragma once

#include "velhost_global.h"
#include "velwidget/velrow.h"

#include <QList>
#include <QPair>
#include <QString>

class VELHOST_EXPORT VelCommonUtils
{
public:
    // Stable sort of rows by the "256" value of each key column in turn;
    // numbers compare as numbers, anything else as text.
    static void sortTableViewRecordListByKeys(QList<Row> &rows,
                                              const QList<QPair<int, Qt::SortOrder>> &keys);

    // The same text as QString::number(value, 'f', precision), without its
    // general conversion where plain integer arithmetic gives the same digits.
    static QString fixedText(double value, int precision);
};
