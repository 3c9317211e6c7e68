#include "platform/WorkerPools.h"

#include <QThread>
#include <QThreadPool>

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

QThreadPool &WorkerPools::computing()
{
    return *QThreadPool::globalInstance();
}
