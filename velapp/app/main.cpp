#include "appcontroller.h"
#include "applanguage.h"
#include "appoptions.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>

#include <cstdio>
#include <initializer_list>
#include <vector>

#include <unistd.h>

namespace {

QtMessageHandler g_qtHandler = nullptr;

// The offscreen platform says, for every window, what it cannot do; none of
// it matters to a run without a screen.
void quietPlatformHandler(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (text.startsWith(QLatin1String("This plugin does not support")))
        return;
    if (g_qtHandler)
        g_qtHandler(type, context, text);
}

bool hasArgument(int argc, char *argv[], std::initializer_list<const char *> names)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        for (const char *name : names) {
            if (arg == name || arg.startsWith(QByteArray(name) + '='))
                return true;
        }
    }
    return false;
}

// Runs that only produce files or text need no screen: without a display
// they go offscreen rather than abort, and they get the private runtime
// folder a desktop session would have given them.
void prepareHeadless(int argc, char *argv[])
{
    // An empty variable is as good as none.
    const bool display =
        !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (!display && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        !hasArgument(argc, argv, {"-platform", "--platform"}) &&
        hasArgument(argc, argv, {"--print", "--dump", "--screenshot", "--actions"}))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")) {
        const QString dir =
            QDir::temp().filePath(QStringLiteral("runtime-velapp-%1").arg(getuid()));
        if (QDir().mkpath(dir) &&
            QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir));
    }
    g_qtHandler = qInstallMessageHandler(quietPlatformHandler);
}

// Errors are one line, whatever the message holds.
void printError(const QString &message)
{
    QString line = message.trimmed();
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    std::fprintf(stderr, "velapp: %s\n", line.toUtf8().constData());
}

// Answers help, version and a refused command line or input file on the
// terminal, before Qt's GUI starts: it needs no display. Returns the exit
// code, or -1 when the run goes on with options.
int checkCommandLine(int argc, char *argv[], AppOptions *options, AppInputs *inputs)
{
    // QCoreApplication may take options of its own out of argv; QApplication
    // must see them all, so it gets a copy.
    std::vector<char *> coreArgv(argv, argv + argc);
    coreArgv.push_back(nullptr);
    int coreArgc = argc;
    QCoreApplication core(coreArgc, coreArgv.data());
    QString message;
    switch (AppOptions::parse(QCoreApplication::arguments(), options, &message)) {
    case AppOptions::ParseResult::HelpRequested:
    case AppOptions::ParseResult::VersionRequested:
        std::fputs(message.toUtf8().constData(), stdout);
        return 0;
    case AppOptions::ParseResult::Error:
        printError(message);
        return 2;
    case AppOptions::ParseResult::Ok:
        break;
    }
    if (!options->loadInputs(inputs, &message)) {
        printError(message);
        return 2;
    }
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    // Pages trace every load and chain to the debug channel (megabytes a
    // minute); quiet by default, QT_LOGGING_RULES="default.debug=true" shows it.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    AppOptions options;
    AppInputs inputs;
    const int answered = checkCommandLine(argc, argv, &options, &inputs);
    if (answered >= 0)
        return answered;

    prepareHeadless(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velapp"));
    QApplication::setApplicationVersion(QStringLiteral(VELAPP_VERSION));

    // Before any window: pages take their texts when they are built.
    QString message;
    const QString language =
        options.language.isEmpty() ? AppLanguage::fromEnvironment() : options.language;
    if (!AppLanguage::install(language, &message))
        printError(message);

    AppController controller(options);
    if (!controller.prepare(std::move(inputs), &message)) {
        printError(message);
        return 2;
    }
    controller.start();
    const int result = app.exec();
    return controller.exitCode() != 0 ? controller.exitCode() : result;
}
