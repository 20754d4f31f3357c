#include "velmsg/packmessage.h"

#include "velcorelog.h"

#include <QDateTime>
#include <QHash>
#include <QTimeZone>
#include <QtEndian>

#include <cstring>

// Layout (big-endian, as QDataStream writes it):
//   quint32 magic, quint16 version, quint32 row count,
//   per row: quint32 entry count, per entry: string key, value;
//   string: quint32 byte count + UTF-8 bytes; value: quint8 tag + payload.
// Values are encoded by hand rather than with QVariant's operator<< so that the
// reader can check every length against the bytes actually present: Qt's own
// readers reserve memory from the declared length.

namespace {

const quint32 kMagic = 0x56454C4D; // "VELM"
const quint16 kVersion = 1;
const int kMaxDepth = 32;
// Bounds that keep QDateTime's arithmetic far from overflow.
const qint64 kMaxAbsMSecs = qint64(1) << 52;
const qint32 kMaxAbsOffset = 24 * 3600;
const int kMaxUncompressed = 64 * 1024 * 1024;

enum Tag : quint8 {
    TagInvalid = 0,
    TagBool,
    TagInt,
    TagUInt,
    TagLongLong,
    TagULongLong,
    TagDouble,
    TagString,
    TagByteArray,
    TagStringList,
    TagList,
    TagMap,
    TagDateTime,
    TagDate,
};

// Appends big-endian fields to the message. Written by hand rather than with
// QDataStream: a tick is packed on every publish, and the stream's device
// calls cost more than the bytes.
class Writer
{
public:
    explicit Writer(QByteArray *out)
        : m_out(out)
    {}

    template<typename T> Writer &operator<<(T value)
    {
        char bytes[sizeof(T)];
        qToBigEndian<T>(value, bytes);
        m_out->append(bytes, int(sizeof(T)));
        return *this;
    }

    void writeBytes(const char *data, int size)
    {
        *this << quint32(size);
        m_out->append(data, size);
    }

    // UTF-8; plain ASCII, which every field name and most values are, is
    // copied without a conversion.
    void writeString(const QString &s)
    {
        const QChar *chars = s.constData();
        const int size = s.size();
        for (int i = 0; i < size; ++i) {
            if (chars[i].unicode() >= 0x80) {
                const QByteArray utf8 = s.toUtf8();
                writeBytes(utf8.constData(), utf8.size());
                return;
            }
        }
        *this << quint32(size);
        const int at = m_out->size();
        m_out->resize(at + size);
        char *to = m_out->data() + at;
        for (int i = 0; i < size; ++i)
            to[i] = char(chars[i].unicode());
    }

private:
    QByteArray *m_out;
};

void writeValue(Writer &out, const QVariant &v);

void writeMap(Writer &out, const QVariantMap &map)
{
    out << quint32(map.size());
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        out.writeString(it.key());
        writeValue(out, it.value());
    }
}

