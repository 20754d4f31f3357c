#include "veldatabase/database.h"

#include "veltsan.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>

#include <atomic>

namespace {

Q_LOGGING_CATEGORY(lcDb, "velapp.db", QtWarningMsg)

const QString kSeedKey = QStringLiteral("ostrel_optiontquotation");

// Captions are stored in Chinese and answered in the window's language.
const char *const kCaptionContext = "CDataBase";

// The T-board's columns: call side, strike, put side mirrored.
const QStringList &seedCaptions()
{
    static const char *const texts[] = {
        QT_TRANSLATE_NOOP("CDataBase", "买价"),   QT_TRANSLATE_NOOP("CDataBase", "卖价"),
        QT_TRANSLATE_NOOP("CDataBase", "最新价"), QT_TRANSLATE_NOOP("CDataBase", "涨跌幅"),
        QT_TRANSLATE_NOOP("CDataBase", "涨停价"), QT_TRANSLATE_NOOP("CDataBase", "跌停价"),
        QT_TRANSLATE_NOOP("CDataBase", "持仓量"), QT_TRANSLATE_NOOP("CDataBase", "行权价"),
        QT_TRANSLATE_NOOP("CDataBase", "持仓量"), QT_TRANSLATE_NOOP("CDataBase", "跌停价"),
        QT_TRANSLATE_NOOP("CDataBase", "涨停价"), QT_TRANSLATE_NOOP("CDataBase", "涨跌幅"),
        QT_TRANSLATE_NOOP("CDataBase", "最新价"), QT_TRANSLATE_NOOP("CDataBase", "卖价"),
        QT_TRANSLATE_NOOP("CDataBase", "买价")};
    static const QStringList captions = [] {
        QStringList list;
        for (const char *text : texts)
            list.append(QString::fromUtf8(text));
        return list;
    }();
    return captions;
}

// Guarded by the instance's mutex.
QString g_configuredPath;
quint64 g_pathGeneration = 1;
// A file that failed is reported once, not at every call.
QString g_reportedPath;

std::atomic<quint64> g_connectionCounter{0};

// This thread's connection, removed when the thread ends (QSqlDatabase
// connections belong to the thread that made them).
struct ThreadConnection
{
    QString name;
    quint64 generation = 0;
    ~ThreadConnection()
    {
        if (!name.isEmpty())
            QSqlDatabase::removeDatabase(name);
    }
};
thread_local ThreadConnection t_connection;

QSqlDatabase currentConnection()
{
    return QSqlDatabase::database(t_connection.name, false);
}

QString defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/velapp.sqlite");
}

QString sqlErrorText(const QSqlError &error)
{
    return error.text().isEmpty() ? QStringLiteral("unknown SQL error") : error.text();
}

bool exec(QSqlQuery &query, QString *error)
{
    if (query.exec())
        return true;
    *error = sqlErrorText(query.lastError());
    return false;
}

bool prepareSchema(const QSqlDatabase &db, QString *error)
{
    QSqlQuery query(db);
    if (!query.prepare(QStringLiteral("CREATE TABLE IF NOT EXISTS plugin_heads ("
                                      "plugin_key TEXT NOT NULL, col INTEGER NOT NULL, "
                                      "caption TEXT, PRIMARY KEY(plugin_key, col))")) ||
        !exec(query, error)) {
        if (error->isEmpty())
            *error = sqlErrorText(query.lastError());
        return false;
    }
    if (!query.prepare(QStringLiteral("CREATE TABLE IF NOT EXISTS settings ("
                                      "key TEXT PRIMARY KEY NOT NULL, value TEXT)")) ||
        !exec(query, error)) {
        if (error->isEmpty())
            *error = sqlErrorText(query.lastError());
        return false;
    }
    query.prepare(QStringLiteral("SELECT COUNT(*) FROM plugin_heads WHERE plugin_key = ?"));
    query.addBindValue(kSeedKey);
    if (!exec(query, error) || !query.next()) {
        if (error->isEmpty())
            *error = sqlErrorText(query.lastError());
        return false;
    }
    if (query.value(0).toInt() > 0)
        return true;
    query.finish();

    QSqlDatabase connection = db;
    if (!connection.transaction()) {
        *error = sqlErrorText(connection.lastError());
        return false;
    }
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT INTO plugin_heads (plugin_key, col, caption) "
                                  "VALUES (?, ?, ?)"));
    const QStringList &captions = seedCaptions();
    for (int column = 0; column < captions.size(); ++column) {
        insert.bindValue(0, kSeedKey);
        insert.bindValue(1, column);
        insert.bindValue(2, captions.at(column));
        if (!exec(insert, error)) {
            connection.rollback();
            return false;
        }
    }
    if (!connection.commit()) {
        *error = sqlErrorText(connection.lastError());
        connection.rollback();
        return false;
    }
    return true;
}

} // namespace

CDataBase::CDataBase()
    : m_connection(QStringLiteral("velapp-settings"))
{}

CDataBase *CDataBase::GetInstance()
{
    static CDataBase instance;
    return &instance;
}

void CDataBase::setDatabasePath(const QString &path)
{
    CDataBase *instance = GetInstance();
    VelTsan::MutexHold locker(&instance->m_mutex);
    g_configuredPath = path;
    ++g_pathGeneration;
    g_reportedPath.clear();
    instance->m_open = false;
    instance->m_error.clear();
}

QString CDataBase::databasePath() const
{
    VelTsan::MutexHold locker(&m_mutex);
    return g_configuredPath.isEmpty() ? defaultPath() : g_configuredPath;
}

