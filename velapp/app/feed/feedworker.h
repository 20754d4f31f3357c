#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>

// A source of quotations that runs on the feed thread. start() is called
// there once the thread runs; ticks go out through the publisher.
class FeedWorker : public QObject
{
    Q_OBJECT
public:
    using Publisher = std::function<void(const QString &kind, const QVariantMap &tick)>;

    FeedWorker();
    ~FeedWorker() override;

    void setPublisher(Publisher publisher);

public slots:
    virtual void start() = 0;

protected:
    void publish(const QString &kind, const QVariantMap &tick) const;

private:
    Publisher m_publisher;
};
