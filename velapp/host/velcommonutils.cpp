#include "velutils/velcommonutils.h"

#include <algorithm>
#include <cmath>

namespace {

bool isNumeric(const QVariant &v)
{
    switch (v.userType()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}

bool isIntegral(const QVariant &v)
{
    return isNumeric(v) && v.userType() != QMetaType::Double && v.userType() != QMetaType::Float;
}

int compareNumbers(const QVariant &a, const QVariant &b)
{
    // Integers compare exactly; anything with a fraction as double. NaN sorts
    // before every number so that the order stays strict and weak.
    if (isIntegral(a) && isIntegral(b)) {
        const bool aUnsigned =
            a.userType() == QMetaType::ULongLong || a.userType() == QMetaType::ULong;
        const bool bUnsigned =
            b.userType() == QMetaType::ULongLong || b.userType() == QMetaType::ULong;
        if (aUnsigned || bUnsigned) {
            if (!aUnsigned && a.toLongLong() < 0)
                return -1;
            if (!bUnsigned && b.toLongLong() < 0)
                return 1;
            const qulonglong x = a.toULongLong(), y = b.toULongLong();
            return x < y ? -1 : (x > y ? 1 : 0);
        }
        const qlonglong x = a.toLongLong(), y = b.toLongLong();
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    const double x = a.toDouble(), y = b.toDouble();
    const bool xNan = std::isnan(x), yNan = std::isnan(y);
    if (xNan || yNan)
        return xNan == yNan ? 0 : (xNan ? -1 : 1);
    return x < y ? -1 : (x > y ? 1 : 0);
}

int compareCells(const QVariant &a, const QVariant &b)
{
    if (isNumeric(a) && isNumeric(b))
        return compareNumbers(a, b);
    return QString::compare(a.toString(), b.toString(), Qt::CaseSensitive);
}

} // namespace

void VelCommonUtils::sortTableViewRecordListByKeys(QList<Row> &rows,
                                                   const QList<QPair<int, Qt::SortOrder>> &keys)
{
    if (keys.isEmpty() || rows.size() < 2)
        return;
    const QString userRole = QStringLiteral("256");
    std::stable_sort(rows.begin(), rows.end(), [&](const Row &left, const Row &right) {
        for (const auto &key : keys) {
            // A missing column or role reads as an invalid QVariant: empty text.
            const QVariant a = left.value(key.first).value(userRole);
            const QVariant b = right.value(key.first).value(userRole);
            int c = compareCells(a, b);
            if (key.second == Qt::DescendingOrder)
                c = -c;
            if (c != 0)
                return c < 0;
        }
        return false;
    });
}

QString VelCommonUtils::fixedText(double value, int precision)
{
    static const double kScale[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
    // Below 1e9 the scaled value is off by far less than 1e-6, so a fraction
    // not within 1e-6 of one half rounds the same way as the exact decimal
    // expansion does. Ties, negative zeros and anything larger take Qt's path.
    if (precision >= 0 && precision <= 9 && std::isfinite(value)) {
        const double scaled = std::fabs(value) * kScale[precision];
        if (scaled < 1e9) {
            const double whole = std::floor(scaled);
            const double fraction = scaled - whole;
            const quint64 units = quint64(whole) + (fraction > 0.5 ? 1 : 0);
            if (std::fabs(fraction - 0.5) > 1e-6 && !(std::signbit(value) && units == 0)) {
                char digits[24];
                int at = sizeof digits;
                quint64 rest = units;
                for (int i = 0; i < precision; ++i, rest /= 10)
                    digits[--at] = char('0' + rest % 10);
                if (precision > 0)
                    digits[--at] = '.';
                do {
                    digits[--at] = char('0' + rest % 10);
                    rest /= 10;
                } while (rest > 0);
                if (value < 0)
                    digits[--at] = '-';
                return QString::fromLatin1(digits + at, int(sizeof digits) - at);
            }
        }
    }
    return QString::number(value, 'f', precision);
}
