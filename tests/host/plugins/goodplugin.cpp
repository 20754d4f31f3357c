// A well-formed host plugin: registers a page descriptor and a second object,
// and notes each life-cycle call on itself and on its descriptor.
#include "velcm/id.h"
#include "velplugin/iplugin.h"

class HostTestGoodPlugin : public IPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "VELAppPlugin" FILE "good.json")
    Q_INTERFACES(IPlugin)
public:
    bool initialize(const QStringList &arguments, QString *errorString,
                    const QString &dllName) override
    {
        Q_UNUSED(errorString)
        setProperty("arguments", arguments);
        setProperty("dllName", dllName);
        note(QStringLiteral("initialize"));

        m_descriptor = new QObject;
        m_descriptor->setObjectName(QStringLiteral("HostTestDescriptor"));
        m_descriptor->setProperty("id", Id("VELApp.HostTestWidget").toSetting());
        m_descriptor->setProperty("dllname", dllName);
        addAutoReleasedObject(m_descriptor);

        auto *second = new QObject;
        second->setObjectName(QStringLiteral("HostTestSecond"));
        second->setProperty("id", Id("VELApp.HostTestSecond").toSetting());
        addAutoReleasedObject(second);
        return true;
    }

    void extensionsInitialized() override { note(QStringLiteral("extensionsInitialized")); }

    bool delayedInitialize() override
    {
        note(QStringLiteral("delayedInitialize"));
        return true;
    }

    ShutdownFlag aboutToShutdown() override
    {
        note(QStringLiteral("aboutToShutdown"));
        // The pool must still hold the descriptor when plugins are told.
        if (m_descriptor)
            m_descriptor->setProperty("pluginShutDown", true);
        return SynchronousShutdown;
    }

private:
    void note(const QString &call)
    {
        setProperty("calls", property("calls").toStringList() << call);
    }

    QObject *m_descriptor = nullptr;
};

#include "goodplugin.moc"
