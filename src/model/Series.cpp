#include "model/Series.h"

#include "model/AtlasImage.h"
#include "platform/objectstore/Schema.h"
#include "platform/objectstore/StoreStatement.h"
#include "platform/objectstore/StoreValues.h"

#include <QSqlQuery>

class SeriesEntity final : public EntityType {
public:
    QString name() const override { return QStringLiteral("Series"); }

    QList<PropertyDescription> properties() const override
    {
        using P = PropertyDescription;
        return {P::attribute(QStringLiteral("id")), P::attribute(QStringLiteral("title"), P::allowsCloudEncryption),
                P::attribute(QStringLiteral("createdAt")),
                P::toManyCascade(QStringLiteral("images"), QStringLiteral("series"))};
    }

    QList<const RelationshipDescription *> toManyRelationships() const override
    {
        return {&Series::imagesRelationship()};
    }

    QStringList createStatements() const override
    {
        // createdAt has no declared type so SQLite keeps it bit for bit.
        return {QStringLiteral("CREATE TABLE Series (rowKey INTEGER PRIMARY KEY, id BLOB, title TEXT, createdAt)")};
    }

    QStringList columns() const override
    {
        return {QStringLiteral("id"), QStringLiteral("title"), QStringLiteral("createdAt")};
    }

    std::shared_ptr<ModelObject> materialize(const StoreRow &row, int first) const override
    {
        auto series = std::make_shared<Series>(Series::Passkey());
        series->m.id = row.uuid(first);
        series->m.title = row.text(first + 1);
        series->m.createdAt = Date{row.real(first + 2)};
        return series;
    }

    void bindColumns(QVariantList &values, const ModelObject &object) const override
    {
        const auto &series = static_cast<const Series &>(object);
        values << StoreValues::fromUuid(series.m.id);
        values << series.m.title;
        values << series.m.createdAt.secondsSinceReferenceDate;
    }
};

Series::Series(Passkey)
{
}

Series::~Series()
{
    unlinkRelationships();
}

std::shared_ptr<Series> Series::make(const QString &title)
{
    auto series = std::make_shared<Series>(Passkey());
    series->m.id = QUuid::createUuid();
    series->m.title = title;
    series->m.createdAt = Date::now();
    return series;
}

const EntityType &Series::entity()
{
    static const SeriesEntity type;
    return type;
}

const EntityType &Series::entityType() const
{
    return entity();
}

const RelationshipDescription &Series::imagesRelationship()
{
    static const RelationshipDescription relationship{
        []() -> const EntityType * { return &Series::entity(); },
        "images",
        []() -> const EntityType * { return &AtlasImage::entity(); },
        "series",
        "seriesKey",
        true,
        [](ModelObject *parent) -> RelationList & { return static_cast<Series *>(parent)->m_images; },
        [](const ModelObject *child) -> ModelObject * { return static_cast<const AtlasImage *>(child)->m.series; },
        [](ModelObject *child, ModelObject *parent) {
            static_cast<AtlasImage *>(child)->m.series = static_cast<Series *>(parent);
        },
    };
    return relationship;
}

void Series::setId(const QUuid &id)
{
    write(&Data::id, id, "id");
}

void Series::setTitle(const QString &title)
{
    write(&Data::title, title, "title");
}

void Series::setCreatedAt(Date createdAt)
{
    write(&Data::createdAt, createdAt, "createdAt");
}

QList<AtlasImage *> Series::images() const
{
    return modelCast<AtlasImage>(children(imagesRelationship()));
}

void Series::setImages(const QList<AtlasImage *> &images)
{
    setChildren(imagesRelationship(), QList<ModelObject *>(images.begin(), images.end()));
}

bool Series::isEmpty() const
{
    return children(imagesRelationship()).isEmpty();
}
