#include "appcontroller.h"
#include "appoptions.h"

#include <QApplication>
#include <QLoggingCategory>

#include <cstdio>

namespace {

// Errors are one line, whatever the message holds.
void printError(const QString &message)
{
    QString line = message.trimmed();
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    std::fprintf(stderr, "velapp: %s\n", line.toUtf8().constData());
}

} // namespace

int main(int argc, char *argv[])
{
    // Pages trace every load and chain to the debug channel (megabytes a
    // minute); quiet by default, QT_LOGGING_RULES="default.debug=true" shows it.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velapp"));
    QApplication::setApplicationVersion(QStringLiteral("2.0.0"));

    AppOptions options;
    QString message;
    switch (AppOptions::parse(QApplication::arguments(), &options, &message)) {
    case AppOptions::ParseResult::HelpRequested:
        std::fputs(message.toUtf8().constData(), stdout);
        return 0;
    case AppOptions::ParseResult::Error:
        printError(message);
        return 2;
    case AppOptions::ParseResult::Ok:
        break;
    }

    AppController controller(options);
    if (!controller.prepare(&message)) {
        printError(message);
        return 2;
    }
    controller.start();
    const int result = app.exec();
    return controller.exitCode() != 0 ? controller.exitCode() : result;
}
