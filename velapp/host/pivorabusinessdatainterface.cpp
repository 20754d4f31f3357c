#include "PivoraBusinessDataManager/pivorabusinessdatainterface.h"

#include "velbusinessdata/businessdatabase.h"
#include "veldefine/veldefine.h"

#include <QVariant>

#include <cmath>

namespace {

const int kMaxPrecision = 8;

// An integer number, an integral double (JSON has no integers) or integer
// text; anything else is no precision.
bool precisionValue(const QVariant &value, int *out)
{
    double number = 0.0;
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
        number = value.toDouble();
        break;
    case QMetaType::QString: {
        bool ok = false;
        const qlonglong parsed = value.toString().trimmed().toLongLong(&ok);
        if (!ok)
            return false;
        number = static_cast<double>(parsed);
        break;
    }
    default:
        return false;
    }
    if (!std::isfinite(number) || std::floor(number) != number)
        return false;
    // Clamped as a double first: converting a huge value to int is undefined.
    *out = static_cast<int>(qBound(0.0, number, double(kMaxPrecision)));
    return true;
}

} // namespace

int PivoraBusinessDataInterface::GetPricePrecisionBySymbol(QString symbol, const QString &reserved)
{
    Q_UNUSED(reserved)
    const QVariantMap record = CBusinessDataBase::GetInstance()->GetSecurityDetailsBySymbol(symbol);
    int precision = 0;
    if (precisionValue(record.value(Ostrel_Fields::MDCFieldDefine::pricePrecision), &precision))
        return precision;
    if (record.value(Ostrel_Fields::MDCFieldDefine::mdcSecurityType).toString() ==
        Ostrel_Values::MdcSecurityType::OptionType)
        return 4;
    return 3;
}
