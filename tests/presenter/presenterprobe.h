#pragma once

#include <velwidget/velpresenterclass.h>
#include <velwidget/velrow.h>

#include <mutex>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

class PresenterClass;

// Waits generous enough for a machine shared with parallel builds.
#define TRY_COMPARE(expr, expected) QTRY_COMPARE_WITH_TIMEOUT(expr, expected, 30000)
#define TRY_VERIFY(expr) QTRY_VERIFY_WITH_TIMEOUT(expr, 30000)

// Stands in for the frame: takes the presenter's signals over queued
// connections on the GUI thread, as the page wires them, and keeps the table
// the way the host's model does (rows found by columns 7 and 15; an update
// replaces the cells it carries; an unknown row is ignored).
class ViewProbe : public QObject
{
    Q_OBJECT
public:
    explicit ViewProbe(PresenterClass *presenter);

    static QString identity(const Row &row);
    static QString text(const Row &row, int column, const QString &role = QStringLiteral("256"));
    // The blink level of a "256" text ending in "###n", or -1.
    static int level(const Row &row, int column);
    // Update rows of an option's strike row; refresh rows (with their time
    // stamp column) or tick rows.
    QList<Row> updatesOf(const QString &strikeKey, const QString &date, bool refreshRows) const;
    Row tableRow(const QString &strikeKey, const QString &date) const;
    QStringList tableKeys() const;

    QList<QList<Row>> lists;
    QList<Row> updates;
    QList<QStringList> strikeDateLists;
    QStringList symmetryNames;
    QStringList comboUnderlyings;
    QList<QVariantMap> callPut; // call, put, call, put, ...
    int baseDataFinished = 0;
    int dataLoadFinished = 0;
    QList<Row> table;
};

// A second page on the bus: records the events of the types it subscribed to
// (delivered on the bus thread) and publishes events as a page does.
class BusProbe : public VelPresenterClass
{
public:
    struct Event
    {
        int type;
        QString src;
        QList<QVariantMap> rows;
    };
    BusProbe(const QString &pid, const QList<int> &types);
    ~BusProbe() override;
    void ProcEventMsg(QString src, QVariant type, QVariant msg) override;
    QList<Event> events() const;
    void send(int type, const QList<QVariantMap> &rows);

private:
    mutable std::mutex m_mutex; // visible to ThreadSanitizer, unlike QMutex
    QList<Event> m_events;
};
