#include "market/optionpricer.h"

#include <algorithm>
#include <cmath>
#include <limits>

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

namespace {

// Black's model against total volatility s = volatility * sqrt(years), for a
// call out of the money (forward <= strike), undiscounted: every option
// reduces to one by put-call parity and the put-call symmetry
// put(F, K) = call(K, F). Its price and its derivative in s.
struct Total
{
    double price;
    double vega;
    double volga; // the second derivative
};

Total otmCall(double forward, double strike, double logMoneyness, double s)
{
    const double d1 = logMoneyness / s + 0.5 * s;
    const double d2 = d1 - s;
    const double vega = forward * OptionPricer::normalPdf(d1);
    return {forward * OptionPricer::normalCdf(d1) - strike * OptionPricer::normalCdf(d2), vega,
            vega * d1 * d2 / s};
}

// The inverse of the normal distribution, by Acklam's rational
// approximation (relative error about 1e-9): enough for a first guess.
double inverseNormalCdf(double p)
{
    static const double a[] = {-3.969683028665376e+01, 2.209460984245205e+02,
                               -2.759285104469687e+02, 1.383577518672690e+02,
                               -3.066479806614716e+01, 2.506628277459239e+00};
    static const double b[] = {-5.447609879822406e+01, 1.615858368580409e+02,
                               -1.556989798598866e+02, 6.680131188771972e+01,
                               -1.328068155288572e+01};
    static const double c[] = {-7.784894002430293e-03, -3.223964580411365e-01,
                               -2.400758277161838e+00, -2.549732539343734e+00,
                               4.374664141464968e+00,  2.938163982698783e+00};
    static const double d[] = {7.784695709041462e-03, 3.224671290700398e-01, 2.445134137142996e+00,
                               3.754408661907416e+00};
    const double low = 0.02425;
    if (p < low || p > 1 - low) {
        const double q = std::sqrt(-2 * std::log(p < low ? p : 1 - p));
        const double x = (((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
                         ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1);
        return p < low ? x : -x;
    }
    const double q = p - 0.5;
    const double r = q * q;
    return (((((a[0] * r + a[1]) * r + a[2]) * r + a[3]) * r + a[4]) * r + a[5]) * q /
           (((((b[0] * r + b[1]) * r + b[2]) * r + b[3]) * r + b[4]) * r + 1);
}

// A first total volatility for an out-of-the-money call worth target.
// Corrado and Miller's closed form is good near the money at moderate
// volatility (its square root's argument is held at 0 where it turns
// negative far from the money); at high volatility the price's own inverse
// at the money, target / F = 2N(s/2) - 1, is better.
double initialGuess(double target, double forward, double strike)
{
    const double half = target - 0.5 * (forward - strike);
    const double gap = forward - strike;
    const double root = std::sqrt(std::max(0.0, half * half - gap * gap / M_PI));
    const double guess = std::sqrt(2.0 * M_PI) / (forward + strike) * (half + root);
    const double share = target / std::sqrt(forward * strike);
    if (guess < 1.0 || !(share < 1.0))
        return guess;
    return std::max(guess, 2 * inverseNormalCdf(0.5 * (1 + share)));
}

// The total volatility in [lo, hi] at which the out-of-the-money call is
// worth target. Halley's steps on the logarithm of the price, which is
// concave in s and nearly quadratic in 1/s far from the money, so the steps
// close in fast from a rough start; a step that would leave the bracket is a
// bisection instead.
double solveTotal(double target, double forward, double strike, double lo, double hi,
                  int *evaluations)
{
    const double x = std::log(forward / strike);
    const double logTarget = std::log(target);
    double s = std::clamp(initialGuess(target, forward, strike), lo, hi);
    for (int i = 0; i < 100; ++i) {
        const Total at = otmCall(forward, strike, x, s);
        ++*evaluations;
        if (at.price < target)
            lo = s;
        else
            hi = s;
        // Halley's step on g = ln(price) - ln(target), Newton's where its
        // denominator fails.
        double next = lo - 1; // no usable slope: bisect
        if (at.price > 0 && at.vega > 0) {
            const double g = std::log(at.price) - logTarget;
            const double g1 = at.vega / at.price;
            const double g2 = at.volga / at.price - g1 * g1;
            const double halley = 2 * g1 * g1 - g * g2;
            next = halley > 0 ? s - 2 * g * g1 / halley : s - g / g1;
        }
        if (!(next >= lo && next <= hi))
            next = 0.5 * (lo + hi);
        // A step this small leaves an error far below it (Halley converges
        // cubically); a bisection this small means the bracket has closed.
        if (std::fabs(next - s) <= 1e-11 * s || hi - lo <= 1e-15)
            return next;
        s = next;
    }
    return 0.5 * (lo + hi);
}

// Implied volatility of an option on forward, whose model price at a
// volatility is `model` (the same function the bounds are checked with,
// so the solver and bisection agree on where a solution exists).
template<typename Model>
std::optional<double> solve(bool call, double price, double forward, double strike, double years,
                            double rate, Model model, int *evaluations)
{
    int count = 0;
    if (!evaluations)
        evaluations = &count;
    *evaluations = 0;
    if (!std::isfinite(price) || price <= 0 || !std::isfinite(forward) || forward <= 0 ||
        !std::isfinite(strike) || strike <= 0 || !std::isfinite(years) || years <= 0 ||
        !std::isfinite(rate))
        return std::nullopt;
    *evaluations += 2;
    if (price < model(OptionPricer::minVolatility) || price > model(OptionPricer::maxVolatility))
        return std::nullopt;
    const double root = std::sqrt(years);
    const double undiscounted = price * std::exp(rate * years);
    // The out-of-the-money side's price, by parity where the option is in the money.
    const bool otm = call ? strike >= forward : strike <= forward;
    const double target =
        otm ? undiscounted : undiscounted - (call ? forward - strike : strike - forward);
    const bool asCall = call == otm; // an out-of-the-money put is the call of swapped F, K
    // At the intrinsic value to the last bits of the price, which then says
    // nothing of volatility: the least volatility reproduces it.
    if (!(target > 8 * std::numeric_limits<double>::epsilon() * undiscounted))
        return OptionPricer::minVolatility;
    const double total = solveTotal(target, asCall ? forward : strike, asCall ? strike : forward,
                                    OptionPricer::minVolatility * root,
                                    OptionPricer::maxVolatility * root, evaluations);
    return std::clamp(total / root, OptionPricer::minVolatility, OptionPricer::maxVolatility);
}

} // namespace

std::optional<double> OptionPricer::impliedVolatility(bool call, double price, double spot,
                                                      double strike, double years, double rate)
{
    return impliedVolatility(call, price, spot, strike, years, rate, nullptr);
}

std::optional<double> OptionPricer::impliedVolatility(bool call, double price, double spot,
                                                      double strike, double years, double rate,
                                                      int *evaluations)
{
    if (!usable(spot, strike, years, rate, 1.0)) {
        if (evaluations)
            *evaluations = 0;
        return std::nullopt;
    }
    return solve(
        call, price, spot * std::exp(rate * years), strike, years, rate,
        [&](double v) { return blackScholes(call, spot, strike, years, rate, v); }, evaluations);
}

std::optional<double> OptionPricer::impliedVolatilityBlack76(bool call, double price,
                                                             double forward, double strike,
                                                             double years, double rate,
                                                             int *evaluations)
{
    return solve(
        call, price, forward, strike, years, rate,
        [&](double v) { return black76(call, forward, strike, years, rate, v); }, evaluations);
}

// Bisection: the price rises with volatility, so it always closes in, in a
// fixed number of steps.
std::optional<double> OptionPricer::impliedVolatilityBisection(bool call, double price, double spot,
                                                               double strike, double years,
                                                               double rate, int steps,
                                                               double tolerance)
{
    if (!usable(spot, strike, years, rate, 1.0) || !std::isfinite(price) || price <= 0)
        return std::nullopt;
    double lo = minVolatility;
    double hi = maxVolatility;
    if (price < blackScholes(call, spot, strike, years, rate, lo) ||
        price > blackScholes(call, spot, strike, years, rate, hi))
        return std::nullopt;
    for (int i = 0; i < steps && hi - lo > tolerance; ++i) {
        const double mid = 0.5 * (lo + hi);
        if (blackScholes(call, spot, strike, years, rate, mid) < price)
            lo = mid;
        else
            hi = mid;
    }
    return 0.5 * (lo + hi);
}

double OptionPricer::black76(bool call, double forward, double strike, double years, double rate,
                             double volatility)
{
    if (!std::isfinite(forward) || !std::isfinite(strike) || !std::isfinite(years) ||
        !std::isfinite(rate) || !std::isfinite(volatility) || forward <= 0 || strike <= 0) {
        return 0.0;
    }
    if (years <= 0)
        return std::max(0.0, call ? forward - strike : strike - forward);
    const double discount = std::exp(-rate * years);
    if (volatility <= 0)
        return discount * std::max(0.0, call ? forward - strike : strike - forward);
    const double sd = volatility * std::sqrt(years);
    const double d1 = std::log(forward / strike) / sd + 0.5 * sd;
    const double d2 = d1 - sd;
    const double price = call ? forward * normalCdf(d1) - strike * normalCdf(d2)
                              : strike * normalCdf(-d2) - forward * normalCdf(-d1);
    return std::max(0.0, discount * price);
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
