#pragma once

#include <QLoggingCategory>

// Logging categories of the host core; all default to warnings.
Q_DECLARE_LOGGING_CATEGORY(lcVelPlugins)
Q_DECLARE_LOGGING_CATEGORY(lcVelBus)
Q_DECLARE_LOGGING_CATEGORY(lcVelMsg)
Q_DECLARE_LOGGING_CATEGORY(lcVelLock)
