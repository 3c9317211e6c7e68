#pragma once

#include "platform/Date.h"
#include "platform/objectstore/StoredModel.h"

#include <QList>
#include <QString>
#include <QUuid>

#include <memory>

class AtlasImage;
struct RelationshipDescription;

// The stored values of a Series.
struct SeriesValues {
    QUuid id;
    QString title;
    Date createdAt;
};

// An ordered group of images (ordered by their sortIndex; the list itself
// keeps insertion order). Deleting a series deletes its images.
class Series final : public StoredModel<SeriesValues> {
    class Passkey {
        friend class Series;
        friend class SeriesEntity;
        Passkey() = default;
    };

public:
    static std::shared_ptr<Series> make(const QString &title = {});

    explicit Series(Passkey); // an empty object for make() and the store
    ~Series() override;

    static const EntityType &entity();
    const EntityType &entityType() const override;

    QUuid id() const { return m.id; }
    void setId(const QUuid &id);
    QString title() const { return m.title; }
    void setTitle(const QString &title);
    Date createdAt() const { return m.createdAt; }
    void setCreatedAt(Date createdAt);

    QList<AtlasImage *> images() const;
    void setImages(const QList<AtlasImage *> &images);

    // True when the series holds no image.
    bool isEmpty() const;

    static const RelationshipDescription &imagesRelationship();

private:
    using Data = SeriesValues;

    friend class SeriesEntity;
    friend class AtlasImage;

    RelationList m_images;
};
