#pragma once

#include <QString>

// Where velapp's read-only data (skin/, translations/) are: beside the
// executable in a build tree, or in share/velapp of the prefix velapp is
// installed in (PREFIX/lib/velapp/velapp). Both are relative to the
// executable, so an installed tree can be moved.
namespace AppFolders {

// The folder name of the first of those places that holds it; the one
// beside the executable when neither does, so messages name a place.
QString data(const QString &name);

} // namespace AppFolders
