#include "files/jsontext.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <algorithm>
#include <cmath>

int JsonText::lineAt(const QByteArray &text, int offset)
{
    const int end = qBound(0, offset, text.size());
    return 1 + int(std::count(text.constBegin(), text.constBegin() + end, '\n'));
}

int JsonText::arrayElementOffset(const QByteArray &text, int index)
{
    if (index < 0)
        return -1;
    int depth = 0;
    int element = -1;
    bool inString = false;
    for (int i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (inString) {
            if (c == '\\')
                ++i; // the escaped character cannot end the string
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
            continue;
        if (depth == 1 && c != ',' && c != ']' && element < 0)
            element = 0; // start of the first element
        if (depth == 1 && element == index && c != ',' && c != ']')
            return i;
        switch (c) {
        case '"':
            inString = true;
            break;
        case '[':
        case '{':
            ++depth;
            break;
        case ']':
        case '}':
            --depth;
            if (depth == 0)
                return -1;
            break;
        case ',':
            if (depth == 1)
                ++element;
            break;
        default:
            break;
        }
    }
    return -1;
}

QString JsonText::describeType(int jsonValueType)
{
    switch (jsonValueType) {
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Bool:
        return QStringLiteral("a boolean");
    case QJsonValue::Double:
        return QStringLiteral("a number");
    case QJsonValue::String:
        return QStringLiteral("a string");
    case QJsonValue::Array:
        return QStringLiteral("an array");
    case QJsonValue::Object:
        return QStringLiteral("an object");
    default:
        return QStringLiteral("nothing");
    }
}

bool JsonText::readFile(const QString &path, const QString &what, QByteArray *text, QString *error)
{
    if (QFileInfo(path).isDir()) {
        *error = QStringLiteral("%1: is a folder, not %2").arg(path, what);
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: cannot read: %2").arg(path, file.errorString());
        return false;
    }
    *text = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("%1: cannot read: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool JsonText::forEachLine(const QByteArray &text, const QString &path, const LineParser &parseLine,
                           QString *error)
{
    int lineNumber = 0;
    int start = 0;
    while (start <= text.size()) {
        int end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        ++lineNumber;
        const QByteArray line = text.mid(start, end - start).trimmed();
        start = end + 1;
        if (line.isEmpty())
            continue;
        QString fault;
        if (!parseLine(line, lineNumber, &fault)) {
            *error = QStringLiteral("%1:%2: %3").arg(path).arg(lineNumber).arg(fault);
            return false;
        }
    }
    return true;
}

bool JsonText::parseObject(const QByteArray &line, QJsonObject *object, QString *fault)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(line, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *fault = QStringLiteral("not JSON: %1 at column %2")
                     .arg(parseError.errorString())
                     .arg(parseError.offset + 1);
        return false;
    }
    if (!doc.isObject()) {
        *fault =
            QStringLiteral("not an object but %1")
                .arg(doc.isArray() ? QStringLiteral("an array") : QStringLiteral("a single value"));
        return false;
    }
    *object = doc.object();
    return true;
}

bool JsonText::readOffset(const QJsonObject &object, qint64 previous, qint64 max, qint64 *t,
                          QString *fault)
{
    const QJsonValue value = object.value(QStringLiteral("t"));
    if (value.isUndefined()) {
        *fault = QStringLiteral("missing \"t\"");
        return false;
    }
    if (!value.isDouble()) {
        *fault = QStringLiteral("\"t\" is %1, not a number").arg(describeType(value.type()));
        return false;
    }
    const double ms = value.toDouble();
    if (!std::isfinite(ms) || ms < 0 || ms > double(max)) {
        *fault = QStringLiteral("\"t\" %1 is outside 0 to %2 milliseconds").arg(ms).arg(max);
        return false;
    }
    *t = qint64(std::llround(ms));
    if (*t < previous) {
        *fault = QStringLiteral("\"t\" decreases from %1 to %2").arg(previous).arg(*t);
        return false;
    }
    return true;
}
