#include "BlinkFading.h"

#include <veldefine/velconstants.h>

namespace {

QString marker(int level)
{
    return VelConst::BlinkSeparator + QString::number(level);
}

} // namespace

BlinkFading::Action BlinkFading::actionForAge(qint64 ageMs)
{
    if (ageMs > 3000)
        return FadeAndDrop;
    if (ageMs > 1000)
        return Fade;
    return Leave;
}

qint64 BlinkFading::recordTime(const Row &record)
{
    return record.value(TimestampColumn).value(VelConst::TQuotation_TIMESTAMP).toLongLong();
}

bool BlinkFading::isFadingColumn(int column)
{
    switch (column) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 11:
    case 12:
    case 13:
    case 14:
        return true;
    default:
        return false;
    }
}

QString BlinkFading::stepMarker(const QString &text)
{
    for (int level = 3; level >= 1; --level) {
        if (text.endsWith(marker(level)))
            return text.left(text.size() - marker(level).size()) + marker(level - 1);
    }
    return text;
}

QString BlinkFading::forceMarker(const QString &text)
{
    QString result = text;
    result.replace(marker(3), marker(2));
    result.replace(marker(2), marker(1));
    result.replace(marker(1), marker(0));
    return result;
}

Row BlinkFading::fadeRow(const Row &row, bool force)
{
    Row result = row;
    for (auto it = result.begin(); it != result.end(); ++it) {
        if (!isFadingColumn(it.key()) || !it->contains(VelConst::RoleUser))
            continue;
        QString text = stepMarker(it->value(VelConst::RoleUser).toString());
        if (force)
            text = forceMarker(text);
        it->insert(VelConst::RoleUser, text);
    }
    return result;
}

BlinkFading::Selection BlinkFading::selectDue(QMap<QString, Row> &records, qint64 now)
{
    Selection selection;
    for (auto it = records.begin(); it != records.end();) {
        const Action action = actionForAge(now - recordTime(it.value()));
        if (action == Leave) {
            ++it;
            continue;
        }
        selection.due.insert(it.key(), it.value());
        if (action == FadeAndDrop) {
            selection.dropped.insert(it.key());
            it = records.erase(it);
        } else {
            ++it;
        }
    }
    return selection;
}
