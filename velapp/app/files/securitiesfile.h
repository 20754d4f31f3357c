#pragma once

#include <QList>
#include <QString>
#include <QVariantMap>

// Reads the reference data given with --securities: a JSON array of
// security records. Records may lack fields; anything that is not such an
// array is refused with one line naming the file, the line and the fault.
class SecuritiesFile
{
public:
    static bool load(const QString &path, QList<QVariantMap> *records, QString *error);
    // The same on text already read; path only names the source in errors.
    static bool parse(const QByteArray &text, const QString &path, QList<QVariantMap> *records,
                      QString *error);
};
