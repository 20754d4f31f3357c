#include "market/smilemodel.h"

#include "market/optionpricer.h"
#include "market/valuation.h"

#include "PivoraUtils/pivorautils.h"
#include "veldefine/veldefine.h"

#include <QJsonArray>

#include <algorithm>
#include <cmath>

namespace {

std::optional<double> positive(const QVariant &value)
{
    double number = 0;
    if (!PivoraBusiUtils::ReadNumber(value, &number) || !(number > 0) || number >= 1e9)
        return std::nullopt;
    return number;
}

QJsonValue orNull(const std::optional<double> &value)
{
    return value ? QJsonValue(*value) : QJsonValue();
}

bool samePoints(const QVector<SmileModel::Point> &a, const QVector<SmileModel::Point> &b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        if (a[i].strike != b[i].strike || a[i].iv != b[i].iv || a[i].call != b[i].call)
            return false;
    }
    return true;
}

} // namespace

bool SmileModel::Smile::operator==(const Smile &other) const
{
    if (underlying != other.underlying || rate != other.rate ||
        expiries.size() != other.expiries.size())
        return false;
    for (int i = 0; i < expiries.size(); ++i) {
        const Expiry &a = expiries[i];
        const Expiry &b = other.expiries[i];
        if (a.date != b.date || a.days != b.days || a.years != b.years || a.forward != b.forward ||
            a.atmIv != b.atmIv || !samePoints(a.points, b.points))
            return false;
    }
    return true;
}

bool SmileModel::isAdjusted(const QVariantMap &record)
{
    const QString name = record.value(Ostrel_Fields::Security::chineseName).toString().trimmed();
    if (!name.isEmpty() && name.back() >= QLatin1Char('A') && name.back() <= QLatin1Char('Z'))
        return true;
    const QVariant unit = record.value(QStringLiteral("contractUnit"));
    double units = 0;
    return unit.isValid() && !(PivoraBusiUtils::ReadNumber(unit, &units) && units == 10000);
}

SmileModel::Chain SmileModel::chainOf(const QString &underlying, const QList<QVariantMap> &records)
{
    using namespace Ostrel_Fields;
    Chain chain;
    chain.underlying = underlying;
    QMap<QDate, QMap<qint64, Listed>> byStrike;
    for (const QVariantMap &r : records) {
        const QString fund = r.value(Security::underlyingSecurityID).toString() + QLatin1Char('.') +
                             r.value(UserAccount::SymbolPost).toString();
        if (fund != underlying || isAdjusted(r))
            continue;
        const QString side = r.value(Security::PutOrCall).toString();
        const bool call = side == Ostrel_Values::OptionCallOrPut::call;
        if (!call && side != Ostrel_Values::OptionCallOrPut::put)
            continue;
        const QDate date =
            QDate::fromString(r.value(Security::StrikeDate).toString(), QStringLiteral("yyyyMMdd"));
        const std::optional<double> strike = positive(r.value(Security::StrikePrice));
        const QString symbol = r.value(Security::symbol).toString();
        if (!date.isValid() || !strike || symbol.isEmpty())
            continue;
        Listed &listed = byStrike[date][OptionPricer::toSteps(*strike)];
        listed.strike = *strike;
        QString &slot = call ? listed.call : listed.put;
        if (slot.isEmpty()) // a repeated contract keeps the first
            slot = symbol;
    }
    for (auto date = byStrike.constBegin(); date != byStrike.constEnd(); ++date)
        chain.expiries.insert(date.key(), date.value().values().toVector());
    return chain;
}

std::optional<double> SmileModel::midOf(const QVariantMap &tick)
{
    const std::optional<double> bid = positive(tick.value(QStringLiteral("Buy1Price")));
    const std::optional<double> ask = positive(tick.value(QStringLiteral("Sell1Price")));
    if (bid && ask)
        return (*bid + *ask) / 2;
    const double last = PivoraBusiUtils::GetLastPriceFromTick(tick);
    if (last > 0 && last < 1e9)
        return last;
    return std::nullopt;
}

