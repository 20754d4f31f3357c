#include "market/optionpricer.h"

#include <algorithm>
#include <cmath>

double OptionPricer::normalCdf(double x)
{
    return 0.5 * std::erfc(-x / std::sqrt(2.0));
}

double OptionPricer::normalPdf(double x)
{
    return std::exp(-0.5 * x * x) / std::sqrt(2.0 * M_PI);
}

namespace {

bool usable(double spot, double strike, double years, double rate, double volatility)
{
    return std::isfinite(spot) && std::isfinite(strike) && std::isfinite(years) &&
           std::isfinite(rate) && std::isfinite(volatility) && spot > 0 && strike > 0 &&
           years > 0 && volatility > 0;
}

} // namespace

std::optional<OptionPricer::Greeks> OptionPricer::greeks(bool call, double spot, double strike,
                                                         double years, double rate,
                                                         double volatility)
{
    if (!usable(spot, strike, years, rate, volatility))
        return std::nullopt;
    const double root = std::sqrt(years);
    const double sd = volatility * root;
    const double d1 =
        (std::log(spot / strike) + (rate + 0.5 * volatility * volatility) * years) / sd;
    const double d2 = d1 - sd;
    const double discounted = strike * std::exp(-rate * years);
    const double density = normalPdf(d1);
    Greeks g;
    g.delta = call ? normalCdf(d1) : normalCdf(d1) - 1.0;
    g.gamma = density / (spot * sd);
    g.vega = spot * density * root;
    const double decay = -spot * density * volatility / (2.0 * root);
    g.theta = call ? decay - rate * discounted * normalCdf(d2)
                   : decay + rate * discounted * normalCdf(-d2);
    return g;
}

// Bisection: the price rises with volatility, so it always closes in, in a
// fixed number of steps.
std::optional<double> OptionPricer::impliedVolatility(bool call, double price, double spot,
                                                      double strike, double years, double rate)
{
    if (!usable(spot, strike, years, rate, 1.0) || !std::isfinite(price) || price <= 0)
        return std::nullopt;
    double lo = minVolatility;
    double hi = maxVolatility;
    if (price < blackScholes(call, spot, strike, years, rate, lo) ||
        price > blackScholes(call, spot, strike, years, rate, hi))
        return std::nullopt;
    for (int i = 0; i < 100 && hi - lo > 1e-8; ++i) {
        const double mid = 0.5 * (lo + hi);
        if (blackScholes(call, spot, strike, years, rate, mid) < price)
            lo = mid;
        else
            hi = mid;
    }
    return 0.5 * (lo + hi);
}

double OptionPricer::blackScholes(bool call, double spot, double strike, double years, double rate,
                                  double volatility)
{
    if (!std::isfinite(spot) || !std::isfinite(strike) || !std::isfinite(years) ||
        !std::isfinite(rate) || !std::isfinite(volatility) || spot <= 0 || strike <= 0) {
        return 0.0;
    }
    if (years <= 0 || volatility <= 0)
        return std::max(0.0, call ? spot - strike : strike - spot);
    const double sd = volatility * std::sqrt(years);
    const double d1 =
        (std::log(spot / strike) + (rate + 0.5 * volatility * volatility) * years) / sd;
    const double d2 = d1 - sd;
    const double discounted = strike * std::exp(-rate * years);
    const double price = call ? spot * normalCdf(d1) - discounted * normalCdf(d2)
                              : discounted * normalCdf(-d2) - spot * normalCdf(-d1);
    return std::max(0.0, price);
}

double OptionPricer::smileVolatility(double spot, double strike)
{
    if (!(spot > 0) || !(strike > 0))
        return baseVolatility;
    const double x = std::log(strike / spot);
    return std::min(1.0, baseVolatility + smileCurvature * x * x);
}

OptionPricer::Limits OptionPricer::priceLimits(bool call, double preSettle, double underlyingClose,
                                               double strike)
{
    const double settle = std::isfinite(preSettle) ? std::max(0.0, preSettle) : 0.0;
    const double u = std::isfinite(underlyingClose) ? std::max(0.0, underlyingClose) : 0.0;
    const double k = std::isfinite(strike) ? std::max(0.0, strike) : 0.0;
    const double range = call ? std::max(0.005 * u, std::min(2 * u - k, u) * 0.1)
                              : std::max(0.005 * k, std::min(2 * k - u, u) * 0.1);
    const qint64 maxSteps = std::max<qint64>(toSteps(settle + range), 2);
    const qint64 minSteps = std::clamp<qint64>(toSteps(settle - 0.1 * u), 1, maxSteps - 1);
    return {fromSteps(maxSteps), fromSteps(minSteps)};
}

int OptionPricer::spreadTicks(double modelPrice)
{
    if (!(modelPrice >= 0.05))
        return 1;
    if (modelPrice < 0.3)
        return 2;
    return 3;
}

OptionPricer::Quote OptionPricer::quote(double modelPrice, const Limits &limits)
{
    const qint64 minSteps = std::max<qint64>(1, toSteps(limits.minPx));
    const qint64 maxSteps = std::max<qint64>(minSteps + 1, toSteps(limits.maxPx));
    const int spread = spreadTicks(modelPrice);
    const double model = std::isfinite(modelPrice) ? std::clamp(modelPrice * ticksPerYuan,
                                                                double(minSteps), double(maxSteps))
                                                   : double(minSteps);
    qint64 bid = qint64(std::floor(model - spread / 2.0));
    qint64 ask = bid + spread;
    if (bid < minSteps) {
        bid = minSteps;
        ask = bid + spread;
    }
    if (ask > maxSteps) {
        ask = maxSteps;
        bid = std::max(minSteps, ask - spread);
    }
    return {fromSteps(bid), fromSteps(ask)};
}

qint64 OptionPricer::toSteps(double price, int stepsPerUnit)
{
    if (!std::isfinite(price))
        return 0;
    // Beyond any real price; keeps llround defined.
    const double bounded = std::clamp(price * stepsPerUnit, -1e15, 1e15);
    return qint64(std::llround(bounded));
}

double OptionPricer::fromSteps(qint64 steps, int stepsPerUnit)
{
    return double(steps) / stepsPerUnit;
}

double OptionPricer::roundToStep(double price, int stepsPerUnit)
{
    return fromSteps(toSteps(price, stepsPerUnit), stepsPerUnit);
}

std::optional<double> OptionPricer::rho(bool call, double spot, double strike, double years,
                                        double rate, double volatility)
{
    if (!usable(spot, strike, years, rate, volatility))
        return std::nullopt;
    const double sd = volatility * std::sqrt(years);
    const double d2 =
        (std::log(spot / strike) + (rate - 0.5 * volatility * volatility) * years) / sd;
    const double discounted = strike * years * std::exp(-rate * years);
    return call ? discounted * normalCdf(d2) : -discounted * normalCdf(-d2);
}

double OptionPricer::intrinsicValue(bool call, double spot, double strike)
{
    if (!std::isfinite(spot) || !std::isfinite(strike))
        return 0.0;
    return std::max(0.0, call ? spot - strike : strike - spot);
}
