#include "editor/EditorCanvasLayer.h"

#include "editor/AnnotationEditorModel.h"
#include "editor/AnnotationEdits.h"
#include "editor/RegionGeometry.h"
#include "model/AtlasImage.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "ui/AppStyle.h"
#include "viewer/ImageAnnotations.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>

#include <utility>

namespace {

// How far the parts drawn every time reach beyond their corners: half the
// largest dot with its ring, and the antialiased edge.
constexpr double changingMargin = 12;

// Regions: a faint fill, an outline that is stronger when selected.
constexpr double regionFillOpacity = 0.16;
constexpr double regionStrokeOpacity = 0.7;
constexpr double regionStrokeWidth = 1.5;
constexpr double selectedStrokeWidth = 2;

QColor withOpacity(QColor colour, double opacity)
{
    colour.setAlphaF(float(opacity));
    return colour;
}

QPointF pointOf(const Vertex &vertex)
{
    return {vertex.x, vertex.y};
}

QPolygonF viewPolygon(const QList<Vertex> &vertices, const CanvasGeometry &geometry)
{
    QPolygonF polygon;
    polygon.reserve(vertices.size());
    for (const Vertex &vertex : vertices)
        polygon.append(geometry.viewPoint(pointOf(vertex)));
    return polygon;
}

bool within(const QPointF &a, const QPointF &b, double radius)
{
    const QPointF d = a - b;
    return QPointF::dotProduct(d, d) <= radius * radius;
}

} // namespace

EditorCanvasLayer::EditorCanvasLayer(AnnotationEditorModel *model, QObject *parent)
    : CanvasOverlay(parent)
    , m_model(model)
    , m_renderer({regionFillOpacity, regionFillOpacity, regionStrokeOpacity, regionStrokeWidth, regionStrokeWidth})
{
    ImageAnnotations &annotations = model->annotations();
    connect(&annotations, &ImageAnnotations::annotationWritten, this, &EditorCanvasLayer::annotationWritten);
    connect(&annotations, &ImageAnnotations::changed, this, &EditorCanvasLayer::annotationsChanged);
    connect(model, &AnnotationEditorModel::selectionChanged, this, &EditorCanvasLayer::redrawRegions);
    connect(model, &AnnotationEditorModel::draftChanged, this, &EditorCanvasLayer::changedAround);
    // Under other tools regions take no hits: the pointer's shape changes.
    connect(model, &AnnotationEditorModel::toolChanged, this, &CanvasOverlay::changed);
}

EditorCanvasLayer::~EditorCanvasLayer() = default;

// Hit tests

EditorCanvasLayer::Hit EditorCanvasLayer::hitAt(const QPointF &position, const CanvasGeometry &geometry) const
{
    if (!m_model)
        return {};
    const double radius = handleHitSize / 2;
    const QList<PointAnnotation *> points = m_model->annotations().points();
    for (qsizetype i = points.size() - 1; i >= 0; --i) {
        if (within(geometry.viewPoint({points[i]->x(), points[i]->y()}), position, radius))
            return {Hit::Part::point, points[i]->id(), 0};
    }
    if (const RegionAnnotation *region = m_model->selectedRegion()) {
        const QList<Vertex> vertices = region->vertices();
        for (qsizetype i = vertices.size() - 1; i >= 0; --i) {
            if (within(geometry.viewPoint(pointOf(vertices[i])), position, radius))
                return {Hit::Part::vertex, region->id(), int(i)};
        }
        const QList<EdgeMidpoint> midpoints = RegionGeometry::edgeMidpoints(vertices);
        for (qsizetype i = midpoints.size() - 1; i >= 0; --i) {
            if (within(geometry.viewPoint(pointOf(midpoints[i].vertex)), position, radius))
                return {Hit::Part::midpoint, region->id(), midpoints[i].afterIndex};
        }
    }
    const QList<Vertex> &draft = m_model->draftVertices();
    for (qsizetype i = draft.size() - 1; i >= 0; --i) {
        if (within(geometry.viewPoint(pointOf(draft[i])), position, radius))
            return {Hit::Part::draftHandle, {}, int(i)};
    }
    if (m_model->tool() == EditTool::select) {
        if (const std::optional<QUuid> region = regionScene().markAt(position, geometry, CalloutMetrics()))
            return {Hit::Part::region, *region, 0};
    }
    return {};
}

