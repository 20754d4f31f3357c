#include "feed/tickrecorder.h"

#include "feed/feedlogging.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <cerrno>
#include <cstring>

TickRecorder::TickRecorder() = default;

TickRecorder::~TickRecorder()
{
    stop();
}

bool TickRecorder::open(const QString &path, QString *error)
{
    m_path = path;
    m_file.setFileName(path);
    // Unbuffered: a batch reaches the system in one write, so a failure is
    // known with its reason and the file can be cut back to whole lines.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        *error = QStringLiteral("--record: %1: cannot write: %2").arg(path, m_file.errorString());
        return false;
    }
    return true;
}

void TickRecorder::start()
{
    if (!m_file.isOpen() || m_writer)
        return;
    {
        std::lock_guard<std::mutex> locker(m_lock);
        m_clock.start();
        m_recording = true;
    }
    m_writer = QThread::create([this] { write(); });
    m_writer->setObjectName(QStringLiteral("velapp recorder"));
    m_writer->start();
}

void TickRecorder::record(const QString &kind, const QVariantMap &fields)
{
    std::lock_guard<std::mutex> locker(m_lock);
    if (!m_recording)
        return;
    if (m_queue.size() >= maxQueued) {
        fail(QStringLiteral("%1 ticks wait for the disk").arg(m_queue.size()));
        m_wake.notify_one();
        return;
    }
    m_queue.push_back({m_clock.elapsed(), kind, fields});
    if (m_queue.size() == 1)
        m_wake.notify_one();
}

void TickRecorder::stop()
{
    if (!m_writer)
        return;
    {
        std::lock_guard<std::mutex> locker(m_lock);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_writer->wait();
    // QThread::wait() is invisible to ThreadSanitizer; the lock shows the order.
    std::lock_guard<std::mutex> locker(m_lock);
    delete m_writer;
    m_writer = nullptr;
}

// Called with m_lock held.
void TickRecorder::fail(const QString &reason)
{
    if (m_failed)
        return;
    m_failed = true;
    m_recording = false;
    m_queue.clear();
    qCWarning(lcFeed).noquote()
        << QStringLiteral("--record: %1: %2; recording stopped").arg(m_path, reason);
}

void TickRecorder::write()
{
    for (;;) {
        std::vector<Entry> batch;
        {
            std::unique_lock<std::mutex> locker(m_lock);
            m_wake.wait(locker, [this] { return !m_queue.empty() || m_stopping || m_failed; });
            if (m_failed || (m_queue.empty() && m_stopping))
                break;
            batch.swap(m_queue);
        }
        QByteArray text;
        for (const Entry &entry : batch) {
            QJsonObject object = QJsonObject::fromVariantMap(entry.fields);
            object.insert(QStringLiteral("t"), entry.t);
            object.insert(QStringLiteral("type"), entry.kind);
            text += QJsonDocument(object).toJson(QJsonDocument::Compact);
            text += '\n';
        }
        errno = 0;
        if (m_file.write(text) != text.size()) {
            const int code = errno;
            QString reason = m_file.errorString();
            if (code != 0 && (reason.isEmpty() || reason == QLatin1String("Unknown error")))
                reason = QString::fromLocal8Bit(std::strerror(code));
            // What the failed write left is a cut line; the file ends on whole ones.
            m_file.resize(m_written);
            std::lock_guard<std::mutex> locker(m_lock);
            fail(QStringLiteral("cannot write: %1").arg(reason));
            break;
        }
        m_written += text.size();
    }
    m_file.close();
    std::lock_guard<std::mutex> locker(m_lock);
    m_recording = false;
}
