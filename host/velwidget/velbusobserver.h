#pragma once

#include "velhost_global.h"

#include <QString>
#include <QVariant>

#include <functional>

class QObject;

// Lets the application watch the message bus, e.g. to record every event.
namespace VelBusObserver {

using EventObserver = std::function<void(int type, const QString &src, const QVariant &msg)>;

// observer is called for every event published with PutEvent, on the
// publishing thread, before delivery, one call at a time and in dispatch
// order. It must not publish events itself. An empty function removes it.
VELHOST_EXPORT void setEventObserver(EventObserver observer);

// Calls done on the application's main thread once every quotation and event
// published before this call has been delivered, and after what the
// presenters posted to the main thread while handling them. Not called if
// context (a main-thread object) is gone by then or the bus has stopped.
VELHOST_EXPORT void whenDelivered(QObject *context, std::function<void()> done);

} // namespace VelBusObserver
