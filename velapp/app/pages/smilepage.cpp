#include "pages/smilepage.h"

#include "market/valuation.h"

#include "businessdatamanager/businessdatainterface.h"
#include "businessdatamanager/pricehistory.h"
#include "velbusinessdata/businessdatabase.h"
#include "veldefine/velconstants.h"
#include "veldefine/veldefine.h"
#include "velmsg/packmessage.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>
#include <functional>

using namespace QtCharts;

namespace {

// A person reads a smile no faster than this; the work is the worker's.
constexpr int kIntervalMs = 500;

QString nameOf(const QString &symbol)
{
    const QString name = CBusinessDataBase::GetInstance()
                             ->GetSecurityDetailsBySymbol(symbol)
                             .value(Ostrel_Fields::Security::chineseName)
                             .toString();
    return name.isEmpty() ? symbol : name;
}

QList<QVariantMap> allSecurities()
{
    return CBusinessDataBase::GetInstance()->allSecurities();
}

QVariantMap latest(const QString &symbol)
{
    return BusinessDataInterface::LatestQuotation(symbol);
}

// Hears which fund the boards switch to (bus event 213331), on the GUI thread.
class FundFollower : public VelPresenterClass
{
public:
    explicit FundFollower(std::function<void(const QString &)> follow)
        : VelPresenterClass(QStringLiteral("velapp.smile"), nullptr,
                            IMessageInterface::ThreadType_Main)
        , m_follow(std::move(follow))
    {
        SubEvent(pluginPid(), QVariant(int(VelEventType::UnderlyingChanged)), 0);
    }

    void ProcEventMsg(QString, QVariant type, QVariant msg) override
    {
        if (type.toInt() != VelEventType::UnderlyingChanged)
            return;
        CUnPackMessageCommon unpack;
        if (!unpack.SetUnPackMsg(msg, false))
            return;
        const QString symbol =
            unpack.GetRowValue().value(Ostrel_Fields::Security::symbol).toString();
        if (!symbol.isEmpty())
            m_follow(symbol);
    }

private:
    std::function<void(const QString &)> m_follow;
};

// The dark theme on a plain fill: its gradient costs every repaint.
void styleChart(QChart *chart)
{
    chart->setTheme(QChart::ChartThemeDark);
    chart->setBackgroundBrush(QColor(0x26, 0x29, 0x2f));
    chart->setDropShadowEnabled(false);
}

// A range with room around the points, never empty. Kept while the points
// still fill most of it: a new range lays the whole chart out again.
void fitAxis(QValueAxis *axis, double lo, double hi, double minLo)
{
    if (!(lo <= hi)) {
        lo = minLo;
        hi = minLo + 1;
    }
    if (lo >= axis->min() && hi <= axis->max() && hi - lo >= 0.6 * (axis->max() - axis->min()))
        return;
    const double pad = qMax((hi - lo) * 0.08, 0.01 * qMax(1.0, std::fabs(hi)));
    axis->setRange(qMax(minLo, lo - pad), hi + pad);
    axis->applyNiceNumbers();
}

} // namespace

void SmileWorker::compute(const QString &underlying, double rate, const QDateTime &at, bool reload)
{
    if (reload || !m_haveChain || m_chain.underlying != underlying) {
        m_chain = SmileModel::chainOf(underlying, allSecurities());
        // Before the reference data are in, there is nothing to keep.
        m_haveChain = CBusinessDataBase::GetInstance()->isLoaded();
    }
    emit computed(SmileModel::compute(m_chain, latest, at, rate));
}

