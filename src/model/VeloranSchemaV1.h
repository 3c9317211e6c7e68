#pragma once

#include "platform/objectstore/Schema.h"

#include <QList>
#include <QVersionNumber>

// The library's schema, version 1.0.0: AtlasImage, Series, PointAnnotation
// and RegionAnnotation, in that order.
struct VeloranSchemaV1 {
    static QVersionNumber versionIdentifier();
    static QList<const EntityType *> models();
    static VersionedSchema versionedSchema();
};

// The schemas the library has had ([VeloranSchemaV1]) and the stages
// between them (none yet).
struct VeloranMigrationPlan {
    static QList<VersionedSchema> schemas();
    static QList<MigrationStage> stages();
    static SchemaMigrationPlan plan();
};
