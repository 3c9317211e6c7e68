#include "viewer/AnnotationScene.h"

#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "viewer/ImageAnnotations.h"


#include <atomic>

namespace {

double unit(double value)
{
    if (value <= 0)
        return 0;
    return value > 1 ? 1 : value;
}

template<class Annotation>
AnnotationMark markOf(const Annotation &annotation, AnnotationKind kind)
{
    AnnotationMark mark;
    mark.id = annotation.id();
    mark.kind = kind;
    mark.label = shownAnnotationLabel(annotation.label());
    mark.hasLinks = !annotationLinkFilter(annotation).isEmpty();
    return mark;
}

} // namespace

AnnotationScene::AnnotationScene(const QList<PointAnnotation *> &points, const QList<RegionAnnotation *> &regions,
                                 const QSet<QString> &disabledGroups)
{
    renumber();
    for (const PointAnnotation *point : points) {
        if (!isVisible(parseGroupNames(point->group()), disabledGroups))
            continue;
        AnnotationMark mark = markOf(*point, AnnotationKind::point);
        mark.anchor = {unit(point->x()), unit(point->y())};
        mark.bounds = QRectF(mark.anchor, QSizeF(0, 0));
        m_points.append(mark);
    }
    for (const RegionAnnotation *region : regions) {
        if (!isVisible(parseGroupNames(region->group()), disabledGroups))
            continue;
        if (std::optional<AnnotationMark> mark = regionMark(*region))
            m_regions.append(std::move(*mark));
    }
}

std::optional<AnnotationMark> AnnotationScene::regionMark(const RegionAnnotation &region)
{
    const QList<Vertex> vertices = region.vertices();
    if (vertices.size() < 3)
        return std::nullopt;
    AnnotationMark mark = markOf(region, AnnotationKind::region);
    mark.polygon.reserve(vertices.size());
    QPointF sum;
    for (const Vertex &vertex : vertices) {
        const QPointF corner(unit(vertex.x), unit(vertex.y));
        mark.polygon.append(corner);
        sum += corner;
    }
    mark.anchor = sum / double(vertices.size());
    mark.bounds = mark.polygon.boundingRect();
    return mark;
}

void AnnotationScene::renumber()
{
    static std::atomic<quint64> made{0};
    m_generation = ++made;
}

AnnotationScene AnnotationScene::without(const QUuid &id) const
{
    AnnotationScene scene = *this;
    const auto named = [&](const AnnotationMark &mark) { return mark.id == id; };
    scene.m_points.removeIf(named);
    scene.m_regions.removeIf(named);
    scene.renumber();
    return scene;
}

AnnotationScene AnnotationScene::keepingRegions(const std::function<bool(const QUuid &)> &keep) const
{
    AnnotationScene scene = *this;
    scene.m_regions.removeIf([&](const AnnotationMark &mark) { return !keep(mark.id); });
    scene.renumber();
    return scene;
}

AnnotationScene AnnotationScene::updated(const RegionAnnotation &region) const
{
    AnnotationScene scene = *this;
    for (qsizetype i = 0; i < scene.m_regions.size(); ++i) {
        if (scene.m_regions[i].id != region.id())
            continue;
        if (std::optional<AnnotationMark> mark = regionMark(region))
            scene.m_regions[i] = std::move(*mark);
        else
            scene.m_regions.removeAt(i);
        scene.renumber();
        break;
    }
    return scene;
}

QList<AnnotationCallout> AnnotationScene::callouts(const CanvasGeometry &geometry, const CalloutMetrics &metrics) const
{
    QList<AnnotationCallout> built;
    built.reserve(m_points.size() + m_regions.size());
    qsizetype index = 0;
    const QSizeF &view = geometry.fitted.viewportSize;
    for (const QList<AnnotationMark> *marks : {&m_points, &m_regions}) {
        for (const AnnotationMark &mark : *marks) {
            // Those whose anchors lie outside the view get no callout: they
            // are left out before they are made.
            const qsizetype markIndex = index++;
            const QPointF anchor = geometry.viewPoint(mark.anchor);
            if (!anchorInView(anchor, view))
                continue;
            AnnotationCallout callout;
            callout.mark = markIndex;
            callout.id = mark.id;
            callout.label = mark.label;
            callout.hasLinks = mark.hasLinks;
            callout.kind = mark.kind;
            callout.anchor = anchor;
            built.append(std::move(callout));
        }
    }
    return layOutCallouts(built, geometry.fitted.viewportSize, metrics);
}

QPointF AnnotationScene::unitPoint(const QPointF &viewPoint, const CanvasGeometry &geometry)
{
    const ZoomPanTransform &transform = geometry.transform;
    QPointF layer = viewPoint;
    if (transform.scale != 0) {
        const QPointF c = transform.centre();
        layer = c + (viewPoint - QPointF(transform.offset.width(), transform.offset.height()) - c) / transform.scale;
    }
    const QRectF &rect = geometry.fitted.rect;
    if (!(rect.width() > 0 && rect.height() > 0))
        return {-1, -1};
    return {(layer.x() - rect.x()) / rect.width(), (layer.y() - rect.y()) / rect.height()};
}

std::optional<QUuid> AnnotationScene::markAt(const QPointF &viewPoint, const CanvasGeometry &geometry,
                                             const CalloutMetrics &metrics) const
{
    const double radius = metrics.pointHitSize / 2;
    for (qsizetype i = m_points.size() - 1; i >= 0; --i) {
        const QPointF delta = geometry.viewPoint(m_points[i].anchor) - viewPoint;
        if (QPointF::dotProduct(delta, delta) <= radius * radius)
            return m_points[i].id;
    }
    const QPointF at = unitPoint(viewPoint, geometry);
    for (qsizetype i = m_regions.size() - 1; i >= 0; --i) {
        const AnnotationMark &region = m_regions[i];
        if (region.bounds.contains(at) && region.polygon.containsPoint(at, Qt::WindingFill))
            return region.id;
    }
    return std::nullopt;
}
