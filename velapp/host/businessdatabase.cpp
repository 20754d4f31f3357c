#include "velbusinessdata/businessdatabase.h"

#include "veldefine/veldefine.h"
#include "veltsan.h"

CBusinessDataBase::CBusinessDataBase() = default;

CBusinessDataBase *CBusinessDataBase::GetInstance()
{
    static CBusinessDataBase instance;
    return &instance;
}

QStringList CBusinessDataBase::GetSymbolListByType(const QString &type, const QString &subType,
                                                   const QString &post, bool flag,
                                                   const QStringList &extra) const
{
    Q_UNUSED(flag)
    Q_UNUSED(extra)
    const QString &typeKey = Ostrel_Fields::MDCFieldDefine::mdcSecurityType;
    const QString &subTypeKey = Ostrel_Fields::MDCFieldDefine::mdcSubSecurityType;
    const QString &postKey = Ostrel_Fields::UserAccount::SymbolPost;

    VelTsan::ReadHold hold(&m_lock);
    QStringList symbols;
    for (const QString &symbol : m_order) {
        const QVariantMap &record = *m_records.constFind(symbol);
        if (record.value(typeKey).toString() == type &&
            record.value(subTypeKey).toString() == subType &&
            record.value(postKey).toString() == post)
            symbols.append(symbol);
    }
    return symbols;
}

QVariantMap CBusinessDataBase::GetSecurityDetailsBySymbol(const QString &symbol) const
{
    VelTsan::ReadHold hold(&m_lock);
    return m_records.value(symbol);
}

void CBusinessDataBase::loadSecurities(const QList<QVariantMap> &records)
{
    // Built aside so readers never see half a load.
    QStringList order;
    QHash<QString, QVariantMap> bySymbol;
    bySymbol.reserve(records.size());
    for (const QVariantMap &record : records) {
        const QString symbol = record.value(Ostrel_Fields::Security::symbol).toString();
        if (symbol.isEmpty())
            continue;
        auto it = bySymbol.find(symbol);
        if (it == bySymbol.end()) {
            order.append(symbol);
            bySymbol.insert(symbol, record);
        } else {
            *it = record;
        }
    }

    VelTsan::WriteHold hold(&m_lock);
    m_order.swap(order);
    m_records.swap(bySymbol);
    m_loaded = true;
}

void CBusinessDataBase::clear()
{
    VelTsan::WriteHold hold(&m_lock);
    m_order.clear();
    m_records.clear();
    m_loaded = false;
}

bool CBusinessDataBase::isLoaded() const
{
    VelTsan::ReadHold hold(&m_lock);
    return m_loaded;
}

QList<QVariantMap> CBusinessDataBase::allSecurities() const
{
    VelTsan::ReadHold hold(&m_lock);
    QList<QVariantMap> records;
    records.reserve(m_order.size());
    for (const QString &symbol : m_order)
        records.append(m_records.value(symbol));
    return records;
}
