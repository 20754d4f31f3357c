#include "pages/detailpage.h"

#include "market/optionpricer.h"
#include "market/valuation.h"
#include "pages/chartpage.h"

#include "PivoraBusinessDataManager/pivorabusinessdatainterface.h"
#include "PivoraUtils/pivorautils.h"
#include "businessdatamanager/businessdatainterface.h"
#include "businessdatamanager/pricehistory.h"
#include "veldefine/veldefine.h"

#include <QGridLayout>
#include <QJsonValue>
#include <QLabel>
#include <QTimer>

#include <cmath>

namespace {

// A price as the pages take one: a number above 0 and below a billion.
std::optional<double> priceOf(const QVariant &value)
{
    double number = 0;
    if (!PivoraBusiUtils::ReadNumber(value, &number) || number <= 0 || number >= 1e9)
        return std::nullopt;
    return number;
}

std::optional<double> countOf(const QVariant &value)
{
    double number = 0;
    if (!PivoraBusiUtils::ReadNumber(value, &number) || number < 0 || number >= 1e15)
        return std::nullopt;
    return std::floor(number);
}

const char *sourceKey(DetailPage::Source source)
{
    switch (source) {
    case DetailPage::Source::Mid:
        return "mid";
    case DetailPage::Source::Last:
        return "last";
    case DetailPage::Source::PreviousClose:
        return "previous close";
    default:
        return nullptr;
    }
}

const char *reasonKey(DetailPage::Reason reason)
{
    switch (reason) {
    case DetailPage::Reason::Expired:
        return "expired";
    case DetailPage::Reason::BelowIntrinsic:
        return "below intrinsic value";
    case DetailPage::Reason::AboveBound:
        return "above the no-arbitrage bound";
    case DetailPage::Reason::NoUnderlying:
        return "no underlying price";
    case DetailPage::Reason::NoPrice:
        return "no price";
    default:
        return nullptr;
    }
}

QJsonValue jsonOf(const std::optional<double> &value)
{
    return value ? QJsonValue(*value) : QJsonValue();
}

QJsonValue jsonOf(const char *text)
{
    return text ? QJsonValue(QLatin1String(text)) : QJsonValue();
}

} // namespace