const AnnotationScene &EditorCanvasLayer::regionScene() const
{
    if (!m_sceneValid) {
        m_scene = m_model ? AnnotationScene({}, m_model->annotations().regions(), {}) : AnnotationScene();
        m_sceneValid = true;
    } else if (m_movedRegion) {
        m_scene = m_scene.updated(*m_movedRegion);
    }
    m_movedRegion = nullptr;
    return m_scene;
}

// Gestures

bool EditorCanvasLayer::pointerPressed(const QPointF &position, const CanvasGeometry &geometry)
{
    // Whatever an earlier press started has ended with it.
    m_gesture.reset();
    const Hit hit = hitAt(position, geometry);
    m_pressTaken = hit.part != Hit::Part::background;
    if (!m_pressTaken)
        return false;

    Gesture gesture{hit, position, AnnotationScene::unitPoint(position, geometry), {}, {}};
    AtlasImage *image = m_model->image();
    switch (hit.part) {
    case Hit::Part::point:
        if (const PointAnnotation *point = findPoint(*image, hit.id))
            gesture.start = RegionGeometry::limitedToImage({point->x(), point->y()});
        m_model->setSelection(EditorSelection::point(hit.id));
        break;
    case Hit::Part::vertex:
        if (const RegionAnnotation *region = findRegion(*image, hit.id))
            gesture.start = RegionGeometry::limitedToImage(pointOf(region->vertices().value(hit.index)));
        m_model->setSelection(EditorSelection::vertex(hit.id, hit.index));
        break;
    case Hit::Part::region:
        if (const RegionAnnotation *region = findRegion(*image, hit.id))
            gesture.baseline = region->vertices();
        m_model->setSelection(EditorSelection::region(hit.id));
        break;
    case Hit::Part::draftHandle:
        gesture.start = pointOf(m_model->draftVertices().value(hit.index));
        break;
    case Hit::Part::midpoint:
    case Hit::Part::background:
        break;
    }
    m_gesture = gesture;
    return true;
}

void EditorCanvasLayer::pointerMoved(const QPointF &position, const CanvasGeometry &geometry)
{
    if (!m_gesture || !m_model)
        return;
    Gesture &gesture = *m_gesture;
    if (!gesture.moved) {
        if ((position - gesture.pressPosition).manhattanLength() < QApplication::startDragDistance())
            return;
        gesture.moved = true;
    }
    drag(gesture, AnnotationScene::unitPoint(position, geometry) - gesture.pressUnit);
}

void EditorCanvasLayer::drag(Gesture &gesture, const QPointF &delta)
{
    AnnotationEdits &edits = m_model->edits();
    const Hit &target = gesture.target;
    switch (target.part) {
    case Hit::Part::point:
        gesture.wrote |= edits.movePoint(target.id, gesture.start + delta);
        break;
    case Hit::Part::vertex:
        gesture.wrote |= edits.moveVertex(target.id, target.index, gesture.start + delta);
        break;
    case Hit::Part::region:
        gesture.wrote |= edits.moveRegion(target.id, gesture.baseline, delta);
        break;
    case Hit::Part::draftHandle:
        m_model->moveDraftVertex(target.index, RegionGeometry::limitedToImage(gesture.start + delta));
        break;
    case Hit::Part::midpoint:
    case Hit::Part::background:
        break;
    }
}

void EditorCanvasLayer::pointerReleased(const QPointF &position, const CanvasGeometry &geometry)
{
    if (!m_gesture || !m_model)
        return;
    pointerMoved(position, geometry);
    const Gesture gesture = *m_gesture;
    m_gesture.reset();
    if (gesture.moved) {
        if (gesture.wrote)
            m_model->edits().endDrag();
        return;
    }
    // A click: what it hit is selected already; two parts act.
    if (gesture.target.part == Hit::Part::midpoint)
        m_model->insertVertex(gesture.target.id, gesture.target.index);
    else if (gesture.target.part == Hit::Part::draftHandle && gesture.target.index == 0)
        m_model->finishRegion();
}

