#pragma once

#include "model/AnnotationLink.h"
#include "model/AnnotationModel.h"

#include <QList>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>

class AtlasImage;

// The stored values of a PointAnnotation.
struct PointAnnotationValues {
    QUuid id;
    QString label;
    QString group;
    std::optional<QList<AnnotationLink>> links;
    double x = 0;
    double y = 0;
    AtlasImage *image = nullptr;
};

// A labelled point on an image, in unit image coordinates. Coordinates are
// always finite (see finiteCoordinate).
class PointAnnotation final : public AnnotationModel<PointAnnotationValues> {
    class Passkey {
        friend class PointAnnotation;
        friend class PointAnnotationEntity;
        Passkey() = default;
    };

public:
    static std::shared_ptr<PointAnnotation> make(const QString &label = {}, const QString &group = {},
                                                 const std::optional<QList<AnnotationLink>> &links = std::nullopt,
                                                 double x = 0, double y = 0);

    explicit PointAnnotation(Passkey);
    ~PointAnnotation() override;

    static const EntityType &entity();
    const EntityType &entityType() const override;

    // id, label, group and links: see AnnotationModel.
    double x() const { return m.x; }
    void setX(double x);
    double y() const { return m.y; }
    void setY(double y);

    // Setting the image lists the point among the image's points at once.
    AtlasImage *image() const { return m.image; }
    void setImage(AtlasImage *image);

private:
    using Data = PointAnnotationValues;

    friend class PointAnnotationEntity;
    friend class AtlasImage;
};
