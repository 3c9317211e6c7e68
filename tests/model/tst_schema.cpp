#include "model/AtlasImage.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "model/Series.h"
#include "model/VeloranSchemaV1.h"

#include <QTest>

namespace {

QStringList names(const QList<PropertyDescription> &properties)
{
    QStringList result;
    for (const PropertyDescription &property : properties)
        result << property.name;
    return result;
}

PropertyDescription describedProperty(const EntityType &type, const QString &name)
{
    for (const PropertyDescription &property : type.properties()) {
        if (property.name == name)
            return property;
    }
    return {};
}

} // namespace

// The schema as the store sees it: version, models and property lists in
// declaration order, with their options and delete rules.
class SchemaTest : public QObject {
    Q_OBJECT
private slots:
    void versionAndModelsInOrder()
    {
        QCOMPARE(VeloranSchemaV1::versionIdentifier(), QVersionNumber(1, 0, 0));
        const Schema schema(VeloranSchemaV1::versionedSchema());
        QStringList models;
        for (const EntityType *type : schema.entities())
            models << type->name();
        QCOMPARE(models, (QStringList{"AtlasImage", "Series", "PointAnnotation", "RegionAnnotation"}));
        QCOMPARE(schema.entity(QStringLiteral("Series")), &Series::entity());

        const SchemaMigrationPlan plan = VeloranMigrationPlan::plan();
        QCOMPARE(plan.schemas.size(), 1);
        QCOMPARE(plan.schemas.first().versionIdentifier, QVersionNumber(1, 0, 0));
        QVERIFY(plan.stages.isEmpty());
    }

    void propertyListsInDeclarationOrder()
    {
        QCOMPARE(names(AtlasImage::entity().properties()),
                 (QStringList{"id", "title", "modalityRaw", "regionRaw", "planeRaw", "age", "sexRaw", "imageData",
                              "sortIndex", "createdAt", "series", "points", "regions"}));
        QCOMPARE(names(Series::entity().properties()), (QStringList{"id", "title", "createdAt", "images"}));
        QCOMPARE(names(PointAnnotation::entity().properties()),
                 (QStringList{"id", "label", "group", "links", "x", "y", "image"}));
        QCOMPARE(names(RegionAnnotation::entity().properties()),
                 (QStringList{"id", "label", "group", "links", "vertices", "image"}));
    }

    void optionsAndDeleteRules()
    {
        for (const char *name : {"title", "modalityRaw", "regionRaw", "planeRaw", "age", "sexRaw"})
            QCOMPARE(describedProperty(AtlasImage::entity(), QString::fromLatin1(name)).options,
                     int(PropertyDescription::allowsCloudEncryption));
        QCOMPARE(describedProperty(AtlasImage::entity(), QStringLiteral("imageData")).options,
                 int(PropertyDescription::externalStorage));
        for (const char *name : {"id", "sortIndex", "createdAt"})
            QCOMPARE(describedProperty(AtlasImage::entity(), QString::fromLatin1(name)).options, 0);
        QCOMPARE(describedProperty(PointAnnotation::entity(), QStringLiteral("label")).options,
                 int(PropertyDescription::allowsCloudEncryption));
        QCOMPARE(describedProperty(RegionAnnotation::entity(), QStringLiteral("vertices")).options, 0);

        // Cascades are declared on the to-many ends only.
        const PropertyDescription images = describedProperty(Series::entity(), QStringLiteral("images"));
        QVERIFY(images.isToMany && images.cascadeDelete);
        QCOMPARE(images.inverseName, QStringLiteral("series"));
        const PropertyDescription series = describedProperty(AtlasImage::entity(), QStringLiteral("series"));
        QVERIFY(!series.isToMany && !series.cascadeDelete);
        QVERIFY(describedProperty(AtlasImage::entity(), QStringLiteral("points")).cascadeDelete);
        QVERIFY(describedProperty(AtlasImage::entity(), QStringLiteral("regions")).cascadeDelete);
        QVERIFY(!describedProperty(PointAnnotation::entity(), QStringLiteral("image")).cascadeDelete);
        QCOMPARE(describedProperty(RegionAnnotation::entity(), QStringLiteral("image")).inverseName, QStringLiteral("regions"));
    }
};

QTEST_GUILESS_MAIN(SchemaTest)
#include "tst_schema.moc"
