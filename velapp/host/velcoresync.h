#pragma once

// The Qt libraries are not built with ThreadSanitizer, so hand-overs through
// Qt's own mutexes and event queues are invisible to it. These mark the ones
// the host relies on; they compile to nothing in other builds.
#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
inline void velTsanRelease(const void *p)
{
    __tsan_release(const_cast<void *>(p));
}
inline void velTsanAcquire(const void *p)
{
    __tsan_acquire(const_cast<void *>(p));
}
#else
inline void velTsanRelease(const void *) {}
inline void velTsanAcquire(const void *) {}
#endif
