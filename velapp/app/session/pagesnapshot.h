#pragma once

#include <QJsonObject>
#include <QStringList>

class QWidget;
class VelPluginBaseWidget;

// Reads what a page shows, through the widgets BoardFace names, into the
// JSON form of velapp's --dump: title, selectors, date buttons, captions
// and the table's rows as a tree. Widgets a page lacks are left out.
class PageSnapshot
{
public:
    static QJsonObject capture(const VelPluginBaseWidget *page);
    // The table's column captions, for printing.
    static QStringList columnCaptions(const VelPluginBaseWidget *page);
};
