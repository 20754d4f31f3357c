#pragma once

#include "velhost_global.h"

#include <QHash>
#include <QReadWriteLock>
#include <QStringList>
#include <QVariantMap>

// The securities reference data. Readers may call from any thread; it
// answers empty until the application has loaded it.
class VELHOST_EXPORT CBusinessDataBase
{
public:
    static CBusinessDataBase *GetInstance();

    // Symbols whose record has mdcSecurityType == type, mdcSubSecurityType
    // == subType and SymbolPost == post (exact, case-sensitive), in the
    // order of the reference data. flag and extra are not used.
    QStringList GetSymbolListByType(const QString &type, const QString &subType,
                                    const QString &post, bool flag, const QStringList &extra) const;
    // The record of symbol, or an empty map.
    QVariantMap GetSecurityDetailsBySymbol(const QString &symbol) const;

    // Application side: replaces all records (records without a "symbol"
    // are dropped; a repeated symbol keeps its first position, last record).
    void loadSecurities(const QList<QVariantMap> &records);
    void clear();
    bool isLoaded() const;
    QList<QVariantMap> allSecurities() const;

private:
    CBusinessDataBase();
    mutable QReadWriteLock m_lock;
    QStringList m_order;
    QHash<QString, QVariantMap> m_records;
    bool m_loaded = false;
};
