#include "model/PointAnnotation.h"

#include "model/AnnotationStorage.h"
#include "model/AtlasImage.h"
#include "model/UnitCoordinate.h"
#include "platform/objectstore/Schema.h"
#include "platform/objectstore/StoreValues.h"

#include <QSqlQuery>

class PointAnnotationEntity final : public EntityType {
public:
    QString name() const override { return QStringLiteral("PointAnnotation"); }

    QList<PropertyDescription> properties() const override
    {
        using P = PropertyDescription;
        return PointAnnotation::commonProperties()
            << P::attribute(QStringLiteral("x")) << P::attribute(QStringLiteral("y"))
            << P::toOne(QStringLiteral("image"), QStringLiteral("points"));
    }

    const RelationshipDescription *toOneRelationship() const override { return &AtlasImage::pointsRelationship(); }

    QStringList createStatements() const override
    {
        // Doubles are declared without a type so SQLite keeps them bit for bit
        // (a REAL column would store -0.0 as 0).
        return PointAnnotation::tableStatements(name(), QStringLiteral("x, y"));
    }

    QStringList columns() const override
    {
        return PointAnnotation::commonColumns() << QStringLiteral("x") << QStringLiteral("y");
    }

    std::shared_ptr<ModelObject> materialize(const StoreRow &row, int first) const override
    {
        auto point = std::make_shared<PointAnnotation>(PointAnnotation::Passkey());
        PointAnnotation::Data &m = point->m;
        PointAnnotation::readCommonColumns(m, row, first);
        m.x = row.real(first + 4);
        m.y = row.real(first + 5);
        return point;
    }

    void bindColumns(QVariantList &values, const ModelObject &object) const override
    {
        const PointAnnotation::Data &m = static_cast<const PointAnnotation &>(object).m;
        PointAnnotation::bindCommonColumns(values, m);
        values << finiteCoordinate(m.x);
        values << finiteCoordinate(m.y);
    }
};

PointAnnotation::PointAnnotation(Passkey)
{
}

PointAnnotation::~PointAnnotation()
{
    unlinkRelationships();
}

std::shared_ptr<PointAnnotation> PointAnnotation::make(const QString &label, const QString &group,
                                                       const std::optional<QList<AnnotationLink>> &links, double x,
                                                       double y)
{
    auto point = std::make_shared<PointAnnotation>(Passkey());
    point->assignNew(label, group, links);
    point->m.x = finiteCoordinate(x);
    point->m.y = finiteCoordinate(y);
    return point;
}

const EntityType &PointAnnotation::entity()
{
    static const PointAnnotationEntity type;
    return type;
}

const EntityType &PointAnnotation::entityType() const
{
    return entity();
}

void PointAnnotation::setX(double x)
{
    write(&Data::x, finiteCoordinate(x), "x");
}

void PointAnnotation::setY(double y)
{
    write(&Data::y, finiteCoordinate(y), "y");
}

void PointAnnotation::setImage(AtlasImage *image)
{
    setParent(AtlasImage::pointsRelationship(), image);
}
