#pragma once

#include <QLoggingCategory>

// The application's own categories; all default to warnings. The feeds log
// under "velapp.feed" (feed/feedlogging.h), plugin loading under the host's
// "velapp.plugins".
Q_DECLARE_LOGGING_CATEGORY(lcApp)
Q_DECLARE_LOGGING_CATEGORY(lcData)
