#include "pages/chartpage.h"

#include "market/valuation.h"

#include "PivoraBusinessDataManager/pivorabusinessdatainterface.h"
#include "PivoraUtils/pivorautils.h"
#include "businessdatamanager/pricehistory.h"
#include "velbusinessdata/businessdatabase.h"
#include "veldefine/veldefine.h"

#include <QDateTime>
#include <QJsonArray>
#include <QPainter>
#include <QStaticText>
#include <QTimer>

#include <cmath>

namespace {

const QColor kBackground(0x1b, 0x1d, 0x23);
const QColor kGrid(0x33, 0x36, 0x40);
const QColor kText(0xb8, 0xbc, 0xc8);
const QColor kLines[3] = {QColor(0xe8, 0x5c, 0x5c), QColor(0x4c, 0xc0, 0x7c),
                          QColor(0xe0, 0xb0, 0x40)};
constexpr int kLeft = 64; // room for a band's price labels
constexpr int kRight = 12;
constexpr int kBottom = 22; // the time labels
constexpr int kCaption = 18;

const char *const kMonths[12] = {
    QT_TRANSLATE_NOOP("ChartPage", "1月"),  QT_TRANSLATE_NOOP("ChartPage", "2月"),
    QT_TRANSLATE_NOOP("ChartPage", "3月"),  QT_TRANSLATE_NOOP("ChartPage", "4月"),
    QT_TRANSLATE_NOOP("ChartPage", "5月"),  QT_TRANSLATE_NOOP("ChartPage", "6月"),
    QT_TRANSLATE_NOOP("ChartPage", "7月"),  QT_TRANSLATE_NOOP("ChartPage", "8月"),
    QT_TRANSLATE_NOOP("ChartPage", "9月"),  QT_TRANSLATE_NOOP("ChartPage", "10月"),
    QT_TRANSLATE_NOOP("ChartPage", "11月"), QT_TRANSLATE_NOOP("ChartPage", "12月")};

QString nameOf(const QString &symbol)
{
    const QString name = CBusinessDataBase::GetInstance()
                             ->GetSecurityDetailsBySymbol(symbol)
                             .value(Ostrel_Fields::Security::chineseName)
                             .toString();
    return name.isEmpty() ? symbol : name;
}

// 1, 2 or 5 times a power of ten: the least such step giving at most
// `count` steps over span.
double roundStep(double span, int count)
{
    const double raw = span / qMax(1, count);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * power >= raw)
            return m * power;
    }
    return 10 * power;
}

// Steps of the time axis, in seconds: each a round length of clock time.
qint64 timeStep(qint64 spanMs, int count)
{
    static const qint64 steps[] = {1,   2,   5,    10,   15,   30,    60,    120,  300,
                                   600, 900, 1800, 3600, 7200, 14400, 28800, 86400};
    for (qint64 step : steps) {
        if (spanMs / (step * 1000) < count)
            return step;
    }
    return 86400;
}

} // namespace

