#include "velcorelog.h"

Q_LOGGING_CATEGORY(lcVelPlugins, "velapp.plugins", QtWarningMsg)
Q_LOGGING_CATEGORY(lcVelBus, "velapp.bus", QtWarningMsg)
Q_LOGGING_CATEGORY(lcVelMsg, "velapp.msg", QtWarningMsg)
Q_LOGGING_CATEGORY(lcVelLock, "velapp.lock", QtWarningMsg)
