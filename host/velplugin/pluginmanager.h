#pragma once

#include "velhost_global.h"

#include <QJsonObject>
#include <QObject>
#include <QStringList>

#include <memory>

class IPlugin;
class QPluginLoader;

// What the host knows about one plugin library, and how far loading it got.
class VELHOST_EXPORT PluginSpec
{
public:
    enum State { Invalid, Read, Loaded, Initialized, Running, Stopped, Deleted };

    QString filePath() const;
    QString name() const;
    QString version() const;
    QString compatVersion() const;
    QString category() const;
    QString description() const;
    QString vendor() const;
    bool isRequired() const;
    QJsonObject metaData() const;
    State state() const;
    bool hasError() const;
    QString errorString() const;
    IPlugin *plugin() const;

private:
    friend class PluginManager;
    PluginSpec();
    QString m_filePath;
    QString m_name, m_version, m_compatVersion, m_category, m_description, m_vendor;
    bool m_required = false;
    QJsonObject m_metaData;
    State m_state = Invalid;
    QString m_error;
    IPlugin *m_plugin = nullptr;
    std::unique_ptr<QPluginLoader> m_loader;
};

// Loads the plugins of a folder, runs their life cycle and keeps the object
// pool that plugins fill with addAutoReleasedObject().
class VELHOST_EXPORT PluginManager : public QObject
{
    Q_OBJECT
public:
    static PluginManager *instance();

    // Reads, loads and initialises every library in dir. Returns what it knows
    // of each plugin, failed ones included (check hasError()).
    QList<PluginSpec *> loadPlugins(const QString &dir);
    // Loads one library; its entry is kept even when it fails.
    PluginSpec *loadPlugin(const QString &filePath);
    QList<PluginSpec *> plugins() const;

    void addObject(QObject *obj);
    void removeObject(QObject *obj);
    QList<QObject *> allObjects() const;
    // The object whose property "id" equals id, or null.
    QObject *objectById(const QString &id) const;

    // aboutToShutdown on every plugin, then deletes the object pool (in
    // reverse order of addition) and the plugins.
    void shutdown();

signals:
    void objectAdded(QObject *obj);
    void aboutToRemoveObject(QObject *obj);

private:
    PluginManager();
    ~PluginManager() override;
    struct Private;
    std::unique_ptr<Private> d;
};
