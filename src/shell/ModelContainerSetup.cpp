#include "shell/ModelContainerSetup.h"

#include "model/VeloranSchemaV1.h"
#include "shell/Extensions.h"

#include <QSettings>

QString cloudContainerIdentifier()
{
    return QStringLiteral("iCloud.app.veloran.Veloran");
}

bool cloudSyncEnabledSetting()
{
    return QSettings().value(QStringLiteral("cloudSyncEnabled"), false).toBool();
}

ModelConfiguration makeModelConfiguration(const Schema &schema, bool isRunningTestsOrCI, bool cloudSyncEnabled)
{
    ModelConfiguration configuration;
    configuration.name = std::nullopt;
    configuration.schema = schema;
    configuration.isStoredInMemoryOnly = isRunningTestsOrCI;
    configuration.allowsSave = true;
    configuration.groupContainer = GroupContainer::automatic();
    configuration.cloudKitDatabase = !isRunningTestsOrCI && cloudSyncEnabled
        ? CloudKitDatabase::privateDatabase(cloudContainerIdentifier())
        : CloudKitDatabase::none();
    return configuration;
}

ModelConfiguration makeModelConfiguration(const Schema &schema)
{
    return makeModelConfiguration(schema, ProcessInfo::isRunningTestsOrCI(), cloudSyncEnabledSetting());
}

std::unique_ptr<ModelContainer> makeModelContainer()
{
    const Schema schema(VeloranSchemaV1::versionedSchema());
    const ModelConfiguration configuration = makeModelConfiguration(schema);
    return std::make_unique<ModelContainer>(schema, VeloranMigrationPlan::plan(),
                                            QList<ModelConfiguration>{configuration});
}
