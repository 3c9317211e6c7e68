#include "model/VeloranSchemaV1.h"

#include "model/AtlasImage.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "model/Series.h"

QVersionNumber VeloranSchemaV1::versionIdentifier()
{
    return QVersionNumber(1, 0, 0);
}

QList<const EntityType *> VeloranSchemaV1::models()
{
    return {&AtlasImage::entity(), &Series::entity(), &PointAnnotation::entity(), &RegionAnnotation::entity()};
}

VersionedSchema VeloranSchemaV1::versionedSchema()
{
    return {versionIdentifier(), models()};
}

QList<VersionedSchema> VeloranMigrationPlan::schemas()
{
    return {VeloranSchemaV1::versionedSchema()};
}

QList<MigrationStage> VeloranMigrationPlan::stages()
{
    return {};
}

SchemaMigrationPlan VeloranMigrationPlan::plan()
{
    return {schemas(), stages()};
}
