#pragma once

#include <QString>

// The language of the window. Chinese is what the sources say, so it needs
// no translator; English comes from velapp_en.qm in translationsDir().
namespace AppLanguage {

// "en" or "zh" for a name as --lang or a locale gives it ("en", "en_GB",
// "zh-CN", "en_US.UTF-8"); empty for a language velapp does not have.
QString normalise(const QString &name);
// From the user's locale: the first of LANGUAGE (its first entry), LC_ALL,
// LC_MESSAGES and LANG that is set; "en" when it names English, else "zh".
QString fromEnvironment();
// Where the built translations are.
QString translationsDir();
// Makes language ("en" or "zh") the window's language; call before any
// window exists. False with a one-line message when its file is missing
// or unreadable (the window then stays Chinese).
bool install(const QString &language, QString *error);

} // namespace AppLanguage
