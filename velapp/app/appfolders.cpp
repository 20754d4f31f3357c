#include "appfolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace AppFolders {

QString data(const QString &name)
{
    const QDir executableDir(QCoreApplication::applicationDirPath());
    const QString beside = executableDir.filePath(name);
    if (QFileInfo(beside).isDir())
        return beside;
    const QString shared =
        QDir::cleanPath(executableDir.filePath(QStringLiteral("../../share/velapp/") + name));
    return QFileInfo(shared).isDir() ? shared : beside;
}

} // namespace AppFolders
