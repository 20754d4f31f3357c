#pragma once

#include "velhost_global.h"

#include <QMutex>
#include <QStringList>

// The host's settings database (SQLite): column heads of the pages, and
// small settings of the host application as text under a key.
class VELHOST_EXPORT CDataBase
{
public:
    static CDataBase *GetInstance();

    // The stored captions of a page's table, in column order; empty when
    // none are stored or the database cannot be opened.
    QStringList getPluginHeadDataInfo(const QString &pluginKey) const;
    bool setPluginHeadDataInfo(const QString &pluginKey, const QStringList &captions);

    // The text stored under key; empty when none is or the database cannot
    // be opened.
    QString getSettingValue(const QString &key) const;
    bool setSettingValue(const QString &key, const QString &value);

    // The database file: <AppDataLocation>/velapp.sqlite unless set before
    // first use. Opening creates and seeds it.
    static void setDatabasePath(const QString &path);
    QString databasePath() const;
    QString lastError() const;

private:
    CDataBase();
    bool ensureOpen() const;
    mutable QMutex m_mutex;
    mutable bool m_open = false;
    mutable QString m_error;
    QString m_connection;
};
