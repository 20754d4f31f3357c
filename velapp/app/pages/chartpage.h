#pragma once

#include "velwidget/velpluginbasewidget.h"

#include <QHash>
#include <QJsonObject>
#include <QLine>
#include <QPixmap>
#include <QStaticText>
#include <QStringList>
#include <QVariantMap>
#include <QVector>

#include <array>

QT_BEGIN_NAMESPACE
class QPainter;
class QTimer;
QT_END_NAMESPACE

// velapp's answer to a strike clicked on a T-board: the call's, the put's
// and the underlying's last prices over the session, each in a band of its
// own scale, on the exchange's time of day.
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
    QVariantMap callRecord() const { return m_call; }
    QVariantMap putRecord() const { return m_put; }
    // The dump's fields of the page: symbols, points, last.
    QJsonObject snapshot() const;
    // Lines drawn since the page was made: what a benchmark counts.
    quint64 redrawCount() const { return m_redraws; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    struct Band
    {
        QRectF plot;
        QVector<QLine> segments;
        double lo = 0, hi = 1, step = 1;
        int decimals = 0;
        int points = 0;
        bool hasLast = false;
        double last = 0;
    };
    void historyChanged();
    void paintAxes(const QFont &font);
    void drawLabel(QPainter &p, const QRectF &rect, Qt::Alignment align, const QString &text);
    // Lays the bands out and reads their lines from the price history.
    void redraw();

    QVariantMap m_call;
    QVariantMap m_put;
    QStringList m_symbols;
    QStringList m_names;
    std::array<int, 3> m_decimals{};
    std::array<quint64, 3> m_revisions{};
    std::array<Band, 3> m_bands;
    qint64 m_from = 0;
    qint64 m_to = 0;
    bool m_dirty = true;
    quint64 m_redraws = 0;
    QHash<QString, QStaticText> m_texts;
    QPixmap m_axes;
    QString m_axesKey;
    QTimer *m_redrawTimer;
};
