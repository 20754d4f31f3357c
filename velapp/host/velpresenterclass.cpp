#include "velwidget/velpresenterclass.h"

#include "velbus.h"
#include "velcorelog.h"
#include "velwidget/velpluginbasewidget.h"

VelPresenterClass::VelPresenterClass(const QString &pid, QObject *parent,
                                     IMessageInterface::ThreadType threadType)
    : QObject(parent)
    , m_pid(pid)
    , m_threadType(threadType)
    , m_client(VelBus::instance()->attach(this, pid, int(threadType)))
{
    // The page shows "loading" until its presenter says the data are in.
    if (auto *page = qobject_cast<VelPluginBaseWidget *>(parent)) {
        connect(
            this, &VelPresenterClass::signalDataLoadFinished, page,
            [page]() { page->setLoadingState(0); }, Qt::QueuedConnection);
    }
}

VelPresenterClass::~VelPresenterClass()
{
    // Late for a subclass (its part is gone already), hence deleteLater();
    // but it still keeps the bus from touching freed memory.
    detach();
}

QString VelPresenterClass::pluginPid() const
{
    return m_pid;
}

IMessageInterface::ThreadType VelPresenterClass::threadType() const
{
    return m_threadType;
}

void VelPresenterClass::Sub(QString pid, QVariant kind, int reserved)
{
    Q_UNUSED(pid)
    Q_UNUSED(reserved)
    const QString text = kind.toString();
    if (text.isEmpty()) {
        qCWarning(lcVelBus).noquote() << m_pid << ": Sub with an empty quotation kind ignored";
        return;
    }
    VelBus::instance()->subscribeKind(m_client, text);
}

void VelPresenterClass::SubEvent(QString pid, QVariant type, int reserved)
{
    Q_UNUSED(pid)
    Q_UNUSED(reserved)
    bool ok = false;
    const int value = type.toInt(&ok);
    if (!ok) {
        qCWarning(lcVelBus).noquote()
            << m_pid << ": SubEvent with event type" << type.toString() << "ignored, not an int";
        return;
    }
    VelBus::instance()->subscribeEvent(m_client, value);
}

void VelPresenterClass::PutEvent(QString pid, CEventMessageCommon *event)
{
    VelBus::instance()->publishEvent(event, pid.isEmpty() ? m_pid : pid);
}

void VelPresenterClass::detach()
{
    if (m_client->isDetached())
        return;
    // Only reached through the bus if it exists; no need to create it now.
    if (VelBus *bus = VelBus::existing())
        bus->detach(m_client);
    else
        m_client->detachAndWait();
}

void VelPresenterClass::deleteLater()
{
    detach();
    QObject::deleteLater();
}

void VelPresenterClass::ProcMsg(QString, QVariant, QVariant) {}

void VelPresenterClass::ProcEventMsg(QString, QVariant, QVariant) {}

void VelPresenterClass::ProcQuotationMsg(QString, QVariant, QVariant) {}

void VelPresenterClass::ProcAsyncCallBack(int, QString, QVariant, QVariant) {}

void VelPresenterClass::initPresenter() {}
