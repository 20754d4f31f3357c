#include "velplugin/pluginmanager.h"

#include "velcorelog.h"
#include "velplugin/iplugin.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QLibrary>
#include <QPluginLoader>
#include <QPointer>
#include <QRegularExpression>
#include <QTimer>

#include <mutex>

namespace {

const char kPluginIid[] = "VELAppPlugin";
// How long shutdown waits for a plugin that asked to shut down asynchronously.
const int kAsyncShutdownMs = 10000;

// The version keys hold "x.y.z".
bool isVersion(const QString &text)
{
    static const QRegularExpression re(QStringLiteral("^[0-9]+\\.[0-9]+\\.[0-9]+$"));
    return re.match(text).hasMatch();
}

int compareVersions(const QString &a, const QString &b)
{
    const QStringList x = a.split(QLatin1Char('.')), y = b.split(QLatin1Char('.'));
    for (int i = 0; i < 3; ++i) {
        const qulonglong p = x.value(i).toULongLong(), q = y.value(i).toULongLong();
        if (p != q)
            return p < q ? -1 : 1;
    }
    return 0;
}

QString typeName(const QJsonValue &v)
{
    switch (v.type()) {
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Bool:
        return QStringLiteral("a bool");
    case QJsonValue::Double:
        return QStringLiteral("a number");
    case QJsonValue::String:
        return QStringLiteral("a string");
    case QJsonValue::Array:
        return QStringLiteral("an array");
    case QJsonValue::Object:
        return QStringLiteral("an object");
    case QJsonValue::Undefined:
        break;
    }
    return QStringLiteral("undefined");
}

} // namespace

// ---------------------------------------------------------------------------

PluginSpec::PluginSpec() = default;

QString PluginSpec::filePath() const
{
    return m_filePath;
}
QString PluginSpec::name() const
{
    return m_name;
}
QString PluginSpec::version() const
{
    return m_version;
}
QString PluginSpec::compatVersion() const
{
    return m_compatVersion;
}
QString PluginSpec::category() const
{
    return m_category;
}
QString PluginSpec::description() const
{
    return m_description;
}
QString PluginSpec::vendor() const
{
    return m_vendor;
}
bool PluginSpec::isRequired() const
{
    return m_required;
}
QJsonObject PluginSpec::metaData() const
{
    return m_metaData;
}
PluginSpec::State PluginSpec::state() const
{
    return m_state;
}
bool PluginSpec::hasError() const
{
    return !m_error.isEmpty();
}
QString PluginSpec::errorString() const
{
    return m_error;
}
IPlugin *PluginSpec::plugin() const
{
    return m_plugin;
}

// ---------------------------------------------------------------------------

struct PluginManager::Private
{
    PluginManager *q;
    QList<PluginSpec *> pluginInfos;
    mutable std::mutex poolLock;
    QList<QPointer<QObject>> pool;

    bool fail(PluginSpec *pluginInfo, const QString &what)
    {
        pluginInfo->m_error =
            QDir::toNativeSeparators(pluginInfo->m_filePath) % QLatin1String(": ") % what;
        qCWarning(lcVelPlugins).noquote() << "plugin failed:" << pluginInfo->m_error;
        return false;
    }

    bool read(PluginSpec *pluginInfo);
    bool readMetaData(PluginSpec *pluginInfo, const QJsonObject &meta);
    bool load(PluginSpec *pluginInfo);
    bool initialize(PluginSpec *pluginInfo);
    bool initializeExtensions(PluginSpec *pluginInfo);
    void stop(PluginSpec *pluginInfo);
    void kill(PluginSpec *pluginInfo);
    PluginSpec *specForPath(const QString &path) const;
};

bool PluginManager::Private::read(PluginSpec *pluginInfo)
{
    pluginInfo->m_loader = std::make_unique<QPluginLoader>(pluginInfo->m_filePath);
    // Reads the metadata section without loading the library.
    const QJsonObject root = pluginInfo->m_loader->metaData();
    if (root.isEmpty())
        return fail(pluginInfo,
                    QObject::tr("not a Qt plugin (%1)").arg(pluginInfo->m_loader->errorString()));
    const QString iid = root.value(QLatin1String("IID")).toString();
    if (iid != QLatin1String(kPluginIid))
        return fail(pluginInfo, QObject::tr("interface id is \"%1\", expected \"%2\"")
                                    .arg(iid, QLatin1String(kPluginIid)));
    const QJsonValue meta = root.value(QLatin1String("MetaData"));
    if (!meta.isObject())
        return fail(pluginInfo, QObject::tr("key \"MetaData\" is missing or not an object"));
    if (!readMetaData(pluginInfo, meta.toObject()))
        return false;
    for (const PluginSpec *other : qAsConst(pluginInfos)) {
        if (other != pluginInfo && other->m_state != PluginSpec::Deleted &&
            other->m_state >= PluginSpec::Read && other->m_name == pluginInfo->m_name)
            return fail(pluginInfo,
                        QObject::tr("a plugin named \"%1\" is already loaded from %2")
                            .arg(pluginInfo->m_name, QDir::toNativeSeparators(other->m_filePath)));
    }
    pluginInfo->m_state = PluginSpec::Read;
    return true;
}

