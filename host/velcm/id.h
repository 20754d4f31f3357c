#pragma once

#include "velhost_global.h"

#include <QByteArray>
#include <QVariant>

// An interned identifier: cheap to copy and compare, stored as its text.
class VELHOST_EXPORT Id
{
public:
    Id() = default;
    Id(const char *name);
    explicit Id(const QByteArray &name);

    QByteArray name() const;
    QString toString() const;
    QVariant toSetting() const;
    static Id fromSetting(const QVariant &variant);

    bool isValid() const { return m_id != 0; }
    quintptr uniqueIdentifier() const { return m_id; }
    bool operator==(Id other) const { return m_id == other.m_id; }
    bool operator!=(Id other) const { return m_id != other.m_id; }
    bool operator<(Id other) const { return m_id < other.m_id; }

private:
    quintptr m_id = 0;
};

inline uint qHash(Id id)
{
    return uint(id.uniqueIdentifier());
}
