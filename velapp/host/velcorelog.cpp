#include "velcorelog.h"

Q_LOGGING_CATEGORY(lcVelPlugins, "velapp.plugins", QtWarningMsg)
Q_LOGGING_CATEGORY(lcVelBus, "velapp.bus", QtWarningMsg)
Q_LOGGING_CATEGORY(lcVelMsg, "velapp.msg", QtWarningMsg)
Q_LOGGING_CATEGORY(lcVelLock, "velapp.lock", QtWarningMsg)

QString velQuoted(const QString &text, int limit)
{
    QString quoted(QLatin1Char('"'));
    int i = 0;
    for (; i < qMin(limit, text.size()); ++i) {
        const QChar c = text.at(i);
        const ushort u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            quoted += c;
            quoted += text.at(++i); // a pair stays whole
        } else if (u == '"' || u == '\\') {
            quoted += QLatin1Char('\\');
            quoted += c;
        } else if (u < 0x20 || u == 0x7f || c.isSurrogate()) {
            // Half a pair is no text: a regular expression refuses the line.
            quoted += QStringLiteral("\\u%1").arg(u, 4, 16, QLatin1Char('0'));
        } else {
            quoted += c;
        }
    }
    return quoted + (i < text.size() ? QStringLiteral("...\"") : QStringLiteral("\""));
}
