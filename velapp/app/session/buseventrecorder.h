#pragma once

#include <QJsonArray>
#include <QList>
#include <QString>
#include <QVariant>

#include <mutex>

// Keeps every event published on the host's bus while attached, in order,
// for velapp's --dump, and the scripted actions that could not apply.
class BusEventRecorder
{
public:
    BusEventRecorder();
    ~BusEventRecorder();

    void attach();
    void detach();
    // Thread-safe; the bus calls it from the publishing thread.
    void record(int type, const QString &src, const QVariant &msg);
    // An --actions line that could not apply, among the events in time order.
    void recordActionError(int line, const QString &text);
    int count() const;
    // [{"type": 213331, "src": "...", "rows": [{...}, ...]},
    //  {"type": "action-error", "line": 3, "text": "..."}, ...]
    QJsonArray toJson() const;

private:
    struct Event
    {
        int type;
        QString src; // for an action error: its text
        QVariant msg;
        int actionLine = 0; // above 0: an action error
    };
    mutable std::mutex m_lock; // seen by the thread sanitizer, unlike QMutex
    QList<Event> m_events;
    bool m_attached = false;
};