SmilePage::SmilePage(const QString &underlying, double rate, QWidget *parent)
    : VelPluginBaseWidget(parent)
    , m_rate(rate)
    , m_worker(new SmileWorker)
    , m_throttle(new QTimer(this))
    , m_head(new QLabel)
    , m_checkRow(new QHBoxLayout)
    , m_smileChart(new QChart)
    , m_strikeAxis(new QValueAxis)
    , m_ivAxis(new QValueAxis)
    , m_termChart(new QChart)
    , m_termSeries(new QLineSeries)
    , m_daysAxis(new QValueAxis)
    , m_atmAxis(new QValueAxis)
{
    qRegisterMetaType<SmileModel::Smile>();
    m_head->setObjectName(QStringLiteral("label_smileHead"));

    styleChart(m_smileChart);
    m_smileChart->setTitle(tr("波动率微笑"));
    m_strikeAxis->setTitleText(tr("行权价"));
    m_strikeAxis->setLabelFormat(QStringLiteral("%.3f"));
    m_ivAxis->setTitleText(tr("隐含波动率 (%)"));
    m_ivAxis->setLabelFormat(QStringLiteral("%.1f"));
    m_smileChart->addAxis(m_strikeAxis, Qt::AlignBottom);
    m_smileChart->addAxis(m_ivAxis, Qt::AlignLeft);

    styleChart(m_termChart);
    m_termChart->setTitle(tr("平值波动率期限结构"));
    m_termChart->legend()->hide();
    m_daysAxis->setTitleText(tr("剩余天数"));
    m_daysAxis->setLabelFormat(QStringLiteral("%d"));
    m_atmAxis->setTitleText(tr("平值隐含波动率 (%)"));
    m_atmAxis->setLabelFormat(QStringLiteral("%.1f"));
    m_termChart->addAxis(m_daysAxis, Qt::AlignBottom);
    m_termChart->addAxis(m_atmAxis, Qt::AlignLeft);
    m_termSeries->setPointsVisible(true);
    m_termSeries->setName(tr("平值"));
    m_termChart->addSeries(m_termSeries);
    m_termSeries->attachAxis(m_daysAxis);
    m_termSeries->attachAxis(m_atmAxis);

    auto *smileView = new QChartView(m_smileChart);
    smileView->setRenderHint(QPainter::Antialiasing);
    auto *termView = new QChartView(m_termChart);
    termView->setRenderHint(QPainter::Antialiasing);
    auto *charts = new QHBoxLayout;
    charts->addWidget(smileView, 3);
    charts->addWidget(termView, 2);
    m_checkRow->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_head);
    layout->addLayout(m_checkRow);
    layout->addLayout(charts, 1);

    m_worker->moveToThread(&m_thread);
    m_thread.setObjectName(QStringLiteral("velapp.smile"));
    connect(this, &SmilePage::computeRequested, m_worker, &SmileWorker::compute);
    connect(m_worker, &SmileWorker::computed, this, [this](const SmileModel::Smile &smile) {
        m_busy = false;
        // A result for a fund left meanwhile is not drawn; a hidden page
        // draws when it is shown.
        if (smile.underlying == m_underlying) {
            m_pending = smile;
            if (isVisible())
                draw(m_pending);
        }
        schedule();
    });
    m_thread.start();

    m_throttle->setSingleShot(true);
    m_throttle->setInterval(kIntervalMs);
    connect(m_throttle, &QTimer::timeout, this, &SmilePage::schedule);
    connect(VelPriceHistory::instance(), &VelPriceHistory::changed, this, [this] {
        m_dirty = true;
        schedule();
    });
    m_follower = std::make_unique<FundFollower>([this](const QString &symbol) {
        // Only funds that list options here: a board's event names one.
        if (!CBusinessDataBase::GetInstance()->GetSecurityDetailsBySymbol(symbol).isEmpty())
            setUnderlying(symbol);
    });
    setUnderlying(underlying);
}

SmilePage::~SmilePage()
{
    m_follower->detach();
    m_follower.reset();
    m_thread.quit();
    m_thread.wait();
    delete m_worker;
}

void SmilePage::setUnderlying(const QString &symbol)
{
    if (symbol == m_underlying && !pluginWidgetTitle().isEmpty())
        return;
    m_underlying = symbol;
    const QString name = symbol.isEmpty() ? tr("无标的") : nameOf(symbol);
    setPluginWidgetTitle(tr("波动率 %1").arg(name));
    m_head->setText(tr("%1  %2  利率 %3%").arg(name, symbol).arg(m_rate * 100, 0, 'f', 2));
    m_dirty = true;
    // The new fund's smile at once, not after the interval.
    m_throttle->stop();
    schedule();
}

void SmilePage::showEvent(QShowEvent *event)
{
    VelPluginBaseWidget::showEvent(event);
    if (m_pending.underlying == m_underlying)
        draw(m_pending);
}

void SmilePage::refreshPluginWidget()
{
    m_reload = true;
    m_dirty = true;
    m_throttle->stop();
    schedule();
}

void SmilePage::schedule()
{
    if (m_dirty && !m_busy && !m_throttle->isActive())
        request();
}

void SmilePage::request()
{
    m_dirty = false;
    m_busy = true;
    m_throttle->start();
    emit computeRequested(m_underlying, m_rate, Valuation::now(), m_reload);
    m_reload = false;
}

QJsonObject SmilePage::snapshot() const
{
    const SmileModel::Chain chain = SmileModel::chainOf(m_underlying, allSecurities());
    return SmileModel::toJson(SmileModel::compute(chain, latest, Valuation::now(), m_rate));
}

