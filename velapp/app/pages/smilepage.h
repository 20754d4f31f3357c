#pragma once

#include "market/smilemodel.h"

#include "velwidget/velpluginbasewidget.h"
#include "velwidget/velpresenterclass.h"

#include <QDateTime>
#include <QJsonObject>
#include <QThread>

#include <memory>

QT_BEGIN_NAMESPACE
class QCheckBox;
class QHBoxLayout;
class QLabel;
class QTimer;
QT_END_NAMESPACE
namespace QtCharts {
class QChart;
class QLineSeries;
class QValueAxis;
} // namespace QtCharts

// Computes a fund's smile on the page's own thread; the chain is read from
// the reference data when the fund changes or a reload is asked for.
class SmileWorker : public QObject
{
    Q_OBJECT
public slots:
    void compute(const QString &underlying, double rate, const QDateTime &at, bool reload);
signals:
    void computed(const SmileModel::Smile &smile);

private:
    SmileModel::Chain m_chain;
    bool m_haveChain = false;
};

// The volatility smile of the fund the boards show, and its at-the-money
// term structure, live. Follows the boards' fund as they switch.
class SmilePage : public VelPluginBaseWidget
{
    Q_OBJECT
public:
    SmilePage(const QString &underlying, double rate, QWidget *parent = nullptr);
    ~SmilePage() override;

    QString underlying() const { return m_underlying; }
    void setUnderlying(const QString &symbol);
    // F5: the chain read again from the reference data.
    void refreshPluginWidget() override;
    // The dump's fields, computed from the quotes held now.
    QJsonObject snapshot() const;

signals:
    void computeRequested(const QString &underlying, double rate, const QDateTime &at, bool reload);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void schedule();
    void request();
    void draw(const SmileModel::Smile &smile);
    void rebuildExpiries(const SmileModel::Smile &smile);
    void updateVisibility();

    QString m_underlying;
    double m_rate;
    bool m_dirty = true;
    bool m_busy = false;
    bool m_reload = false;
    SmileModel::Smile m_shown;
    SmileModel::Smile m_pending; // the latest result, drawn once shown
    QThread m_thread;
    SmileWorker *m_worker;
    std::unique_ptr<VelPresenterClass> m_follower;
    QTimer *m_throttle;
    QLabel *m_head;
    QHBoxLayout *m_checkRow;
    QList<QCheckBox *> m_checks;
    QList<QtCharts::QLineSeries *> m_smileSeries;
    QtCharts::QChart *m_smileChart;
    QtCharts::QValueAxis *m_strikeAxis;
    QtCharts::QValueAxis *m_ivAxis;
    QtCharts::QChart *m_termChart;
    QtCharts::QLineSeries *m_termSeries;
    QtCharts::QValueAxis *m_daysAxis;
    QtCharts::QValueAxis *m_atmAxis;
};
