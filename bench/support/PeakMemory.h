#pragma once

// The benchmarks' measure of memory: the process's peak resident size.

#include <QByteArray>
#include <QFile>

// The peak resident size in KiB (VmHWM), or -1 where it cannot be read.
inline qint64 peakResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}
