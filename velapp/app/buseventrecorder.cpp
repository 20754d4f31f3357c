#include "buseventrecorder.h"

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
