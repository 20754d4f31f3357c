#include "applogging.h"

Q_LOGGING_CATEGORY(lcApp, "velapp.app", QtWarningMsg)
Q_LOGGING_CATEGORY(lcFeed, "velapp.feed", QtWarningMsg)
Q_LOGGING_CATEGORY(lcPlugins, "velapp.plugins", QtWarningMsg)
Q_LOGGING_CATEGORY(lcData, "velapp.data", QtWarningMsg)
