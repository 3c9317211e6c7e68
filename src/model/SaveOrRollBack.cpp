#include "model/SaveOrRollBack.h"

#include "platform/objectstore/ModelContext.h"

#include <QFutureWatcher>
#include <QPointer>

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

std::optional<ModelStoreError> saveOrRollBack(ModelContext &context,
                                              const std::function<void(StoreWrites &)> &addRows)
{
    std::optional<ModelStoreError> error;
    try {
        context.save(addRows);
    } catch (const ModelStoreError &e) {
        error = e;
    }
    if (error)
        context.rollback();
    return error;
}

void saveOrRollBackInBackground(ModelContext &context, QObject *receiver,
                                const std::function<void(StoreWrites &)> &addRows,
                                std::function<void(const std::optional<ModelStoreError> &)> done)
{
    // The context is the receiver of its own result, so that a failed
    // change is rolled back even when `receiver` has gone meanwhile.
    const QPointer<QObject> caller(receiver);
    const bool hasCaller = receiver != nullptr;
    context.saveInBackground(&context, addRows,
                             [&context, caller, hasCaller, done = std::move(done)](const std::optional<ModelStoreError> &error) {
                                 if (error)
                                     context.rollback();
                                 if (done && (caller || !hasCaller))
                                     done(error);
                             });
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
                         watcher->deleteLater();
                         // The only copy: the files no save took go when it does. Writing
                         // that failed in a way of its own (memory) is a failed save too.
                         std::shared_ptr<const PreparedValues> prepared;
                         try {
                             prepared = std::make_shared<const PreparedValues>(watcher->future().takeResult());
                         } catch (...) {
                             prepared.reset();
                         }
                         // A change held meanwhile (an archive's merge) ends first.
                         context.whenUnheld(receiver, [prepared, change] {
                             if (!prepared) {
                                 change(ModelStoreError(ModelStoreError::Code::saveFailed,
                                                        QObject::tr("The pictures couldn\u2019t be written to the library.")));
                                 return;
                             }
                             change(prepared->error());
                         });
                     });
    watcher->setFuture(context.prepareValues(values));
    return true;
}
