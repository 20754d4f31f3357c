#include "files/securitiesfile.h"

#include "files/jsontext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

bool SecuritiesFile::load(const QString &path, QList<QVariantMap> *records, QString *error)
{
    QByteArray text;
    return JsonText::readFile(path, QStringLiteral("a securities file"), &text, error) &&
           parse(text, path, records, error);
}

bool SecuritiesFile::parse(const QByteArray &text, const QString &path, QList<QVariantMap> *records,
                           QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = QStringLiteral("%1:%2: not valid JSON: %3")
                     .arg(path)
                     .arg(JsonText::lineAt(text, parseError.offset))
                     .arg(parseError.errorString());
        return false;
    }
    if (!doc.isArray()) {
        *error = QStringLiteral("%1:1: expected a JSON array of security records, found %2")
                     .arg(path, doc.isObject() ? QStringLiteral("an object")
                                               : QStringLiteral("a single value"));
        return false;
    }
    const QJsonArray array = doc.array();
    QList<QVariantMap> result;
    result.reserve(array.size());
    for (int i = 0; i < array.size(); ++i) {
        const QJsonValue value = array.at(i);
        if (!value.isObject()) {
            const int offset = JsonText::arrayElementOffset(text, i);
            *error = QStringLiteral("%1:%2: element %3 of the array is %4, not a security record")
                         .arg(path)
                         .arg(offset < 0 ? 1 : JsonText::lineAt(text, offset))
                         .arg(i)
                         .arg(JsonText::describeType(value.type()));
            return false;
        }
        result.append(value.toObject().toVariantMap());
    }
    *records = result;
    return true;
}
