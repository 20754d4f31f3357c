#pragma once

#include "velhost_global.h"

#include <QString>
#include <QVariant>

#include <functional>

// Lets the application watch the message bus, e.g. to record every event.
namespace VelBusObserver {

using EventObserver = std::function<void(int type, const QString &src, const QVariant &msg)>;

// observer is called for every event published with PutEvent, on the
// publishing thread, before delivery, one call at a time and in dispatch
// order. It must not publish events itself. An empty function removes it.
VELHOST_EXPORT void setEventObserver(EventObserver observer);

} // namespace VelBusObserver