bool PluginManager::Private::readMetaData(PluginSpec *pluginInfo, const QJsonObject &meta)
{
    const auto missing = [&](const char *key) {
        return fail(pluginInfo, QObject::tr("key \"%1\" is missing").arg(QLatin1String(key)));
    };
    const auto mistyped = [&](const char *key, const char *expected, const QJsonValue &v) {
        return fail(pluginInfo, QObject::tr("key \"%1\" must be %2, not %3")
                                    .arg(QLatin1String(key), QLatin1String(expected), typeName(v)));
    };
    const auto readString = [&](const char *key, QString *out) {
        const QJsonValue v = meta.value(QLatin1String(key));
        if (v.isUndefined())
            return missing(key);
        if (!v.isString())
            return mistyped(key, "a string", v);
        *out = v.toString();
        return true;
    };
    const auto checkArray = [&](const char *key, bool stringsOnly) {
        const QJsonValue v = meta.value(QLatin1String(key));
        if (v.isUndefined())
            return missing(key);
        if (!v.isArray())
            return mistyped(key, stringsOnly ? "an array of strings" : "an array", v);
        if (stringsOnly) {
            const QJsonArray array = v.toArray();
            for (int i = 0; i < array.size(); ++i)
                if (!array.at(i).isString())
                    return fail(pluginInfo,
                                QObject::tr("key \"%1\" must hold strings only; item %2 is %3")
                                    .arg(QLatin1String(key))
                                    .arg(i)
                                    .arg(typeName(array.at(i))));
        }
        return true;
    };

    QString copyright, url;
    if (!readString("Name", &pluginInfo->m_name) ||
        !readString("Version", &pluginInfo->m_version) ||
        !readString("CompatVersion", &pluginInfo->m_compatVersion))
        return false;
    if (pluginInfo->m_name.isEmpty())
        return fail(pluginInfo, QObject::tr("key \"Name\" is empty"));
    if (!isVersion(pluginInfo->m_version))
        return fail(pluginInfo, QObject::tr("key \"Version\" is \"%1\", expected the form x.y.z")
                                    .arg(pluginInfo->m_version));
    if (!isVersion(pluginInfo->m_compatVersion))
        return fail(pluginInfo,
                    QObject::tr("key \"CompatVersion\" is \"%1\", expected the form x.y.z")
                        .arg(pluginInfo->m_compatVersion));
    if (compareVersions(pluginInfo->m_compatVersion, pluginInfo->m_version) > 0)
        return fail(pluginInfo, QObject::tr("key \"CompatVersion\" (%1) is above \"Version\" (%2)")
                                    .arg(pluginInfo->m_compatVersion, pluginInfo->m_version));
    const QJsonValue required = meta.value(QLatin1String("Required"));
    if (required.isUndefined())
        return missing("Required");
    if (!required.isBool())
        return mistyped("Required", "a bool", required);
    pluginInfo->m_required = required.toBool();
    if (!readString("Category", &pluginInfo->m_category) ||
        !readString("Description", &pluginInfo->m_description) ||
        !readString("Vendor", &pluginInfo->m_vendor) || !readString("Copyright", &copyright) ||
        !readString("Url", &url) || !checkArray("License", true) ||
        !checkArray("Dependencies", false) || !checkArray("Arguments", false))
        return false;
    pluginInfo->m_metaData = meta;
    return true;
}

