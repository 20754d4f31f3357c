#include "velcm/id.h"

#include <QHash>
#include <QVector>

#include <mutex>

namespace {

// Process-wide intern table: name -> id, and id - 1 -> name. Ids are never
// released, so a value handed out stays valid for the life of the process.
struct IdTable
{
    std::mutex lock;
    QHash<QByteArray, quintptr> idByName;
    QVector<QByteArray> names;
};

IdTable &table()
{
    static IdTable t;
    return t;
}

quintptr intern(const QByteArray &name)
{
    if (name.isEmpty())
        return 0;
    IdTable &t = table();
    std::lock_guard<std::mutex> locker(t.lock);
    const auto it = t.idByName.constFind(name);
    if (it != t.idByName.constEnd())
        return it.value();
    t.names.append(name);
    const quintptr id = quintptr(t.names.size());
    t.idByName.insert(name, id);
    return id;
}

} // namespace

Id::Id(const char *name)
    : m_id(name ? intern(QByteArray(name)) : 0)
{}

Id::Id(const QByteArray &name)
    : m_id(intern(name))
{}

QByteArray Id::name() const
{
    if (m_id == 0)
        return QByteArray();
    IdTable &t = table();
    std::lock_guard<std::mutex> locker(t.lock);
    return m_id <= quintptr(t.names.size()) ? t.names.at(int(m_id - 1)) : QByteArray();
}

QString Id::toString() const
{
    return QString::fromUtf8(name());
}

// Stored as the plain text, so that settings and object properties stay
// readable and compare by string.
QVariant Id::toSetting() const
{
    return QVariant(toString());
}

Id Id::fromSetting(const QVariant &variant)
{
    const QString text = variant.toString();
    return text.isEmpty() ? Id() : Id(text.toUtf8());
}
