#ifndef TAVRIN_SUPPORT_PROCESSMEMORY_H
#define TAVRIN_SUPPORT_PROCESSMEMORY_H

#include <QtGlobal>

// What the kernel reports about a process's memory.
class ProcessMemory
{
public:
    // VmRSS from /proc/<pid>/status in kB, or -1 when the process is gone.
    static qint64 residentKb(qint64 pid);
};

#endif
