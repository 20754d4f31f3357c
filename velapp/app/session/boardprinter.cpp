#include "session/boardprinter.h"

#include "veldefine/velconstants.h"

#include <QJsonArray>
#include <QVector>

#include <cmath>

namespace {

QString valueText(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Double: {
        const double d = value.toDouble();
        if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e15)
            return QString::number(qint64(d));
        return QString::number(d, 'g', 12);
    }
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    default:
        return QString();
    }
}

QString padded(const QString &text, int width)
{
    return text + QString(qMax(0, width - BoardPrinter::displayWidth(text)), QLatin1Char(' '));
}

struct Line
{
    int depth;
    QStringList cells;
};

void collect(const QJsonArray &rows, int depth, QVector<Line> *lines)
{
    for (const QJsonValue &value : rows) {
        const QJsonObject row = value.toObject();
        const QJsonObject cells = row.value(QStringLiteral("cells")).toObject();
        Line line{depth, {}};
        for (int c = 0; c < BoardPrinter::shownColumns; ++c)
            line.cells.append(BoardPrinter::cellText(cells.value(QString::number(c)).toObject()));
        // Depth shows as the indent of the first cell.
        line.cells[0] = QString(2 * depth, QLatin1Char(' ')) + line.cells.at(0);
        lines->append(line);
        collect(row.value(QStringLiteral("children")).toArray(), depth + 1, lines);
    }
}

QString buttonText(const QJsonObject &button)
{
    QString text =
        QLatin1Char('[') + button.value(QStringLiteral("text")).toString() + QLatin1Char(']');
    if (button.value(QStringLiteral("checked")).toBool())
        text += QLatin1Char('*');
    return text;
}

// A linked page: its symbols with their point counts and last prices, or
// its figures, "--" where there is none.
QString linkedPageText(const QJsonObject &snapshot)
{
    QString out;
    const QJsonObject points = snapshot.value(QStringLiteral("points")).toObject();
    const QJsonObject last = snapshot.value(QStringLiteral("last")).toObject();
    for (const QJsonValue &symbol : snapshot.value(QStringLiteral("symbols")).toArray()) {
        const QString s = symbol.toString();
        if (s.isEmpty())
            continue;
        const QString price = valueText(last.value(s));
        out +=
            QStringLiteral("%1: %2 points, last %3\n")
                .arg(s, valueText(points.value(s)), price.isEmpty() ? QStringLiteral("--") : price);
    }
    const QJsonObject fields = snapshot.value(QStringLiteral("fields")).toObject();
    if (!fields.isEmpty())
        out += snapshot.value(QStringLiteral("symbol")).toString() + QLatin1Char('\n');
    for (auto it = fields.constBegin(); it != fields.constEnd(); ++it) {
        const QString value = valueText(it.value());
        out += it.key() + QStringLiteral(": ") + (value.isEmpty() ? QStringLiteral("--") : value) +
               QLatin1Char('\n');
    }
    return out;
}

QString percentText(const QJsonValue &value)
{
    return value.isDouble() ? QString::number(value.toDouble() * 100, 'f', 2) + QLatin1Char('%')
                            : QStringLiteral("--");
}

// A smile page: the fund and rate, then each expiry's days, forward and ATM
// volatility over its strikes' volatilities, "--" where there is none.
QString smileText(const QJsonObject &snapshot)
{
    QString out =
        snapshot.value(QStringLiteral("underlying")).toString() + QLatin1Char(' ') +
        BoardPrinter::tr("利率 %1").arg(valueText(snapshot.value(QStringLiteral("rate")))) +
        QLatin1Char('\n');
    for (const QJsonValue &v : snapshot.value(QStringLiteral("expiries")).toArray()) {
        const QJsonObject expiry = v.toObject();
        const QJsonValue forward = expiry.value(QStringLiteral("forward"));
        out += BoardPrinter::tr("%1 (%2天)")
                   .arg(expiry.value(QStringLiteral("date")).toString(),
                        valueText(expiry.value(QStringLiteral("days")))) +
               QStringLiteral(" F %1 ATM %2\n")
                   .arg(forward.isDouble() ? QString::number(forward.toDouble(), 'f', 4)
                                           : QStringLiteral("--"),
                        percentText(expiry.value(QStringLiteral("atmIv"))));
        for (const QJsonValue &p : expiry.value(QStringLiteral("points")).toArray()) {
            const QJsonObject point = p.toObject();
            out +=
                QStringLiteral("  %1 %2 %3\n")
                    .arg(point.value(QStringLiteral("side")).toString(),
                         QString::number(point.value(QStringLiteral("strike")).toDouble(), 'f', 3),
                         percentText(point.value(QStringLiteral("iv"))));
        }
    }
    return out;
}

} // namespace

