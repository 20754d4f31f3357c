#include "PivoraBusinessDataManager/pivorabusinessdatainterface.h"

#include "PivoraUtils/pivorautils.h"
#include "velbusinessdata/businessdatabase.h"
#include "veldefine/veldefine.h"

#include <QVariant>

#include <cmath>

namespace {

const int kMaxPrecision = 8;

// A whole number, read by the host's rule for numeric fields ("3" too);
// anything else is no precision.
bool precisionValue(const QVariant &value, int *out)
{
    double number = 0.0;
    if (!PivoraBusiUtils::ReadNumber(value, &number) || std::floor(number) != number)
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
