#include "platform/WorkerPools.h"

#include "platform/MemoryBudget.h"

#include <QThread>
#include <QThreadPool>

#include <unistd.h>

#include <algorithm>

namespace {

struct SizedPool {
    QThreadPool pool;
    SizedPool(int threads, QThread::Priority priority)
    {
        pool.setMaxThreadCount(threads);
        pool.setThreadPriority(priority);
    }
};

} // namespace

QThreadPool &WorkerPools::files()
{
    static SizedPool workers(std::clamp(QThread::idealThreadCount(), 2, 8), QThread::InheritPriority);
    return workers.pool;
}

QThreadPool &WorkerPools::decoding()
{
    static SizedPool workers(std::clamp(QThread::idealThreadCount() / 2, 1, 4), QThread::LowPriority);
    return workers.pool;
}

MemoryBudget &WorkerPools::decodingMemory()
{
    static MemoryBudget budget([] {
        constexpr qint64 mebibyte = 1024 * 1024;
        const long pages = sysconf(_SC_PHYS_PAGES);
        const long pageSize = sysconf(_SC_PAGESIZE);
        const qint64 physical = pages > 0 && pageSize > 0 ? qint64(pages) * pageSize : 4096 * mebibyte;
        return std::clamp(physical / 4, 512 * mebibyte, 2048 * mebibyte);
    }());
    return budget;
}

QThreadPool &WorkerPools::computing()
{
    return *QThreadPool::globalInstance();
}
