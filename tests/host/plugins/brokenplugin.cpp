// Plugins whose metadata the host must refuse; the library is never loaded,
// so the class only has to exist. One build per metadata file.
#include "velplugin/iplugin.h"

class HostTestBrokenPlugin : public IPlugin
{
    Q_OBJECT
#if defined(FIXTURE_MISSINGKEY)
    Q_PLUGIN_METADATA(IID "VELAppPlugin" FILE "missingkey.json")
#elif defined(FIXTURE_WRONGTYPE)
    Q_PLUGIN_METADATA(IID "VELAppPlugin" FILE "wrongtype.json")
#elif defined(FIXTURE_BADVERSION)
    Q_PLUGIN_METADATA(IID "VELAppPlugin" FILE "badversion.json")
#elif defined(FIXTURE_BADLICENSE)
    Q_PLUGIN_METADATA(IID "VELAppPlugin" FILE "badlicense.json")
#elif defined(FIXTURE_TWIN)
    Q_PLUGIN_METADATA(IID "VELAppPlugin" FILE "twin.json")
#elif defined(FIXTURE_WRONGIID)
    Q_PLUGIN_METADATA(IID "OtherAppPlugin" FILE "wrongiid.json")
#endif
    Q_INTERFACES(IPlugin)
public:
    bool initialize(const QStringList &, QString *, const QString &) override
    {
        return true;
    }
    void extensionsInitialized() override {}
};

#include "brokenplugin.moc"
