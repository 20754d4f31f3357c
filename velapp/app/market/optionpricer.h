#pragma once

#include <QtGlobal>

#include <optional>

// Black-Scholes for European options without dividends (the simulator's
// prices and the detail page's implied volatility and greeks), Black-76 on a
// forward (the smile), the
// simulator's volatility smile, and the exchange's price limits and tick.
// Pure functions, so they can be checked on their own.
class OptionPricer
{
public:
    static constexpr int ticksPerYuan = 10000; // option prices move in 0.0001
    static constexpr double tick = 1.0 / ticksPerYuan;
    static constexpr double riskFreeRate = 0.02;
    static constexpr double baseVolatility = 0.20;
    static constexpr double smileCurvature = 1.2;

    struct Limits
    {
        double maxPx;
        double minPx;
    };
    struct Quote
    {
        double bid;
        double ask;
    };

    // Per 1.00 of volatility and per year; the page scales them for display.
    struct Greeks
    {
        double delta;
        double gamma;
        double vega;
        double theta;
    };
    static constexpr double minVolatility = 0.0001;
    static constexpr double maxVolatility = 5.0;

    static double normalCdf(double x);
    static double normalPdf(double x);
    // Model price; 0 for nonsense inputs (non-finite, spot or strike not
    // positive), the intrinsic value at expiry or without volatility.
    static double blackScholes(bool call, double spot, double strike, double years, double rate,
                               double volatility);
    // None for nonsense inputs, no time left or no volatility.
    static std::optional<Greeks> greeks(bool call, double spot, double strike, double years,
                                        double rate, double volatility);
    // The volatility in [minVolatility, maxVolatility] that reproduces price,
    // to 1e-6; none when no volatility there does (below intrinsic value,
    // above the no-arbitrage bound, price 0, no time left).
    static std::optional<double> impliedVolatility(bool call, double price, double spot,
                                                   double strike, double years, double rate);
    // The same, counting the model prices computed into evaluations.
    static std::optional<double> impliedVolatility(bool call, double price, double spot,
                                                   double strike, double years, double rate,
                                                   int *evaluations);
    // The same answer by plain bisection: at most steps halvings, stopping
    // once the interval is narrower than tolerance. The reference the fast
    // solver is measured and checked against.
    static std::optional<double> impliedVolatilityBisection(bool call, double price, double spot,
                                                            double strike, double years,
                                                            double rate, int steps = 100,
                                                            double tolerance = 1e-8);
    // Black-76: a European option on a forward, discounted at rate; 0 for
    // nonsense inputs, the discounted intrinsic value without time or
    // volatility.
    static double black76(bool call, double forward, double strike, double years, double rate,
                          double volatility);
    // The Black-76 volatility that reproduces price, with the contract of
    // impliedVolatility.
    static std::optional<double> impliedVolatilityBlack76(bool call, double price, double forward,
                                                          double strike, double years, double rate,
                                                          int *evaluations = nullptr);
    // Base volatility plus a curvature in log-moneyness, capped at 100%.
    static double smileVolatility(double spot, double strike);
    // The exchanges' daily limits from the previous settlement price and the
    // underlying's previous close, on the tick; minPx is at least one tick.
    static Limits priceLimits(bool call, double preSettle, double underlyingClose, double strike);
    // Best bid and ask around a model price: on the tick, inside the limits,
    // ask at least one tick above bid, bid at least one tick.
    static Quote quote(double modelPrice, const Limits &limits);
    // Spread in ticks: wider for dearer options.
    static int spreadTicks(double modelPrice);

    // Rounding to a step of 1/stepsPerUnit, as a double that prints exactly.
    static qint64 toSteps(double price, int stepsPerUnit = ticksPerYuan);
    static double fromSteps(qint64 steps, int stepsPerUnit = ticksPerYuan);
    static double roundToStep(double price, int stepsPerUnit = ticksPerYuan);

    // Per 1.00 of rate; none where greeks() gives none.
    static std::optional<double> rho(bool call, double spot, double strike, double years,
                                     double rate, double volatility);
    // What exercising now gives: max(0, spot - strike) for a call.
    static double intrinsicValue(bool call, double spot, double strike);
};
