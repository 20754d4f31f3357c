#pragma once

#include <QLoggingCategory>
#include <QString>

// Logging categories of the host core; all default to warnings.
Q_DECLARE_LOGGING_CATEGORY(lcVelPlugins)
Q_DECLARE_LOGGING_CATEGORY(lcVelBus)
Q_DECLARE_LOGGING_CATEGORY(lcVelMsg)
Q_DECLARE_LOGGING_CATEGORY(lcVelLock)

// Text from outside (a feed, a file) quoted for a message that must stay one
// line: quotes and backslashes escaped, control characters and halves of
// surrogate pairs as \uXXXX, and cut after `limit` characters with "...".
QString velQuoted(const QString &text, int limit = 40);
