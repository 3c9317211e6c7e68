#pragma once

// The benchmarks' libraries on disk: a container for the store in a folder.

#include "model/VeloranSchemaV1.h"
#include "platform/objectstore/ModelContainer.h"

#include <memory>

// The library whose store is in `folder` (made there when there is none).
inline std::unique_ptr<ModelContainer> openLibrary(const QString &folder)
{
    ModelConfiguration configuration;
    configuration.schema = Schema(VeloranSchemaV1::versionedSchema());
    configuration.url = folder;
    return std::make_unique<ModelContainer>(configuration.schema, VeloranMigrationPlan::plan(),
                                            QList<ModelConfiguration>{configuration});
}
