#include "applogging.h"

Q_LOGGING_CATEGORY(lcApp, "velapp.app", QtWarningMsg)
Q_LOGGING_CATEGORY(lcData, "velapp.data", QtWarningMsg)
