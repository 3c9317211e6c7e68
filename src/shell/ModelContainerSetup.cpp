#include "shell/ModelContainerSetup.h"

#include "model/VeloranSchemaV1.h"
#include "platform/UserDefaults.h"
#include "shell/CloudSyncSettings.h"
#include "shell/Extensions.h"

#include <QFileInfo>

ModelConfiguration makeModelConfiguration(const Schema &schema, bool isRunningTestsOrCI, bool cloudSyncEnabled)
{
    ModelConfiguration configuration;
    configuration.name = std::nullopt;
    configuration.schema = schema;
    configuration.isStoredInMemoryOnly = isRunningTestsOrCI;
    configuration.allowsSave = true;
    configuration.groupContainer = GroupContainer::automatic();
    configuration.cloudKitDatabase = !isRunningTestsOrCI && cloudSyncEnabled
        ? CloudKitDatabase::privateDatabase(CloudSyncSettings::containerIdentifier())
        : CloudKitDatabase::none();
    return configuration;
}

ModelConfiguration makeModelConfiguration(const Schema &schema)
{
    return makeModelConfiguration(schema, ProcessInfo::isRunningTestsOrCI(),
                                   CloudSyncSettings::isEnabled(UserDefaults::standard()));
}

QString libraryFolder()
{
    ModelConfiguration onDisk;
    return QFileInfo(onDisk.storePath()).absolutePath();
}

std::unique_ptr<ModelContainer> makeModelContainer()
{
    const Schema schema(VeloranSchemaV1::versionedSchema());
    const ModelConfiguration configuration = makeModelConfiguration(schema);
    return std::make_unique<ModelContainer>(schema, VeloranMigrationPlan::plan(),
                                            QList<ModelConfiguration>{configuration});
}
