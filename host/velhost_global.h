#pragma once

#include <QtCore/qglobal.h>

#if defined(VELHOST_LIBRARY)
#define VELHOST_EXPORT Q_DECL_EXPORT
#else
#define VELHOST_EXPORT Q_DECL_IMPORT
#endif
