#include "applanguage.h"

#include "appfolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QTranslator>

namespace AppLanguage {

QString normalise(const QString &name)
{
    // The language part of a locale name: "en" of "en_GB.UTF-8@euro".
    QString code = name.trimmed().toLower();
    int end = 0;
    while (end < code.size() && code.at(end).isLetter())
        ++end;
    code.truncate(end);
    if (code == QLatin1String("en") || code == QLatin1String("zh"))
        return code;
    return QString();
}

QString fromEnvironment()
{
    for (const char *variable : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = qEnvironmentVariable(variable).section(QLatin1Char(':'), 0, 0);
        if (!value.isEmpty())
            return normalise(value) == QLatin1String("en") ? QStringLiteral("en")
                                                           : QStringLiteral("zh");
    }
    return QStringLiteral("zh");
}

QString translationsDir()
{
    return AppFolders::data(QStringLiteral("translations"));
}

bool install(const QString &language, QString *error)
{
    if (language != QLatin1String("en"))
        return true;
    auto *translator = new QTranslator(QCoreApplication::instance());
    const QString file = QStringLiteral("velapp_") + language;
    if (!translator->load(file, translationsDir())) {
        delete translator;
        *error = QStringLiteral("no translation %1.qm in %2; the window stays Chinese")
                     .arg(file, QDir::toNativeSeparators(translationsDir()));
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}

} // namespace AppLanguage
