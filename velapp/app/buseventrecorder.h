#pragma once

#include <QJsonArray>
#include <QList>
#include <QString>
#include <QVariant>

#include <mutex>

// Keeps every event published on the host's bus while attached, in order,
// for velapp's --dump.
class BusEventRecorder
{
public:
    BusEventRecorder();
    ~BusEventRecorder();

    void attach();
    void detach();
    // Thread-safe; the bus calls it from the publishing thread.
    void record(int type, const QString &src, const QVariant &msg);
    int count() const;
    // [{"type": 213331, "src": "...", "rows": [{...}, ...]}, ...]
    QJsonArray toJson() const;

private:
    struct Event
    {
        int type;
        QString src;
        QVariant msg;
    };
    mutable std::mutex m_lock; // seen by the thread sanitizer, unlike QMutex
    QList<Event> m_events;
    bool m_attached = false;
};