int BoardPrinter::displayWidth(const QString &text)
{
    int width = 0;
    for (const QChar c : text) {
        const ushort u = c.unicode();
        const bool wide = (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0xA4CF) ||
                          (u >= 0xAC00 && u <= 0xD7A3) || (u >= 0xF900 && u <= 0xFAFF) ||
                          (u >= 0xFE30 && u <= 0xFE4F) || (u >= 0xFF00 && u <= 0xFF60) ||
                          (u >= 0xFFE0 && u <= 0xFFE6);
        if (c.isLowSurrogate())
            continue;
        width += wide ? 2 : 1;
    }
    return width;
}

QString BoardPrinter::cellText(const QJsonObject &cell)
{
    const QString display = valueText(cell.value(QStringLiteral("0")));
    if (!display.isEmpty())
        return display;
    const QString user = valueText(cell.value(QStringLiteral("256")));
    // A group row's key, which the board does not show.
    if (user == VelConst::ALL_PRICE)
        return QString();
    const int marker = user.indexOf(QStringLiteral("###"));
    if (marker < 0)
        return user;
    const QString level = user.mid(marker + 3);
    const QString value = user.left(marker);
    return level.isEmpty() || level == QLatin1String("0") ? value
                                                          : value + QLatin1Char('*') + level;
}

QString BoardPrinter::format(const QJsonObject &snapshot, const QStringList &captions)
{
    QString out;
    out += QStringLiteral("== ") + snapshot.value(QStringLiteral("title")).toString() +
           QStringLiteral(" ==\n");
    const QString kind = snapshot.value(QStringLiteral("kind")).toString();
    if (kind == QLatin1String("chart") || kind == QLatin1String("detail"))
        return out + linkedPageText(snapshot);
    if (kind == QLatin1String("smile"))
        return out + smileText(snapshot);

    const QJsonObject category = snapshot.value(QStringLiteral("category")).toObject();
    const QJsonObject underlying = snapshot.value(QStringLiteral("underlying")).toObject();
    out += tr("标的: ") + category.value(QStringLiteral("text")).toString() +
           QStringLiteral(" / ") + underlying.value(QStringLiteral("text")).toString();
    const QString symbol = underlying.value(QStringLiteral("symbol")).toString();
    if (!symbol.isEmpty())
        out += QStringLiteral(" (") + symbol + QLatin1Char(')');
    out += QLatin1Char('\n');

    QStringList buttons;
    const QJsonObject all = snapshot.value(QStringLiteral("allButton")).toObject();
    if (!all.isEmpty() && all.value(QStringLiteral("visible")).toBool())
        buttons.append(buttonText(all));
    for (const QJsonValue &v : snapshot.value(QStringLiteral("dateButtons")).toArray()) {
        if (v.toObject().value(QStringLiteral("visible")).toBool())
            buttons.append(buttonText(v.toObject()));
    }
    out += tr("日期: ") + buttons.join(QLatin1Char(' ')) + QLatin1Char('\n');
    out += snapshot.value(QStringLiteral("callCaption")).toString() + QStringLiteral(" | ") +
           snapshot.value(QStringLiteral("putCaption")).toString() + QLatin1Char('\n');

    QVector<Line> lines;
    collect(snapshot.value(QStringLiteral("rows")).toArray(), 0, &lines);
    // Fewer captions than columns leave the last heads blank.
    const QStringList heads = captions.mid(0, shownColumns);

    QVector<int> widths(shownColumns, 0);
    for (int c = 0; c < shownColumns; ++c)
        widths[c] = displayWidth(heads.value(c));
    for (const Line &line : qAsConst(lines)) {
        for (int c = 0; c < shownColumns; ++c)
            widths[c] = qMax(widths[c], displayWidth(line.cells.at(c)));
    }

    auto writeLine = [&](const QStringList &cells) {
        QStringList parts;
        for (int c = 0; c < shownColumns; ++c)
            parts.append(padded(cells.value(c), widths.at(c)));
        QString text = parts.join(QStringLiteral(" | "));
        // Trailing blanks only make diffs noisy.
        while (text.endsWith(QLatin1Char(' ')))
            text.chop(1);
        out += text + QLatin1Char('\n');
    };
    writeLine(heads);
    for (const Line &line : qAsConst(lines))
        writeLine(line.cells);
    if (lines.isEmpty())
        out += QStringLiteral("(no rows)\n");
    return out;
}
