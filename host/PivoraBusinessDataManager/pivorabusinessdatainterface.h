#pragma once

#include "velhost_global.h"

#include <QString>

class VELHOST_EXPORT PivoraBusinessDataInterface
{
public:
    // Decimals of symbol's prices: the record's "pricePrecision" (0..8), else
    // 4 for options and 3 for anything else.
    static int GetPricePrecisionBySymbol(QString symbol, const QString &reserved);
};
