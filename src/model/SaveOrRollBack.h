#pragma once

#include "platform/objectstore/ModelStoreError.h"

#include <optional>

class ModelContext;

// Ends a change of the library: saves the context, or, when the save fails,
// rolls the context back to its last saved state and answers the store's
// error. After a failure nothing of the change is left in memory, so no
// later save can write part of it. Callers report the error (or, for
// annotation edits, drop it).
std::optional<ModelStoreError> saveOrRollBack(ModelContext &context);
