#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

// Reference data and ticks for the benchmarks: option chains of a chosen
// size, and deterministic ticks whose prices change from one to the next.
class BenchMarket
{
public:
    struct Underlying
    {
        QString code;         // "510050"
        QString post;         // "SH" or "SZ"
        QString name;         // "50ETF"
        int firstStrikeMilli; // lowest strike, thousandths of a yuan
        int contracts;        // calls and puts, spread over the four expiries
    };

    // Four live expiries: about one, two, four and seven months out.
    static QList<QDate> expiries();
    // The fund record and its options (contracts/2 strikes, each a call and
    // a put; strikes spread over the expiries as evenly as they go).
    static QList<QVariantMap> chain(const Underlying &underlying, int *nextCode);
    // 510050.SH with 250 options over four expiries.
    static QList<QVariantMap> singleChain();
    // Several underlyings, 1,300 options in all; the first four (Shanghai)
    // have 250 options each.
    static QList<QVariantMap> listedMarket();
    static QList<Underlying> listedUnderlyings();

    // The options of an underlying code ("510050"), in reference-data order.
    static QStringList optionSymbols(const QList<QVariantMap> &records, const QString &code);
    // What the category selector hands the presenter for an exchange.
    static QVariantMap category(const QString &post);

    // Tick number seq of symbol: the last price steps by 0.0001 each tick
    // (unique per symbol for 20,000 ticks), bid and ask follow it, the
    // previous settlement, limits and open interest stay put.
    static QVariantMap optionTick(const QString &symbol, int seq);
    static double lastPriceOf(int seq);
};
