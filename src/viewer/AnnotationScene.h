#pragma once

#include "viewer/AnnotationCallout.h"
#include "viewer/CanvasGeometry.h"

#include <QList>
#include <QPolygonF>
#include <QRectF>
#include <QSet>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

class PointAnnotation;
class RegionAnnotation;

// One annotation as the overlay shows it, in unit image coordinates (0 to
// 1), every coordinate limited to the image.
struct AnnotationMark {
    QUuid id;
    AnnotationKind kind = AnnotationKind::point;
    QString label; // as shown: "Unlabelled" for an empty label
    bool hasLinks = false;
    // The point itself, or the mean of the region's corners.
    QPointF anchor;
    // Regions: the polygon, closing from its last corner to its first,
    // filled and hit by the non-zero rule.
    QPolygonF polygon;
    QRectF bounds;
};

// The visible marks of one image, made once from its annotations and the
// groups switched off, and then placed in any view: a point is shown unless
// all its groups are off, a region likewise when it has at least three
// corners. Points and regions keep the order of the image's lists.
class AnnotationScene {
public:
    AnnotationScene() = default;
    AnnotationScene(const QList<PointAnnotation *> &points, const QList<RegionAnnotation *> &regions,
                    const QSet<QString> &disabledGroups);

    const QList<AnnotationMark> &points() const { return m_points; }
    const QList<AnnotationMark> &regions() const { return m_regions; }
    // Every scene made gets a number of its own, so that what is derived
    // from one can tell it from its successor.
    quint64 generation() const { return m_generation; }

    // The same scene without the mark of `id`, or with the mark of a region
    // made again from it after it changed (in its place; the scene is kept
    // when the region has no mark in it): new scenes, made without reading
    // the other annotations again.
    AnnotationScene without(const QUuid &id) const;
    // The same scene with only the region marks whose ids `keep` holds to,
    // in their order, and all the points: a new scene, made likewise.
    AnnotationScene keepingRegions(const std::function<bool(const QUuid &)> &keep) const;
    AnnotationScene updated(const RegionAnnotation &region) const;

    // The callouts of the marks in the view of `geometry`, laid out: one per
    // point, then one per region, before layOutCallouts.
    QList<AnnotationCallout> callouts(const CanvasGeometry &geometry, const CalloutMetrics &metrics) const;

    // The topmost mark under a view point: a point within half the hit size
    // of its marker (points lie over regions, later ones over earlier
    // ones), else a region whose polygon holds it by the non-zero rule.
    std::optional<QUuid> markAt(const QPointF &viewPoint, const CanvasGeometry &geometry,
                                const CalloutMetrics &metrics) const;

    // The unit image point under a view point, not limited to the image.
    static QPointF unitPoint(const QPointF &viewPoint, const CanvasGeometry &geometry);

private:
    static std::optional<AnnotationMark> regionMark(const RegionAnnotation &region);
    void renumber();

    QList<AnnotationMark> m_points;
    QList<AnnotationMark> m_regions;
    quint64 m_generation = 0;
};
