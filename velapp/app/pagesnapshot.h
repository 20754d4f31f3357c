#pragma once

#include <QJsonObject>
#include <QStringList>

class QWidget;
class VelPluginBaseWidget;

// Reads what a page shows, through its widgets' object names, into the
// JSON form of velapp's --dump: title, selectors, date buttons, captions
// and the table's rows as a tree. Widgets a page lacks are left out.
class PageSnapshot
{
public:
    // "tboard" for the T-board page, "unknown" for other plugin pages.
    static QString kindOf(const VelPluginBaseWidget *page);
    static QJsonObject capture(const VelPluginBaseWidget *page);
    // The table's column captions, for printing.
    static QStringList columnCaptions(const VelPluginBaseWidget *page);
};
