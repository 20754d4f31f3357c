#include "files/replayfile.h"

#include "businessdatamanager/businessdatainterface.h"
#include "files/jsontext.h"
#include "veldefine/velconstants.h"

#include <QJsonObject>
#include <QJsonValue>

namespace {

const QString &typeName()
{
    static const QString name = QStringLiteral("type");
    return name;
}

const QString &symbolName()
{
    static const QString name = QStringLiteral("Symbol");
    return name;
}

const QString &offsetName()
{
    static const QString name = QStringLiteral("t");
    return name;
}

// A line's fields as QJsonDocument reads them; the common flat line is read
// directly, being the one every tick of a fast feed has.
bool readFields(const QByteArray &line, QVariantMap *fields, QString *fault)
{
    if (JsonText::parseFlatObject(line, fields))
        return true;
    QJsonObject object;
    if (!JsonText::parseObject(line, &object, fault))
        return false;
    *fields = object.toVariantMap();
    return true;
}

// The kind and fields of a line's object; "t" is left to the caller. A live
// line's values are left to the host's edge, which checks and counts them.
bool readTick(QVariantMap &fields, ReplayTick *tick, QString *fault, bool checkValues = true)
{
    const QVariant type = fields.value(typeName());
    const QString kind = type.userType() == QMetaType::QString ? type.toString() : QString();
    if (kind != VelConst::OptionRecord && kind != VelConst::MarketRecord) {
        *fault = type.isValid() ? QStringLiteral("\"type\" is not \"%1\" or \"%2\"")
                                      .arg(VelConst::OptionRecord, VelConst::MarketRecord)
                                : QStringLiteral("missing \"type\"");
        return false;
    }
    tick->kind = kind;

    const auto symbol = fields.constFind(symbolName());
    if (symbol == fields.constEnd() || symbol->userType() != QMetaType::QString ||
        symbol->toString().isEmpty()) {
        *fault = symbol == fields.constEnd()
                     ? QStringLiteral("missing \"Symbol\"")
                     : QStringLiteral("\"Symbol\" is not a non-empty string");
        return false;
    }

    fields.remove(offsetName());
    fields.remove(typeName());
    tick->fields = std::move(fields);
    if (!checkValues)
        return true;
    // A bad value must never replace a good price on the board.
    *fault = BusinessDataInterface::QuotationFault(tick->fields);
    return fault->isEmpty();
}

// Checks one non-blank line; on failure returns false with the fault only.
bool parseLine(const QByteArray &line, qint64 previousT, ReplayTick *tick, QString *fault)
{
    QVariantMap fields;
    if (!readFields(line, &fields, fault))
        return false;
    const auto t = fields.constFind(offsetName());
    const QJsonValue offset =
        t == fields.constEnd() ? QJsonValue(QJsonValue::Undefined) : QJsonValue::fromVariant(*t);
    return JsonText::readOffset(offset, previousT, ReplayFile::maxOffsetMs, &tick->t, fault) &&
           readTick(fields, tick, fault);
}

} // namespace

bool ReplayFile::parseLiveTick(const QByteArray &line, ReplayTick *tick, QString *fault)
{
    QVariantMap fields;
    return readFields(line, &fields, fault) && readTick(fields, tick, fault, false);
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
