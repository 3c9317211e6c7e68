#pragma once

#include "model/VeloranSchemaV1.h"
#include "platform/objectstore/ModelContainer.h"

#include <memory>

// Containers for tests: in memory, or on disk in a given folder.
inline ModelConfiguration testConfiguration(const QString &folder = {})
{
    ModelConfiguration configuration;
    configuration.schema = Schema(VeloranSchemaV1::versionedSchema());
    configuration.isStoredInMemoryOnly = folder.isEmpty();
    configuration.url = folder;
    return configuration;
}

inline std::unique_ptr<ModelContainer> makeTestContainer(const QString &folder = {})
{
    const ModelConfiguration configuration = testConfiguration(folder);
    return std::make_unique<ModelContainer>(configuration.schema, VeloranMigrationPlan::plan(),
                                            QList<ModelConfiguration>{configuration});
}
