#include "session/buseventrecorder.h"

#include "velmsg/packmessage.h"
#include "velwidget/velbusobserver.h"

#include <QJsonObject>

BusEventRecorder::BusEventRecorder() = default;

BusEventRecorder::~BusEventRecorder()
{
    detach();
}

void BusEventRecorder::attach()
{
    VelBusObserver::setEventObserver(
        [this](int type, const QString &src, const QVariant &msg) { record(type, src, msg); });
    m_attached = true;
}

void BusEventRecorder::detach()
{
    if (!m_attached)
        return;
    VelBusObserver::setEventObserver({});
    m_attached = false;
}

void BusEventRecorder::record(int type, const QString &src, const QVariant &msg)
{
    // Unpacked only when dumped: recording must not slow the bus down.
    std::lock_guard<std::mutex> locker(m_lock);
    m_events.append({type, src, msg});
}

void BusEventRecorder::recordActionError(int line, const QString &text)
{
    std::lock_guard<std::mutex> locker(m_lock);
    m_events.append({0, text, QVariant(), qMax(1, line)});
}

int BusEventRecorder::count() const
{
    std::lock_guard<std::mutex> locker(m_lock);
    return m_events.size();
}

QJsonArray BusEventRecorder::toJson() const
{
    QList<Event> events;
    {
        std::lock_guard<std::mutex> locker(m_lock);
        events = m_events;
    }
    QJsonArray result;
    for (const Event &event : qAsConst(events)) {
        if (event.actionLine > 0) {
            result.append(QJsonObject{{QStringLiteral("type"), QStringLiteral("action-error")},
                                      {QStringLiteral("line"), event.actionLine},
                                      {QStringLiteral("text"), event.src}});
            continue;
        }
        CUnPackMessageCommon unpack;
        unpack.SetUnPackMsg(event.msg, false);
        QJsonArray rows;
        const QList<QVariantMap> unpacked = unpack.rows();
        for (const QVariantMap &row : unpacked)
            rows.append(QJsonObject::fromVariantMap(row));
        QJsonObject o;
        o.insert(QStringLiteral("type"), event.type);
        o.insert(QStringLiteral("src"), event.src);
        o.insert(QStringLiteral("rows"), rows);
        result.append(o);
    }
    return result;
}
