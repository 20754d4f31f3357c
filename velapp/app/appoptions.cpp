#include "appoptions.h"

#include "applanguage.h"
#include "feed/listenfeed.h"
#include "files/actionsfile.h"
#include "files/replayfile.h"
#include "files/securitiesfile.h"
#include "market/valuation.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>

#include <cmath>
#include <limits>

#include <sys/stat.h>

namespace {

bool isDecimal(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

// A bounded non-negative int, or an error naming the option.
bool parseCount(const QString &option, const QString &text, qint64 max, int *value,
                QString *message)
{
    bool ok = isDecimal(text);
    const qint64 v = ok ? text.toLongLong(&ok) : 0;
    if (!ok || v > max) {
        *message = QStringLiteral("--%1: '%2' is not a whole number from 0 to %3")
                       .arg(option, text)
                       .arg(max);
        return false;
    }
    *value = int(v);
    return true;
}

// The folder an output file goes to must exist, so that the run is not
// wasted on a path that can never be written.
bool checkOutputPath(const QString &option, const QString &path, QString *message)
{
    const QFileInfo info(path);
    if (path.isEmpty() || info.isDir()) {
        *message = QStringLiteral("--%1: '%2' is not a file name").arg(option, path);
        return false;
    }
    if (!info.absoluteDir().exists()) {
        *message = QStringLiteral("--%1: the folder of '%2' does not exist").arg(option, path);
        return false;
    }
    return true;
}

// The options QApplication and its X11 platform take out of the command
// line for themselves. They are checked before it exists, so they are
// accepted here and left to it.
void addQtOptions(QCommandLineParser *parser)
{
    const QStringList withValue =
        QStringLiteral("platform platformpluginpath platformtheme plugin qwindowgeometry "
                       "qwindowicon qwindowtitle session style stylesheet qmljsdebugger "
                       "display geometry title icon name visual")
            .split(QLatin1Char(' '));
    const QStringList flags = QStringLiteral("reverse widgetcount testability sync nograb dograb")
                                  .split(QLatin1Char(' '));
    for (const QString &name : withValue) {
        QCommandLineOption option{name, QString(), QStringLiteral("value")};
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser->addOption(option);
    }
    for (const QString &name : flags) {
        QCommandLineOption option{name, QString()};
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser->addOption(option);
    }
}

// Whether two names reach the same file, through links too: the same
// device and inode, not the same text.
bool sameFile(const QString &a, const QString &b)
{
    struct stat first = {};
    struct stat second = {};
    return ::stat(QFile::encodeName(a).constData(), &first) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

} // namespace

QString AppOptions::versionText()
{
    return QStringLiteral("velapp " VELAPP_VERSION);
}

bool AppOptions::loadInputs(AppInputs *inputs, QString *message) const
{
    // The port is closed again at once; the run listens on it anew.
    return (securitiesFile.isEmpty() ||
            SecuritiesFile::load(securitiesFile, &inputs->securities, message)) &&
           (replayFile.isEmpty() ||
            ReplayFile::load(replayFile, &inputs->replay, message, &inputs->replayWarning)) &&
           (actionsFile.isEmpty() || ActionsFile::load(actionsFile, &inputs->actions, message)) &&
           (listenPort == 0 || ListenFeed().listen(listenPort, message));
}

AppOptions::ParseResult AppOptions::parse(const QStringList &arguments, AppOptions *options,
                                          QString *message)
{
    QCommandLineParser parser;
    // Qt's options are single-dash words (-platform offscreen); ours take
    // one or two dashes.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral(
        "Hosts page plugins (the option T-board) on a built-in or replayed market."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption plugins(QStringLiteral("plugins"),
                                     QStringLiteral("Loads the plugins of <dir>."),
                                     QStringLiteral("dir"));
    const QCommandLineOption securities(
        QStringLiteral("securities"),
        QStringLiteral("Reference data: a JSON array of security records."),
        QStringLiteral("file"));
    const QCommandLineOption replay(QStringLiteral("replay"),
                                    QStringLiteral("Plays the ticks of a JSON Lines file."),
                                    QStringLiteral("file"));
    const QCommandLineOption noFeed(QStringLiteral("no-feed"),
                                    QStringLiteral("Publishes no quotations."));
    const QCommandLineOption listen(
        QStringLiteral("listen"),
        QStringLiteral("Takes ticks (JSON Lines, as --replay but \"t\" ignored) from clients on "
                       "127.0.0.1:<port> instead of the simulator."),
        QStringLiteral("port"));
    const QCommandLineOption record(
        QStringLiteral("record"),
        QStringLiteral("Writes every published tick to <file>, a file --replay plays."),
        QStringLiteral("file"));
    const QCommandLineOption seed(QStringLiteral("seed"),
                                  QStringLiteral("Seed of the market simulator."),
                                  QStringLiteral("n"));
    const QCommandLineOption pages(QStringLiteral("pages"),
                                   QStringLiteral("Pages opened of each page type (default 1)."),
                                   QStringLiteral("n"));
    const QCommandLineOption quitAfter(QStringLiteral("quit-after"),
                                       QStringLiteral("Quits after <ms> milliseconds."),
                                       QStringLiteral("ms"));
    const QCommandLineOption actions(
        QStringLiteral("actions"),
        QStringLiteral("Replays a person's session: JSON Lines of actions on the replay's clock. "
                       "Without --quit-after, a run without a display ends 500 ms after the "
                       "last action; with a display it goes on."),
        QStringLiteral("file"));
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Saves the window as an image on quit."),
                                        QStringLiteral("file.png"));
    const QCommandLineOption dump(
        QStringLiteral("dump"), QStringLiteral("Writes the pages and bus events as JSON on quit."),
        QStringLiteral("file.json"));
    const QCommandLineOption print(QStringLiteral("print"),
                                   QStringLiteral("Prints every page's board on quit."));
    const QCommandLineOption rate(QStringLiteral("rate"),
                                  QStringLiteral("Risk-free rate of the option pricing (detail "
                                                 "pane, smile), from -1 to 1 (default 0.015)."),
                                  QStringLiteral("r"));
    const QCommandLineOption valuationTime(
        QStringLiteral("valuation-time"),
        QStringLiteral("Prices options as at this time, e.g. 2026-12-06T10:30:00+08:00, instead "
                       "of now, so runs and replays give the same figures."),
        QStringLiteral("iso"));
    const QCommandLineOption noRestore(
        QStringLiteral("no-restore"),
        QStringLiteral("Starts with the default window, pages and column order instead of those "
                       "of the last run (what this run arranges is saved all the same)."));
    const QCommandLineOption lang(
        QStringLiteral("lang"),
        QStringLiteral("Language of the window: en or zh (default: English under an English "
                       "locale, else Chinese)."),
        QStringLiteral("lang"));
    parser.addOptions({plugins, securities, replay, noFeed, listen, record, seed, pages, quitAfter,
                       actions, screenshot, dump, print, rate, valuationTime, noRestore, lang});
    addQtOptions(&parser);

    if (!parser.parse(arguments)) {
        *message = parser.errorText();
        return ParseResult::Error;
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        // "Usage: velapp", not the path it was started by: the text is also
        // the manual page's.
        *message = parser.helpText();
        if (!arguments.isEmpty())
            message->replace(QStringLiteral("Usage: ") + arguments.constFirst(),
                             QStringLiteral("Usage: velapp"));
        return ParseResult::HelpRequested;
    }
    if (parser.isSet(version)) {
        *message = versionText() + QLatin1Char('\n');
        return ParseResult::VersionRequested;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *message = QStringLiteral("unexpected argument '%1'")
                       .arg(parser.positionalArguments().constFirst());
        return ParseResult::Error;
    }

    AppOptions result;
    if (parser.isSet(plugins)) {
        result.pluginDir = parser.value(plugins);
        if (!QFileInfo(result.pluginDir).isDir()) {
            *message = QStringLiteral("--plugins: '%1' is not a folder").arg(result.pluginDir);
            return ParseResult::Error;
        }
    }
    if (parser.isSet(securities)) {
        result.securitiesFile = parser.value(securities);
        if (result.securitiesFile.isEmpty()) {
            *message = QStringLiteral("--securities: no file given");
            return ParseResult::Error;
        }
    }
    if (parser.isSet(replay) && parser.isSet(noFeed)) {
        *message = QStringLiteral("--replay and --no-feed exclude each other");
        return ParseResult::Error;
    }
    if (parser.isSet(replay)) {
        result.replayFile = parser.value(replay);
        if (result.replayFile.isEmpty()) {
            *message = QStringLiteral("--replay: no file given");
            return ParseResult::Error;
        }
    }
    result.noFeed = parser.isSet(noFeed);
    if (parser.isSet(listen)) {
        if (parser.isSet(replay) || parser.isSet(noFeed)) {
            *message = QStringLiteral("--listen excludes --replay and --no-feed");
            return ParseResult::Error;
        }
        const QString text = parser.value(listen);
        bool ok = isDecimal(text);
        const int port = ok ? text.toInt(&ok) : 0;
        if (!ok || port < 1 || port > 65535) {
            *message = QStringLiteral("--listen: '%1' is not a port from 1 to 65535")
                           .arg(parser.value(listen));
            return ParseResult::Error;
        }
        result.listenPort = quint16(port);
    }
    if (parser.isSet(record)) {
        result.recordFile = parser.value(record);
        if (!checkOutputPath(QStringLiteral("record"), result.recordFile, message))
            return ParseResult::Error;
        // Recording starts the file anew: it would cut the replay's source.
        if (!result.replayFile.isEmpty() && sameFile(result.recordFile, result.replayFile)) {
            *message = QStringLiteral("--record: '%1' is the --replay file '%2'; record to "
                                      "another file")
                           .arg(result.recordFile, result.replayFile);
            return ParseResult::Error;
        }
    }
    if (parser.isSet(seed)) {
        const QString text = parser.value(seed);
        bool ok = isDecimal(text);
        result.seed = ok ? text.toULongLong(&ok) : 0;
        if (!ok) {
            *message = QStringLiteral("--seed: '%1' is not a whole number from 0 to %2")
                           .arg(text)
                           .arg(std::numeric_limits<quint64>::max());
            return ParseResult::Error;
        }
        result.hasSeed = true;
    }
    if (parser.isSet(pages) && !parseCount(QStringLiteral("pages"), parser.value(pages), maxPages,
                                           &result.pages, message)) {
        return ParseResult::Error;
    }
    if (parser.isSet(quitAfter) &&
        !parseCount(QStringLiteral("quit-after"), parser.value(quitAfter),
                    std::numeric_limits<int>::max(), &result.quitAfterMs, message)) {
        return ParseResult::Error;
    }
    if (parser.isSet(actions)) {
        result.actionsFile = parser.value(actions);
        if (result.actionsFile.isEmpty()) {
            *message = QStringLiteral("--actions: no file given");
            return ParseResult::Error;
        }
    }
    if (parser.isSet(screenshot)) {
        result.screenshotFile = parser.value(screenshot);
        if (!checkOutputPath(QStringLiteral("screenshot"), result.screenshotFile, message))
            return ParseResult::Error;
        const QByteArray format = QFileInfo(result.screenshotFile).suffix().toLower().toLatin1();
        if (!QImageWriter::supportedImageFormats().contains(format)) {
            *message = QStringLiteral("--screenshot: '%1' does not end in a known image type "
                                      "such as .png")
                           .arg(result.screenshotFile);
            return ParseResult::Error;
        }
    }
    if (parser.isSet(dump)) {
        result.dumpFile = parser.value(dump);
        if (!checkOutputPath(QStringLiteral("dump"), result.dumpFile, message))
            return ParseResult::Error;
    }
    result.print = parser.isSet(print);
    result.noRestore = parser.isSet(noRestore);
    if (parser.isSet(rate)) {
        bool ok = false;
        result.rate = parser.value(rate).trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(result.rate) || result.rate < -1 || result.rate > 1) {
            *message =
                QStringLiteral("--rate: '%1' is not a number from -1 to 1").arg(parser.value(rate));
            return ParseResult::Error;
        }
    }
    if (parser.isSet(valuationTime)) {
        result.valuationTime = Valuation::parse(parser.value(valuationTime));
        if (!result.valuationTime.isValid()) {
            *message = QStringLiteral("--valuation-time: '%1' is not a time with its zone, such as "
                                      "2026-12-06T10:30:00+08:00")
                           .arg(parser.value(valuationTime));
            return ParseResult::Error;
        }
    }
    if (parser.isSet(lang)) {
        result.language = AppLanguage::normalise(parser.value(lang));
        if (result.language.isEmpty()) {
            *message = QStringLiteral("--lang: '%1' is not a language velapp has (en, zh)")
                           .arg(parser.value(lang));
            return ParseResult::Error;
        }
    }

    *options = result;
    return ParseResult::Ok;
}
