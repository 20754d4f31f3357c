#include "velutils/velmutex.h"

#include "velcorelog.h"
#include "veltsan.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QThread>

#include <mutex>

namespace {

const int kDefaultSlowMs = 50;

// Sanitized builds run everything several times slower, so their test runs
// raise the threshold through VELAPP_SLOW_LOCK_MS instead of reporting
// holds that are only slow because of the instrumentation.
int slowMs()
{
    static const int ms = []() {
        bool ok = false;
        const int v = qEnvironmentVariableIntValue("VELAPP_SLOW_LOCK_MS", &ok);
        return ok && v > 0 ? v : kDefaultSlowMs;
    }();
    return ms;
}

struct LockSite
{
    QString file;
    int line = 0;
    QString function;
    Qt::HANDLE thread = nullptr;
    QElapsedTimer held;
    // The last caller that had to wait for this hold, for the slow-hold report.
    QString waiter;
    bool active = false;
};

QString describe(const QString &file, int line, const QString &function)
{
    return file % QLatin1Char(':') % QString::number(line) % QLatin1String(" (") % function %
           QLatin1Char(')');
}

QString describe(const LockSite &site)
{
    return describe(site.file, site.line, site.function);
}

// Who holds which mutex. Guarded by its own mutex, never held while waiting
// for a user mutex. An entry stays when its mutex is released and is reused
// by the next hold: locking is on every tick's path, and a table entry made
// and dropped each time costs an allocation. Entries of mutexes that are
// gone are dropped once there are many.
std::mutex &sitesLock()
{
    static std::mutex m;
    return m;
}

QHash<const QMutex *, LockSite> &sites()
{
    static QHash<const QMutex *, LockSite> h;
    return h;
}

} // namespace

void VelMutex::lock(QMutex *mutex, QString file, int line, QString function)
{
    if (!mutex) {
        qCWarning(lcVelLock).noquote()
            << "lock of a null mutex at" << describe(file, line, function);
        return;
    }
    if (!mutex->tryLock()) {
        QString holder;
        {
            std::lock_guard<std::mutex> guard(sitesLock());
            auto it = sites().find(mutex);
            if (it != sites().end() && it->active) {
                holder = describe(it.value());
                // A non-recursive mutex locked again by its holder never returns;
                // say where, since the process is about to hang.
                if (it->thread == QThread::currentThreadId())
                    qCCritical(lcVelLock).noquote()
                        << "mutex locked again by its holder at" << describe(file, line, function)
                        << "; held since" << holder;
                it->waiter = describe(file, line, function);
            }
        }
        QElapsedTimer waited;
        waited.start();
        mutex->lock();
        const qint64 ms = waited.elapsed();
        if (ms > slowMs())
            qCWarning(lcVelLock).noquote()
                << "waited" << ms << "ms at" << describe(file, line, function)
                << "for the mutex held at" << (holder.isEmpty() ? QStringLiteral("?") : holder);
    }
    // QMutex is opaque to ThreadSanitizer; say what it guards.
    VelTsan::acquire(mutex);
    std::lock_guard<std::mutex> guard(sitesLock());
    if (sites().size() > 4096) {
        for (auto it = sites().begin(); it != sites().end();)
            it = it->active ? std::next(it) : sites().erase(it);
    }
    LockSite &site = sites()[mutex];
    site.file = std::move(file);
    site.line = line;
    site.function = std::move(function);
    site.thread = QThread::currentThreadId();
    site.held.start();
    site.waiter.clear();
    site.active = true;
}

void VelMutex::unlock(QMutex *mutex)
{
    if (!mutex) {
        qCWarning(lcVelLock) << "unlock of a null mutex";
        return;
    }
    LockSite site;
    qint64 ms = -1;
    {
        std::lock_guard<std::mutex> guard(sitesLock());
        auto it = sites().find(mutex);
        if (it != sites().end() && it->active) {
            it->active = false;
            ms = it->held.elapsed();
            if (ms > slowMs())
                site = it.value();
        }
    }
    VelTsan::release(mutex);
    mutex->unlock();
    if (ms > slowMs()) {
        if (site.waiter.isEmpty())
            qCWarning(lcVelLock).noquote() << "held" << ms << "ms at" << describe(site);
        else
            qCWarning(lcVelLock).noquote()
                << "held" << ms << "ms at" << describe(site) << "while" << site.waiter << "waited";
    }
}

int VelMutex::slowHoldThresholdMs()
{
    return slowMs();
}
