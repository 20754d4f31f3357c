#include "jsontext.h"

#include <QJsonValue>

#include <algorithm>

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
