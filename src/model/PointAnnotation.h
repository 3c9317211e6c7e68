#pragma once

#include "model/AnnotationLink.h"
#include "model/LinkedAnnotation.h"
#include "model/TaggedAnnotation.h"
#include "platform/objectstore/ModelObject.h"

#include <QList>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>

class AtlasImage;

// A labelled point on an image, in unit image coordinates. Coordinates are
// always finite (see finiteCoordinate).
class PointAnnotation final : public ModelObject, public TaggedAnnotation, public LinkedAnnotation {
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

    QUuid id() const { return m.id; }
    void setId(const QUuid &id);
    QString label() const { return m.label; }
    void setLabel(const QString &label);
    QString group() const override { return m.group; }
    void setGroup(const QString &group) override;
    std::optional<QList<AnnotationLink>> links() const override { return m.links; }
    void setLinks(const std::optional<QList<AnnotationLink>> &links) override;
    double x() const { return m.x; }
    void setX(double x);
    double y() const { return m.y; }
    void setY(double y);

    // Setting the image lists the point among the image's points at once.
    AtlasImage *image() const { return m.image; }
    void setImage(AtlasImage *image);

protected:
    void saveSnapshot() override;
    void restoreSnapshot() override;
    void discardSnapshot() override;

private:
    friend class PointAnnotationEntity;
    friend class AtlasImage;

    struct Data {
        QUuid id;
        QString label;
        QString group;
        std::optional<QList<AnnotationLink>> links;
        double x = 0;
        double y = 0;
        AtlasImage *image = nullptr;
    };

    Data m;
    std::unique_ptr<Data> m_saved;
};
