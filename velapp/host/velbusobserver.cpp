#include "velwidget/velbusobserver.h"

#include "velbus.h"

void VelBusObserver::setEventObserver(EventObserver observer)
{
    VelBus::instance()->setEventObserver(std::move(observer));
}
