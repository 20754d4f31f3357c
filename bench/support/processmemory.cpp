#include "processmemory.h"

#include <QFile>

#include <malloc.h>

qint64 ProcessMemory::rssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (;;) {
        const QByteArray line = status.readLine();
        if (line.isEmpty())
            return -1;
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
}

qint64 ProcessMemory::trimmedRssKb()
{
    malloc_trim(0);
    return rssKb();
}

qint64 ProcessMemory::heapInUseKb()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64((info.uordblks + info.hblkhd) / 1024);
}
