#pragma once

// What the benchmarks on a library on disk share: opening the store in a
// folder (made when missing) as the application does.

#include "model/VeloranSchemaV1.h"
#include "platform/objectstore/ModelContainer.h"

#include <QList>
#include <QString>

#include <memory>

inline std::unique_ptr<ModelContainer> openStoredLibrary(const QString &folder)
{
    ModelConfiguration configuration;
    configuration.schema = Schema(VeloranSchemaV1::versionedSchema());
    configuration.url = folder;
    return std::make_unique<ModelContainer>(configuration.schema, VeloranMigrationPlan::plan(),
                                            QList<ModelConfiguration>{configuration});
}
