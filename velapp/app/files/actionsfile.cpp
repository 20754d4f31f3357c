#include "files/actionsfile.h"

#include "files/jsontext.h"
#include "files/replayfile.h"
#include "velcorelog.h"

#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QJsonObject>

#include <cmath>
#include <limits>

namespace {

using Kind = SessionAction::Kind;

enum Field : unsigned {
    Page = 1u << 0,
    Button = 1u << 1,
    Index = 1u << 2,
    Symbol = 1u << 3,
    Date = 1u << 4,
    Strike = 1u << 5,
    Column = 1u << 6,
    Count = 1u << 7,
    Centre = 1u << 8,
    File = 1u << 9,
    PageKind = 1u << 10,
    Pane = 1u << 11,
};

struct ActionType
{
    const char *name;
    Kind kind;
    unsigned fields;
};

const ActionType kTypes[] = {
    {"open", Kind::Open, PageKind},
    {"close", Kind::Close, Page},
    {"refresh", Kind::Refresh, Page},
    {"date", Kind::Date, Page | Button},
    {"category", Kind::Category, Page | Index},
    {"underlying", Kind::Underlying, Page | Symbol},
    {"click", Kind::Click, Page | Date | Strike | Column},
    {"dblclick", Kind::DoubleClick, Page | Date | Strike | Column},
    {"filter", Kind::Filter, Page | Count | Centre},
    {"dump", Kind::Dump, File},
    {"screenshot", Kind::Screenshot, File},
    {"quit", Kind::Quit, 0},
    {"keep", Kind::Keep, Pane},
};

class LineReader
{
public:
    LineReader(const QJsonObject &object, QString *fault)
        : m_object(object)
        , m_fault(fault)
    {}

    // A whole number from min to max; "page" may be left out (0).
    bool integer(const char *key, int min, int max, int *value, bool optional = false)
    {
        const QJsonValue v = m_object.value(QLatin1String(key));
        if (v.isUndefined() && optional)
            return true;
        if (!present(key, v))
            return false;
        const double d = v.toDouble();
        if (!v.isDouble() || d != std::floor(d) || d < min || d > max) {
            *m_fault = QStringLiteral("\"%1\" is %2, not a whole number from %3 to %4")
                           .arg(QLatin1String(key), shown(v))
                           .arg(min)
                           .arg(max);
            return false;
        }
        *value = int(d);
        return true;
    }

    // One of choices; may be left out (value stays as it is).
    bool choice(const char *key, const QStringList &choices, QString *value)
    {
        const QJsonValue v = m_object.value(QLatin1String(key));
        if (v.isUndefined())
            return true;
        if (!v.isString() || !choices.contains(v.toString())) {
            *m_fault =
                QStringLiteral("\"%1\" is %2, not one of \"%3\"")
                    .arg(QLatin1String(key), v.isString() ? velQuoted(v.toString()) : shown(v),
                         choices.join(QStringLiteral("\", \"")));
            return false;
        }
        *value = v.toString();
        return true;
    }

    bool text(const char *key, QString *value, bool numberToo = false)
    {
        const QJsonValue v = m_object.value(QLatin1String(key));
        if (!present(key, v))
            return false;
        if (numberToo && v.isDouble() && std::isfinite(v.toDouble())) {
            *value = QString::number(v.toDouble());
            return true;
        }
        if (!v.isString() || v.toString().trimmed().isEmpty()) {
            *m_fault = QStringLiteral("\"%1\" is %2, not a non-empty %3")
                           .arg(QLatin1String(key), shown(v),
                                numberToo ? QStringLiteral("string or a number")
                                          : QStringLiteral("string"));
            return false;
        }
        *value = v.toString();
        return true;
    }

private:
    bool present(const char *key, const QJsonValue &v)
    {
        if (!v.isUndefined())
            return true;
        *m_fault = QStringLiteral("missing \"%1\"").arg(QLatin1String(key));
        return false;
    }

    static QString shown(const QJsonValue &v)
    {
        if (v.isDouble())
            return QString::number(v.toDouble());
        return JsonText::describeType(v.type());
    }

