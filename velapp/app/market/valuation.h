#pragma once

#include <QDate>
#include <QDateTime>
#include <QTimeZone>

// The exchange's clock for pricing: time to expiry runs to the close (15:00
// Asia/Shanghai) of the expiry day, whatever the machine's time zone, and the
// valuation time can be fixed so that runs and replays price alike.
class Valuation
{
public:
    // The valuation time: the fixed one if set, else now.
    static QDateTime now();
    // Fixes the valuation time (--valuation-time); an invalid one unfixes it.
    static void setFixedTime(const QDateTime &at);
    // Reads an ISO 8601 time with a zone ("2026-12-06T10:30:00+08:00" or
    // "...Z"); invalid when the text is not such a time.
    static QDateTime parse(const QString &text);

    // Asia/Shanghai, or UTC+8 where the system has no time-zone data.
    static QTimeZone exchangeZone();
    // The date in Shanghai at a moment.
    static QDate exchangeDate(const QDateTime &at);
    // The close of trading on a date, 15:00 in Shanghai.
    static QDateTime closeOf(const QDate &date);
    // Years of 365 days from `at` to the close of `expiry`; 0 after it or
    // for an invalid date.
    static double yearsToExpiry(const QDate &expiry, const QDateTime &at);
    // Calendar days in Shanghai from the date of `at` to `expiry`; negative
    // once past it.
    static int daysToExpiry(const QDate &expiry, const QDateTime &at);
};
