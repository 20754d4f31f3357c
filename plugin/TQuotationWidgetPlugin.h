#pragma once

#include "velplugin/iplugin.h"

// The library's root object: tells the host that it provides the T-board
// page and how to create one.
class TQuotationWidgetPlugin : public IPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "VELAppPlugin" FILE "TQuotationPlugin.json")
    Q_INTERFACES(IPlugin)

public:
    TQuotationWidgetPlugin();
    ~TQuotationWidgetPlugin() override;

    bool initialize(const QStringList &arguments, QString *errorString,
                    const QString &dllName) override;
    void extensionsInitialized() override;
};
