#pragma once

#include "velwidget/velpluginbasewidget.h"

#include <QJsonObject>
#include <QStringList>
#include <QVariantMap>

#include <array>

QT_BEGIN_NAMESPACE
class QTimer;
QT_END_NAMESPACE
namespace QtCharts {
class QChart;
class QDateTimeAxis;
class QLineSeries;
class QValueAxis;
} // namespace QtCharts

// velapp's answer to a strike clicked on a T-board: the call's and the put's
// last prices over the session, and the underlying's on a second axis.
class ChartPage : public VelPluginBaseWidget
{
    Q_OBJECT
public:
    ChartPage(const QVariantMap &call, const QVariantMap &put, QWidget *parent = nullptr);

    // The strike as the board shows it: "%.3f" and the name's letter ("2.803A").
    static QString shortName(const QVariantMap &record);
    // The fund's symbol: the record's underlying id and exchange.
    static QString underlyingOf(const QVariantMap &record);

    // Call, put, underlying; empty text for a side the event lacked.
    QStringList symbols() const { return m_symbols; }
    // The dump's fields of the page: title, symbols, points, last.
    QJsonObject snapshot() const;

private:
    void redraw();

    QStringList m_symbols;
    std::array<quint64, 3> m_revisions{};
    std::array<QtCharts::QLineSeries *, 3> m_series{};
    QtCharts::QChart *m_chart;
    QtCharts::QDateTimeAxis *m_time;
    QtCharts::QValueAxis *m_optionAxis;
    QtCharts::QValueAxis *m_underlyingAxis;
    QTimer *m_redrawTimer;
};
