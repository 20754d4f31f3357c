#pragma once

#include "velhost_global.h"

#include <QVariant>

// A widget whose look comes from skin style sheets.
class VELHOST_EXPORT IHSkin
{
public:
    virtual ~IHSkin();
    // skinRoot: the folder that holds the skin folders (a QString).
    virtual void loadSkin(const QVariant &skinRoot) = 0;
};

#define VelApp_ISkin_iid "com.velapp.VELApp.Plugin.ISkin"
Q_DECLARE_INTERFACE(IHSkin, VelApp_ISkin_iid)
