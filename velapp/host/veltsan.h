#pragma once

// The Qt libraries are not built with ThreadSanitizer, so the ordering that
// Qt's own locks and event queues provide is invisible to it and it reports
// the data they guard as racing. These mark the hand-overs the host relies
// on; outside ThreadSanitizer builds they compile to nothing (the holds are
// then plain QMutexLocker/QReadLocker/QWriteLocker).

#include <QMutex>
#include <QReadWriteLock>

#if defined(__SANITIZE_THREAD__)
#define VELHOST_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VELHOST_TSAN 1
#endif
#endif

#ifdef VELHOST_TSAN
#include <sanitizer/tsan_interface.h>
#endif

namespace VelTsan {

// Everything written before release(p) is visible after a later acquire(p).
inline void release(const void *p)
{
#ifdef VELHOST_TSAN
    __tsan_release(const_cast<void *>(p));
#else
    Q_UNUSED(p)
#endif
}

inline void acquire(const void *p)
{
#ifdef VELHOST_TSAN
    __tsan_acquire(const_cast<void *>(p));
#else
    Q_UNUSED(p)
#endif
}

template<typename Locker, typename Lock> class Hold
{
public:
    explicit Hold(Lock *lock)
        : m_locker(lock)
        , m_lock(lock)
    {
        acquire(m_lock);
    }
    ~Hold() { release(m_lock); }
    Hold(const Hold &) = delete;
    Hold &operator=(const Hold &) = delete;

private:
    Locker m_locker;
    Lock *m_lock;
};

using MutexHold = Hold<QMutexLocker, QMutex>;
using ReadHold = Hold<QReadLocker, QReadWriteLock>;
using WriteHold = Hold<QWriteLocker, QReadWriteLock>;

} // namespace VelTsan