ChartPage::ChartPage(const QVariantMap &call, const QVariantMap &put, QWidget *parent)
    : VelPluginBaseWidget(parent)
    , m_call(call)
    , m_put(put)
    , m_redrawTimer(new QTimer(this))
{
    const QVariantMap &known = call.isEmpty() ? put : call;
    m_symbols =
        QStringList{call.value(Ostrel_Fields::Security::symbol).toString(),
                    put.value(Ostrel_Fields::Security::symbol).toString(), underlyingOf(known)};
    const QDate expiry = QDate::fromString(
        known.value(Ostrel_Fields::Security::StrikeDate).toString(), QStringLiteral("yyyyMMdd"));
    const QString month = expiry.isValid() ? tr(kMonths[expiry.month() - 1]) : QString();
    setPluginWidgetTitle(tr("走势 %1 %2").arg(shortName(known), month).trimmed());
    const QStringList sides{tr("认购"), tr("认沽"), tr("标的")};
    for (int i = 0; i < 3; ++i) {
        m_names.append(
            sides.at(i) + QLatin1Char(' ') +
            (m_symbols.at(i).isEmpty() ? QStringLiteral("--") : nameOf(m_symbols.at(i))));
        m_decimals[size_t(i)] = m_symbols.at(i).isEmpty()
                                    ? 4
                                    : PivoraBusinessDataInterface::GetPricePrecisionBySymbol(
                                          m_symbols.at(i), QString());
    }
    setMinimumSize(320, 260);
    setAttribute(Qt::WA_OpaquePaintEvent);

    // Ticks come faster than anyone reads a chart: ten redraws a second at
    // most, only while it is shown and only after one of its symbols changed.
    m_redrawTimer->setSingleShot(true);
    m_redrawTimer->setInterval(100);
    connect(m_redrawTimer, &QTimer::timeout, this, [this] {
        // Hidden since the change came: drawn when shown again.
        if (!isVisible()) {
            m_dirty = true;
            return;
        }
        redraw();
        update();
    });
    connect(VelPriceHistory::instance(), &VelPriceHistory::changed, this,
            &ChartPage::historyChanged);
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

void ChartPage::historyChanged()
{
    if (m_redrawTimer->isActive())
        return;
    if (!isVisible()) {
        m_dirty = true;
        return;
    }
    for (int i = 0; i < 3; ++i) {
        if (VelPriceHistory::instance()->revision(m_symbols.at(i)) != m_revisions[size_t(i)]) {
            m_redrawTimer->start();
            return;
        }
    }
}

void ChartPage::showEvent(QShowEvent *event)
{
    VelPluginBaseWidget::showEvent(event);
    m_dirty = true;
}

void ChartPage::resizeEvent(QResizeEvent *event)
{
    VelPluginBaseWidget::resizeEvent(event);
    m_dirty = true;
}

void ChartPage::redraw()
{
    m_dirty = false;
    ++m_redraws;
    VelPriceHistory *history = VelPriceHistory::instance();
    m_from = std::numeric_limits<qint64>::max();
    m_to = std::numeric_limits<qint64>::min();
    for (int i = 0; i < 3; ++i) {
        m_revisions[size_t(i)] = history->revision(m_symbols.at(i));
        qint64 first = 0, latest = 0;
        if (!m_symbols.at(i).isEmpty() && history->span(m_symbols.at(i), &first, &latest)) {
            m_from = qMin(m_from, first);
            m_to = qMax(m_to, latest);
        }
    }
    if (m_from > m_to)
        m_from = m_to = Valuation::now().toMSecsSinceEpoch();
    // A minute at least, and room after the latest point; the end moves in
    // steps of about a twentieth of the span, so the axes stay put between them.
    m_to = qMax(m_to + (m_to - m_from) / 50, m_from + 60000);
    qint64 quantum = 1000;
    while (quantum * 20 < m_to - m_from)
        quantum *= 2;
    m_to = (m_to / quantum + 1) * quantum;

    const QRectF area(kLeft, 0, qMax(1, width() - kLeft - kRight), qMax(1, height() - kBottom));
    const double bandHeight = area.height() / 3;
    const int columns = qMax(1, int(area.width()));
    for (int i = 0; i < 3; ++i) {
        Band &band = m_bands[size_t(i)];
        band = Band();
        band.plot = QRectF(area.left(), area.top() + i * bandHeight + kCaption, area.width(),
                           qMax(1.0, bandHeight - kCaption - 14));
        VelPriceHistory::Point last{};
        band.hasLast = history->last(m_symbols.at(i), &last);
        band.last = last.price;
        const QVector<VelPriceHistory::Column> cells =
            history->columns(m_symbols.at(i), m_from, m_to, columns);
        double lo = HUGE_VAL, hi = -HUGE_VAL;
        for (const VelPriceHistory::Column &c : cells) {
            if (c.count > 0) {
                lo = qMin(lo, c.min);
                hi = qMax(hi, c.max);
                band.points += c.count;
            }
        }
        // A flat line sits mid-band; a move of one tick spans the band.
        const double tick = std::pow(10.0, -m_decimals[size_t(i)]);
        if (!(lo <= hi)) {
            lo = hi = 1;
        }
        if (hi - lo < tick) {
            lo -= tick;
            hi += tick;
        }
        // Labels a line of text apart at least.
        const int labels = qMax(1, int(band.plot.height() / 18));
        band.step = qMax(roundStep(hi - lo, labels), tick);
        for (;;) {
            band.lo = std::floor(lo / band.step) * band.step;
            band.hi = std::ceil(hi / band.step) * band.step;
            if ((band.hi - band.lo) / band.step <= labels + 1e-9)
                break;
            band.step = roundStep(band.step * 1.01, 1);
        }
        if (band.hi - band.lo < band.step / 2)
            band.hi = band.lo + band.step;
        band.decimals = qMax(0, int(std::ceil(-std::log10(band.step) - 1e-9)));
        const double scale = band.plot.height() / (band.hi - band.lo);
        const auto y = [&](double price) { return band.plot.bottom() - (price - band.lo) * scale; };
        // One vertical stroke a pixel column, from its low to its high (and
        // to where the column before ended); a jump over empty columns is a
        // straight line. Whole pixels, so the rasteriser fills spans.
        band.segments.reserve(columns);
        int previousX = -1;
        int previousY = 0;
        for (int x = 0; x < cells.size(); ++x) {
            const VelPriceHistory::Column &c = cells.at(x);
            if (c.count == 0)
                continue;
            const int px = int(band.plot.left()) + x;
            int top = qRound(y(c.max));
            int bottom = qRound(y(c.min));
            if (previousX >= 0 && px - previousX == 1) {
                top = qMin(top, previousY);
                bottom = qMax(bottom, previousY);
            } else if (previousX >= 0) {
                band.segments.append(QLine(previousX, previousY, px, qRound(y(c.first))));
            }
            band.segments.append(QLine(px, top, px, bottom));
            previousX = px;
            previousY = qRound(y(c.last));
        }
    }
}

// Texts laid out once: shaping a label costs more than drawing the lines.
void ChartPage::drawLabel(QPainter &p, const QRectF &rect, Qt::Alignment align, const QString &text)
{
    auto it = m_texts.find(text);
    if (it == m_texts.end()) {
        if (m_texts.size() > 512)
            m_texts.clear();
        QStaticText laid(text);
        laid.setTextFormat(Qt::PlainText);
        laid.prepare(QTransform(), p.font());
        it = m_texts.insert(text, laid);
    }
    const QSizeF size = it->size();
    const double x = align & Qt::AlignRight     ? rect.right() - size.width()
                     : align & Qt::AlignHCenter ? rect.center().x() - size.width() / 2
                                                : rect.left();
    const double y = align & Qt::AlignTop ? rect.top() : rect.center().y() - size.height() / 2;
    p.drawStaticText(QPointF(x, y), *it);
}

// Grid, labels and the time axis: painted again only when the scales move.
void ChartPage::paintAxes(const QFont &font)
{
    m_axes = QPixmap(size() * devicePixelRatioF());
    m_axes.setDevicePixelRatio(devicePixelRatioF());
    QPainter p(&m_axes);
    p.fillRect(rect(), kBackground);
    p.setFont(font);
    const QString noTrades = tr("暂无成交");
    for (int i = 0; i < 3; ++i) {
        const Band &band = m_bands[size_t(i)];
        for (double v = band.lo; v <= band.hi + band.step / 2; v += band.step) {
            const double yy =
                band.plot.bottom() - (v - band.lo) * band.plot.height() / (band.hi - band.lo);
            p.setPen(kGrid);
            p.drawLine(QPointF(band.plot.left(), yy), QPointF(band.plot.right(), yy));
            p.setPen(kText);
            drawLabel(p, QRectF(0, yy - 8, kLeft - 6, 16), Qt::AlignRight | Qt::AlignVCenter,
                      QString::number(v, 'f', band.decimals));
        }
        if (band.segments.isEmpty()) {
            p.setPen(kText);
            drawLabel(p, band.plot, Qt::AlignCenter, noTrades);
        }
    }

    // Time of day in the exchange's zone, on round steps of its clock.
    const QRectF area(kLeft, 0, qMax(1, width() - kLeft - kRight), qMax(1, height() - kBottom));
    const qint64 span = qMax<qint64>(1, m_to - m_from);
    const qint64 step = timeStep(span, qMax(2, int(area.width() / 90)));
    const QString format = step < 60 ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm");
    const QTimeZone zone = Valuation::exchangeZone();
    const qint64 offset =
        qint64(zone.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(m_from, Qt::UTC))) * 1000;
    const qint64 stepMs = step * 1000;
    qint64 t = ((m_from + offset + stepMs - 1) / stepMs) * stepMs - offset;
    for (; t <= m_to; t += stepMs) {
        const double x = area.left() + double(t - m_from) / span * area.width();
        // Clear of the zone's name and of the right edge.
        if (x < area.left() + 30 || x > width() - 30)
            continue;
        p.setPen(kGrid);
        p.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        p.setPen(kText);
        const QString label =
            QDateTime::fromMSecsSinceEpoch(t, Qt::UTC).toTimeZone(zone).toString(format);
        drawLabel(p, QRectF(x - 40, area.bottom() + 2, 80, kBottom - 2), Qt::AlignCenter, label);
    }
    p.setPen(kText);
    drawLabel(p, QRectF(0, area.bottom() + 2, kLeft - 6, kBottom - 2),
              Qt::AlignRight | Qt::AlignVCenter, tr("北京时间"));
}