void SmilePage::rebuildExpiries(const SmileModel::Smile &smile)
{
    QHash<QDate, bool> checked;
    for (int i = 0; i < m_checks.size(); ++i)
        checked.insert(m_shown.expiries.value(i).date, m_checks.at(i)->isChecked());
    qDeleteAll(m_checks);
    m_checks.clear();
    for (QLineSeries *series : qAsConst(m_smileSeries)) {
        m_smileChart->removeSeries(series);
        delete series;
    }
    m_smileSeries.clear();
    for (const SmileModel::Expiry &e : smile.expiries) {
        const QString date = e.date.toString(QStringLiteral("yyyyMMdd"));
        auto *check = new QCheckBox(tr("%1 (%2天)").arg(date).arg(e.days));
        check->setObjectName(QStringLiteral("checkBox_expiry_") + date);
        check->setChecked(checked.value(e.date, true));
        connect(check, &QCheckBox::toggled, this, &SmilePage::updateVisibility);
        m_checkRow->insertWidget(m_checks.size(), check);
        m_checks.append(check);

        auto *series = new QLineSeries;
        series->setName(date);
        series->setPointsVisible(true);
        m_smileChart->addSeries(series);
        series->attachAxis(m_strikeAxis);
        series->attachAxis(m_ivAxis);
        m_smileSeries.append(series);
    }
}

void SmilePage::draw(const SmileModel::Smile &smile)
{
    if (smile == m_shown && !m_smileSeries.isEmpty())
        return;
    bool sameDates = smile.expiries.size() == m_shown.expiries.size();
    for (int i = 0; sameDates && i < smile.expiries.size(); ++i)
        sameDates = smile.expiries.at(i).date == m_shown.expiries.at(i).date &&
                    smile.expiries.at(i).days == m_shown.expiries.at(i).days;
    if (!sameDates || m_smileSeries.size() != smile.expiries.size())
        rebuildExpiries(smile);
    m_shown = smile;

    QVector<QPointF> term;
    for (int i = 0; i < smile.expiries.size(); ++i) {
        const SmileModel::Expiry &e = smile.expiries.at(i);
        QVector<QPointF> line;
        for (const SmileModel::Point &p : e.points) {
            if (p.iv)
                line.append(QPointF(p.strike, *p.iv * 100));
        }
        m_smileSeries.at(i)->replace(line);
        if (e.atmIv)
            term.append(QPointF(e.days, *e.atmIv * 100));
    }
    m_termSeries->replace(term);
    double lo = HUGE_VAL, hi = -HUGE_VAL;
    for (const QPointF &p : qAsConst(term)) {
        lo = qMin(lo, p.y());
        hi = qMax(hi, p.y());
    }
    fitAxis(m_atmAxis, lo, hi, 0);
    lo = HUGE_VAL;
    hi = -HUGE_VAL;
    for (const QPointF &p : qAsConst(term)) {
        lo = qMin(lo, p.x());
        hi = qMax(hi, p.x());
    }
    fitAxis(m_daysAxis, lo, hi, 0);
    const QString termTitle =
        term.isEmpty() ? tr("平值波动率期限结构 (暂无报价)") : tr("平值波动率期限结构");
    if (m_termChart->title() != termTitle)
        m_termChart->setTitle(termTitle);
    updateVisibility();
}

// Axes fit the expiries shown, so a checked-off wing does not squash the rest.
void SmilePage::updateVisibility()
{
    double strikeLo = HUGE_VAL, strikeHi = -HUGE_VAL, ivLo = HUGE_VAL, ivHi = -HUGE_VAL;
    for (int i = 0; i < m_smileSeries.size() && i < m_checks.size(); ++i) {
        const bool shown = m_checks.at(i)->isChecked();
        m_smileSeries.at(i)->setVisible(shown);
        if (!shown)
            continue;
        const QVector<QPointF> points = m_smileSeries.at(i)->pointsVector();
        for (const QPointF &p : points) {
            strikeLo = qMin(strikeLo, p.x());
            strikeHi = qMax(strikeHi, p.x());
            ivLo = qMin(ivLo, p.y());
            ivHi = qMax(ivHi, p.y());
        }
    }
    fitAxis(m_strikeAxis, strikeLo, strikeHi, 0);
    fitAxis(m_ivAxis, ivLo, ivHi, 0);
    const QString title = strikeLo > strikeHi ? tr("波动率微笑 (暂无报价)") : tr("波动率微笑");
    if (m_smileChart->title() != title)
        m_smileChart->setTitle(title);
}
