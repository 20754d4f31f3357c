#pragma once

#include "velhost_global.h"

#include <QObject>
#include <QStringList>

// The root object of a host plugin. The host calls initialize() once after
// loading the library, then extensionsInitialized().
class VELHOST_EXPORT IPlugin : public QObject
{
    Q_OBJECT
public:
    enum ShutdownFlag { SynchronousShutdown, AsynchronousShutdown };

    IPlugin();
    ~IPlugin() override;

    virtual bool initialize(const QStringList &arguments, QString *errorString,
                            const QString &dllName) = 0;
    virtual void extensionsInitialized() = 0;
    virtual bool delayedInitialize();
    virtual ShutdownFlag aboutToShutdown();
    virtual QObject *remoteCommand(const QStringList &options, const QString &workingDirectory,
                                   const QStringList &arguments);
    virtual QList<QObject *> createTestObjects() const;

    // Hands obj to the host's object pool; the host deletes it at shutdown.
    void addAutoReleasedObject(QObject *obj);

signals:
    void asynchronousShutdownFinished();
};

#define VelApp_IPlugin_iid "com.velapp.VELApp.IPlugin"
Q_DECLARE_INTERFACE(IPlugin, VelApp_IPlugin_iid)
