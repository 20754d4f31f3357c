#pragma once

#include <QLoggingCategory>

// The feeds' category ("velapp.feed"), defaulting to warnings.
Q_DECLARE_LOGGING_CATEGORY(lcFeed)
