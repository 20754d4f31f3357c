#include "files/jsontext.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

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

namespace {

bool isJsonSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// A string's body up to its closing quote: printable ASCII only, so that no
// escape or UTF-8 decoding can differ from QJsonDocument's. Returns the
// position after the quote, or null.
const char *plainString(const char *p, const char *end)
{
    for (; p < end; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c == '"')
            return p + 1;
        if (c < 0x20 || c >= 0x7f || c == '\\')
            return nullptr;
    }
    return nullptr;
}

// A number in strict JSON form, stored as QJsonDocument stores it: a whole
// number that fits a qint64 as written stays one, the rest goes through
// QJsonValue's own reading of a double (which keeps small whole values
// whole). Returns the position after it, or null.
const char *plainNumber(const char *p, const char *end, QVariant *value)
{
    const char *start = p;
    if (p < end && *p == '-')
        ++p;
    if (p >= end || *p < '0' || *p > '9')
        return nullptr;
    if (*p == '0') {
        ++p;
    } else {
        while (p < end && *p >= '0' && *p <= '9')
            ++p;
    }
    bool whole = true;
    if (p < end && *p == '.') {
        whole = false;
        ++p;
        const char *digits = p;
        while (p < end && *p >= '0' && *p <= '9')
            ++p;
        if (p == digits)
            return nullptr;
    }
    if (p < end && (*p == 'e' || *p == 'E')) {
        whole = false;
        ++p;
        if (p < end && (*p == '+' || *p == '-'))
            ++p;
        const char *digits = p;
        while (p < end && *p >= '0' && *p <= '9')
            ++p;
        if (p == digits)
            return nullptr;
    }
    const QByteArray text = QByteArray::fromRawData(start, int(p - start));
    bool ok = false;
    if (whole && p - start <= 18) {
        // At most 18 characters cannot overflow: read without a conversion.
        qint64 n = 0;
        for (const char *d = *start == '-' ? start + 1 : start; d < p; ++d)
            n = n * 10 + (*d - '0');
        *value = QVariant(qlonglong(*start == '-' ? -n : n));
        return p;
    }
    if (whole) {
        const qlonglong n = text.toLongLong(&ok);
        if (ok) {
            *value = QVariant(n);
            return p;
        }
    }
    const double d = text.toDouble(&ok);
    if (!ok)
        return nullptr; // out of range: QJsonDocument names the fault
    *value = QJsonValue(d).toVariant();
    return p;
}

// Field names come again on every line: reuse their QString rather than
// convert and allocate one each time.
QString internedName(const char *p, int size)
{
    struct Name
    {
        QByteArray bytes;
        QString text;
    };
    thread_local std::vector<Name> names;
    for (const Name &name : names) {
        if (name.bytes.size() == size && std::memcmp(name.bytes.constData(), p, size_t(size)) == 0)
            return name.text;
    }
    QString text = QString::fromLatin1(p, size);
    if (names.size() < 64 && size <= 64) // a hostile client cannot pin much
        names.push_back({QByteArray(p, size), text});
    return text;
}

} // namespace

bool JsonText::parseFlatObject(const QByteArray &line, QVariantMap *map)
{
    const char *p = line.constData();
    const char *const end = p + line.size();
    const auto skipSpace = [&] {
        while (p < end && isJsonSpace(*p))
            ++p;
    };
    QVariantMap result;
    skipSpace();
    if (p >= end || *p != '{')
        return false;
    ++p;
    skipSpace();
    if (p < end && *p == '}') {
        ++p;
    } else {
        for (;;) {
            if (p >= end || *p != '"')
                return false;
            const char *nameStart = ++p;
            p = plainString(p, end);
            if (!p)
                return false;
            const QString name = internedName(nameStart, int(p - 1 - nameStart));
            if (result.contains(name))
                return false; // which one wins is QJsonDocument's call
            skipSpace();
            if (p >= end || *p != ':')
                return false;
            ++p;
            skipSpace();
            if (p >= end)
                return false;
            QVariant value;
            if (*p == '"') {
                const char *valueStart = ++p;
                p = plainString(p, end);
                if (!p)
                    return false;
                value = QString::fromLatin1(valueStart, int(p - 1 - valueStart));
            } else if (*p == 't' && end - p >= 4 && std::memcmp(p, "true", 4) == 0) {
                value = true;
                p += 4;
            } else if (*p == 'f' && end - p >= 5 && std::memcmp(p, "false", 5) == 0) {
                value = false;
                p += 5;
            } else if (*p == 'n' && end - p >= 4 && std::memcmp(p, "null", 4) == 0) {
                value = QVariant::fromValue(nullptr);
                p += 4;
            } else {
                p = plainNumber(p, end, &value);
                if (!p)
                    return false;
            }
            result.insert(name, value);
            skipSpace();
            if (p >= end)
                return false;
            if (*p == '}') {
                ++p;
                break;
            }
            if (*p != ',')
                return false;
            ++p;
            skipSpace();
        }
    }
    skipSpace();
    if (p != end)
        return false;
    *map = std::move(result);
    return true;
}

bool JsonText::readOffset(const QJsonObject &object, qint64 previous, qint64 max, qint64 *t,
                          QString *fault)
{
    return readOffset(object.value(QStringLiteral("t")), previous, max, t, fault);
}

bool JsonText::readOffset(const QJsonValue &value, qint64 previous, qint64 max, qint64 *t,
                          QString *fault)
{
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
