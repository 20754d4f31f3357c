#pragma once

#include <QMap>
#include <QVariantMap>

// A table row: column index -> cell record; a cell record maps the decimal
// text of an item role ("0", "256", "257", ...) to that role's value.
typedef QMap<int, QVariantMap> Row;