void EditorCanvasLayer::pointerCancelled()
{
    if (!m_gesture)
        return;
    const Gesture gesture = *m_gesture;
    m_gesture.reset();
    m_pressTaken = false;
    if (m_model && gesture.moved)
        putBack(gesture);
}

void EditorCanvasLayer::putBack(Gesture gesture)
{
    if (gesture.target.part == Hit::Part::draftHandle) {
        m_model->moveDraftVertex(gesture.target.index, gesture.start);
        return;
    }
    if (!gesture.wrote)
        return;
    drag(gesture, {0, 0});
    m_model->edits().endDrag();
}

void EditorCanvasLayer::tapped(const QPointF &position, int, const CanvasGeometry &geometry)
{
    // A click on something was answered at its release.
    if (std::exchange(m_pressTaken, false) || !m_model)
        return;
    m_model->tapCanvas(geometry.imagePoint(position));
}

std::optional<Qt::CursorShape> EditorCanvasLayer::cursorAt(const QPointF &position,
                                                           const CanvasGeometry &geometry) const
{
    switch (hitAt(position, geometry).part) {
    case Hit::Part::point:
    case Hit::Part::vertex:
    case Hit::Part::draftHandle:
    case Hit::Part::region:
        return Qt::SizeAllCursor;
    case Hit::Part::midpoint:
        return Qt::PointingHandCursor;
    case Hit::Part::background:
        break;
    }
    if (m_model && m_model->tool() != EditTool::select)
        return Qt::CrossCursor;
    return std::nullopt;
}

// What changed

void EditorCanvasLayer::annotationWritten(ModelObject *annotation)
{
    m_written = annotation;
}

void EditorCanvasLayer::annotationsChanged()
{
    ModelObject *written = std::exchange(m_written, nullptr);
    // The selected point or region is drawn apart from the rest: its
    // moves repaint it alone.
    if (written && m_model) {
        if (RegionAnnotation *region = m_model->selectedRegion(); written == static_cast<ModelObject *>(region)) {
            if (m_movedRegion && m_movedRegion != region)
                m_sceneValid = false;
            m_movedRegion = region;
            changedAround();
            return;
        }
        if (written == static_cast<ModelObject *>(m_model->selectedPoint())) {
            changedAround();
            return;
        }
    }
    m_sceneValid = false;
    m_thinRegionsValid = false;
    redrawRegions();
}

void EditorCanvasLayer::redrawRegions()
{
    m_regionsValid = false;
    emit changed();
}

void EditorCanvasLayer::changedAround()
{
    if (!m_paintedGeometry) {
        emit changed();
        return;
    }
    emit areaChanged(m_paintedArea.united(changingArea(*m_paintedGeometry)));
}

QRectF EditorCanvasLayer::changingArea(const CanvasGeometry &geometry) const
{
    if (!m_model)
        return {};
    QPolygonF corners;
    if (const RegionAnnotation *region = m_model->selectedRegion())
        corners = viewPolygon(region->vertices(), geometry);
    if (const PointAnnotation *point = m_model->selectedPoint())
        corners.append(geometry.viewPoint({point->x(), point->y()}));
    corners += viewPolygon(m_model->draftVertices(), geometry);
    if (corners.isEmpty())
        return {};
    return corners.boundingRect().adjusted(-changingMargin, -changingMargin, changingMargin, changingMargin);
}

// Painting

void EditorCanvasLayer::prepare(const CanvasGeometry &geometry, qreal devicePixelRatio)
{
    if (!m_model)
        return;
    // The regions drawn together are set going on the workers while the
    // canvas draws the picture; the same view again is not drawn anew.
    if (!m_regionsValid || devicePixelRatio != m_regionsRatio || geometry != m_regionsGeometry) {
        const RegionAnnotation *selected = m_model->selectedRegion();
        const std::optional<QUuid> without = selected ? std::optional(selected->id()) : std::nullopt;
        const AnnotationScene &all = regionScene();
        if (m_othersFrom != all.generation() || m_othersWithout != without) {
            m_others = without ? all.without(*without) : all;
            m_othersFrom = all.generation();
            m_othersWithout = without;
        }
        const AnnotationFrame frame{geometry, std::nullopt, {}, {}};
        m_renderer.start(frame, m_others, geometry.fitted.viewportSize.toSize(), devicePixelRatio, m_labelText);
        m_regionsValid = true;
        m_regionsRatio = devicePixelRatio;
        m_regionsGeometry = geometry;
    }
}

