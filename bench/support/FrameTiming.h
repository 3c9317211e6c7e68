#pragma once

// What the painting benchmarks share: timing a piece of work and reading
// percentiles of the times.

#include <QElapsedTimer>
#include <QList>

#include <time.h>

#include <algorithm>
#include <cmath>
#include <functional>

// The value below which `fraction` of the values lie (1 gives the largest).
inline double percentile(QList<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    return values.at(std::min<qsizetype>(values.size() - 1, qsizetype(std::ceil(fraction * values.size())) - 1));
}

// How long `work` takes, in ms.
inline double timed(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e6;
}

// The processor time of the whole process so far, all threads, in ms.
inline double processorMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}
