#pragma once

#include <QElapsedTimer>
#include <QObject>

// Share of wall time the GUI thread is busy: from the event dispatcher's
// awake() to its next aboutToBlock(), summed, over the time measured. The
// thread's CPU time over the same span is kept as a cross-check. Create and
// read it on the GUI thread.
class GuiBusyMeter : public QObject
{
    Q_OBJECT
public:
    explicit GuiBusyMeter(QObject *parent = nullptr);

    void restart();
    // Busy share in per cent since restart().
    double busyPercent() const;
    // CPU time of the thread in per cent of wall time since restart().
    double cpuPercent() const;
    qint64 elapsedMs() const { return m_wall.elapsed(); }

private:
    void onAwake();
    void onAboutToBlock();

    QElapsedTimer m_wall;
    QElapsedTimer m_clock;
    qint64 m_awakeAt = -1; // ns on m_clock, -1 while blocked
    qint64 m_busyNs = 0;
    qint64 m_restartAt = 0;
    qint64 m_cpuAtRestartNs = 0;
};
