#pragma once

#include "velhost_global.h"

#include <QString>

class QMutex;

// Locks with call-site diagnostics: a wait or a hold longer than 50 ms (or
// VELAPP_SLOW_LOCK_MS, for slow instrumented builds) is
// logged with the call sites involved.
class VELHOST_EXPORT VelMutex
{
public:
    static void lock(QMutex *mutex, QString file, int line, QString function);
    static void unlock(QMutex *mutex);
    static int slowHoldThresholdMs();
};
