#pragma once

#include <QList>
#include <QString>
#include <QVariantMap>

// One recorded tick: its offset from the start of the replay, its kind
// ("MDOPTIONRECORD" or "MDMARKETRECORD") and its fields.
struct ReplayTick
{
    qint64 t = 0;
    QString kind;
    QVariantMap fields;
};

// Reads a --replay file (JSON Lines, one tick a line, in time order). The
// whole file is checked before anything plays: the first fault is reported
// as one line naming the file, the line and the fault. One exception: a last
// line cut short (no newline, not a tick) is left out with a warning.
class ReplayFile
{
public:
    static bool load(const QString &path, QList<ReplayTick> *ticks, QString *error,
                     QString *warning = nullptr);
    static bool parse(const QByteArray &text, const QString &path, QList<ReplayTick> *ticks,
                      QString *error, QString *warning = nullptr);
    // One line of a live feed: as a replay line, but "t" is ignored (t = 0) and
    // the values are left to the host's edge, which refuses and counts them.
    static bool parseLiveTick(const QByteArray &line, ReplayTick *tick, QString *fault);

    // Offsets beyond this (about 31 years) are refused rather than waited for.
    static constexpr qint64 maxOffsetMs = 1000000000000LL;
};
