#include "model/SaveOrRollBack.h"

#include "platform/objectstore/ModelContext.h"

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
