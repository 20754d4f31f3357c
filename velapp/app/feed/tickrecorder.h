#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QVariantMap>

#include <condition_variable>
#include <mutex>
#include <vector>

class QThread;

// --record: every published tick appended to a file in the replay format,
// "t" counted from start(). Publishing threads only queue; a writer thread
// of its own writes, so no feed and not the GUI thread waits on the disk.
class TickRecorder
{
public:
    TickRecorder();
    ~TickRecorder();

    // Creates the file (anew) on the calling thread.
    bool open(const QString &path, QString *error);
    // The clock's zero (the base-data event); the writer starts.
    void start();
    // Any thread. Ignored before start(), after stop() and after a failure.
    void record(const QString &kind, const QVariantMap &fields);
    // Writes what is queued, closes the file and ends the writer.
    void stop();

    // Ticks queued beyond this mean the disk does not keep up.
    static constexpr size_t maxQueued = 1000000;

private:
    struct Entry
    {
        qint64 t;
        QString kind;
        QVariantMap fields;
    };

    void write();
    void fail(const QString &reason);

    QString m_path;
    QFile m_file;         // the writer thread's once it started
    qint64 m_written = 0; // bytes of whole lines in the file
    QThread *m_writer = nullptr;
    QElapsedTimer m_clock;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::vector<Entry> m_queue;
    bool m_recording = false;
    bool m_stopping = false;
    bool m_failed = false;
};
