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
    QList<PluginSpec *> specs;
    mutable std::mutex poolLock;
    QList<QPointer<QObject>> pool;

    bool fail(PluginSpec *spec, const QString &what)
    {
        spec->m_error = QDir::toNativeSeparators(spec->m_filePath) % QLatin1String(": ") % what;
        qCWarning(lcVelPlugins).noquote() << "plugin failed:" << spec->m_error;
        return false;
    }

    bool read(PluginSpec *spec);
    bool readMetaData(PluginSpec *spec, const QJsonObject &meta);
    bool load(PluginSpec *spec);
    bool initialize(PluginSpec *spec);
    bool initializeExtensions(PluginSpec *spec);
    void stop(PluginSpec *spec);
    void kill(PluginSpec *spec);
    PluginSpec *specForPath(const QString &path) const;
};

bool PluginManager::Private::read(PluginSpec *spec)
{
    spec->m_loader = std::make_unique<QPluginLoader>(spec->m_filePath);
    // Reads the metadata section without loading the library.
    const QJsonObject root = spec->m_loader->metaData();
    if (root.isEmpty())
        return fail(spec, QObject::tr("not a Qt plugin (%1)").arg(spec->m_loader->errorString()));
    const QString iid = root.value(QLatin1String("IID")).toString();
    if (iid != QLatin1String(kPluginIid))
        return fail(spec, QObject::tr("interface id is \"%1\", expected \"%2\"")
                              .arg(iid, QLatin1String(kPluginIid)));
    const QJsonValue meta = root.value(QLatin1String("MetaData"));
    if (!meta.isObject())
        return fail(spec, QObject::tr("key \"MetaData\" is missing or not an object"));
    if (!readMetaData(spec, meta.toObject()))
        return false;
    for (const PluginSpec *other : qAsConst(specs)) {
        if (other != spec && other->m_state != PluginSpec::Deleted &&
            other->m_state >= PluginSpec::Read && other->m_name == spec->m_name)
            return fail(spec, QObject::tr("a plugin named \"%1\" is already loaded from %2")
                                  .arg(spec->m_name, QDir::toNativeSeparators(other->m_filePath)));
    }
    spec->m_state = PluginSpec::Read;
    return true;
}

bool PluginManager::Private::readMetaData(PluginSpec *spec, const QJsonObject &meta)
{
    const auto missing = [&](const char *key) {
        return fail(spec, QObject::tr("key \"%1\" is missing").arg(QLatin1String(key)));
    };
    const auto mistyped = [&](const char *key, const char *expected, const QJsonValue &v) {
        return fail(spec, QObject::tr("key \"%1\" must be %2, not %3")
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
                    return fail(spec,
                                QObject::tr("key \"%1\" must hold strings only; item %2 is %3")
                                    .arg(QLatin1String(key))
                                    .arg(i)
                                    .arg(typeName(array.at(i))));
        }
        return true;
    };

    QString copyright, url;
    if (!readString("Name", &spec->m_name) || !readString("Version", &spec->m_version) ||
        !readString("CompatVersion", &spec->m_compatVersion))
        return false;
    if (spec->m_name.isEmpty())
        return fail(spec, QObject::tr("key \"Name\" is empty"));
    if (!isVersion(spec->m_version))
        return fail(
            spec,
            QObject::tr("key \"Version\" is \"%1\", expected the form x.y.z").arg(spec->m_version));
    if (!isVersion(spec->m_compatVersion))
        return fail(spec, QObject::tr("key \"CompatVersion\" is \"%1\", expected the form x.y.z")
                              .arg(spec->m_compatVersion));
    if (compareVersions(spec->m_compatVersion, spec->m_version) > 0)
        return fail(spec, QObject::tr("key \"CompatVersion\" (%1) is above \"Version\" (%2)")
                              .arg(spec->m_compatVersion, spec->m_version));
    const QJsonValue required = meta.value(QLatin1String("Required"));
    if (required.isUndefined())
        return missing("Required");
    if (!required.isBool())
        return mistyped("Required", "a bool", required);
    spec->m_required = required.toBool();
    if (!readString("Category", &spec->m_category) ||
        !readString("Description", &spec->m_description) ||
        !readString("Vendor", &spec->m_vendor) || !readString("Copyright", &copyright) ||
        !readString("Url", &url) || !checkArray("License", true) ||
        !checkArray("Dependencies", false) || !checkArray("Arguments", false))
        return false;
    spec->m_metaData = meta;
    return true;
}

