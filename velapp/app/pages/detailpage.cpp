#include "pages/detailpage.h"

#include "market/valuation.h"

#include "pages/chartpage.h"
#include "market/optionpricer.h"

#include "PivoraBusinessDataManager/pivorabusinessdatainterface.h"
#include "PivoraUtils/pivorautils.h"
#include "businessdatamanager/businessdatainterface.h"
#include "businessdatamanager/pricehistory.h"
#include "veldefine/veldefine.h"

#include <QGridLayout>
#include <QLabel>
#include <QTimer>

#include <cmath>

const char *const DetailPage::fieldNames[DetailPage::fieldCount] = {
    "last", "bid",   "ask",   "change", "openInterest", "days",
    "iv",   "delta", "gamma", "vega",   "theta"};

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

std::optional<double> figureAt(const DetailPage::Figures &f, int field)
{
    const std::optional<double> all[DetailPage::fieldCount] = {
        f.last, f.bid,   f.ask,   f.change, f.openInterest, f.days,
        f.iv,   f.delta, f.gamma, f.vega,   f.theta};
    return all[field];
}

} // namespace

DetailPage::DetailPage(const QVariantMap &record, double rate, QWidget *parent)
    : VelPluginBaseWidget(parent)
    , m_record(record)
    , m_symbol(record.value(Ostrel_Fields::Security::symbol).toString())
    , m_underlying(ChartPage::underlyingOf(record))
    , m_rate(rate)
    , m_refreshTimer(new QTimer(this))
{
    const QString name = record.value(Ostrel_Fields::Security::chineseName).toString();
    setPluginWidgetTitle(name.isEmpty() ? m_symbol : name);

    static const char *const captions[fieldCount] = {
        QT_TR_NOOP("最新价"),     QT_TR_NOOP("买价"),   QT_TR_NOOP("卖价"),
        QT_TR_NOOP("涨跌幅"),     QT_TR_NOOP("持仓量"), QT_TR_NOOP("剩余天数"),
        QT_TR_NOOP("隐含波动率"), QT_TR_NOOP("Delta"),  QT_TR_NOOP("Gamma"),
        QT_TR_NOOP("Vega"),       QT_TR_NOOP("Theta"),
    };
    auto *grid = new QGridLayout(this);
    auto *head = new QLabel(tr("%1  %2  行权价 %3  到期 %4")
                                .arg(name, m_symbol, ChartPage::shortName(record),
                                     record.value(Ostrel_Fields::Security::StrikeDate).toString()));
    head->setObjectName(QStringLiteral("label_detailHead"));
    grid->addWidget(head, 0, 0, 1, 4);
    for (int i = 0; i < fieldCount; ++i) {
        m_values[i] = new QLabel(QStringLiteral("--"));
        m_values[i]->setObjectName(QStringLiteral("label_") + QLatin1String(fieldNames[i]));
        m_values[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        const int row = 1 + i % 6;
        const int column = i < 6 ? 0 : 2;
        grid->addWidget(new QLabel(tr(captions[i])), row, column);
        grid->addWidget(m_values[i], row, column + 1);
    }
    grid->setColumnStretch(4, 1);
    grid->setRowStretch(7, 1);
    grid->setHorizontalSpacing(24);

    // A person reads no faster than four times a second.
    m_refreshTimer->setSingleShot(true);
    m_refreshTimer->setInterval(250);
    connect(m_refreshTimer, &QTimer::timeout, this, &DetailPage::refresh);
    connect(VelPriceHistory::instance(), &VelPriceHistory::changed, this, [this] {
        if (!m_refreshTimer->isActive())
            m_refreshTimer->start();
    });
    refresh();
}

DetailPage::Figures DetailPage::compute(const QVariantMap &record, const QVariantMap &optionTick,
                                        const QVariantMap &underlyingTick, const QDateTime &at,
                                        double rate)
{
    Figures f;
    const double lastPrice = PivoraBusiUtils::GetLastPriceFromTick(optionTick);
    if (lastPrice > 0 && lastPrice < 1e9)
        f.last = lastPrice;
    f.bid = priceOf(optionTick.value(QStringLiteral("Buy1Price")));
    f.ask = priceOf(optionTick.value(QStringLiteral("Sell1Price")));
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

    const std::optional<double> strike =
        priceOf(record.value(Ostrel_Fields::Security::StrikePrice));
    const double spot = PivoraBusiUtils::GetLastPriceFromTick(underlyingTick);
    const std::optional<double> price = f.bid && f.ask ? (*f.bid + *f.ask) / 2 : f.last;
    const bool call = record.value(Ostrel_Fields::Security::PutOrCall).toString() ==
                      Ostrel_Values::OptionCallOrPut::call;
    // Priced until the close of the expiry day.
    if (!strike || !price || !(years > 0) || !(spot > 0 && spot < 1e9))
        return f;
    f.iv = OptionPricer::impliedVolatility(call, *price, spot, *strike, years, rate);
    if (!f.iv)
        return f;
    const auto greeks = OptionPricer::greeks(call, spot, *strike, years, rate, *f.iv);
    if (!greeks) {
        f.iv.reset();
        return f;
    }
    f.delta = greeks->delta;
    f.gamma = greeks->gamma;
    f.vega = greeks->vega / 100.0;
    f.theta = greeks->theta / 365.0;
    return f;
}

DetailPage::Figures DetailPage::current() const
{
    return compute(m_record, BusinessDataInterface::LatestQuotation(m_symbol),
                   m_underlying.isEmpty() ? QVariantMap()
                                          : BusinessDataInterface::LatestQuotation(m_underlying),
                   Valuation::now(), m_rate);
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
    const int places[fieldCount] = {decimals, decimals, decimals, 2, 0, 0, 2, 4, 4, 4, 4};
    for (int i = 0; i < fieldCount; ++i) {
        const std::optional<double> value = figureAt(f, i);
        QString text = QStringLiteral("--");
        if (value) {
            const bool percent = i == 3 || i == 6;
            text = QString::number(percent && i == 6 ? *value * 100 : *value, 'f', places[i]);
            if (percent)
                text += QLatin1Char('%');
        }
        m_values[i]->setText(text);
    }
}

QJsonObject DetailPage::snapshot() const
{
    const Figures f = current();
    QJsonObject fields;
    for (int i = 0; i < fieldCount; ++i) {
        const std::optional<double> value = figureAt(f, i);
        fields.insert(QLatin1String(fieldNames[i]), value ? QJsonValue(*value) : QJsonValue());
    }
    QJsonObject o;
    o.insert(QStringLiteral("symbol"), m_symbol);
    o.insert(QStringLiteral("fields"), fields);
    return o;
}
