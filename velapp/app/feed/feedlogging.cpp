#include "feed/feedlogging.h"

Q_LOGGING_CATEGORY(lcFeed, "velapp.feed", QtWarningMsg)
