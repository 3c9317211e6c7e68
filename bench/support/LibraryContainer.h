#pragma once

// A library on disk for the benchmarks, in the folder they choose.

#include "model/VeloranSchemaV1.h"
#include "platform/objectstore/ModelContainer.h"

#include <memory>

inline std::unique_ptr<ModelContainer> openLibrary(const QString &folder)
{
    ModelConfiguration configuration;
    configuration.schema = Schema(VeloranSchemaV1::versionedSchema());
    configuration.url = folder;
    return std::make_unique<ModelContainer>(configuration.schema, VeloranMigrationPlan::plan(),
                                            QList<ModelConfiguration>{configuration});
}