bool PluginManager::Private::load(PluginSpec *spec)
{
    if (spec->m_state != PluginSpec::Read)
        return fail(spec, QObject::tr("cannot load: metadata not read"));
    QObject *root = spec->m_loader->instance();
    if (!root)
        return fail(spec, QObject::tr("cannot load: %1").arg(spec->m_loader->errorString()));
    IPlugin *plugin = qobject_cast<IPlugin *>(root);
    // A root that derives from IPlugin but does not list the interface id.
    if (!plugin && root->metaObject()->inherits(&IPlugin::staticMetaObject))
        plugin = static_cast<IPlugin *>(root);
    if (!plugin) {
        const QString className = QString::fromLatin1(root->metaObject()->className());
        spec->m_loader->unload();
        return fail(spec, QObject::tr("root object %1 is not an IPlugin").arg(className));
    }
    spec->m_plugin = plugin;
    spec->m_state = PluginSpec::Loaded;
    return true;
}

bool PluginManager::Private::initialize(PluginSpec *spec)
{
    if (spec->m_state != PluginSpec::Loaded)
        return fail(spec, QObject::tr("cannot initialize: not loaded"));
    QStringList arguments;
    const QJsonArray args = spec->m_metaData.value(QLatin1String("Arguments")).toArray();
    for (const QJsonValue &v : args)
        arguments.append(v.isString() ? v.toString() : v.toVariant().toString());
    QString error;
    const QString dllName = QFileInfo(spec->m_filePath).baseName();
    if (!spec->m_plugin->initialize(arguments, &error, dllName))
        return fail(spec, QObject::tr("initialize failed: %1")
                              .arg(error.isEmpty() ? QObject::tr("no reason given") : error));
    spec->m_state = PluginSpec::Initialized;
    return true;
}

bool PluginManager::Private::initializeExtensions(PluginSpec *spec)
{
    if (spec->m_state != PluginSpec::Initialized)
        return fail(spec, QObject::tr("cannot run: not initialized"));
    spec->m_plugin->extensionsInitialized();
    spec->m_state = PluginSpec::Running;
    return true;
}

void PluginManager::Private::stop(PluginSpec *spec)
{
    if (spec->m_state != PluginSpec::Running && spec->m_state != PluginSpec::Initialized)
        return;
    IPlugin *plugin = spec->m_plugin;
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
                << spec->m_name << "did not finish its asynchronous shutdown in time";
    }
    QObject::disconnect(connection);
    spec->m_state = PluginSpec::Stopped;
}

void PluginManager::Private::kill(PluginSpec *spec)
{
    if (spec->m_state < PluginSpec::Loaded || spec->m_state == PluginSpec::Deleted)
        return;
    delete spec->m_plugin;
    spec->m_plugin = nullptr;
    if (!spec->m_loader->unload())
        qCDebug(lcVelPlugins).noquote()
            << "unload" << spec->m_filePath << ":" << spec->m_loader->errorString();
    spec->m_state = PluginSpec::Deleted;
}

PluginSpec *PluginManager::Private::specForPath(const QString &path) const
{
    for (PluginSpec *spec : specs)
        if (spec->m_filePath == path && spec->m_state != PluginSpec::Deleted)
            return spec;
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
    qDeleteAll(d->specs);
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
        auto *spec = new PluginSpec;
        spec->m_filePath = path;
        d->specs.append(spec);
        loaded.append(spec);
        fresh.append(spec);
        if (d->read(spec) && d->load(spec))
            d->initialize(spec);
    }
    // Every plugin of the folder has registered its objects before any of
    // them looks for the others'.
    for (PluginSpec *spec : qAsConst(fresh))
        if (spec->m_state == PluginSpec::Initialized)
            d->initializeExtensions(spec);
    for (PluginSpec *spec : qAsConst(fresh))
        if (spec->m_state == PluginSpec::Running)
            spec->m_plugin->delayedInitialize();
    return loaded;
}

PluginSpec *PluginManager::loadPlugin(const QString &filePath)
{
    const QString path = QFileInfo(filePath).absoluteFilePath();
    if (PluginSpec *existing = d->specForPath(path))
        return existing;
    auto *spec = new PluginSpec;
    spec->m_filePath = path;
    d->specs.append(spec);
    if (d->read(spec) && d->load(spec) && d->initialize(spec) && d->initializeExtensions(spec))
        spec->m_plugin->delayedInitialize();
    return spec;
}

QList<PluginSpec *> PluginManager::plugins() const
{
    return d->specs;
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
    for (int i = d->specs.size() - 1; i >= 0; --i)
        d->stop(d->specs.at(i));

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

    for (int i = d->specs.size() - 1; i >= 0; --i)
        d->kill(d->specs.at(i));
}