void writeValue(Writer &out, const QVariant &v)
{
    switch (v.userType()) {
    case QMetaType::UnknownType:
        out << quint8(TagInvalid);
        break;
    case QMetaType::Bool:
        out << quint8(TagBool) << quint8(v.toBool() ? 1 : 0);
        break;
    case QMetaType::Int:
        out << quint8(TagInt) << qint32(v.toInt());
        break;
    case QMetaType::UInt:
        out << quint8(TagUInt) << quint32(v.toUInt());
        break;
    case QMetaType::LongLong:
        out << quint8(TagLongLong) << qint64(v.toLongLong());
        break;
    case QMetaType::ULongLong:
        out << quint8(TagULongLong) << quint64(v.toULongLong());
        break;
    case QMetaType::Double: {
        const double d = v.toDouble();
        quint64 bits;
        std::memcpy(&bits, &d, sizeof bits);
        out << quint8(TagDouble) << bits;
        break;
    }
    case QMetaType::QByteArray: {
        const QByteArray bytes = v.toByteArray();
        out << quint8(TagByteArray);
        out.writeBytes(bytes.constData(), bytes.size());
        break;
    }
    case QMetaType::QStringList: {
        const QStringList list = v.toStringList();
        out << quint8(TagStringList) << quint32(list.size());
        for (const QString &s : list)
            out.writeString(s);
        break;
    }
    case QMetaType::QVariantList: {
        const QVariantList list = v.toList();
        out << quint8(TagList) << quint32(list.size());
        for (const QVariant &item : list)
            writeValue(out, item);
        break;
    }
    case QMetaType::QVariantMap:
        out << quint8(TagMap);
        writeMap(out, v.toMap());
        break;
    case QMetaType::QVariantHash: {
        // Carried as a map: the contents survive, the key order is sorted.
        const QVariantHash hash = v.toHash();
        QVariantMap map;
        for (auto it = hash.cbegin(); it != hash.cend(); ++it)
            map.insert(it.key(), it.value());
        out << quint8(TagMap);
        writeMap(out, map);
        break;
    }
    case QMetaType::QDateTime: {
        const QDateTime dt = v.toDateTime();
        out << quint8(TagDateTime) << quint8(dt.isValid() ? 1 : 0);
        if (dt.isValid()) {
            out << qint64(dt.toMSecsSinceEpoch()) << qint8(dt.timeSpec());
            if (dt.timeSpec() == Qt::OffsetFromUTC)
                out << qint32(dt.offsetFromUtc());
            else if (dt.timeSpec() == Qt::TimeZone)
                out.writeString(QString::fromUtf8(dt.timeZone().id()));
        }
        break;
    }
    case QMetaType::QDate: {
        const QDate d = v.toDate();
        out << quint8(TagDate) << quint8(d.isValid() ? 1 : 0);
        if (d.isValid())
            out << qint64(d.toJulianDay());
        break;
    }
    case QMetaType::QString:
    default:
        out << quint8(TagString);
        out.writeString(v.toString());
        break;
    }
}

// Bounded big-endian reader over untrusted bytes. Every read checks the bytes
// left first; nothing is reserved from a declared count.
class Reader
{
public:
    Reader(const QByteArray &bytes)
        : m_data(reinterpret_cast<const uchar *>(bytes.constData()))
        , m_size(bytes.size())
    {}

    bool failed() const { return !m_error.isEmpty(); }
    QString error() const { return m_error; }
    int left() const { return m_size - m_pos; }
    int pos() const { return m_pos; }

    bool fail(const QString &what)
    {
        if (m_error.isEmpty())
            m_error = what;
        return false;
    }

    bool need(int count, const char *what)
    {
        if (count <= left())
            return true;
        return fail(QStringLiteral("truncated at byte %1: %2 needs %3 bytes, %4 left")
                        .arg(m_pos)
                        .arg(QLatin1String(what))
                        .arg(count)
                        .arg(left()));
    }

    template<typename T> bool read(T *value, const char *what)
    {
        if (!need(int(sizeof(T)), what))
            return false;
        *value = qFromBigEndian<T>(m_data + m_pos);
        m_pos += int(sizeof(T));
        return true;
    }

    // A count of items that each take at least minItemBytes.
    bool readCount(quint32 *count, int minItemBytes, const char *what)
    {
        const int at = m_pos;
        if (!read(count, what))
            return false;
        if (quint64(*count) * quint64(minItemBytes) > quint64(left()))
            return fail(QStringLiteral("%1 of %2 at byte %3 exceeds the %4 bytes left")
                            .arg(QLatin1String(what))
                            .arg(*count)
                            .arg(at)
                            .arg(left()));
        return true;
    }

    bool readRaw(const char **data, int *size, const char *what)
    {
        quint32 length = 0;
        const int at = m_pos;
        if (!read(&length, what))
            return false;
        if (quint64(length) > quint64(left()))
            return fail(QStringLiteral("%1 of %2 bytes at byte %3 exceeds the %4 bytes left")
                            .arg(QLatin1String(what))
                            .arg(length)
                            .arg(at)
                            .arg(left()));
        *data = reinterpret_cast<const char *>(m_data + m_pos);
        *size = int(length);
        m_pos += int(length);
        return true;
    }

