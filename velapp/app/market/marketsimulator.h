#pragma once

#include "market/optionpricer.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <QVector>

#include <random>

// One quotation record for the bus: kind "MDOPTIONRECORD" or
// "MDMARKETRECORD", fields keyed as the pages read them.
struct FeedTick
{
    QString kind;
    QVariantMap fields;
};

// A simulated market over the listed securities: each underlying follows a
// random walk, each option is priced from it. Contracts are spread over
// slots so that one call of nextSlot() ticks a tenth of them; called every
// slotIntervalMs, every contract ticks about every 500 ms. The prices
// depend only on the securities, the day and the seed.
class MarketSimulator
{
public:
    static constexpr int slotCount = 10;
    static constexpr int slotIntervalMs = 50;
    // Relative move of an underlying per slot (standard deviation).
    static constexpr double stepVolatility = 0.00004;

    MarketSimulator(const QList<QVariantMap> &securities, const QDate &today, quint64 seed);

    // Symbols that tick, underlyings included, in slot order of assignment.
    QStringList symbols() const;
    int instrumentCount() const { return m_instruments.size(); }
    // Advances the market one slot and returns that slot's ticks.
    QList<FeedTick> nextSlot();

private:
    struct Underlying
    {
        QString symbol;
        double close = 1.0;
        double price = 1.0;
        QList<double> strikes; // to find a plausible close
    };
    struct Instrument
    {
        QString symbol;
        int underlying = -1;
        bool isOption = false;
        bool call = true;
        double strike = 0;
        double years = 0;
        double preSettle = 0;
        double preClose = 0;
        OptionPricer::Limits limits{0, 0};
        qint64 openInterest = 0;
        double lastPrice = 0;
    };

    int underlyingIndex(const QString &symbol);
    void prepareOption(Instrument *option);
    FeedTick optionTick(Instrument *option);
    FeedTick fundTick(const Instrument &fund) const;
    double uniform();
    double normal();

    std::mt19937_64 m_rng;
    QVector<Underlying> m_underlyings;
    QHash<QString, int> m_underlyingBySymbol;
    QVector<Instrument> m_instruments;
    int m_slot = 0;
};
