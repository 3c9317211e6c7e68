#include "model/SaveOrRollBack.h"

#include "platform/objectstore/ModelContext.h"

std::optional<ModelStoreError> saveOrRollBack(ModelContext &context)
{
    try {
        context.save();
        return std::nullopt;
    } catch (const ModelStoreError &error) {
        context.rollback();
        return error;
    }
}
