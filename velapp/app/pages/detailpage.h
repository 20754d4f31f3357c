#pragma once

#include "velwidget/velpluginbasewidget.h"

#include <QDateTime>
#include <QJsonObject>
#include <QVariantMap>

#include <optional>

QT_BEGIN_NAMESPACE
class QLabel;
class QTimer;
QT_END_NAMESPACE

// velapp's answer to an option double-clicked on a T-board: its quote,
// implied volatility and greeks, live.
class DetailPage : public VelPluginBaseWidget
{
    Q_OBJECT
public:
    // What the page shows; no value where the inputs give none.
    struct Figures
    {
        std::optional<double> last, bid, ask, change, openInterest, days, iv, delta, gamma, vega,
            theta;
    };
    static constexpr int fieldCount = 11;
    static const char *const fieldNames[fieldCount];

    DetailPage(const QVariantMap &record, double rate, QWidget *parent = nullptr);

    // Black-Scholes on the underlying's last price at rate; change in % of
    // the previous settlement, vega per volatility point, theta per day.
    static Figures compute(const QVariantMap &record, const QVariantMap &optionTick,
                           const QVariantMap &underlyingTick, const QDateTime &at, double rate);

    QString symbol() const { return m_symbol; }
    // The dump's fields of the page: symbol, and each figure or null.
    QJsonObject snapshot() const;

private:
    Figures current() const;
    void refresh();

    QVariantMap m_record;
    QString m_symbol;
    QString m_underlying;
    double m_rate;
    QVariantMap m_optionTick;
    QVariantMap m_underlyingTick;
    bool m_shown = false;
    QLabel *m_values[fieldCount];
    QTimer *m_refreshTimer;
};
