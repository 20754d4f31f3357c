#include "velwidget/velbusobserver.h"

#include "velbus.h"

#include <QCoreApplication>
#include <QPointer>

void VelBusObserver::setEventObserver(EventObserver observer)
{
    VelBus::instance()->setEventObserver(std::move(observer));
}

void VelBusObserver::whenDelivered(QObject *context, std::function<void()> done)
{
    QPointer<QObject> guard(context);
    VelBus::instance()->afterDelivery([guard, done = std::move(done)]() {
        // Posted from the bus thread after the presenters' own posts, so it
        // runs after them; the guard is read on the main thread only.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, done]() {
                if (guard)
                    done();
            },
            Qt::QueuedConnection);
    });
}
