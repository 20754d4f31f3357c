#pragma once

#include <QCoreApplication>
#include <QJsonObject>
#include <QString>
#include <QStringList>

// Writes a page snapshot (PageSnapshot) as a readable text table: title,
// selectors, date buttons, then each row indented by its depth with the
// cells of columns 0 to 14. A blinking price shows its level: "0.1234*3".
class BoardPrinter
{
    Q_DECLARE_TR_FUNCTIONS(BoardPrinter)

public:
    static constexpr int shownColumns = 15;

    static QString format(const QJsonObject &snapshot, const QStringList &captions);
    // The text a cell record shows: its "0" text, else its "256" text with
    // the blink marker turned into "*level" (level 0 shows nothing).
    static QString cellText(const QJsonObject &cell);
    // Columns a text takes in a terminal: CJK characters take two.
    static int displayWidth(const QString &text);
};
