#pragma once

#include "velhost_global.h"

#include <QObject>
#include <QVariant>

#include <memory>

namespace IMessageInterface {
// Which handlers the host calls on its bus thread; a handler whose bit is
// clear runs on the presenter's own thread (queued there).
enum ThreadType {
    ThreadType_Main = 0x0,
    ThreadType_MsgOnBus = 0x1,
    ThreadType_EventOnBus = 0x2,
    ThreadType_QuotationOnBus = 0x4,
    ThreadType_AsyncOnBus = 0x8,
    ThreadType_AllOnBus = 0xF,
};
} // namespace IMessageInterface

class CEventMessageCommon;
class VelBusClient;

// Base of every page presenter: its connection to the host's message bus.
// Destroy it with deleteLater() (or delete it after detach()): both take it
// off the bus and wait until no delivery to it is running.
class VELHOST_EXPORT VelPresenterClass : public QObject
{
    Q_OBJECT
public:
    VelPresenterClass(const QString &pid, QObject *parent,
                      IMessageInterface::ThreadType threadType);
    ~VelPresenterClass() override;

    QString pluginPid() const;
    IMessageInterface::ThreadType threadType() const;

    // Quotation records of a kind ("MDOPTIONRECORD", ...) for the symbols
    // subscribed with BusinessDataInterface::SubscribeSecurityQuotation.
    void Sub(QString pid, QVariant kind, int reserved);
    // Bus events of a type (an int).
    void SubEvent(QString pid, QVariant type, int reserved);
    // Publishes event to every subscriber of its type, this one included;
    // the bus owns event from here on.
    void PutEvent(QString pid, CEventMessageCommon *event);

    // Takes the presenter off the bus and waits for running deliveries.
    void detach();
    void deleteLater();

    virtual void ProcMsg(QString src, QVariant type, QVariant msg);
    virtual void ProcEventMsg(QString src, QVariant type, QVariant msg);
    virtual void ProcQuotationMsg(QString src, QVariant type, QVariant msg);
    virtual void ProcAsyncCallBack(int iRet, QString src, QVariant type, QVariant msg);
    virtual void initPresenter();

signals:
    void signalDataLoadFinished();

private:
    friend class VelBusClient;
    QString m_pid;
    IMessageInterface::ThreadType m_threadType;
    std::shared_ptr<VelBusClient> m_client;
};