void ChartPage::paintEvent(QPaintEvent *)
{
    if (m_dirty)
        redraw();
    QFont small = font();
    small.setPixelSize(11);
    QString key = QStringLiteral("%1 %2 %3 %4").arg(width()).arg(height()).arg(m_from).arg(m_to);
    for (const Band &band : m_bands)
        key += QStringLiteral(" %1 %2 %3 %4")
                   .arg(band.lo)
                   .arg(band.hi)
                   .arg(band.step)
                   .arg(band.segments.isEmpty());
    if (key != m_axesKey) {
        paintAxes(small);
        m_axesKey = key;
    }
    QPainter p(this);
    p.drawPixmap(0, 0, m_axes);
    p.setFont(small);
    for (int i = 0; i < 3; ++i) {
        const Band &band = m_bands[size_t(i)];
        p.setPen(kLines[i]);
        const QString caption =
            band.hasLast ? tr("%1  %2 元")
                               .arg(m_names.at(i))
                               .arg(QString::number(band.last, 'f', m_decimals[size_t(i)]))
                         : tr("%1 (元)").arg(m_names.at(i));
        drawLabel(p,
                  QRectF(band.plot.left(), band.plot.top() - kCaption, band.plot.width(), kCaption),
                  Qt::AlignLeft | Qt::AlignVCenter, caption);
        if (band.segments.size() == 1 && band.segments.first().dy() == 0) {
            // A lone price: a dot that can be seen.
            p.setRenderHint(QPainter::Antialiasing, true);
            p.setBrush(kLines[i]);
            p.drawEllipse(QPointF(band.segments.first().p1()), 3, 3);
            p.setBrush(Qt::NoBrush);
            p.setRenderHint(QPainter::Antialiasing, false);
            continue;
        }
        // Columns as one-pixel fills, the cheapest thing a raster painter does.
        for (const QLine &line : band.segments) {
            if (line.dx() == 0)
                p.fillRect(line.x1(), qMin(line.y1(), line.y2()), 1, qAbs(line.dy()) + 1,
                           kLines[i]);
            else
                p.drawLine(line);
        }
    }
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
