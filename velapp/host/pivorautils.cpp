#include "PivoraUtils/pivorautils.h"

#include <QVariant>

#include <atomic>
#include <cmath>

namespace {

std::atomic<int> g_showType{ShowType_Plain};

// Integral values print as integers; anything else keeps its decimals.
QString plainText(double value)
{
    if (std::floor(value) == value) {
        if (std::fabs(value) < 9.0e18)
            return QString::number(static_cast<qint64>(value));
        return QString::number(value, 'f', 0);
    }
    return QString::number(value, 'g', 15);
}

bool positiveNumber(const QVariant &value, double *out)
{
    double number = 0.0;
    if (!PivoraBusiUtils::ReadNumber(value, &number) || number <= 0.0)
        return false;
    *out = number;
    return true;
}

} // namespace

ShowType PivoraUtils::GetCurrentShowType()
{
    return static_cast<ShowType>(g_showType.load());
}

void PivoraUtils::SetCurrentShowType(ShowType type)
{
    g_showType.store(type == ShowType_Unit ? ShowType_Unit : ShowType_Plain);
}

QString PivoraUtils::TransQtyShowType(const QString &qty, ShowType type)
{
    const QString text = qty.trimmed();
    bool isInteger = false;
    const qint64 integer = text.toLongLong(&isInteger);
    double value = static_cast<double>(integer);
    if (!isInteger) {
        bool ok = false;
        value = text.toDouble(&ok);
        if (!ok || !std::isfinite(value))
            return qty;
    }

    if (type != ShowType_Unit || std::fabs(value) < 1.0e4)
        return isInteger ? QString::number(integer) : plainText(value);

    // 99,999,999 rounds to 10000.00万; show it as 1.00亿 instead.
    const double tenThousands = std::round(value / 1.0e2) / 1.0e2;
    if (std::fabs(value) < 1.0e8 && std::fabs(tenThousands) < 1.0e4)
        return QString::number(value / 1.0e4, 'f', 2) + QStringLiteral("万");
    return QString::number(value / 1.0e8, 'f', 2) + QStringLiteral("亿");
}

QColor PivoraUtils::RiseColor()
{
    return QColor(0xFF, 0x3B, 0x30);
}

QColor PivoraUtils::DownColor()
{
    return QColor(0x00, 0xC8, 0x53);
}

QColor PivoraUtils::BalanceColor()
{
    return QColor(0xC8, 0xC8, 0xC8);
}

bool PivoraBusiUtils::ReadNumber(const QVariant &value, double *number)
{
    bool ok = false;
    double result = 0.0;
    switch (value.userType()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Float:
    case QMetaType::Double:
        result = value.toDouble(&ok);
        break;
    case QMetaType::QString:
        result = value.toString().trimmed().toDouble(&ok);
        break;
    case QMetaType::QByteArray:
        result = value.toByteArray().trimmed().toDouble(&ok);
        break;
    default:
        return false;
    }
    if (!ok || !std::isfinite(result))
        return false;
    *number = result;
    return true;
}

double PivoraBusiUtils::GetLastPriceFromTick(const QVariantMap &tick)
{
    double price = 0.0;
    if (positiveNumber(tick.value(QStringLiteral("LastPrice")), &price))
        return price;
    if (positiveNumber(tick.value(QStringLiteral("PreClosePrice")), &price))
        return price;
    return 0.0;
}
