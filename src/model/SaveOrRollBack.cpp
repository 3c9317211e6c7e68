#include "model/SaveOrRollBack.h"

#include "platform/objectstore/ModelContext.h"

#include <QFutureWatcher>

#include <memory>

std::optional<ModelStoreError> saveKeepingChanges(ModelContext &context)
{
    try {
        context.save();
        return std::nullopt;
    } catch (const ModelStoreError &error) {
        return error;
    }
}

std::optional<ModelStoreError> saveOrRollBack(ModelContext &context)
{
    std::optional<ModelStoreError> error = saveKeepingChanges(context);
    if (error)
        context.rollback();
    return error;
}

bool changeOncePrepared(ModelContext &context, const QList<QByteArray> &values, QObject *receiver,
                        std::function<void(const std::optional<ModelStoreError> &)> change)
{
    if (!context.keepsAnyInFile(values)) {
        change(std::nullopt);
        return false;
    }
    auto *watcher = new QFutureWatcher<PreparedValues>(receiver);
    QObject::connect(watcher, &QFutureWatcherBase::finished, receiver,
                     [&context, receiver, watcher, change = std::move(change)] {
                         // The only copy: the files no save took go when it does.
                         auto prepared = std::make_shared<const PreparedValues>(watcher->future().takeResult());
                         watcher->deleteLater();
                         // A change held meanwhile (an archive's merge) ends first.
                         context.whenUnheld(receiver, [prepared, change] { change(prepared->error()); });
                     });
    watcher->setFuture(context.prepareValues(values));
    return true;
}
