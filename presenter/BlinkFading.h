#pragma once

#include <velwidget/velrow.h>

#include <QMap>
#include <QSet>
#include <QString>

// The pure steps of one blink refresh run: which records are due by age, and
// how a due row's blink markers fade. The presenter does the locking and the
// sending around them.
class BlinkFading
{
public:
    enum Action {
        Leave,       // at most 1000 ms old: not sent
        Fade,        // above 1000, at most 3000 ms: one fading step, kept
        FadeAndDrop, // above 3000 ms: forced to level 0, sent a last time, removed
    };

    struct Selection
    {
        QMap<QString, Row> due; // copies of the records to fade, by symbol
        QSet<QString> dropped;  // symbols whose records were removed
    };

    static Action actionForAge(qint64 ageMs);
    // Column 10000's "TQuotation_TIMESTAMP"; 0 when the record has none.
    static qint64 recordTime(const Row &record);
    // Columns whose "256" text carries a fading marker: bid, ask, last, change.
    static bool isFadingColumn(int column);
    // "x###3" -> "x###2", "###2" -> "###1", "###1" -> "###0"; anything else unchanged.
    static QString stepMarker(const QString &text);
    // Any level to level 0.
    static QString forceMarker(const QString &text);
    // The row after one step (and, when force, at level 0); other cells untouched.
    static Row fadeRow(const Row &row, bool force);
    // Picks the due records of a run at time now and removes the dropped ones
    // from records.
    static Selection selectDue(QMap<QString, Row> &records, qint64 now);

    static constexpr int TimestampColumn = 10000;
};
