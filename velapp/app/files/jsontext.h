#pragma once

#include <QByteArray>
#include <QString>
#include <QVariantMap>

#include <functional>

class QJsonObject;
class QJsonValue;

// What the readers of velapp's JSON files share: reading a whole file,
// walking JSON Lines, and the line of a fault for messages that name it.
class JsonText
{
public:
    // 1-based line of a byte offset (as QJsonParseError::offset gives it).
    static int lineAt(const QByteArray &text, int offset);
    // Byte offset where element index of the top-level array starts, or -1.
    // text must be valid JSON (it is only scanned, not checked).
    static int arrayElementOffset(const QByteArray &text, int index);
    // "an object", "a number", ... for messages about the wrong shape.
    static QString describeType(int jsonValueType);

    // The whole of a file; what names the kind of file in the error
    // ("a replay file").
    static bool readFile(const QString &path, const QString &what, QByteArray *text,
                         QString *error);
    // JSON Lines: calls parseLine for every non-blank line (trimmed) with its
    // 1-based number; the first fault becomes "path:N: fault".
    using LineParser = std::function<bool(const QByteArray &line, int number, QString *fault)>;
    static bool forEachLine(const QByteArray &text, const QString &path,
                            const LineParser &parseLine, QString *error);
    // One line that must hold a JSON object.
    static bool parseObject(const QByteArray &line, QJsonObject *object, QString *fault);
    // The common shape of a tick line, read without QJsonDocument: one
    // object of plain ASCII names and values (strings without escapes, JSON
    // numbers, true, false, null), no name twice. Gives exactly what
    // parseObject(line).toVariantMap() gives; false for anything else (bad
    // or merely unusual), which the caller then hands to parseObject.
    static bool parseFlatObject(const QByteArray &line, QVariantMap *map);
    // The "t" of a line: milliseconds from 0 to max, not below previous.
    static bool readOffset(const QJsonObject &object, qint64 previous, qint64 max, qint64 *t,
                           QString *fault);
    // The same for the value of "t" itself (undefined when missing).
    static bool readOffset(const QJsonValue &value, qint64 previous, qint64 max, qint64 *t,
                           QString *fault);
};
