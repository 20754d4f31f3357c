#include "TQuotationWidget.h"

#include "TQuotationFrame.h"
#include "TQuotationPresenterClass.h"

#include "veldatabase/database.h"
#include "veldefine/velconstants.h"

#include <QCoreApplication>
#include <QDebug>
#include <QHBoxLayout>
#include <QMetaType>

#define TQUOTATION_WIDGET_DEBUG()                                                                  \
    qDebug().noquote() << Q_FUNC_INFO << "TQuotationWidget" << __LINE__

TQuotationWidget::TQuotationWidget(QWidget *parent)
    : VelPluginBaseWidget(parent)
    , m_frame(nullptr)
    , m_presenter(nullptr)
{
    setPluginWidgetTitle(QCoreApplication::translate("TQuotation", "T型行情"));
    setPluginRefreshable(true);
    setPluginTitleAccountShowType(0);
    addSkinFile(QStringLiteral("Pivora/optiontrade/optiontquotation"),
                QStringLiteral("optiontquotation.css"), QString());
}

TQuotationWidget::TQuotationWidget(const TQuotationWidget &other)
    : VelPluginBaseWidget(other)
    , m_frame(other.m_frame)
    , m_presenter(other.m_presenter)
{}

TQuotationWidget::~TQuotationWidget()
{
    TQUOTATION_WIDGET_DEBUG() << "~TQuotationWidget";
    // A copy shares the original's pointers; only the page that parents the
    // view and the presenter releases them (a pointer comparison, so a copy
    // never touches objects its original may already have destroyed).
    const QObjectList &ownChildren = children();
    if (m_presenter && ownChildren.contains(m_presenter))
        m_presenter->deleteLater();
    if (m_frame && ownChildren.contains(m_frame))
        m_frame->deleteLater();
}

void TQuotationWidget::initPluginWidget()
{
    // The host builds a page once; a second call must not stack a second page.
    if (m_frame)
        return;

    m_frame = new TQuotationFrame(this);

    QHBoxLayout *layout = new QHBoxLayout;
    setLayout(layout);
    layout->setSpacing(0);
    layout->setContentsMargins(4, 0, 4, 10);
    layout->addWidget(m_frame, 0, Qt::Alignment());

    const QStringList captions =
        CDataBase::GetInstance()->getPluginHeadDataInfo(QStringLiteral("ostrel_optiontquotation"));
    QList<QVariantMap> headList;
    if (captions.size() == 15) {
        for (int i = 0; i < 15; ++i) {
            QVariantMap head;
            // As the host answers them, in the window's language.
            head.insert(VelConst::Head_DisplayRole, captions.at(i));
            head.insert(VelConst::Head_UserRole, QString::number(i));
            headList.append(head);
        }
    }
    m_frame->setTableHeadList(headList);

    m_presenter = new PresenterClass(pluginInstanceID(), this);

    qRegisterMetaType<QList<QMap<int, QVariantMap>>>("QList<QMap<int,QVariantMap> >");
    qRegisterMetaType<QMap<int, QVariantMap>>("QMap<int,QVariantMap>");

    const Qt::ConnectionType queued = Qt::QueuedConnection;
    const Qt::ConnectionType automatic = Qt::AutoConnection;
    connect(m_presenter, &PresenterClass::PositionListUpdate, m_frame,
            &TQuotationFrame::slotPositionListUpdate, queued);
    connect(m_presenter, &PresenterClass::PositionAdd, m_frame, &TQuotationFrame::slotPositionAdd,
            queued);
    connect(m_presenter, &PresenterClass::PositionUpdate, m_frame,
            &TQuotationFrame::slotPositionUpdate, queued);
    connect(m_presenter, &PresenterClass::quotationUpdate, m_frame,
            &TQuotationFrame::slotQuotationUpdate, queued);
    connect(m_presenter, &PresenterClass::signalClearTableSelection, m_frame,
            &TQuotationFrame::slotClearTableSelection, queued);
    connect(m_presenter, &PresenterClass::signalUpdateStrikeDate, m_frame,
            &TQuotationFrame::slotUpdateStrikeDate, queued);
    connect(m_presenter, &PresenterClass::signalSetSymmetryShortName, m_frame,
            &TQuotationFrame::slotSetSymmetryShortName, queued);
    connect(m_presenter, &PresenterClass::signalUpdateComboxUnderlying, m_frame,
            &TQuotationFrame::slotUpdateComboxUnderlying, queued);
    connect(m_presenter, &PresenterClass::signalUpdateCallPutSecurity, m_frame,
            &TQuotationFrame::slotUpdateCallPutSecurity, queued);
    connect(m_presenter, &PresenterClass::signalBaseDataLoadQuatationFinish, m_frame,
            &TQuotationFrame::setUnderlyingSecurityCategory, queued);
    connect(this, &TQuotationWidget::signalRefresh, m_presenter, &PresenterClass::slotRefresh,
            automatic);
    connect(this, &TQuotationWidget::signalRefresh, m_frame, &TQuotationFrame::slotRefresh,
            automatic);
    connect(this, &TQuotationWidget::signalInitOptionData, m_presenter,
            &PresenterClass::slotInitOptionData, automatic);
    connect(this, &TQuotationWidget::signalRefreshAccount, m_frame,
            &TQuotationFrame::slotRefreshAccount, automatic);
    connect(m_frame, &TQuotationFrame::signalChooseStrikeDate, m_presenter,
            &PresenterClass::slotChooseStrikeDate, queued);
    connect(m_frame, &TQuotationFrame::signalSetFilter, m_presenter, &PresenterClass::slotSetFilter,
            queued);
    connect(m_frame, &TQuotationFrame::signalShowChart, m_presenter, &PresenterClass::slotShowChart,
            queued);
    connect(m_frame, &TQuotationFrame::signalSetUnderlying, m_presenter,
            &PresenterClass::slotSetUnderlying, queued);
    connect(m_frame, &TQuotationFrame::signalShowSymbol, m_presenter,
            &PresenterClass::slotShowSymbol, queued);

    m_frame->setUnderlyingSecurityCategory();
}

void TQuotationWidget::refreshPluginWidget()
{
    if (!m_presenter)
        return;
    setLoadingState(1);
    emit signalRefresh();
}

void TQuotationWidget::pluginWidgetReserved() {}
