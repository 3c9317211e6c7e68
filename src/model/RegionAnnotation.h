#pragma once

#include "model/AnnotationLink.h"
#include "model/AnnotationModel.h"
#include "model/Vertex.h"

#include <QList>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>

class AtlasImage;

// The stored values of a RegionAnnotation.
struct RegionAnnotationValues {
    QUuid id;
    QString label;
    QString group;
    std::optional<QList<AnnotationLink>> links;
    QList<Vertex> vertices;
    AtlasImage *image = nullptr;
};

// A labelled polygon on an image: its corners in drawing order, closing from
// the last back to the first. Vertices are always finite.
class RegionAnnotation final : public AnnotationModel<RegionAnnotationValues> {
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

    // id, label, group and links: see AnnotationModel.
    QList<Vertex> vertices() const { return m.vertices; }
    void setVertices(const QList<Vertex> &vertices);

    AtlasImage *image() const { return m.image; }
    void setImage(AtlasImage *image);

private:
    using Data = RegionAnnotationValues;

    friend class RegionAnnotationEntity;
    friend class AtlasImage;
};
