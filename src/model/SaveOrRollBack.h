#pragma once

#include "platform/objectstore/ModelStoreError.h"

#include <optional>

class ModelContext;

// Ends a change of the library: saves the context, or, when the save fails,
// rolls the context back to its last saved state and answers the store's
// error. After a failure nothing of the change is left in memory, so no
// later save can write part of it. Callers report the error.
std::optional<ModelStoreError> saveOrRollBack(ModelContext &context);

// Saves the context and answers the store's error, keeping the changes in
// memory when the save fails, so that the next save writes them again: for
// the annotation editor, whose edits stay on screen until they are stored.
std::optional<ModelStoreError> saveKeepingChanges(ModelContext &context);
