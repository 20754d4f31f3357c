#include "replayfile.h"

#include "jsontext.h"
#include "veldefine/velconstants.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <cmath>

namespace {

// Checks one non-blank line; on failure returns false with the fault only.
bool parseLine(const QByteArray &line, qint64 previousT, ReplayTick *tick, QString *fault)
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
    QJsonObject object = doc.object();

    const QJsonValue t = object.value(QStringLiteral("t"));
    if (t.isUndefined()) {
        *fault = QStringLiteral("missing \"t\"");
        return false;
    }
    if (!t.isDouble()) {
        *fault = QStringLiteral("\"t\" is %1, not a number").arg(JsonText::describeType(t.type()));
        return false;
    }
    const double ms = t.toDouble();
    if (!std::isfinite(ms) || ms < 0 || ms > double(ReplayFile::maxOffsetMs)) {
        *fault = QStringLiteral("\"t\" %1 is outside 0 to %2 milliseconds")
                     .arg(ms)
                     .arg(ReplayFile::maxOffsetMs);
        return false;
    }
    tick->t = qint64(std::llround(ms));
    if (tick->t < previousT) {
        *fault = QStringLiteral("\"t\" decreases from %1 to %2").arg(previousT).arg(tick->t);
        return false;
    }

    const QString kind = object.value(QStringLiteral("type")).toString();
    if (kind != VelConst::OptionRecord && kind != VelConst::MarketRecord) {
        *fault =
            object.contains(QStringLiteral("type"))
                ? QStringLiteral("\"type\" is not \"%1\" or \"%2\"").arg(VelConst::OptionRecord, VelConst::MarketRecord)
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

} // namespace

bool ReplayFile::load(const QString &path, QList<ReplayTick> *ticks, QString *error)
{
    if (QFileInfo(path).isDir()) {
        *error = QStringLiteral("%1: is a folder, not a replay file").arg(path);
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: cannot read: %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("%1: cannot read: %2").arg(path, file.errorString());
        return false;
    }
    return parse(text, path, ticks, error);
}

bool ReplayFile::parse(const QByteArray &text, const QString &path, QList<ReplayTick> *ticks,
                       QString *error)
{
    QList<ReplayTick> result;
    qint64 previousT = 0;
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
        ReplayTick tick;
        QString fault;
        if (!parseLine(line, previousT, &tick, &fault)) {
            *error = QStringLiteral("%1:%2: %3").arg(path).arg(lineNumber).arg(fault);
            return false;
        }
        previousT = tick.t;
        result.append(tick);
    }
    *ticks = result;
    return true;
}