void EditorCanvasLayer::paint(QPainter &painter, const CanvasGeometry &geometry)
{
    if (!m_model)
        return;
    // Started in prepare() unless the canvas skipped it.
    prepare(geometry, painter.device() ? painter.device()->devicePixelRatioF() : 1.0);
    painter.drawImage(QPointF(0, 0), m_renderer.finish());
    painter.setRenderHint(QPainter::Antialiasing);
    drawChanging(painter, geometry);
    m_paintedGeometry = geometry;
    m_paintedArea = changingArea(geometry);
}

void EditorCanvasLayer::drawChanging(QPainter &painter, const CanvasGeometry &geometry)
{
    const QColor orange = AppStyle::orange();
    const RegionAnnotation *selected = m_model->selectedRegion();
    const std::optional<EditorSelection> &selection = m_model->selection();

    // Regions of one or two corners have no inside; they are outlined here.
    if (!m_thinRegionsValid) {
        m_thinRegions.clear();
        for (const RegionAnnotation *region : m_model->annotations().regions()) {
            if (region->vertices().size() < 3)
                m_thinRegions.append(region);
        }
        m_thinRegionsValid = true;
    }
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(withOpacity(orange, regionStrokeOpacity), regionStrokeWidth, Qt::SolidLine, Qt::FlatCap,
                        Qt::RoundJoin));
    for (const RegionAnnotation *region : std::as_const(m_thinRegions)) {
        if (region != selected)
            painter.drawPolygon(viewPolygon(region->vertices(), geometry));
    }

    QList<Vertex> corners;
    if (selected) {
        corners = selected->vertices();
        QPainterPath outline;
        outline.addPolygon(viewPolygon(corners, geometry));
        outline.closeSubpath();
        painter.fillPath(outline, withOpacity(orange, regionFillOpacity));
        painter.strokePath(outline, QPen(orange, selectedStrokeWidth, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
    }

    const QList<Vertex> &draft = m_model->draftVertices();
    if (!draft.isEmpty()) {
        QPen dashed(HandleStamps::yellow(), 1.5, Qt::CustomDashLine, Qt::FlatCap, Qt::RoundJoin);
        dashed.setDashPattern({4 / 1.5, 3 / 1.5});
        painter.setPen(dashed);
        painter.setBrush(Qt::NoBrush);
        painter.drawPolyline(viewPolygon(draft, geometry));
        for (const Vertex &vertex : draft)
            m_stamps.stamp(painter, HandleStamps::Kind::draft, geometry.viewPoint(pointOf(vertex)));
    }

    if (selected) {
        for (const EdgeMidpoint &midpoint : RegionGeometry::edgeMidpoints(corners))
            m_stamps.stamp(painter, HandleStamps::Kind::midpoint, geometry.viewPoint(pointOf(midpoint.vertex)));
        for (qsizetype i = 0; i < corners.size(); ++i) {
            const bool emphasised = selection == EditorSelection::vertex(selected->id(), int(i));
            m_stamps.stamp(painter, emphasised ? HandleStamps::Kind::emphasised : HandleStamps::Kind::vertex,
                           geometry.viewPoint(pointOf(corners[i])));
        }
    }

    const std::optional<QUuid> selectedPoint =
        selection && selection->isPoint() ? std::optional<QUuid>(selection->id) : std::nullopt;
    for (const PointAnnotation *point : m_model->annotations().points()) {
        const bool emphasised = selectedPoint == point->id();
        m_stamps.stamp(painter, emphasised ? HandleStamps::Kind::emphasised : HandleStamps::Kind::point,
                       geometry.viewPoint({point->x(), point->y()}));
    }
}
