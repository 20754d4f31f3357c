#pragma once

#include <QList>
#include <QString>

// One step of a scripted session: what a person does at time t (ms on the
// replay's clock, 0 = the base-data event), read from a line of an
// --actions file.
struct SessionAction
{
    enum class Kind {
        Open,
        Close,
        Refresh,
        Date,
        Category,
        Underlying,
        Click,
        DoubleClick,
        Filter,
        Dump,
        Screenshot,
        Quit,
        Keep
    };

    qint64 t = 0;
    int line = 0; // 1-based line of the file
    Kind kind = Kind::Quit;
    int page = 0;
    int button = 0; // date: 0-9, -1 for 所有
    int index = 0;  // category
    int column = 0; // click, dblclick: logical column 0-14
    int count = 0;  // filter
    QString symbol; // underlying
    QString date;   // click, dblclick: the group's StrikeDate text
    QString strike; // click, dblclick: the text column 7 shows, trimmed
    QString centre; // filter
    QString file;   // dump, screenshot
    QString pageKind = QStringLiteral("tboard"); // open: "tboard" or "smile"
    QString pane;                                // keep: "chart" or "detail"
};

// Reads an --actions file (JSON Lines, one action a line, in time order).
// Every line is checked before anything runs: the first fault is one line
// naming the file, the line and the fault.
class ActionsFile
{
public:
    static bool load(const QString &path, QList<SessionAction> *actions, QString *error);
    static bool parse(const QByteArray &text, const QString &path, QList<SessionAction> *actions,
                      QString *error);

    static constexpr int maxColumn = 14;
};
