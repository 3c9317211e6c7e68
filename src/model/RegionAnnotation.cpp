#include "model/RegionAnnotation.h"

#include "model/AnnotationStorage.h"
#include "model/AtlasImage.h"
#include "model/UnitCoordinate.h"
#include "platform/objectstore/Schema.h"
#include "platform/objectstore/StoreValues.h"

#include <QSqlQuery>

class RegionAnnotationEntity final : public EntityType {
public:
    QString name() const override { return QStringLiteral("RegionAnnotation"); }

    QList<PropertyDescription> properties() const override
    {
        using P = PropertyDescription;
        return RegionAnnotation::commonProperties() << P::attribute(QStringLiteral("vertices"))
                                                    << P::toOne(QStringLiteral("image"), QStringLiteral("regions"));
    }

    const RelationshipDescription *toOneRelationship() const override { return &AtlasImage::regionsRelationship(); }

    QStringList createStatements() const override
    {
        return RegionAnnotation::tableStatements(name(), QStringLiteral("vertices BLOB"));
    }

    QStringList columns() const override
    {
        return RegionAnnotation::commonColumns() << QStringLiteral("vertices");
    }

    std::shared_ptr<ModelObject> materialize(const StoreRow &row, int first) const override
    {
        auto region = std::make_shared<RegionAnnotation>(RegionAnnotation::Passkey());
        RegionAnnotation::Data &m = region->m;
        RegionAnnotation::readCommonColumns(m, row, first);
        m.vertices = AnnotationStorage::verticesFromColumn(row.blob(first + 4));
        return region;
    }

    void bindColumns(QVariantList &values, const ModelObject &object) const override
    {
        const RegionAnnotation::Data &m = static_cast<const RegionAnnotation &>(object).m;
        RegionAnnotation::bindCommonColumns(values, m);
        values << AnnotationStorage::verticesToColumn(m.vertices);
    }
};

RegionAnnotation::RegionAnnotation(Passkey)
{
}

RegionAnnotation::~RegionAnnotation()
{
    unlinkRelationships();
}

std::shared_ptr<RegionAnnotation> RegionAnnotation::make(const QString &label, const QString &group,
                                                         const std::optional<QList<AnnotationLink>> &links,
                                                         const QList<Vertex> &vertices)
{
    auto region = std::make_shared<RegionAnnotation>(Passkey());
    region->assignNew(label, group, links);
    region->m.vertices = finiteVertices(vertices);
    return region;
}

const EntityType &RegionAnnotation::entity()
{
    static const RegionAnnotationEntity type;
    return type;
}

const EntityType &RegionAnnotation::entityType() const
{
    return entity();
}

void RegionAnnotation::setVertices(const QList<Vertex> &vertices)
{
    write(&Data::vertices, finiteVertices(vertices), "vertices");
}

void RegionAnnotation::setImage(AtlasImage *image)
{
    setParent(AtlasImage::regionsRelationship(), image);
}