QString CDataBase::lastError() const
{
    VelTsan::MutexHold locker(&m_mutex);
    return m_error;
}

QStringList CDataBase::getPluginHeadDataInfo(const QString &pluginKey) const
{
    VelTsan::MutexHold locker(&m_mutex);
    if (!ensureOpen())
        return QStringList();

    QSqlQuery query(currentConnection());
    query.prepare(QStringLiteral("SELECT caption FROM plugin_heads WHERE plugin_key = ? "
                                 "ORDER BY col"));
    query.addBindValue(pluginKey);
    if (!query.exec()) {
        m_error = sqlErrorText(query.lastError());
        qCWarning(lcDb, "cannot read column heads of %s: %s", qUtf8Printable(pluginKey),
                  qUtf8Printable(m_error));
        return QStringList();
    }
    // A caption the translation does not know (the user's own) stays as stored.
    QStringList captions;
    while (query.next())
        captions.append(QCoreApplication::translate(
            kCaptionContext, query.value(0).toString().toUtf8().constData()));
    return captions;
}

bool CDataBase::setPluginHeadDataInfo(const QString &pluginKey, const QStringList &captions)
{
    VelTsan::MutexHold locker(&m_mutex);
    if (!ensureOpen())
        return false;

    QSqlDatabase db = currentConnection();
    QString error;
    if (!db.transaction()) {
        error = sqlErrorText(db.lastError());
    } else {
        QSqlQuery query(db);
        query.prepare(QStringLiteral("DELETE FROM plugin_heads WHERE plugin_key = ?"));
        query.addBindValue(pluginKey);
        bool ok = exec(query, &error);
        if (ok)
            ok = query.prepare(QStringLiteral(
                "INSERT INTO plugin_heads (plugin_key, col, caption) VALUES (?, ?, ?)"));
        for (int column = 0; ok && column < captions.size(); ++column) {
            query.bindValue(0, pluginKey);
            query.bindValue(1, column);
            query.bindValue(2, captions.at(column));
            ok = exec(query, &error);
        }
        query.finish();
        if (ok && db.commit()) {
            m_error.clear();
            return true;
        }
        if (error.isEmpty())
            error = sqlErrorText(db.lastError());
        db.rollback();
    }
    m_error = error;
    qCWarning(lcDb, "cannot store column heads of %s: %s", qUtf8Printable(pluginKey),
              qUtf8Printable(error));
    return false;
}

QString CDataBase::getSettingValue(const QString &key) const
{
    VelTsan::MutexHold locker(&m_mutex);
    if (!ensureOpen())
        return QString();
    QSqlQuery query(currentConnection());
    query.prepare(QStringLiteral("SELECT value FROM settings WHERE key = ?"));
    query.addBindValue(key);
    if (!query.exec()) {
        m_error = sqlErrorText(query.lastError());
        qCWarning(lcDb, "cannot read setting %s: %s", qUtf8Printable(key), qUtf8Printable(m_error));
        return QString();
    }
    return query.next() ? query.value(0).toString() : QString();
}

bool CDataBase::setSettingValue(const QString &key, const QString &value)
{
    VelTsan::MutexHold locker(&m_mutex);
    if (!ensureOpen())
        return false;
    QSqlQuery query(currentConnection());
    query.prepare(QStringLiteral("INSERT OR REPLACE INTO settings (key, value) VALUES (?, ?)"));
    query.addBindValue(key);
    query.addBindValue(value);
    if (!query.exec()) {
        m_error = sqlErrorText(query.lastError());
        qCWarning(lcDb, "cannot store setting %s: %s", qUtf8Printable(key),
                  qUtf8Printable(m_error));
        return false;
    }
    m_error.clear();
    return true;
}

// Opens this thread's connection to the configured file, and makes and seeds
// the schema the first time the file is used. Called with m_mutex held.
bool CDataBase::ensureOpen() const
{
    const QString path = g_configuredPath.isEmpty() ? defaultPath() : g_configuredPath;
    if (t_connection.name.isEmpty()) {
        t_connection.name =
            m_connection + QLatin1Char('-') + QString::number(++g_connectionCounter);
        QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), t_connection.name);
    }
    QSqlDatabase db = currentConnection();
    if (db.isOpen() && t_connection.generation == g_pathGeneration && m_open)
        return true;

    QString error;
    if (!db.isValid()) {
        error = QStringLiteral("the SQLite driver is not available");
    } else {
        // After a change of path even an open connection must let go of
        // the old file.
        if (t_connection.generation != g_pathGeneration) {
            db.close();
            db.setDatabaseName(path);
            t_connection.generation = g_pathGeneration;
        }
        const QFileInfo info(path);
        if (info.exists() && !info.isFile()) {
            error = QStringLiteral("not a file");
        } else if (!QDir().mkpath(info.absolutePath())) {
            error = QStringLiteral("cannot create the folder %1").arg(info.absolutePath());
        } else if (!db.isOpen() && !db.open()) {
            error = sqlErrorText(db.lastError());
        } else if (!m_open && !prepareSchema(db, &error)) {
            db.close();
        } else {
            m_open = true;
            m_error.clear();
            return true;
        }
    }

    m_error = QStringLiteral("cannot open the database %1: %2").arg(path, error);
    if (g_reportedPath != path) {
        g_reportedPath = path;
        qCWarning(lcDb, "%s", qUtf8Printable(m_error));
    }
    return false;
}