    bool readString(QString *s, const char *what)
    {
        const char *data = nullptr;
        int size = 0;
        if (!readRaw(&data, &size, what))
            return false;
        *s = QString::fromUtf8(data, size);
        return true;
    }

    // Field names repeat in every message: one shared copy of each, kept per
    // thread, saves a decode and an allocation per entry.
    bool readKey(QString *s)
    {
        const char *data = nullptr;
        int size = 0;
        if (!readRaw(&data, &size, "map key"))
            return false;
        thread_local QHash<QByteArray, QString> known;
        const auto it = known.constFind(QByteArray::fromRawData(data, size));
        if (it != known.cend()) {
            *s = *it;
            return true;
        }
        *s = QString::fromUtf8(data, size);
        if (size <= 64 && known.size() < 1024)
            known.insert(QByteArray(data, size), *s);
        return true;
    }

private:
    const uchar *m_data;
    int m_size;
    int m_pos = 0;
    QString m_error;
};

bool readValue(Reader &in, QVariant *v, int depth);

bool readMap(Reader &in, QVariantMap *map, int depth)
{
    quint32 count = 0;
    // key length (4) + tag (1) at least per entry
    if (!in.readCount(&count, 5, "map entry count"))
        return false;
    for (quint32 i = 0; i < count; ++i) {
        QString key;
        QVariant value;
        if (!in.readKey(&key) || !readValue(in, &value, depth))
            return false;
        // Keys arrive in the order a map writes them: the end is the place.
        map->insert(map->cend(), key, value);
    }
    return true;
}

bool readDateTime(Reader &in, QVariant *v)
{
    quint8 valid = 0;
    if (!in.read(&valid, "date-time flag"))
        return false;
    if (!valid) {
        *v = QVariant(QDateTime());
        return true;
    }
    qint64 ms = 0;
    qint8 zoneKind = 0;
    const int at = in.pos();
    if (!in.read(&ms, "date-time") || !in.read(&zoneKind, "time basis"))
        return false;
    if (ms > kMaxAbsMSecs || ms < -kMaxAbsMSecs)
        return in.fail(QStringLiteral("date-time at byte %1 out of range").arg(at));
    switch (zoneKind) {
    case Qt::LocalTime:
    case Qt::UTC:
        *v = QVariant(QDateTime::fromMSecsSinceEpoch(ms, Qt::TimeSpec(zoneKind)));
        return true;
    case Qt::OffsetFromUTC: {
        qint32 offset = 0;
        if (!in.read(&offset, "UTC offset"))
            return false;
        if (offset > kMaxAbsOffset || offset < -kMaxAbsOffset)
            return in.fail(
                QStringLiteral("UTC offset %1 at byte %2 out of range").arg(offset).arg(at));
        *v = QVariant(QDateTime::fromMSecsSinceEpoch(ms, Qt::OffsetFromUTC, offset));
        return true;
    }
    case Qt::TimeZone: {
        QString zone;
        if (!in.readString(&zone, "time zone"))
            return false;
        *v = QVariant(QDateTime::fromMSecsSinceEpoch(ms, QTimeZone(zone.toUtf8())));
        return true;
    }
    default:
        return in.fail(QStringLiteral("unknown time basis %1 at byte %2").arg(zoneKind).arg(at));
    }
}

