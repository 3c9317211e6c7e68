#include "platform/MainActorTask.h"

#include <QCoreApplication>
#include <QMetaObject>

void MainActorTask::start(std::function<void()> operation)
{
    QCoreApplication *application = QCoreApplication::instance();
    if (!application || !operation)
        return;
    QMetaObject::invokeMethod(application, std::move(operation), Qt::QueuedConnection);
}
