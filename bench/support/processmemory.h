#pragma once

#include <QtGlobal>

// The process's resident set (VmRSS of /proc/self/status).
class ProcessMemory
{
public:
    static qint64 rssKb();
    // Returns freed heap pages to the system first (glibc malloc_trim), so
    // that what remains is memory in use rather than allocator slack.
    static qint64 trimmedRssKb();
    // Heap bytes the program holds (glibc mallinfo2, all arenas): grows with
    // what is kept, not with allocator slack or fragmentation.
    static qint64 heapInUseKb();
};
