#pragma once

#include "businessdatamanager/businessdatainterface.h"

#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>

// A source of quotations that runs on the feed thread. start() is called
// there once the thread runs; ticks go out through the publisher, which says
// whether the host let each one in.
class FeedWorker : public QObject
{
    Q_OBJECT
public:
    using Admission = BusinessDataInterface::Admission;
    using Publisher =
        std::function<Admission(const QString &kind, const QVariantMap &tick, QString *fault)>;

    FeedWorker();
    ~FeedWorker() override;

    void setPublisher(Publisher publisher);

public slots:
    virtual void start() = 0;

protected:
    Admission publish(const QString &kind, const QVariantMap &tick, QString *fault = nullptr) const;

private:
    Publisher m_publisher;
};
