#pragma once

#include "velhost_global.h"

#include <QColor>
#include <QString>
#include <QVariantMap>

// How quantities are shown.
enum ShowType {
    ShowType_Plain = 0, // 12345678
    ShowType_Unit = 1,  // 1234.57万, 1.23亿
};

class VELHOST_EXPORT PivoraUtils
{
public:
    static ShowType GetCurrentShowType();
    static void SetCurrentShowType(ShowType type);
    // qty: a decimal integer text. Text that is no number is returned as is.
    static QString TransQtyShowType(const QString &qty, ShowType type);

    static QColor RiseColor();    // red
    static QColor DownColor();    // green
    static QColor BalanceColor(); // light grey
};

class VELHOST_EXPORT PivoraBusiUtils
{
public:
    // The host's one rule for a numeric field of a tick or a record: a
    // number, or text that reads wholly as one ("0.1300", " 42 "); NaN,
    // infinities, booleans and anything else are no number (false).
    static bool ReadNumber(const QVariant &value, double *number);
    // "LastPrice" when above 0, else "PreClosePrice" when above 0, else 0.
    static double GetLastPriceFromTick(const QVariantMap &tick);
};
