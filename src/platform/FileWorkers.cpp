#include "platform/FileWorkers.h"

#include <QThread>
#include <QThreadPool>

namespace {

struct SizedPool {
    QThreadPool pool;
    SizedPool() { pool.setMaxThreadCount(qBound(2, QThread::idealThreadCount(), 8)); }
};

} // namespace

QThreadPool &FileWorkers::pool()
{
    static SizedPool workers;
    return workers.pool;
}