bool PluginManager::Private::load(PluginSpec *pluginInfo)
{
    if (pluginInfo->m_state != PluginSpec::Read)
        return fail(pluginInfo, QObject::tr("cannot load: metadata not read"));
    QObject *root = pluginInfo->m_loader->instance();
    if (!root)
        return fail(pluginInfo,
                    QObject::tr("cannot load: %1").arg(pluginInfo->m_loader->errorString()));
    IPlugin *plugin = qobject_cast<IPlugin *>(root);
    // A root that derives from IPlugin but does not list the interface id.
    if (!plugin && root->metaObject()->inherits(&IPlugin::staticMetaObject))
        plugin = static_cast<IPlugin *>(root);
    if (!plugin) {
        const QString className = QString::fromLatin1(root->metaObject()->className());
        pluginInfo->m_loader->unload();
        return fail(pluginInfo, QObject::tr("root object %1 is not an IPlugin").arg(className));
    }
    pluginInfo->m_plugin = plugin;
    pluginInfo->m_state = PluginSpec::Loaded;
    return true;
}

bool PluginManager::Private::initialize(PluginSpec *pluginInfo)
{
    if (pluginInfo->m_state != PluginSpec::Loaded)
        return fail(pluginInfo, QObject::tr("cannot initialize: not loaded"));
    QStringList arguments;
    const QJsonArray args = pluginInfo->m_metaData.value(QLatin1String("Arguments")).toArray();
    for (const QJsonValue &v : args)
        arguments.append(v.isString() ? v.toString() : v.toVariant().toString());
    QString error;
    const QString dllName = QFileInfo(pluginInfo->m_filePath).baseName();
    if (!pluginInfo->m_plugin->initialize(arguments, &error, dllName))
        return fail(pluginInfo, QObject::tr("initialize failed: %1")
                                    .arg(error.isEmpty() ? QObject::tr("no reason given") : error));
    pluginInfo->m_state = PluginSpec::Initialized;
    return true;
}

bool PluginManager::Private::initializeExtensions(PluginSpec *pluginInfo)
{
    if (pluginInfo->m_state != PluginSpec::Initialized)
        return fail(pluginInfo, QObject::tr("cannot run: not initialized"));
    pluginInfo->m_plugin->extensionsInitialized();
    pluginInfo->m_state = PluginSpec::Running;
    return true;
}

void PluginManager::Private::stop(PluginSpec *pluginInfo)
{
    if (pluginInfo->m_state != PluginSpec::Running &&
        pluginInfo->m_state != PluginSpec::Initialized)
        return;
    IPlugin *plugin = pluginInfo->m_plugin;
    // Connected before the call: a plugin may report at once.
    QEventLoop loop;
    bool finished = false;
    const QMetaObject::Connection connection =
        QObject::connect(plugin, &IPlugin::asynchronousShutdownFinished, &loop, [&]() {
            finished = true;
            loop.quit();
        });
    if (plugin->aboutToShutdown() == IPlugin::AsynchronousShutdown && !finished) {
        QTimer::singleShot(kAsyncShutdownMs, &loop, &QEventLoop::quit);
        loop.exec();
        if (!finished)
            qCWarning(lcVelPlugins).noquote()
                << pluginInfo->m_name << "did not finish its asynchronous shutdown in time";
    }
    QObject::disconnect(connection);
    pluginInfo->m_state = PluginSpec::Stopped;
}

void PluginManager::Private::kill(PluginSpec *pluginInfo)
{
    if (pluginInfo->m_state < PluginSpec::Loaded || pluginInfo->m_state == PluginSpec::Deleted)
        return;
    delete pluginInfo->m_plugin;
    pluginInfo->m_plugin = nullptr;
    if (!pluginInfo->m_loader->unload())
        qCDebug(lcVelPlugins).noquote()
            << "unload" << pluginInfo->m_filePath << ":" << pluginInfo->m_loader->errorString();
    pluginInfo->m_state = PluginSpec::Deleted;
}

PluginSpec *PluginManager::Private::specForPath(const QString &path) const
{
    for (PluginSpec *pluginInfo : pluginInfos)
        if (pluginInfo->m_filePath == path && pluginInfo->m_state != PluginSpec::Deleted)
            return pluginInfo;
    return nullptr;
}

// ---------------------------------------------------------------------------

PluginManager *PluginManager::instance()
{
    // Lives as long as the process: plugins' objects may be looked up while
    // the application winds down.
    static PluginManager *manager = new PluginManager;
    return manager;
}

PluginManager::PluginManager()
    : d(std::make_unique<Private>())
{
    d->q = this;
}

PluginManager::~PluginManager()
{
    qDeleteAll(d->pluginInfos);
}

