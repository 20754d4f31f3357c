#include "window/pagefactory.h"

#include "velcm/id.h"
#include "velwidget/velpluginbasewidget.h"

#include <QMetaType>
#include <QVariant>

QList<PageType> PageFactory::findPageTypes(const QList<QObject *> &objects)
{
    QList<PageType> types;
    for (QObject *object : objects) {
        if (!object)
            continue;
        const QVariant id = object->property("id");
        const QVariant metaId = object->property("metaId");
        if (!id.isValid() || !metaId.isValid())
            continue;
        bool ok = false;
        PageType type;
        type.metaId = metaId.toInt(&ok);
        if (!ok)
            continue;
        type.id = Id::fromSetting(id).toString();
        if (type.id.isEmpty())
            type.id = id.toString();
        type.dllName = object->property("dllname").toString();
        types.append(type);
    }
    return types;
}

VelPluginBaseWidget *PageFactory::create(const PageType &type, QString *error)
{
    // The type must at least be registered and as large as a page widget
    // before its instance is looked at as a QObject.
    if (!QMetaType::isRegistered(type.metaId) ||
        QMetaType::sizeOf(type.metaId) < int(sizeof(VelPluginBaseWidget))) {
        *error = QStringLiteral("page type %1: meta-type %2 is not a page widget")
                     .arg(type.id)
                     .arg(type.metaId);
        return nullptr;
    }
    void *instance = QMetaType::create(type.metaId);
    if (!instance) {
        *error = QStringLiteral("page type %1: meta-type %2 cannot be created")
                     .arg(type.id)
                     .arg(type.metaId);
        return nullptr;
    }
    auto *page = qobject_cast<VelPluginBaseWidget *>(static_cast<QObject *>(instance));
    if (!page) {
        QMetaType::destroy(type.metaId, instance);
        *error = QStringLiteral("page type %1: meta-type %2 is not a VelPluginBaseWidget")
                     .arg(type.id)
                     .arg(type.metaId);
        return nullptr;
    }
    return page;
}
