#pragma once

// Qt's QReadWriteLock is compiled without ThreadSanitizer, which therefore
// cannot see the ordering the lock provides and reports its readers and
// writers as racing. These holds lock as QReadLocker/QWriteLocker do and
// tell ThreadSanitizer about the ordering; elsewhere they are plain lockers.

#include <QReadWriteLock>

#if defined(__SANITIZE_THREAD__)
#define VELHOST_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VELHOST_TSAN 1
#endif
#endif

#ifdef VELHOST_TSAN
extern "C" void __tsan_acquire(void *addr);
extern "C" void __tsan_release(void *addr);
#endif

namespace VelTsan {

inline void acquired(QReadWriteLock *lock)
{
#ifdef VELHOST_TSAN
    __tsan_acquire(lock);
#else
    Q_UNUSED(lock)
#endif
}

inline void releasing(QReadWriteLock *lock)
{
#ifdef VELHOST_TSAN
    __tsan_release(lock);
#else
    Q_UNUSED(lock)
#endif
}

class ReadHold
{
public:
    explicit ReadHold(QReadWriteLock *lock)
        : m_locker(lock)
        , m_lock(lock)
    {
        acquired(m_lock);
    }
    ~ReadHold() { releasing(m_lock); }
    ReadHold(const ReadHold &) = delete;
    ReadHold &operator=(const ReadHold &) = delete;

private:
    QReadLocker m_locker;
    QReadWriteLock *m_lock;
};

class WriteHold
{
public:
    explicit WriteHold(QReadWriteLock *lock)
        : m_locker(lock)
        , m_lock(lock)
    {
        acquired(m_lock);
    }
    ~WriteHold() { releasing(m_lock); }
    WriteHold(const WriteHold &) = delete;
    WriteHold &operator=(const WriteHold &) = delete;

private:
    QWriteLocker m_locker;
    QReadWriteLock *m_lock;
};

} // namespace VelTsan
