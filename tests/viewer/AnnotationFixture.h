#pragma once

// An atlas image with points and regions made for a test, kept alive by the
// fixture.

#include "model/AtlasImage.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"

#include <QList>
#include <QUuid>

#include <memory>
#include <vector>

struct AnnotationFixture {
    std::shared_ptr<AtlasImage> image = AtlasImage::make(QStringLiteral("Test"));
    std::vector<std::shared_ptr<PointAnnotation>> points;
    std::vector<std::shared_ptr<RegionAnnotation>> regions;

    PointAnnotation *point(const QString &label, const QString &group, double x, double y,
                           const QList<AnnotationLink> &links = {})
    {
        auto point = PointAnnotation::make(label, group, links, x, y);
        point->setImage(image.get());
        points.push_back(point);
        return point.get();
    }

    RegionAnnotation *region(const QString &label, const QString &group, const QList<Vertex> &vertices,
                             const QList<AnnotationLink> &links = {})
    {
        auto region = RegionAnnotation::make(label, group, links, vertices);
        region->setImage(image.get());
        regions.push_back(region);
        return region.get();
    }

    // A square of `side` centred at (x, y), unit coordinates.
    static QList<Vertex> square(double x, double y, double side)
    {
        const double h = side / 2;
        return {{x - h, y - h}, {x + h, y - h}, {x + h, y + h}, {x - h, y + h}};
    }
};

inline AnnotationLink webLink(const QString &label, const QString &address)
{
    return {QUuid::createUuid(), label, address};
}
