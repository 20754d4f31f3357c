// Arbitrary --replay text: refused with one line naming the file and a line
// of it, or well-formed ticks in time order. Each line the quick tick reader
// takes must read as QJsonDocument reads it.
#include "fuzzsupport.h"

#include "files/jsontext.h"
#include "files/replayfile.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstring>

namespace {

bool sameValue(const QVariant &a, const QVariant &b)
{
    if (a.userType() != b.userType())
        return false;
    if (a.userType() != QMetaType::Double)
        return a == b;
    const double x = a.toDouble();
    const double y = b.toDouble();
    return std::memcmp(&x, &y, sizeof x) == 0;
}

void checkQuickReader(const QByteArray &text)
{
    for (const QByteArray &raw : text.split('\n')) {
        const QByteArray line = raw.trimmed();
        QVariantMap quick;
        if (!JsonText::parseFlatObject(line, &quick))
            continue;
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
        if (error.error != QJsonParseError::NoError || !doc.isObject())
            abort();
        const QVariantMap qt = doc.object().toVariantMap();
        if (qt.keys() != quick.keys())
            abort();
        for (auto it = qt.cbegin(); it != qt.cend(); ++it)
            if (!sameValue(quick.value(it.key()), *it))
                abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzzInitQt(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), int(size));
    checkQuickReader(text);
    QList<ReplayTick> ticks;
    QString error;
    if (!ReplayFile::parse(text, QStringLiteral("fuzz.jsonl"), &ticks, &error)) {
        if (!ticks.isEmpty() || !isOneLineRefusal(error, QStringLiteral("fuzz.jsonl"), text)) {
            fprintf(stderr, "refusal of %d ticks: %s\n", int(ticks.size()), qPrintable(error));
            abort();
        }
        return 0;
    }
    if (ticks.size() > text.count('\n') + 1)
        abort(); // at most one tick a line
    qint64 last = 0;
    for (const ReplayTick &tick : qAsConst(ticks)) {
        if (tick.t < last || tick.t > ReplayFile::maxOffsetMs)
            abort();
        if (tick.kind != QLatin1String("MDOPTIONRECORD") &&
            tick.kind != QLatin1String("MDMARKETRECORD"))
            abort();
        if (tick.fields.value(QStringLiteral("Symbol")).toString().isEmpty() ||
            tick.fields.contains(QStringLiteral("t")) ||
            tick.fields.contains(QStringLiteral("type")))
            abort();
        last = tick.t;
    }
    return 0;
}