QList<PluginSpec *> PluginManager::loadPlugins(const QString &dir)
{
    QList<PluginSpec *> loaded;
    const QDir folder(dir);
    if (!folder.exists()) {
        qCWarning(lcVelPlugins).noquote()
            << "plugin folder" << QDir::toNativeSeparators(dir) << "does not exist";
        return loaded;
    }
    const QStringList files = folder.entryList(QDir::Files, QDir::Name);
    QList<PluginSpec *> fresh;
    for (const QString &file : files) {
        const QString path = folder.absoluteFilePath(file);
        if (!QLibrary::isLibrary(path))
            continue;
        if (PluginSpec *known = d->specForPath(path)) {
            loaded.append(known);
            continue;
        }
        auto *pluginInfo = new PluginSpec;
        pluginInfo->m_filePath = path;
        d->pluginInfos.append(pluginInfo);
        loaded.append(pluginInfo);
        fresh.append(pluginInfo);
        if (d->read(pluginInfo) && d->load(pluginInfo))
            d->initialize(pluginInfo);
    }
    // Every plugin of the folder has registered its objects before any of
    // them looks for the others'.
    for (PluginSpec *pluginInfo : qAsConst(fresh))
        if (pluginInfo->m_state == PluginSpec::Initialized)
            d->initializeExtensions(pluginInfo);
    for (PluginSpec *pluginInfo : qAsConst(fresh))
        if (pluginInfo->m_state == PluginSpec::Running)
            pluginInfo->m_plugin->delayedInitialize();
    return loaded;
}

PluginSpec *PluginManager::loadPlugin(const QString &filePath)
{
    const QString path = QFileInfo(filePath).absoluteFilePath();
    if (PluginSpec *existing = d->specForPath(path))
        return existing;
    auto *pluginInfo = new PluginSpec;
    pluginInfo->m_filePath = path;
    d->pluginInfos.append(pluginInfo);
    if (d->read(pluginInfo) && d->load(pluginInfo) && d->initialize(pluginInfo) &&
        d->initializeExtensions(pluginInfo))
        pluginInfo->m_plugin->delayedInitialize();
    return pluginInfo;
}

QList<PluginSpec *> PluginManager::plugins() const
{
    return d->pluginInfos;
}

void PluginManager::addObject(QObject *obj)
{
    if (!obj) {
        qCWarning(lcVelPlugins) << "addObject: null object ignored";
        return;
    }
    {
        std::lock_guard<std::mutex> locker(d->poolLock);
        for (const QPointer<QObject> &p : qAsConst(d->pool))
            if (p == obj) {
                qCWarning(lcVelPlugins) << "addObject: object added twice:" << obj;
                return;
            }
        d->pool.append(obj);
    }
    emit objectAdded(obj);
}

void PluginManager::removeObject(QObject *obj)
{
    if (!obj)
        return;
    bool found = false;
    {
        std::lock_guard<std::mutex> locker(d->poolLock);
        for (const QPointer<QObject> &p : qAsConst(d->pool))
            if (p == obj)
                found = true;
    }
    if (!found) {
        qCWarning(lcVelPlugins) << "removeObject: object not in the pool:" << obj;
        return;
    }
    emit aboutToRemoveObject(obj);
    std::lock_guard<std::mutex> locker(d->poolLock);
    d->pool.removeAll(obj);
}

QList<QObject *> PluginManager::allObjects() const
{
    QList<QObject *> objects;
    std::lock_guard<std::mutex> locker(d->poolLock);
    for (const QPointer<QObject> &p : qAsConst(d->pool))
        if (p)
            objects.append(p.data());
    return objects;
}

QObject *PluginManager::objectById(const QString &id) const
{
    if (id.isEmpty())
        return nullptr;
    const QList<QObject *> objects = allObjects();
    for (QObject *obj : objects) {
        const QVariant value = obj->property("id");
        if (value.isValid() && value.toString() == id)
            return obj;
    }
    return nullptr;
}

void PluginManager::shutdown()
{
    for (int i = d->pluginInfos.size() - 1; i >= 0; --i)
        d->stop(d->pluginInfos.at(i));

    // Pool objects may come from plugin code, so they go before the libraries.
    QList<QPointer<QObject>> pool;
    {
        std::lock_guard<std::mutex> locker(d->poolLock);
        pool.swap(d->pool);
    }
    for (int i = pool.size() - 1; i >= 0; --i) {
        QObject *obj = pool.at(i).data();
        if (!obj)
            continue; // deleted by its owner meanwhile
        emit aboutToRemoveObject(obj);
        delete pool.at(i).data();
    }

    for (int i = d->pluginInfos.size() - 1; i >= 0; --i)
        d->kill(d->pluginInfos.at(i));
}
