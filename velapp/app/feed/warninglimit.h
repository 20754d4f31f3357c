#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QString>

// Caps the warnings a source may cause: so many a minute per source address,
// then a count. Keyed by address, not by connection, so a client that
// reconnects gets no new allowance.
class WarningLimit
{
public:
    explicit WarningLimit(int perMinute = 20);
    ~WarningLimit();

    // Whether a warning about source may be shown now; a source over its cap
    // has the warning counted instead, and the count is shown when its next
    // minute starts or the limit ends.
    bool allow(const QString &source);

private:
    struct Budget
    {
        qint64 minuteStart = 0;
        int shown = 0;
        int suppressed = 0;
    };
    static void reportSuppressed(const QString &source, Budget *budget);

    const int m_perMinute;
    QElapsedTimer m_clock;
    QHash<QString, Budget> m_budgets;
};
