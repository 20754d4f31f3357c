// A plugin whose initialize() refuses to start.
#include "velplugin/iplugin.h"

class HostTestFailInitPlugin : public IPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "VELAppPlugin" FILE "failinit.json")
    Q_INTERFACES(IPlugin)
public:
    bool initialize(const QStringList &, QString *errorString, const QString &) override
    {
        if (errorString)
            *errorString = QStringLiteral("fixture refuses to start");
        return false;
    }
    void extensionsInitialized() override {}
};

#include "failinitplugin.moc"
