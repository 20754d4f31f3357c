#include "velplugin/iplugin.h"

#include "velplugin/pluginmanager.h"

IPlugin::IPlugin() = default;

IPlugin::~IPlugin() = default;

// Nothing to do after start-up unless a plugin says otherwise.
bool IPlugin::delayedInitialize()
{
    return false;
}

IPlugin::ShutdownFlag IPlugin::aboutToShutdown()
{
    return SynchronousShutdown;
}

QObject *IPlugin::remoteCommand(const QStringList &, const QString &, const QStringList &)
{
    return nullptr;
}

QList<QObject *> IPlugin::createTestObjects() const
{
    return {};
}

void IPlugin::addAutoReleasedObject(QObject *obj)
{
    PluginManager::instance()->addObject(obj);
}
