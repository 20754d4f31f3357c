#pragma once

#include <QByteArray>
#include <QString>

// Positions in JSON text, for error messages that name a line.
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
};