DetailPage::DetailPage(const QVariantMap &record, double rate, QWidget *parent)
    : VelPluginBaseWidget(parent)
    , m_record(record)
    , m_symbol(record.value(Ostrel_Fields::Security::symbol).toString())
    , m_underlying(ChartPage::underlyingOf(record))
    , m_rate(rate)
    , m_reason(new QLabel)
    , m_refreshTimer(new QTimer(this))
{
    const QString name = record.value(Ostrel_Fields::Security::chineseName).toString();
    setPluginWidgetTitle(name.isEmpty() ? m_symbol : name);

    // Two columns of figures, quote and valuation, over the greeks.
    auto *grid = new QGridLayout(this);
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(2);
    auto *head = new QLabel(tr("%1  %2  行权价 %3  到期 %4")
                                .arg(name, m_symbol, ChartPage::shortName(record),
                                     record.value(Ostrel_Fields::Security::StrikeDate).toString()));
    head->setObjectName(QStringLiteral("label_detailHead"));
    QFont bold = head->font();
    bold.setBold(true);
    head->setFont(bold);
    grid->addWidget(head, 0, 0, 1, 4);
    const auto title = [grid, bold](const QString &text, int row, int column, int span = 1) {
        auto *label = new QLabel(text);
        label->setFont(bold);
        // Heads of a column of values sit over the values.
        const bool overValues = column % 2 == 1 || span > 1;
        grid->addWidget(label, row, column, 1, span,
                        (overValues ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignBottom);
        grid->setRowMinimumHeight(row, 24);
    };
    title(tr("行情"), 1, 0);
    title(tr("定价"), 1, 2);
    const struct
    {
        const char *caption;
        const char *field;
    } left[] = {{QT_TR_NOOP("最新价"), "last"},
                {QT_TR_NOOP("买价"), "bid"},
                {QT_TR_NOOP("卖价"), "ask"},
                {QT_TR_NOOP("涨跌幅"), "change"},
                {QT_TR_NOOP("持仓量"), "openInterest"},
                {QT_TR_NOOP("剩余天数"), "days"},
                {QT_TR_NOOP("内在价值"), "intrinsic"},
                {QT_TR_NOOP("时间价值"), "timeValue"}},
      right[] = {{QT_TR_NOOP("定价价格"), "price"},       {QT_TR_NOOP("价格来源"), "source"},
                 {QT_TR_NOOP("标的价格"), "spot"},        {QT_TR_NOOP("无风险利率"), "rate"},
                 {QT_TR_NOOP("隐含波动率"), "iv"},        {QT_TR_NOOP("买价隐含波动率"), "ivBid"},
                 {QT_TR_NOOP("卖价隐含波动率"), "ivAsk"}, {QT_TR_NOOP("杠杆倍数"), "leverage"},
                 {QT_TR_NOOP("合约单位"), "contractUnit"}};
    int row = 2;
    for (const auto &f : left)
        addField(grid, row++, 0, tr(f.caption), QLatin1String(f.field));
    row = 2;
    for (const auto &f : right)
        addField(grid, row++, 2, tr(f.caption), QLatin1String(f.field));
    title(tr("希腊值"), ++row, 0);
    title(tr("每单位"), row, 1);
    title(tr("每张合约"), row, 2, 2);
    const struct
    {
        const char *caption;
        const char *field;
    } greeks[] = {{QT_TR_NOOP("Delta"), "delta"},
                  {QT_TR_NOOP("Gamma"), "gamma"},
                  {QT_TR_NOOP("Vega (每1%波动率)"), "vega"},
                  {QT_TR_NOOP("Theta (每日)"), "theta"},
                  {QT_TR_NOOP("Rho (每1%利率)"), "rho"}};
    for (const auto &g : greeks) {
        addField(grid, ++row, 0, tr(g.caption), QLatin1String(g.field));
        addValue(grid, row, 2, QLatin1String(g.field) + QStringLiteral("Contract"), 2);
    }
    m_reason->setObjectName(QStringLiteral("label_reason"));
    m_reason->setWordWrap(true);
    grid->addWidget(m_reason, ++row, 0, 1, 4);
    for (int c = 0; c < 4; ++c)
        grid->setColumnStretch(c, 1);
    grid->setRowStretch(row + 1, 1);

    // A person reads no faster than four times a second.
    m_refreshTimer->setSingleShot(true);
    m_refreshTimer->setInterval(250);
    connect(m_refreshTimer, &QTimer::timeout, this, &DetailPage::refresh);
    connect(VelPriceHistory::instance(), &VelPriceHistory::changed, this, [this] {
        if (isVisible() && !m_refreshTimer->isActive())
            m_refreshTimer->start();
    });
    refresh();
}

void DetailPage::addField(QGridLayout *grid, int row, int column, const QString &caption,
                          const QString &field)
{
    grid->addWidget(new QLabel(caption), row, column);
    addValue(grid, row, column + 1, field);
}

void DetailPage::addValue(QGridLayout *grid, int row, int column, const QString &field, int span)
{
    auto *value = new QLabel(QStringLiteral("--"));
    value->setObjectName(QStringLiteral("label_") + field);
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(value, row, column, 1, span);
    m_values.insert(field, value);
}

DetailPage::Figures DetailPage::compute(const QVariantMap &record, const QVariantMap &optionTick,
                                        const QVariantMap &underlyingTick, const QDateTime &at,
                                        double rate)
{
    Figures f;
    f.rate = rate;
    double unit = 0;
    if (PivoraBusiUtils::ReadNumber(record.value(QStringLiteral("contractUnit")), &unit) &&
        unit > 0 && unit < 1e9)
        f.contractUnit = unit;
    const std::optional<double> traded = priceOf(optionTick.value(QStringLiteral("LastPrice")));
    const std::optional<double> close = priceOf(optionTick.value(QStringLiteral("PreClosePrice")));
    f.last = traded ? traded : close;
    f.bid = priceOf(optionTick.value(QStringLiteral("Buy1Price")));
    f.ask = priceOf(optionTick.value(QStringLiteral("Sell1Price")));
    f.bidSize = countOf(optionTick.value(QStringLiteral("Buy1Qty")));
    f.askSize = countOf(optionTick.value(QStringLiteral("Sell1Qty")));
    const std::optional<double> settle =
        priceOf(optionTick.value(QStringLiteral("PreSettlePrice")));
    if (f.last && settle)
        f.change = (*f.last - *settle) / *settle * 100.0;
    f.openInterest = countOf(optionTick.value(QStringLiteral("OpenInterest")));
    const QDate expiry = QDate::fromString(
        record.value(Ostrel_Fields::Security::StrikeDate).toString(), QStringLiteral("yyyyMMdd"));
    const double years = Valuation::yearsToExpiry(expiry, at);
    if (expiry.isValid() && Valuation::daysToExpiry(expiry, at) >= 0)
        f.days = double(Valuation::daysToExpiry(expiry, at));

    if (f.bid && f.ask) {
        f.price = (*f.bid + *f.ask) / 2;
        f.source = Source::Mid;
    } else if (f.last) {
        f.price = f.last;
        f.source = traded ? Source::Last : Source::PreviousClose;
    }
    f.spot = priceOf(PivoraBusiUtils::GetLastPriceFromTick(underlyingTick));
    const std::optional<double> strike =
        priceOf(record.value(Ostrel_Fields::Security::StrikePrice));
    const bool call = record.value(Ostrel_Fields::Security::PutOrCall).toString() ==
                      Ostrel_Values::OptionCallOrPut::call;
    if (f.spot && strike) {
        f.intrinsic = OptionPricer::intrinsicValue(call, *f.spot, *strike);
        if (f.price)
            f.timeValue = *f.price - *f.intrinsic;
    }
    if (!f.price || !strike) {
        f.reason = Reason::NoPrice;
        return f;
    }
    if (!f.spot) {
        f.reason = Reason::NoUnderlying;
        return f;
    }
    // Priced until the close of the expiry day.
    if (!(years > 0)) {
        f.reason = Reason::Expired;
        return f;
    }
    const auto solve = [&](double price) {
        return OptionPricer::impliedVolatility(call, price, *f.spot, *strike, years, rate);
    };
    f.iv = solve(*f.price);
    if (f.bid)
        f.ivBid = solve(*f.bid);
    if (f.ask)
        f.ivAsk = solve(*f.ask);
    const auto greeks =
        f.iv ? OptionPricer::greeks(call, *f.spot, *strike, years, rate, *f.iv) : std::nullopt;
    if (!greeks) {
        f.iv.reset();
        const double floor = OptionPricer::blackScholes(call, *f.spot, *strike, years, rate,
                                                        OptionPricer::minVolatility);
        f.reason = *f.price <= floor ? Reason::BelowIntrinsic : Reason::AboveBound;
        return f;
    }
    f.delta = greeks->delta;
    f.gamma = greeks->gamma;
    f.vega = greeks->vega / 100.0;
    f.theta = greeks->theta / 365.0;
    f.rho = OptionPricer::rho(call, *f.spot, *strike, years, rate, *f.iv).value_or(0) / 100.0;
    f.leverage = *f.delta * *f.spot / *f.price;
    return f;
}

QJsonObject DetailPage::fieldsOf(const Figures &f)
{
    return QJsonObject{{QStringLiteral("last"), jsonOf(f.last)},
                       {QStringLiteral("bid"), jsonOf(f.bid)},
                       {QStringLiteral("ask"), jsonOf(f.ask)},
                       {QStringLiteral("change"), jsonOf(f.change)},
                       {QStringLiteral("openInterest"), jsonOf(f.openInterest)},
                       {QStringLiteral("days"), jsonOf(f.days)},
                       {QStringLiteral("price"), jsonOf(f.price)},
                       {QStringLiteral("source"), jsonOf(sourceKey(f.source))},
                       {QStringLiteral("spot"), jsonOf(f.spot)},
                       {QStringLiteral("rate"), f.rate},
                       {QStringLiteral("iv"), jsonOf(f.iv)},
                       {QStringLiteral("ivBid"), jsonOf(f.ivBid)},
                       {QStringLiteral("ivAsk"), jsonOf(f.ivAsk)},
                       {QStringLiteral("intrinsic"), jsonOf(f.intrinsic)},
                       {QStringLiteral("timeValue"), jsonOf(f.timeValue)},
                       {QStringLiteral("delta"), jsonOf(f.delta)},
                       {QStringLiteral("gamma"), jsonOf(f.gamma)},
                       {QStringLiteral("vega"), jsonOf(f.vega)},
                       {QStringLiteral("theta"), jsonOf(f.theta)},
                       {QStringLiteral("rho"), jsonOf(f.rho)},
                       {QStringLiteral("contractUnit"), f.contractUnit},
                       {QStringLiteral("leverage"), jsonOf(f.leverage)},
                       {QStringLiteral("reason"), jsonOf(reasonKey(f.reason))}};
}

QString DetailPage::formatNumber(double value, int places)
{
    if (!std::isfinite(value))
        return QStringLiteral("--");
    const double size = std::fabs(value);
    // Tiny figures (a deep out-of-the-money option's) keep their digits.
    if (size > 0 && size < 1e-6)
        return QString::number(value, 'e', 3);
    // Four significant digits at least, so a figure never rounds to a minus
    // zero; Qt writes -0.0 itself as 0.
    if (size > 0)
        places = qBound(places, 3 - int(std::floor(std::log10(size))), 9);
    return QString::number(value, 'f', places);
}

DetailPage::Figures DetailPage::current() const
{
    return compute(m_record, BusinessDataInterface::LatestQuotation(m_symbol),
                   m_underlying.isEmpty() ? QVariantMap()
                                          : BusinessDataInterface::LatestQuotation(m_underlying),
                   Valuation::now(), m_rate);
}

void DetailPage::showEvent(QShowEvent *event)
{
    VelPluginBaseWidget::showEvent(event);
    refresh();
}

void DetailPage::refresh()
{
    const QVariantMap option = BusinessDataInterface::LatestQuotation(m_symbol);
    const QVariantMap underlying = m_underlying.isEmpty()
                                       ? QVariantMap()
                                       : BusinessDataInterface::LatestQuotation(m_underlying);
    if (m_shown && option == m_optionTick && underlying == m_underlyingTick)
        return;
    m_shown = true;
    m_optionTick = option;
    m_underlyingTick = underlying;
    const Figures f = compute(m_record, option, underlying, Valuation::now(), m_rate);
    const int decimals =
        PivoraBusinessDataInterface::GetPricePrecisionBySymbol(m_symbol, QString());
    const int fundDecimals =
        PivoraBusinessDataInterface::GetPricePrecisionBySymbol(m_underlying, QString());
    const auto set = [this](const char *field, const QString &text) {
        if (QLabel *label = m_values.value(QLatin1String(field)))
            label->setText(text);
    };
    const auto price = [decimals](const std::optional<double> &v, int places = -1) {
        return v ? QString::number(*v, 'f', places < 0 ? decimals : places) : QStringLiteral("--");
    };
    const auto number = [](const std::optional<double> &v, int places, double scale = 1,
                           const QString &suffix = QString()) {
        return v ? formatNumber(*v * scale, places) + suffix : QStringLiteral("--");
    };
    const auto sized = [&](const std::optional<double> &v, const std::optional<double> &size) {
        return size && v ? price(v) + QStringLiteral(" × ") + QString::number(qint64(*size))
                         : price(v);
    };
    set("last", price(f.last));
    set("bid", sized(f.bid, f.bidSize));
    set("ask", sized(f.ask, f.askSize));
    set("change", number(f.change, 2, 1, QStringLiteral("%")));
    if (QLabel *change = m_values.value(QStringLiteral("change"))) {
        const QColor colour = !f.change || *f.change == 0 ? PivoraUtils::BalanceColor()
                              : *f.change > 0             ? PivoraUtils::RiseColor()
                                                          : PivoraUtils::DownColor();
        change->setStyleSheet(QStringLiteral("color: %1").arg(colour.name()));
    }
    set("openInterest",
        f.openInterest ? QString::number(qint64(*f.openInterest)) : QStringLiteral("--"));
    set("days", f.days ? QString::number(int(*f.days)) : QStringLiteral("--"));
    set("price", price(f.price));
    static const char *const sources[] = {"--", QT_TR_NOOP("买卖中间价"), QT_TR_NOOP("最新价"),
                                          QT_TR_NOOP("昨收价")};
    set("source", f.source == Source::None ? QStringLiteral("--") : tr(sources[int(f.source)]));
    set("spot", price(f.spot, fundDecimals));
    set("rate", formatNumber(f.rate * 100, 3) + QLatin1Char('%'));
    static const char *const reasons[] = {"",
                                          QT_TR_NOOP("已到期"),
                                          QT_TR_NOOP("低于内在价值"),
                                          QT_TR_NOOP("高于无套利上限"),
                                          QT_TR_NOOP("无标的价格"),
                                          QT_TR_NOOP("无价格")};
    const QString why = tr(reasons[int(f.reason)]);
    set("iv", f.iv ? number(f.iv, 2, 100, QStringLiteral("%")) : why);
    set("ivBid", number(f.ivBid, 2, 100, QStringLiteral("%")));
    set("ivAsk", number(f.ivAsk, 2, 100, QStringLiteral("%")));
    set("intrinsic", number(f.intrinsic, decimals));
    set("timeValue", number(f.timeValue, decimals));
    set("leverage", number(f.leverage, 2));
    set("contractUnit", QString::number(f.contractUnit, 'g', 10));
    const struct
    {
        const char *field;
        std::optional<double> value;
    } greeks[] = {{"delta", f.delta},
                  {"gamma", f.gamma},
                  {"vega", f.vega},
                  {"theta", f.theta},
                  {"rho", f.rho}};
    for (const auto &g : greeks) {
        set(g.field, number(g.value, 4));
        set(QByteArray(QByteArray(g.field) + "Contract").constData(),
            number(g.value, 2, f.contractUnit));
    }
    m_reason->setText(f.reason == Reason::None ? QString()
                                               : tr("无隐含波动率与希腊值: %1").arg(why));
}

QJsonObject DetailPage::snapshot() const
{
    QJsonObject o;
    o.insert(QStringLiteral("symbol"), m_symbol);
    o.insert(QStringLiteral("fields"), fieldsOf(current()));
    return o;
}
