#include "market/marketsimulator.h"

#include "PivoraUtils/pivorautils.h"
#include "veldefine/velconstants.h"
#include "veldefine/veldefine.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kFundStepsPerYuan = 1000; // fund prices move in 0.001
constexpr double kPi = 3.14159265358979323846;

// "510050" + "SH" -> "510050.SH"; an id that already has a suffix is kept.
QString underlyingSymbol(const QVariantMap &option)
{
    const QString id = option.value(Ostrel_Fields::Security::underlyingSecurityID).toString();
    if (id.isEmpty() || id.contains(QLatin1Char('.')))
        return id;
    const QString post = option.value(Ostrel_Fields::UserAccount::SymbolPost).toString();
    return post.isEmpty() ? id : id + QLatin1Char('.') + post;
}

} // namespace

MarketSimulator::MarketSimulator(const QList<QVariantMap> &securities, const QDate &today,
                                 quint64 seed)
    : m_rng(seed)
{
    using namespace Ostrel_Fields;
    QHash<QString, bool> seen;
    for (const QVariantMap &record : securities) {
        const QString symbol = record.value(Security::symbol).toString();
        if (symbol.isEmpty() || seen.contains(symbol))
            continue;
        const QString type = record.value(MDCFieldDefine::mdcSecurityType).toString();
        if (type == Ostrel_Values::MdcSecurityType::OptionType) {
            Instrument option;
            option.symbol = symbol;
            option.isOption = true;
            option.call = record.value(Security::PutOrCall).toString() ==
                          Ostrel_Values::OptionCallOrPut::call;
            const bool ok =
                PivoraBusiUtils::ReadNumber(record.value(Security::StrikePrice), &option.strike);
            const QString underlying = underlyingSymbol(record);
            // An option without strike or underlying cannot be priced.
            if (!ok || option.strike <= 0 || option.strike > 1e6 || underlying.isEmpty()) {
                continue;
            }
            const QDate expiry = QDate::fromString(record.value(Security::StrikeDate).toString(),
                                                   QStringLiteral("yyyyMMdd"));
            const qint64 days = expiry.isValid() ? today.daysTo(expiry) : 30;
            if (days < 0)
                continue; // expired: no page lists it
            option.years = std::max(0.5, double(days)) / 365.0;
            option.underlying = underlyingIndex(underlying);
            m_underlyings[option.underlying].strikes.append(option.strike);
            seen.insert(symbol, true);
            m_instruments.append(option);
        } else if (type == Ostrel_Values::MdcSecurityType::FundType) {
            Instrument fund;
            fund.symbol = symbol;
            fund.underlying = underlyingIndex(symbol);
            seen.insert(symbol, true);
            m_instruments.append(fund);
        }
    }
    // Underlyings only named by their options tick as well.
    for (int i = 0; i < m_underlyings.size(); ++i) {
        if (!seen.contains(m_underlyings.at(i).symbol)) {
            Instrument fund;
            fund.symbol = m_underlyings.at(i).symbol;
            fund.underlying = i;
            m_instruments.append(fund);
        }
    }
    // The listed strikes centre on the price the underlying closed at.
    for (Underlying &u : m_underlyings) {
        if (!u.strikes.isEmpty()) {
            std::sort(u.strikes.begin(), u.strikes.end());
            u.close = std::max(
                1.0 / kFundStepsPerYuan,
                OptionPricer::roundToStep(u.strikes.at(u.strikes.size() / 2), kFundStepsPerYuan));
        }
        u.price = u.close;
    }
    for (Instrument &instrument : m_instruments) {
        if (instrument.isOption)
            prepareOption(&instrument);
    }
}

int MarketSimulator::underlyingIndex(const QString &symbol)
{
    const auto it = m_underlyingBySymbol.constFind(symbol);
    if (it != m_underlyingBySymbol.constEnd())
        return it.value();
    Underlying u;
    u.symbol = symbol;
    m_underlyings.append(u);
    m_underlyingBySymbol.insert(symbol, m_underlyings.size() - 1);
    return m_underlyings.size() - 1;
}

void MarketSimulator::prepareOption(Instrument *option)
{
    const Underlying &u = m_underlyings.at(option->underlying);
    const double model = OptionPricer::blackScholes(
        option->call, u.close, option->strike, option->years, OptionPricer::riskFreeRate,
        OptionPricer::smileVolatility(u.close, option->strike));
    option->preSettle = std::max(OptionPricer::tick, OptionPricer::roundToStep(model));
    option->limits =
        OptionPricer::priceLimits(option->call, option->preSettle, u.close, option->strike);
    const double close = option->preSettle * (1.0 + 0.04 * (uniform() - 0.5));
    option->preClose =
        std::clamp(OptionPricer::roundToStep(close), option->limits.minPx, option->limits.maxPx);
    const double moneyness = std::log(option->strike / u.close);
    option->openInterest =
        qint64(2000 + 40000 * std::exp(-40 * moneyness * moneyness) * (0.5 + uniform()));
}