bool readValue(Reader &in, QVariant *v, int depth)
{
    const int at = in.pos();
    quint8 tag = 0;
    if (!in.read(&tag, "value tag"))
        return false;
    switch (tag) {
    case TagInvalid:
        *v = QVariant();
        return true;
    case TagBool: {
        quint8 b = 0;
        if (!in.read(&b, "bool"))
            return false;
        *v = QVariant(b != 0);
        return true;
    }
    case TagInt: {
        qint32 i = 0;
        if (!in.read(&i, "int"))
            return false;
        *v = QVariant(int(i));
        return true;
    }
    case TagUInt: {
        quint32 u = 0;
        if (!in.read(&u, "uint"))
            return false;
        *v = QVariant(uint(u));
        return true;
    }
    case TagLongLong: {
        qint64 i = 0;
        if (!in.read(&i, "int64"))
            return false;
        *v = QVariant(qlonglong(i));
        return true;
    }
    case TagULongLong: {
        quint64 u = 0;
        if (!in.read(&u, "uint64"))
            return false;
        *v = QVariant(qulonglong(u));
        return true;
    }
    case TagDouble: {
        quint64 bits = 0;
        if (!in.read(&bits, "double"))
            return false;
        double d;
        std::memcpy(&d, &bits, sizeof d);
        *v = QVariant(d);
        return true;
    }
    case TagString: {
        QString s;
        if (!in.readString(&s, "string"))
            return false;
        *v = QVariant(s);
        return true;
    }
    case TagByteArray: {
        const char *data = nullptr;
        int size = 0;
        if (!in.readRaw(&data, &size, "byte array"))
            return false;
        *v = QVariant(QByteArray(data, size));
        return true;
    }
    case TagStringList: {
        quint32 count = 0;
        if (!in.readCount(&count, 4, "string list count"))
            return false;
        QStringList list;
        for (quint32 i = 0; i < count; ++i) {
            QString s;
            if (!in.readString(&s, "string list item"))
                return false;
            list.append(s);
        }
        *v = QVariant(list);
        return true;
    }
    case TagList: {
        if (depth >= kMaxDepth)
            return in.fail(
                QStringLiteral("nesting deeper than %1 at byte %2").arg(kMaxDepth).arg(at));
        quint32 count = 0;
        if (!in.readCount(&count, 1, "list count"))
            return false;
        QVariantList list;
        for (quint32 i = 0; i < count; ++i) {
            QVariant item;
            if (!readValue(in, &item, depth + 1))
                return false;
            list.append(item);
        }
        *v = QVariant(list);
        return true;
    }
    case TagMap: {
        if (depth >= kMaxDepth)
            return in.fail(
                QStringLiteral("nesting deeper than %1 at byte %2").arg(kMaxDepth).arg(at));
        QVariantMap map;
        if (!readMap(in, &map, depth + 1))
            return false;
        *v = QVariant(map);
        return true;
    }
    case TagDateTime:
        return readDateTime(in, v);
    case TagDate: {
        quint8 valid = 0;
        if (!in.read(&valid, "date flag"))
            return false;
        qint64 jd = 0;
        if (valid && !in.read(&jd, "date"))
            return false;
        // fromJulianDay() rejects days outside QDate's range.
        *v = QVariant(valid ? QDate::fromJulianDay(jd) : QDate());
        return true;
    }
    default:
        return in.fail(QStringLiteral("unknown value tag %1 at byte %2").arg(tag).arg(at));
    }
}

QByteArray uncompressChecked(const QByteArray &bytes, QString *error)
{
    // qUncompress allocates the size declared in the first four bytes; refuse
    // sizes that no zlib stream of this length could produce (deflate expands
    // at most about 1032:1).
    if (bytes.size() < 5) {
        *error = QStringLiteral("compressed message of %1 bytes is too short").arg(bytes.size());
        return QByteArray();
    }
    const quint32 declared = qFromBigEndian<quint32>(bytes.constData());
    const quint64 plausible = quint64(bytes.size() - 4) * 1032 + 64;
    if (declared > quint32(kMaxUncompressed) || declared > plausible) {
        *error = QStringLiteral("compressed message declares %1 bytes, more than %2 bytes can hold")
                     .arg(declared)
                     .arg(bytes.size());
        return QByteArray();
    }
    const QByteArray plain = qUncompress(bytes);
    if (plain.isEmpty())
        *error = QStringLiteral("compressed message is corrupt");
    return plain;
}

} // namespace

