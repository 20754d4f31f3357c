#pragma once

#include "velhost_global.h"

#include <QByteArray>
#include <QList>
#include <QVariant>
#include <QVariantMap>

// Bus messages: a list of rows, each row one record (QVariantMap), packed
// into a versioned byte array of big-endian fields and tagged values whose
// every length the reader checks, carried in a QVariant.
class VELHOST_EXPORT CPackMessageCommon
{
public:
    CPackMessageCommon();
    // Adds the keys of value to the current row (the first row is started
    // implicitly).
    void AddRowVaule(const QVariantMap &value);
    // Starts a further row.
    void AddRow();
    // The packed message: a QVariant holding the QByteArray.
    QVariant GetPackedMsg(bool compress = false) const;

    static QByteArray pack(const QList<QVariantMap> &rows);

private:
    QList<QVariantMap> m_rows;
};

class VELHOST_EXPORT CUnPackMessageCommon
{
public:
    CUnPackMessageCommon();
    // Bytes that are not a packed message give no rows (and a warning).
    bool SetUnPackMsg(const QVariant &msg, bool compressed = false);
    // The first row's record, or an empty map.
    QVariantMap GetRowValue() const;
    QList<QVariantMap> rows() const;
    int rowCount() const;
    QString errorString() const;

    // Decodes bytes; returns false with error set on anything malformed.
    static bool unpack(const QByteArray &bytes, QList<QVariantMap> *rows, QString *error);

private:
    QList<QVariantMap> m_rows;
    QString m_error;
};
