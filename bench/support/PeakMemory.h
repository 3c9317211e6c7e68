#pragma once

// The benchmarks' measures of memory: the process's resident size now and
// at its peak.

#include <QByteArray>
#include <QFile>

// A field of /proc/self/status in KiB ("VmHWM:", "VmRSS:"), or -1 where it
// cannot be read.
inline qint64 statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// The peak resident size in KiB (VmHWM), or -1 where it cannot be read.
inline qint64 peakResidentKiB()
{
    return statusKiB("VmHWM:");
}

// The resident size now in KiB (VmRSS), or -1 where it cannot be read.
inline qint64 residentKiB()
{
    return statusKiB("VmRSS:");
}

// Starts the peak resident size afresh from the size now (Linux 4.0 and
// later); false where the system doesn't allow it.
inline bool resetPeakResident()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}
