#pragma once

#include "velwidget/velpluginbasewidget.h"

#include <QVariantMap>

class PresenterClass;
class TQuotationFrame;

// The T-board page the host shows: builds its view and presenter when the
// host initialises it and passes the host's refresh on to them.
class TQuotationWidget : public VelPluginBaseWidget
{
    Q_OBJECT
    Q_INTERFACES(IHSkin)

public:
    explicit TQuotationWidget(QWidget *parent = nullptr);
    // For Qt's meta-type system, which the host creates pages through.
    TQuotationWidget(const TQuotationWidget &other);
    ~TQuotationWidget() override;

    void initPluginWidget() override;
    void refreshPluginWidget() override;
    void pluginWidgetReserved() override;

signals:
    void signalRefresh();
    void signalInitOptionData(QVariantMap data);
    void signalRefreshAccount(QVariantMap data);

private:
    TQuotationFrame *m_frame;
    PresenterClass *m_presenter;
};
