#include "TQuotationWidgetPlugin.h"

#include "TQuotationWidget.h"

#include "velcm/id.h"

#include <QMetaType>

// The instance export that moc generates keeps the root object in a
// QPointer: every call returns the same object until it is destroyed.

TQuotationWidgetPlugin::TQuotationWidgetPlugin() = default;

TQuotationWidgetPlugin::~TQuotationWidgetPlugin() = default;

bool TQuotationWidgetPlugin::initialize(const QStringList &arguments, QString *errorString,
                                        const QString &dllName)
{
    Q_UNUSED(arguments)
    Q_UNUSED(errorString)

    // The page descriptor; the host owns it once it is in the object pool.
    QObject *descriptor = new QObject;
    descriptor->setObjectName(QStringLiteral("TQuotationWidget"));
    descriptor->setProperty("id", Id("VELApp.TQuotationWidget").toSetting());
    descriptor->setProperty("dllname", QVariant(dllName));
    const int metaId = qRegisterMetaType<TQuotationWidget>("TQuotationWidget");
    descriptor->setProperty("metaId", QVariant(metaId));
    addAutoReleasedObject(descriptor);
    return true;
}

void TQuotationWidgetPlugin::extensionsInitialized() {}
