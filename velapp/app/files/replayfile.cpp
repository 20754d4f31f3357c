#include "files/replayfile.h"

#include "files/jsontext.h"
#include "veldefine/velconstants.h"

#include <QJsonObject>

namespace {

// The kind and fields of a line's object; "t" is left to the caller.
bool readTick(QJsonObject object, ReplayTick *tick, QString *fault)
{
    const QString kind = object.value(QStringLiteral("type")).toString();
    if (kind != VelConst::OptionRecord && kind != VelConst::MarketRecord) {
        *fault = object.contains(QStringLiteral("type"))
                     ? QStringLiteral("\"type\" is not \"%1\" or \"%2\"")
                           .arg(VelConst::OptionRecord, VelConst::MarketRecord)
                     : QStringLiteral("missing \"type\"");
        return false;
    }
    tick->kind = kind;

    const QJsonValue symbol = object.value(QStringLiteral("Symbol"));
    if (!symbol.isString() || symbol.toString().isEmpty()) {
        *fault = symbol.isUndefined() ? QStringLiteral("missing \"Symbol\"")
                                      : QStringLiteral("\"Symbol\" is not a non-empty string");
        return false;
    }

    object.remove(QStringLiteral("t"));
    object.remove(QStringLiteral("type"));
    tick->fields = object.toVariantMap();
    return true;
}

// Checks one non-blank line; on failure returns false with the fault only.
bool parseLine(const QByteArray &line, qint64 previousT, ReplayTick *tick, QString *fault)
{
    QJsonObject object;
    return JsonText::parseObject(line, &object, fault) &&
           JsonText::readOffset(object, previousT, ReplayFile::maxOffsetMs, &tick->t, fault) &&
           readTick(object, tick, fault);
}

} // namespace

bool ReplayFile::parseLiveTick(const QByteArray &line, ReplayTick *tick, QString *fault)
{
    QJsonObject object;
    return JsonText::parseObject(line, &object, fault) && readTick(object, tick, fault);
}

bool ReplayFile::load(const QString &path, QList<ReplayTick> *ticks, QString *error)
{
    QByteArray text;
    return JsonText::readFile(path, QStringLiteral("a replay file"), &text, error) &&
           parse(text, path, ticks, error);
}

bool ReplayFile::parse(const QByteArray &text, const QString &path, QList<ReplayTick> *ticks,
                       QString *error)
{
    QList<ReplayTick> result;
    qint64 previousT = 0;
    const bool ok = JsonText::forEachLine(
        text, path,
        [&](const QByteArray &line, int, QString *fault) {
            ReplayTick tick;
            if (!parseLine(line, previousT, &tick, fault))
                return false;
            previousT = tick.t;
            result.append(tick);
            return true;
        },
        error);
    if (ok)
        *ticks = result;
    return ok;
}
