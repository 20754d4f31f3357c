#pragma once

#include "velhost_global.h"

// Qt's locks are built without ThreadSanitizer, which then cannot see the
// ordering a QReadWriteLock (or a contended QMutex) gives and reports the
// data it guards as racing. Code that takes such a lock directly calls
// acquired() right after locking and releasing() right before unlocking;
// both do nothing outside ThreadSanitizer builds.
class VELHOST_EXPORT VelLockOrder
{
public:
    static void acquired(const void *lock);
    static void releasing(const void *lock);
};
