#pragma once

#include <QCoreApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Every target needs an application object for Qt's event machinery, and
// none wants the page's debug lines on its output.
inline void fuzzInitQt(int *argc, char ***argv)
{
    qputenv("QT_LOGGING_RULES", "*.debug=false;*.warning=false");
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &msg) {
        if (type == QtFatalMsg) {
            fprintf(stderr, "%s\n", qPrintable(msg));
            abort();
        }
    });
    static QCoreApplication app(*argc, *argv);
}

#include <QByteArray>
#include <QRegularExpression>
#include <QString>

// A refusal is one line, "<path>:<line>: <fault>", whose line lies in the text.
inline bool isOneLineRefusal(const QString &error, const QString &path, const QByteArray &text)
{
    if (error.isEmpty() || error.contains(QLatin1Char('\n')) || error.contains(QLatin1Char('\r')))
        return false;
    static const QRegularExpression shape(QStringLiteral("^(.*?):([0-9]+): \\S"));
    const QRegularExpressionMatch match = shape.match(error);
    if (!match.hasMatch() || match.captured(1) != path)
        return false;
    const int line = match.captured(2).toInt();
    return line >= 1 && line <= text.count('\n') + 1;
}
