#include "market/valuation.h"

#include <QTimeZone>

namespace {

QDateTime g_fixed;

// China keeps UTC+8 all year; the fixed offset stands in where the system
// has no time-zone data.
QTimeZone shanghai()
{
    static const QTimeZone zone = [] {
        QTimeZone z(QByteArrayLiteral("Asia/Shanghai"));
        return z.isValid() ? z : QTimeZone(8 * 3600);
    }();
    return zone;
}

constexpr double kMsPerYear = 365.0 * 24 * 3600 * 1000;

} // namespace

QDateTime Valuation::now()
{
    return g_fixed.isValid() ? g_fixed : QDateTime::currentDateTimeUtc();
}

void Valuation::setFixedTime(const QDateTime &at)
{
    g_fixed = at.isValid() ? at.toUTC() : QDateTime();
}

QDateTime Valuation::parse(const QString &text)
{
    const QDateTime at = QDateTime::fromString(text.trimmed(), Qt::ISODate);
    // A time without a zone would depend on the machine's zone.
    if (!at.isValid() || at.timeSpec() == Qt::LocalTime)
        return QDateTime();
    return at;
}

QTimeZone Valuation::exchangeZone()
{
    return shanghai();
}

QDate Valuation::exchangeDate(const QDateTime &at)
{
    return at.toTimeZone(shanghai()).date();
}

QDateTime Valuation::closeOf(const QDate &date)
{
    return QDateTime(date, QTime(15, 0), shanghai());
}

double Valuation::yearsToExpiry(const QDate &expiry, const QDateTime &at)
{
    if (!expiry.isValid() || !at.isValid())
        return 0;
    const qint64 ms = at.msecsTo(closeOf(expiry));
    return ms > 0 ? double(ms) / kMsPerYear : 0;
}

int Valuation::daysToExpiry(const QDate &expiry, const QDateTime &at)
{
    return int(exchangeDate(at).daysTo(expiry));
}
