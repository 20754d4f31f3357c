#pragma once

#include "files/actionsfile.h"
#include "files/replayfile.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

// What the files named on the command line hold, read once before any window.
struct AppInputs
{
    QList<QVariantMap> securities; // empty when no file is named
    QList<ReplayTick> replay;
    QString replayWarning; // a cut last line, left out
    QList<SessionAction> actions;
};

// What the command line asks of velapp. Parsing checks every value, so the
// rest of the application can trust them.
struct AppOptions
{
    enum class ParseResult { Ok, Error, HelpRequested, VersionRequested };

    QString pluginDir;      // empty: the "plugins" folder beside the executable
    QString securitiesFile; // empty: the built-in market
    QString replayFile;     // empty: simulator, unless noFeed
    bool noFeed = false;
    quint16 listenPort = 0; // 1-65535: ticks from clients on 127.0.0.1 instead
    QString recordFile;     // empty: published ticks are not recorded
    bool hasSeed = false;
    quint64 seed = 0;
    int pages = 1;        // pages opened of each page type
    int quitAfterMs = -1; // -1: run until the window is closed
    QString actionsFile;  // empty: no scripted session
    QString screenshotFile;
    QString dumpFile;
    bool print = false;
    double rate = 0.015;     // risk-free rate of the detail page's pricing
    QDateTime valuationTime; // invalid: price as at now
    QString language;        // "en" or "zh"; empty: the user's locale decides

    // Start with the default window, pages and column order.
    bool noRestore = false;

    // Runs made to produce files or text start the same on every machine:
    // they neither read nor write the saved window, pages and column order.
    bool headless() const
    {
        return print || quitAfterMs >= 0 || !actionsFile.isEmpty() || !screenshotFile.isEmpty() ||
               !dumpFile.isEmpty();
    }

    static constexpr int maxPages = 32;

    // arguments: as QCoreApplication::arguments(), program name first, Qt's
    // own GUI options (-platform, -style, ...) still in them; they are let
    // through for QApplication. On Error, message is one line; on
    // HelpRequested and VersionRequested it is the text to print. Needs a
    // QCoreApplication, not a QApplication.
    static ParseResult parse(const QStringList &arguments, AppOptions *options, QString *message);

    // Reads the securities, replay and actions files named and tries the
    // --listen port, so that a bad file or a taken port is refused before any
    // window; false with one line.
    bool loadInputs(AppInputs *inputs, QString *message) const;

    // "velapp 2.0.0": the project's version.
    static QString versionText();
};
