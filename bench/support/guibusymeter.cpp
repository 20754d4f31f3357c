#include "guibusymeter.h"

#include <QAbstractEventDispatcher>
#include <QThread>

#include <time.h>

namespace {

qint64 threadCpuNs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

} // namespace

GuiBusyMeter::GuiBusyMeter(QObject *parent)
    : QObject(parent)
{
    m_clock.start();
    QAbstractEventDispatcher *dispatcher =
        QAbstractEventDispatcher::instance(QThread::currentThread());
    connect(dispatcher, &QAbstractEventDispatcher::awake, this, &GuiBusyMeter::onAwake);
    connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
            &GuiBusyMeter::onAboutToBlock);
    restart();
}

void GuiBusyMeter::restart()
{
    m_wall.start();
    m_restartAt = m_clock.nsecsElapsed();
    m_busyNs = 0;
    m_cpuAtRestartNs = threadCpuNs();
    // Running now: count from here.
    m_awakeAt = m_restartAt;
}

double GuiBusyMeter::busyPercent() const
{
    const qint64 now = m_clock.nsecsElapsed();
    qint64 busy = m_busyNs;
    if (m_awakeAt >= 0)
        busy += now - m_awakeAt;
    const qint64 wall = now - m_restartAt;
    return wall > 0 ? 100.0 * double(busy) / double(wall) : 0;
}

double GuiBusyMeter::cpuPercent() const
{
    const qint64 wall = m_clock.nsecsElapsed() - m_restartAt;
    return wall > 0 ? 100.0 * double(threadCpuNs() - m_cpuAtRestartNs) / double(wall) : 0;
}

void GuiBusyMeter::onAwake()
{
    // Nested event loops wake without blocking first; the outer span counts.
    if (m_awakeAt < 0)
        m_awakeAt = m_clock.nsecsElapsed();
}

void GuiBusyMeter::onAboutToBlock()
{
    if (m_awakeAt < 0)
        return;
    m_busyNs += m_clock.nsecsElapsed() - m_awakeAt;
    m_awakeAt = -1;
}