    const QJsonObject &m_object;
    QString *m_fault;
};

// Output files are checked now, so a long session is not lost to a path
// that can never be written.
bool checkOutput(Kind kind, const QString &path, QString *fault)
{
    const QFileInfo info(path);
    if (info.isDir()) {
        *fault = QStringLiteral("\"file\" '%1' is a folder").arg(path);
        return false;
    }
    if (!info.absoluteDir().exists()) {
        *fault = QStringLiteral("the folder of \"file\" '%1' does not exist").arg(path);
        return false;
    }
    if (kind == Kind::Screenshot &&
        !QImageWriter::supportedImageFormats().contains(info.suffix().toLower().toLatin1())) {
        *fault = QStringLiteral("\"file\" '%1' does not end in a known image type such as .png")
                     .arg(path);
        return false;
    }
    return true;
}

bool readPane(const QJsonObject &object, QString *pane, QString *fault)
{
    const QJsonValue v = object.value(QStringLiteral("pane"));
    if (v.toString() == QLatin1String("chart") || v.toString() == QLatin1String("detail")) {
        *pane = v.toString();
        return true;
    }
    *fault = v.isUndefined() ? QStringLiteral("missing \"pane\"")
                             : QStringLiteral("\"pane\" is not \"chart\" or \"detail\"");
    return false;
}

bool parseLine(const QByteArray &line, qint64 previousT, SessionAction *action, QString *fault)
{
    QJsonObject object;
    if (!JsonText::parseObject(line, &object, fault) ||
        !JsonText::readOffset(object, previousT, ReplayFile::maxOffsetMs, &action->t, fault))
        return false;

    const QJsonValue name = object.value(QStringLiteral("do"));
    if (!name.isString()) {
        *fault = name.isUndefined() ? QStringLiteral("missing \"do\"")
                                    : QStringLiteral("\"do\" is %1, not a string")
                                          .arg(JsonText::describeType(name.type()));
        return false;
    }
    const ActionType *type = nullptr;
    for (const ActionType &candidate : kTypes) {
        if (name.toString() == QLatin1String(candidate.name))
            type = &candidate;
    }
    if (!type) {
        *fault = QStringLiteral("unknown action %1").arg(velQuoted(name.toString()));
        return false;
    }
    action->kind = type->kind;

    const int intMax = std::numeric_limits<int>::max();
    LineReader read(object, fault);
    const unsigned f = type->fields;
    return (!(f & PageKind) ||
            read.choice("kind", {QStringLiteral("tboard"), QStringLiteral("smile")},
                        &action->pageKind)) &&
           (!(f & Page) || read.integer("page", 0, intMax, &action->page, true)) &&
           (!(f & Button) || read.integer("button", -1, 9, &action->button)) &&
           (!(f & Index) || read.integer("index", 0, intMax, &action->index)) &&
           (!(f & Symbol) || read.text("symbol", &action->symbol)) &&
           (!(f & Date) || read.text("date", &action->date)) &&
           (!(f & Strike) || read.text("strike", &action->strike)) &&
           (!(f & Column) || read.integer("column", 0, ActionsFile::maxColumn, &action->column)) &&
           (!(f & Count) || read.integer("count", 0, intMax, &action->count)) &&
           (!(f & Centre) || read.text("centre", &action->centre, true)) &&
           (!(f & Pane) || readPane(object, &action->pane, fault)) &&
           (!(f & File) ||
            (read.text("file", &action->file) && checkOutput(type->kind, action->file, fault)));
}

} // namespace

bool ActionsFile::load(const QString &path, QList<SessionAction> *actions, QString *error)
{
    QByteArray text;
    return JsonText::readFile(path, QStringLiteral("an actions file"), &text, error) &&
           parse(text, path, actions, error);
}

bool ActionsFile::parse(const QByteArray &text, const QString &path, QList<SessionAction> *actions,
                        QString *error)
{
    QList<SessionAction> result;
    qint64 previousT = 0;
    const bool ok = JsonText::forEachLine(
        text, path,
        [&](const QByteArray &line, int number, QString *fault) {
            SessionAction action;
            action.line = number;
            if (!parseLine(line, previousT, &action, fault))
                return false;
            previousT = action.t;
            result.append(action);
            return true;
        },
        error);
    if (ok)
        *actions = result;
    return ok;
}