QStringList MarketSimulator::symbols() const
{
    QStringList result;
    for (const Instrument &instrument : m_instruments)
        result.append(instrument.symbol);
    return result;
}

double MarketSimulator::uniform()
{
    // 53 random bits: the same numbers from the same seed on every platform.
    return double(m_rng() >> 11) * (1.0 / 9007199254740992.0);
}

double MarketSimulator::normal()
{
    // Box-Muller; 1 - uniform() keeps the logarithm finite.
    const double u1 = 1.0 - uniform();
    const double u2 = uniform();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2);
}

QList<FeedTick> MarketSimulator::nextSlot()
{
    for (Underlying &u : m_underlyings) {
        // Log random walk with a slight pull back to the close, inside the
        // fund's own daily limits.
        const double drift = -0.0005 * std::log(u.price / u.close);
        const double next = u.price * std::exp(drift + stepVolatility * normal());
        u.price = std::clamp(next, 0.9 * u.close, 1.1 * u.close);
    }
    QList<FeedTick> ticks;
    for (int i = m_slot; i < m_instruments.size(); i += slotCount) {
        Instrument &instrument = m_instruments[i];
        ticks.append(instrument.isOption ? optionTick(&instrument) : fundTick(instrument));
    }
    m_slot = (m_slot + 1) % slotCount;
    return ticks;
}

FeedTick MarketSimulator::optionTick(Instrument *option)
{
    const Underlying &u = m_underlyings.at(option->underlying);
    const double model = OptionPricer::blackScholes(
        option->call, u.price, option->strike, option->years, OptionPricer::riskFreeRate,
        OptionPricer::smileVolatility(u.price, option->strike));
    const OptionPricer::Quote quote = OptionPricer::quote(model, option->limits);

    // A trade happens now and then, at the bid, the ask or in between; a
    // last price the quote moved away from is replaced as well.
    const bool stale = option->lastPrice <= 0 ||
                       option->lastPrice < quote.bid - OptionPricer::tick ||
                       option->lastPrice > quote.ask + OptionPricer::tick;
    if (stale || uniform() < 0.3) {
        const double r = uniform();
        const double mid = OptionPricer::roundToStep((quote.bid + quote.ask) / 2);
        option->lastPrice = r < 0.35 ? quote.bid : (r < 0.7 ? quote.ask : mid);
    }
    if (uniform() < 0.2) {
        const qint64 change = qint64(std::floor(uniform() * 90)) - 30;
        option->openInterest = std::max<qint64>(0, option->openInterest + change);
    }

    FeedTick tick;
    tick.kind = VelConst::OptionRecord;
    QVariantMap &f = tick.fields;
    f.insert(QStringLiteral("Symbol"), option->symbol);
    f.insert(QStringLiteral("LastPrice"), option->lastPrice);
    f.insert(QStringLiteral("Buy1Price"), quote.bid);
    f.insert(QStringLiteral("Sell1Price"), quote.ask);
    f.insert(QStringLiteral("PreSettlePrice"), option->preSettle);
    f.insert(QStringLiteral("PreClosePrice"), option->preClose);
    f.insert(QStringLiteral("OpenInterest"), option->openInterest);
    f.insert(QStringLiteral("MaxPx"), option->limits.maxPx);
    f.insert(QStringLiteral("MinPx"), option->limits.minPx);
    return tick;
}

FeedTick MarketSimulator::fundTick(const Instrument &fund) const
{
    const Underlying &u = m_underlyings.at(fund.underlying);
    const qint64 last = OptionPricer::toSteps(u.price, kFundStepsPerYuan);
    FeedTick tick;
    tick.kind = VelConst::MarketRecord;
    QVariantMap &f = tick.fields;
    f.insert(QStringLiteral("Symbol"), fund.symbol);
    f.insert(QStringLiteral("LastPrice"), OptionPricer::fromSteps(last, kFundStepsPerYuan));
    f.insert(QStringLiteral("Buy1Price"),
             OptionPricer::fromSteps(std::max<qint64>(1, last - 1), kFundStepsPerYuan));
    f.insert(QStringLiteral("Sell1Price"), OptionPricer::fromSteps(last + 1, kFundStepsPerYuan));
    f.insert(QStringLiteral("PreClosePrice"), u.close);
    f.insert(QStringLiteral("MaxPx"), OptionPricer::roundToStep(1.1 * u.close, kFundStepsPerYuan));
    f.insert(QStringLiteral("MinPx"), OptionPricer::roundToStep(0.9 * u.close, kFundStepsPerYuan));
    return tick;
}
