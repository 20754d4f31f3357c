#include "files/replayfile.h"

#include "businessdatamanager/businessdatainterface.h"
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
    // A bad value must never replace a good price on the board.
    *fault = BusinessDataInterface::QuotationFault(tick->fields);
    return fault->isEmpty();
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

bool ReplayFile::load(const QString &path, QList<ReplayTick> *ticks, QString *error,
                      QString *warning)
{
    QByteArray text;
    return JsonText::readFile(path, QStringLiteral("a replay file"), &text, error) &&
           parse(text, path, ticks, error, warning);
}

bool ReplayFile::parse(const QByteArray &text, const QString &path, QList<ReplayTick> *ticks,
                       QString *error, QString *warning)
{
    QList<ReplayTick> result;
    qint64 previousT = 0;
    int failed = 0;
    const bool ok = JsonText::forEachLine(
        text, path,
        [&](const QByteArray &line, int number, QString *fault) {
            ReplayTick tick;
            if (!parseLine(line, previousT, &tick, fault)) {
                failed = number;
                return false;
            }
            previousT = tick.t;
            result.append(tick);
            return true;
        },
        error);
    // A recording that stopped mid-write: its complete lines still play.
    const int lastLine = 1 + int(text.count('\n'));
    if (!ok && failed == lastLine && !text.trimmed().isEmpty() && !text.endsWith('\n')) {
        if (warning)
            *warning = QStringLiteral("%1:%2: the last line is cut short; the %3 ticks before it "
                                      "play")
                           .arg(path)
                           .arg(failed)
                           .arg(result.size());
        error->clear();
        *ticks = result;
        return true;
    }
    if (ok)
        *ticks = result;
    return ok;
}
