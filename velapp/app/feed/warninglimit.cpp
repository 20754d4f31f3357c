#include "feed/warninglimit.h"

#include "feed/feedlogging.h"

WarningLimit::WarningLimit(int perMinute)
    : m_perMinute(perMinute)
{
    m_clock.start();
}

WarningLimit::~WarningLimit()
{
    for (auto it = m_budgets.begin(); it != m_budgets.end(); ++it)
        reportSuppressed(it.key(), &it.value());
}

bool WarningLimit::allow(const QString &source)
{
    const qint64 now = m_clock.elapsed();
    auto it = m_budgets.find(source);
    if (it == m_budgets.end())
        it = m_budgets.insert(source, Budget{now, 0, 0});
    if (now - it->minuteStart >= 60000) {
        reportSuppressed(source, &it.value());
        it->minuteStart = now;
        it->shown = 0;
    }
    if (it->shown < m_perMinute) {
        ++it->shown;
        return true;
    }
    ++it->suppressed;
    return false;
}

void WarningLimit::reportSuppressed(const QString &source, Budget *budget)
{
    if (budget->suppressed == 0)
        return;
    qCWarning(lcFeed).noquote()
        << QStringLiteral("%1: %2 further warnings not shown").arg(source).arg(budget->suppressed);
    budget->suppressed = 0;
}
