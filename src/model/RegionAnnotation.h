#pragma once

#include "model/AnnotationLink.h"
#include "model/LinkedAnnotation.h"
#include "model/TaggedAnnotation.h"
#include "model/Vertex.h"
#include "platform/objectstore/ModelObject.h"

#include <QList>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>

class AtlasImage;

// A labelled polygon on an image: its corners in drawing order, closing from
// the last back to the first. Vertices are always finite.
class RegionAnnotation final : public ModelObject, public TaggedAnnotation, public LinkedAnnotation {
    class Passkey {
        friend class RegionAnnotation;
        friend class RegionAnnotationEntity;
        Passkey() = default;
    };

public:
    static std::shared_ptr<RegionAnnotation> make(const QString &label = {}, const QString &group = {},
                                                  const std::optional<QList<AnnotationLink>> &links = std::nullopt,
                                                  const QList<Vertex> &vertices = {});

    explicit RegionAnnotation(Passkey);
    ~RegionAnnotation() override;

    static const EntityType &entity();
    const EntityType &entityType() const override;

    QUuid id() const { return m.id; }
    void setId(const QUuid &id);
    QString label() const { return m.label; }
    void setLabel(const QString &label);
    QString group() const override { return m.group; }
    void setGroup(const QString &group) override;
    std::optional<QList<AnnotationLink>> links() const override { return m.links; }
    void setLinks(const std::optional<QList<AnnotationLink>> &links) override;
    QList<Vertex> vertices() const { return m.vertices; }
    void setVertices(const QList<Vertex> &vertices);

    AtlasImage *image() const { return m.image; }
    void setImage(AtlasImage *image);

protected:
    void saveSnapshot() override;
    void restoreSnapshot() override;
    void discardSnapshot() override;

private:
    friend class RegionAnnotationEntity;
    friend class AtlasImage;

    struct Data {
        QUuid id;
        QString label;
        QString group;
        std::optional<QList<AnnotationLink>> links;
        QList<Vertex> vertices;
        AtlasImage *image = nullptr;
    };

    Data m;
    std::unique_ptr<Data> m_saved;
};
