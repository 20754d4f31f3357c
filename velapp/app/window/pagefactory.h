#pragma once

#include <QList>
#include <QObject>
#include <QString>

class VelPluginBaseWidget;

// A page type a plugin registered: a descriptor object in the plugin
// manager's pool with the properties "id" and "metaId".
struct PageType
{
    QString id;
    int metaId = 0;
    QString dllName;
};

// Finds the page types among the pool's objects and creates pages from them.
class PageFactory
{
public:
    static QList<PageType> findPageTypes(const QList<QObject *> &objects);
    // A new page without parent, not yet initialised; null with error set
    // when the type does not make a page widget.
    static VelPluginBaseWidget *create(const PageType &type, QString *error);
};