CPackMessageCommon::CPackMessageCommon() = default;

void CPackMessageCommon::AddRowVaule(const QVariantMap &value)
{
    if (m_rows.isEmpty())
        m_rows.append(QVariantMap());
    QVariantMap &row = m_rows.last();
    if (row.isEmpty()) {
        row = value;
        return;
    }
    for (auto it = value.cbegin(); it != value.cend(); ++it)
        row.insert(it.key(), it.value());
}

void CPackMessageCommon::AddRow()
{
    if (m_rows.isEmpty())
        m_rows.append(QVariantMap());
    m_rows.append(QVariantMap());
}

QVariant CPackMessageCommon::GetPackedMsg(bool compress) const
{
    const QByteArray bytes = pack(m_rows);
    return QVariant(compress ? qCompress(bytes) : bytes);
}

QByteArray CPackMessageCommon::pack(const QList<QVariantMap> &rows)
{
    QByteArray bytes;
    bytes.reserve(512);
    Writer out(&bytes);
    out << kMagic << kVersion << quint32(rows.size());
    for (const QVariantMap &row : rows)
        writeMap(out, row);
    return bytes;
}

CUnPackMessageCommon::CUnPackMessageCommon() = default;

bool CUnPackMessageCommon::SetUnPackMsg(const QVariant &msg, bool compressed)
{
    m_rows.clear();
    m_error.clear();
    bool ok = false;
    if (msg.userType() != QMetaType::QByteArray) {
        m_error = msg.isValid() ? QStringLiteral("not a packed message: a %1")
                                      .arg(QString::fromLatin1(msg.typeName()))
                                : QStringLiteral("not a packed message: empty");
    } else if (compressed) {
        const QByteArray plain = uncompressChecked(msg.toByteArray(), &m_error);
        ok = m_error.isEmpty() && unpack(plain, &m_rows, &m_error);
    } else {
        ok = unpack(msg.toByteArray(), &m_rows, &m_error);
    }
    if (!ok)
        qCWarning(lcVelMsg).noquote() << "cannot unpack message:" << m_error;
    return ok;
}

QVariantMap CUnPackMessageCommon::GetRowValue() const
{
    return m_rows.isEmpty() ? QVariantMap() : m_rows.first();
}

QList<QVariantMap> CUnPackMessageCommon::rows() const
{
    return m_rows;
}

int CUnPackMessageCommon::rowCount() const
{
    return m_rows.size();
}

QString CUnPackMessageCommon::errorString() const
{
    return m_error;
}

// Does not log: SetUnPackMsg() reports, callers of this one have the error.
bool CUnPackMessageCommon::unpack(const QByteArray &bytes, QList<QVariantMap> *rows, QString *error)
{
    QList<QVariantMap> result;
    Reader in(bytes);
    quint32 magic = 0;
    quint16 version = 0;
    quint32 rowCount = 0;
    if (in.read(&magic, "magic")) {
        if (magic != kMagic)
            in.fail(QStringLiteral("bad magic 0x%1").arg(magic, 8, 16, QLatin1Char('0')));
        else if (in.read(&version, "version") && version != kVersion)
            in.fail(QStringLiteral("unsupported format version %1").arg(version));
    }
    if (!in.failed() && in.readCount(&rowCount, 4, "row count")) {
        for (quint32 i = 0; i < rowCount; ++i) {
            QVariantMap row;
            if (!readMap(in, &row, 0))
                break;
            result.append(row);
        }
    }
    if (!in.failed() && in.left() > 0)
        in.fail(QStringLiteral("%1 stray bytes after the last row").arg(in.left()));
    if (in.failed()) {
        if (rows)
            rows->clear();
        if (error)
            *error = in.error();
        return false;
    }
    if (rows)
        *rows = result;
    if (error)
        error->clear();
    return true;
}
