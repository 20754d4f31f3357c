// Valid metadata, but the root object is not an IPlugin.
#include <QObject>
#include <QtPlugin>

class HostTestNotPlugin : public QObject
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "VELAppPlugin" FILE "notplugin.json")
};

#include "notplugin.moc"
