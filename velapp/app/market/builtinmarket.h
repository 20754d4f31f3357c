#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QVariantMap>

// The reference data velapp uses without --securities: the ETF option
// chains of the Shanghai and Shenzhen exchanges, generated around a day.
class BuiltinMarket
{
public:
    struct Fund
    {
        QString code;       // "510050"
        QString post;       // "SH" or "SZ"
        QString name;       // "50ETF"
        QString optionName; // prefix of the option names
        double referencePrice;
    };

    static QList<Fund> funds();
    // Fund records first, then each fund's options, in the form velapp's
    // --securities files use.
    static QList<QVariantMap> securities(const QDate &today);

    // The four expiries listed on day today, in order.
    static QList<QDate> expiries(const QDate &today);
    static QDate fourthWednesday(int year, int month);
    // Strike spacing of the band holding strike (in thousandths of a yuan),
    // e.g. 50 up to 3.000, 100 above 3 up to 5.
    static int strikeSpacingMilli(int strikeMilli);
    // Standard strikes (thousandths) around price: below and above the one
    // nearest to it, following the spacing bands.
    static QList<int> strikesAround(double price, int below, int above);
};
