// Arbitrary --replay text: refused with one line naming the file and a line
// of it, or well-formed ticks in time order.
#include "fuzzsupport.h"

#include "files/replayfile.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzzInitQt(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), int(size));
    QList<ReplayTick> ticks;
    QString error;
    if (!ReplayFile::parse(text, QStringLiteral("fuzz.jsonl"), &ticks, &error)) {
        if (!ticks.isEmpty() || !isOneLineRefusal(error, QStringLiteral("fuzz.jsonl"), text))
            abort();
        return 0;
    }
    if (ticks.size() > text.count('\n') + 1)
        abort(); // at most one tick a line
    qint64 last = 0;
    for (const ReplayTick &tick : qAsConst(ticks)) {
        if (tick.t < last || tick.t > ReplayFile::maxOffsetMs)
            abort();
        if (tick.kind != QLatin1String("MDOPTIONRECORD") && tick.kind != QLatin1String("MDMARKETRECORD"))
            abort();
        if (tick.fields.value(QStringLiteral("Symbol")).toString().isEmpty()
            || tick.fields.contains(QStringLiteral("t")) || tick.fields.contains(QStringLiteral("type")))
            abort();
        last = tick.t;
    }
    return 0;
}
