#include "pages/chartpage.h"

#include "PivoraBusinessDataManager/pivorabusinessdatainterface.h"
#include "PivoraUtils/pivorautils.h"
#include "businessdatamanager/pricehistory.h"
#include "velbusinessdata/businessdatabase.h"
#include "veldefine/veldefine.h"

#include <QDateTime>
#include <QJsonArray>
#include <QTimer>
#include <QVBoxLayout>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <cmath>

using namespace QtCharts;

namespace {

QString nameOf(const QString &symbol)
{
    const QString name = CBusinessDataBase::GetInstance()
                             ->GetSecurityDetailsBySymbol(symbol)
                             .value(Ostrel_Fields::Security::chineseName)
                             .toString();
    return name.isEmpty() ? symbol : name;
}

// A value range that a line can be drawn in, padded so it does not touch the edges.
void fitAxis(QValueAxis *axis, double lo, double hi, double step)
{
    if (!(lo <= hi)) {
        lo = 0;
        hi = 1;
    }
    const double pad = qMax((hi - lo) * 0.05, step);
    axis->setRange(qMax(0.0, lo - pad), hi + pad);
}

} // namespace

ChartPage::ChartPage(const QVariantMap &call, const QVariantMap &put, QWidget *parent)
    : VelPluginBaseWidget(parent)
    , m_chart(new QChart)
    , m_time(new QDateTimeAxis)
    , m_optionAxis(new QValueAxis)
    , m_underlyingAxis(new QValueAxis)
    , m_redrawTimer(new QTimer(this))
{
    const QVariantMap &known = call.isEmpty() ? put : call;
    m_symbols =
        QStringList{call.value(Ostrel_Fields::Security::symbol).toString(),
                    put.value(Ostrel_Fields::Security::symbol).toString(), underlyingOf(known)};
    setPluginWidgetTitle(tr("走势 %1").arg(shortName(known)));

    m_chart->setTheme(QChart::ChartThemeDark);
    m_chart->setTitle(nameOf(m_symbols.at(2)) + QLatin1Char(' ') +
                      known.value(Ostrel_Fields::Security::StrikeDate).toString() +
                      QLatin1Char(' ') + shortName(known));
    m_time->setFormat(QStringLiteral("HH:mm:ss"));
    m_time->setTitleText(tr("时间"));
    const QString optionSymbol = m_symbols.at(0).isEmpty() ? m_symbols.at(1) : m_symbols.at(0);
    const int optionDecimals =
        PivoraBusinessDataInterface::GetPricePrecisionBySymbol(optionSymbol, QString());
    const int fundDecimals =
        PivoraBusinessDataInterface::GetPricePrecisionBySymbol(m_symbols.at(2), QString());
    m_optionAxis->setLabelFormat(QStringLiteral("%.%1f").arg(optionDecimals));
    m_optionAxis->setTitleText(tr("期权"));
    m_underlyingAxis->setLabelFormat(QStringLiteral("%.%1f").arg(fundDecimals));
    m_underlyingAxis->setTitleText(tr("标的"));
    m_chart->addAxis(m_time, Qt::AlignBottom);
    m_chart->addAxis(m_optionAxis, Qt::AlignLeft);
    m_chart->addAxis(m_underlyingAxis, Qt::AlignRight);
    for (int i = 0; i < 3; ++i) {
        m_series[i] = new QLineSeries;
        m_series[i]->setName(m_symbols.at(i).isEmpty() ? QStringLiteral("--")
                                                       : nameOf(m_symbols.at(i)));
        m_chart->addSeries(m_series[i]);
        m_series[i]->attachAxis(m_time);
        m_series[i]->attachAxis(i < 2 ? m_optionAxis : m_underlyingAxis);
    }
    auto *view = new QChartView(m_chart);
    view->setRenderHint(QPainter::Antialiasing);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);

    // Ticks come faster than frames: one redraw a frame at most, and only
    // after something of this chart changed.
    m_redrawTimer->setSingleShot(true);
    m_redrawTimer->setInterval(16);
    connect(m_redrawTimer, &QTimer::timeout, this, &ChartPage::redraw);
    connect(VelPriceHistory::instance(), &VelPriceHistory::changed, this, [this] {
        if (m_redrawTimer->isActive())
            return;
        for (int i = 0; i < 3; ++i) {
            if (VelPriceHistory::instance()->revision(m_symbols.at(i)) != m_revisions[i]) {
                m_redrawTimer->start();
                return;
            }
        }
    });
    redraw();
}

QString ChartPage::shortName(const QVariantMap &record)
{
    double strike = 0;
    if (!PivoraBusiUtils::ReadNumber(record.value(Ostrel_Fields::Security::StrikePrice), &strike) ||
        std::fabs(strike) >= 1e9)
        strike = 0;
    const QString name = record.value(Ostrel_Fields::Security::chineseName).toString();
    QString text = QString::number(strike, 'f', 3);
    if (!name.isEmpty() && name.back() >= QLatin1Char('A') && name.back() <= QLatin1Char('Z'))
        text += name.back();
    return text;
}

QString ChartPage::underlyingOf(const QVariantMap &record)
{
    const QString id = record.value(Ostrel_Fields::Security::underlyingSecurityID).toString();
    const QString post = record.value(Ostrel_Fields::UserAccount::SymbolPost).toString();
    return id.isEmpty() || post.isEmpty() ? QString() : id + QLatin1Char('.') + post;
}

void ChartPage::redraw()
{
    VelPriceHistory *history = VelPriceHistory::instance();
    qint64 first = std::numeric_limits<qint64>::max();
    qint64 newest = std::numeric_limits<qint64>::min();
    double lo[2] = {HUGE_VAL, HUGE_VAL};
    double hi[2] = {-HUGE_VAL, -HUGE_VAL};
    for (int i = 0; i < 3; ++i) {
        m_revisions[i] = history->revision(m_symbols.at(i));
        const QVector<VelPriceHistory::Point> points = history->points(m_symbols.at(i));
        QVector<QPointF> line;
        line.reserve(points.size());
        const int axis = i < 2 ? 0 : 1;
        for (const VelPriceHistory::Point &p : points) {
            line.append(QPointF(double(p.msecs), p.price));
            lo[axis] = qMin(lo[axis], p.price);
            hi[axis] = qMax(hi[axis], p.price);
            first = qMin(first, p.msecs);
            newest = qMax(newest, p.msecs);
        }
        m_series[i]->replace(line);
    }
    if (first > newest) {
        newest = QDateTime::currentMSecsSinceEpoch();
        first = newest - 60000;
    }
    m_time->setRange(QDateTime::fromMSecsSinceEpoch(first),
                     QDateTime::fromMSecsSinceEpoch(qMax(newest, first + 1000)));
    fitAxis(m_optionAxis, lo[0], hi[0], 0.0001);
    fitAxis(m_underlyingAxis, lo[1], hi[1], 0.001);
}

QJsonObject ChartPage::snapshot() const
{
    VelPriceHistory *history = VelPriceHistory::instance();
    QJsonObject points;
    QJsonObject last;
    for (const QString &symbol : m_symbols) {
        if (symbol.isEmpty())
            continue;
        points.insert(symbol, history->count(symbol));
        VelPriceHistory::Point point;
        last.insert(symbol, history->last(symbol, &point) ? QJsonValue(point.price) : QJsonValue());
    }
    QJsonObject o;
    o.insert(QStringLiteral("symbols"), QJsonArray::fromStringList(m_symbols));
    o.insert(QStringLiteral("points"), points);
    o.insert(QStringLiteral("last"), last);
    return o;
}