std::optional<double> SmileModel::forwardOf(const QVector<Pair> &pairs, double years, double rate)
{
    const Pair *best = nullptr;
    for (const Pair &pair : pairs) {
        if (pair.call && pair.put &&
            (!best || std::fabs(*pair.call - *pair.put) < std::fabs(*best->call - *best->put)))
            best = &pair;
    }
    if (!best || !std::isfinite(years) || !std::isfinite(rate))
        return std::nullopt;
    const double forward =
        best->strike + std::exp(rate * std::max(0.0, years)) * (*best->call - *best->put);
    if (!(forward > 0) || !std::isfinite(forward))
        return std::nullopt;
    return forward;
}

std::optional<double> SmileModel::atmVolatility(const QVector<Point> &points, double forward)
{
    const Point *below = nullptr;
    const Point *above = nullptr;
    for (const Point &p : points) {
        if (!p.iv)
            continue;
        if (p.strike < forward)
            below = &p;
        else if (!above)
            above = &p;
    }
    if (above && above->strike == forward)
        return above->iv;
    if (!below || !above)
        return std::nullopt;
    const double xb = std::log(below->strike / forward);
    const double xa = std::log(above->strike / forward);
    const double w = -xb / (xa - xb);
    return *below->iv + w * (*above->iv - *below->iv);
}

SmileModel::Expiry SmileModel::expiryOf(const QDate &date, const QVector<Pair> &pairs,
                                        const QDateTime &at, double rate)
{
    Expiry e;
    e.date = date;
    e.days = Valuation::daysToExpiry(date, at);
    e.years = Valuation::yearsToExpiry(date, at);
    e.forward = forwardOf(pairs, e.years, rate);
    if (!e.forward)
        return e;
    const double forward = *e.forward;
    for (const Pair &pair : pairs) {
        // The out-of-the-money side: puts below the forward, calls from it up.
        Point p;
        p.strike = pair.strike;
        p.call = pair.strike >= forward;
        const std::optional<double> price = p.call ? pair.call : pair.put;
        if (price)
            p.iv = OptionPricer::impliedVolatilityBlack76(p.call, *price, forward, pair.strike,
                                                          e.years, rate);
        e.points.append(p);
    }
    e.atmIv = atmVolatility(e.points, forward);
    return e;
}

SmileModel::Smile SmileModel::compute(const Chain &chain, const TickSource &latest,
                                      const QDateTime &at, double rate)
{
    Smile smile;
    smile.underlying = chain.underlying;
    smile.rate = rate;
    for (auto it = chain.expiries.constBegin(); it != chain.expiries.constEnd(); ++it) {
        QVector<Pair> pairs;
        for (const Listed &listed : it.value()) {
            Pair pair;
            pair.strike = listed.strike;
            if (!listed.call.isEmpty())
                pair.call = midOf(latest(listed.call));
            if (!listed.put.isEmpty())
                pair.put = midOf(latest(listed.put));
            pairs.append(pair);
        }
        Expiry e = expiryOf(it.key(), pairs, at, rate);
        // A side the exchange does not list makes no point.
        QVector<Point> points;
        for (int i = 0; i < e.points.size(); ++i) {
            const Listed &listed = it.value().at(i);
            if (!(e.points[i].call ? listed.call : listed.put).isEmpty())
                points.append(e.points[i]);
        }
        e.points = points;
        e.atmIv = e.forward ? atmVolatility(e.points, *e.forward) : std::nullopt;
        smile.expiries.append(e);
    }
    return smile;
}

QJsonObject SmileModel::toJson(const Smile &smile)
{
    QJsonArray expiries;
    for (const Expiry &e : smile.expiries) {
        QJsonArray points;
        for (const Point &p : e.points) {
            points.append(QJsonObject{
                {QStringLiteral("strike"), p.strike},
                {QStringLiteral("iv"), orNull(p.iv)},
                {QStringLiteral("side"), p.call ? QStringLiteral("C") : QStringLiteral("P")}});
        }
        expiries.append(
            QJsonObject{{QStringLiteral("date"), e.date.toString(QStringLiteral("yyyyMMdd"))},
                        {QStringLiteral("days"), e.days},
                        {QStringLiteral("T"), e.years},
                        {QStringLiteral("forward"), orNull(e.forward)},
                        {QStringLiteral("atmIv"), orNull(e.atmIv)},
                        {QStringLiteral("points"), points}});
    }
    return QJsonObject{{QStringLiteral("underlying"), smile.underlying},
                       {QStringLiteral("rate"), smile.rate},
                       {QStringLiteral("expiries"), expiries}};
}
