#pragma once

#include "velwidget/velpluginbasewidget.h"

#include <QDateTime>
#include <QHash>
#include <QJsonObject>
#include <QVariantMap>

#include <optional>

QT_BEGIN_NAMESPACE
class QGridLayout;
class QLabel;
class QTimer;
QT_END_NAMESPACE

// velapp's answer to an option double-clicked on a T-board: its quote, the
// inputs of its valuation, implied volatility and greeks per unit and per
// contract, live.
class DetailPage : public VelPluginBaseWidget
{
    Q_OBJECT
public:
    // Where the price the valuation uses comes from.
    enum class Source { None, Mid, Last, PreviousClose };
    // Why there is no implied volatility.
    enum class Reason { None, Expired, BelowIntrinsic, AboveBound, NoUnderlying, NoPrice };

    // What the page shows; no value where the inputs give none. Greeks per
    // unit of the underlying: vega and rho per percentage point, theta per day.
    struct Figures
    {
        std::optional<double> last, bid, ask, bidSize, askSize, change, openInterest, days, price,
            spot, iv, ivBid, ivAsk, intrinsic, timeValue, delta, gamma, vega, theta, rho, leverage;
        double rate = 0;
        double contractUnit = 10000;
        Source source = Source::None;
        Reason reason = Reason::None;
    };

    DetailPage(const QVariantMap &record, double rate, QWidget *parent = nullptr);

    // Black-Scholes on the underlying's last price at rate, to the close of
    // the expiry day as seen at `at`.
    static Figures compute(const QVariantMap &record, const QVariantMap &optionTick,
                           const QVariantMap &underlyingTick, const QDateTime &at, double rate);
    // The dump's "fields": every figure, null where there is none.
    static QJsonObject fieldsOf(const Figures &f);
    // At least four significant digits and places decimals, never "-0".
    static QString formatNumber(double value, int places);

    QString symbol() const { return m_symbol; }
    QVariantMap record() const { return m_record; }
    double rate() const { return m_rate; }
    // The dump's fields of the page: symbol, and fields.
    QJsonObject snapshot() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    Figures current() const;
    void refresh();
    void addField(QGridLayout *grid, int row, int column, const QString &caption,
                  const QString &field);
    void addValue(QGridLayout *grid, int row, int column, const QString &field, int span = 1);

    QVariantMap m_record;
    QString m_symbol;
    QString m_underlying;
    double m_rate;
    QVariantMap m_optionTick;
    QVariantMap m_underlyingTick;
    bool m_shown = false;
    QHash<QString, QLabel *> m_values;
    QLabel *m_reason;
    QTimer *m_refreshTimer;
};
