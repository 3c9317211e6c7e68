#pragma once

#include "platform/objectstore/ModelConfiguration.h"
#include "platform/objectstore/ModelContainer.h"

#include <memory>

// The store configuration: in memory without iCloud under a test host;
// otherwise on disk, mirrored to the private iCloud database when
// "cloudSyncEnabled" is on in the standard user defaults (CloudSyncSettings).
ModelConfiguration makeModelConfiguration(const Schema &schema);
ModelConfiguration makeModelConfiguration(const Schema &schema, bool isRunningTestsOrCI, bool cloudSyncEnabled);

// The folder that the library's store lives in (the user's data folder for
// the application), also while it is kept in memory.
QString libraryFolder();

// The application's container from VeloranSchemaV1 and VeloranMigrationPlan.
// Throws the container's ModelStoreError unchanged.
std::unique_ptr<ModelContainer> makeModelContainer();
