#include "editor/EditorCanvasLayer.h"

#include "editor/AnnotationEditorModel.h"
#include "editor/AnnotationEdits.h"
#include "editor/RegionGeometry.h"
#include "model/AtlasImage.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "ui/AppStyle.h"
#include "viewer/ImageAnnotations.h"

#include <QPainter>
#include <QPainterPath>
#include <QSet>

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
constexpr AnnotationRenderer::ShapeStyle regionShapes{regionFillOpacity, regionFillOpacity, regionStrokeOpacity,
                                                      regionStrokeWidth, regionStrokeWidth};

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
    , m_below(regionShapes)
    , m_above(regionShapes)
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
    m_released.reset();
    const Hit hit = hitAt(position, geometry);
    m_pressTaken = hit.part != Hit::Part::background;
    if (!m_pressTaken)
        return false;

    // A region moves from its corners as they are at the press, for this
    // drag alone.
    Gesture gesture{hit, position, {}};
    if (hit.part == Hit::Part::region) {
        if (const RegionAnnotation *region = findRegion(*m_model->image(), hit.id))
            gesture.baseline = region->vertices();
    }
    m_gesture = gesture;
    // The drag starts with the press: its first change is at the press.
    change(*m_gesture, position, geometry);
    return true;
}

void EditorCanvasLayer::pointerMoved(const QPointF &position, const CanvasGeometry &geometry)
{
    if (m_gesture && m_model)
        change(*m_gesture, position, geometry);
}

void EditorCanvasLayer::change(const Gesture &gesture, const QPointF &position, const CanvasGeometry &geometry)
{
    AnnotationEdits &edits = m_model->edits();
    const Hit &target = gesture.target;
    switch (target.part) {
    case Hit::Part::point:
        m_model->setSelection(EditorSelection::point(target.id));
        edits.movePoint(target.id, geometry.imagePoint(position));
        break;
    case Hit::Part::vertex:
        m_model->setSelection(EditorSelection::vertex(target.id, target.index));
        edits.moveVertex(target.id, target.index, geometry.imagePoint(position));
        break;
    case Hit::Part::region:
        m_model->setSelection(EditorSelection::region(target.id));
        edits.moveRegion(target.id, gesture.baseline,
                         RegionGeometry::unitTranslation(position - gesture.pressPosition, geometry));
        break;
    case Hit::Part::draftHandle:
        m_model->moveDraftVertex(target.index, geometry.imagePoint(position));
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
    m_released = endGesture();
}

void EditorCanvasLayer::pointerCancelled()
{
    // Given up without a release: what the drag wrote stays where the
    // canvas shows it and is saved as at a release, and no tap follows.
    // There is no undo to put it back with.
    endGesture();
    m_pressTaken = false;
}

std::optional<EditorCanvasLayer::Hit> EditorCanvasLayer::endGesture()
{
    if (!m_gesture)
        return std::nullopt;
    // The baseline goes with the gesture: the next drag takes its own.
    const Hit target = m_gesture->target;
    m_gesture.reset();
    if (!m_model)
        return target;
    switch (target.part) {
    case Hit::Part::point:
    case Hit::Part::vertex:
    case Hit::Part::region:
        m_model->edits().endDrag();
        break;
    case Hit::Part::draftHandle:
    case Hit::Part::midpoint:
    case Hit::Part::background:
        break;
    }
    return target;
}

void EditorCanvasLayer::tapped(const QPointF &position, int, const CanvasGeometry &geometry)
{
    if (!m_model)
        return;
    const std::optional<Hit> released = std::exchange(m_released, std::nullopt);
    if (!std::exchange(m_pressTaken, false)) {
        m_model->tapCanvas(geometry.imagePoint(position));
        return;
    }
    // A click on something: its drag has run; what it hit may act as well.
    if (!released)
        return;
    switch (released->part) {
    case Hit::Part::point:
        m_model->setSelection(EditorSelection::point(released->id));
        break;
    case Hit::Part::vertex:
        m_model->setSelection(EditorSelection::vertex(released->id, released->index));
        break;
    case Hit::Part::midpoint:
        m_model->insertVertex(released->id, released->index);
        break;
    case Hit::Part::draftHandle:
        if (released->index == 0)
            m_model->finishRegion();
        break;
    case Hit::Part::region:
    case Hit::Part::background:
        break;
    }
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
        const std::optional<QUuid> around = selected ? std::optional(selected->id()) : std::nullopt;
        const AnnotationScene &all = regionScene();
        if (m_layersFrom != all.generation() || m_layersAround != around)
            splitRegions(all, selected);
        const AnnotationFrame frame{geometry, std::nullopt, {}, {}};
        const QSize viewSize = geometry.fitted.viewportSize.toSize();
        m_below.start(frame, m_belowScene, viewSize, devicePixelRatio, m_labelText);
        m_aboveShown = !m_aboveScene.regions().isEmpty();
        if (m_aboveShown)
            m_above.start(frame, m_aboveScene, viewSize, devicePixelRatio, m_labelText);
        m_regionsValid = true;
        m_regionsRatio = devicePixelRatio;
        m_regionsGeometry = geometry;
    }
}

void EditorCanvasLayer::splitRegions(const AnnotationScene &all, const RegionAnnotation *selected)
{
    // Regions lie in their stored order, the selected one among them.
    QSet<QUuid> below;
    m_thinBelow.clear();
    m_thinAbove.clear();
    bool above = false;
    for (const RegionAnnotation *region : m_model->annotations().regions()) {
        if (region == selected) {
            above = true;
            continue;
        }
        if (!above)
            below.insert(region->id());
        // Regions of one or two corners have no inside; they are outlined
        // apart.
        if (region->vertices().size() < 3)
            (above ? m_thinAbove : m_thinBelow).append(region);
    }
    m_belowScene = all.keepingRegions([&](const QUuid &id) { return below.contains(id); });
    const QUuid selectedID = selected ? selected->id() : QUuid();
    m_aboveScene = all.keepingRegions([&](const QUuid &id) { return !below.contains(id) && id != selectedID; });
    m_layersFrom = all.generation();
    m_layersAround = selected ? std::optional(selectedID) : std::nullopt;
}

void EditorCanvasLayer::paint(QPainter &painter, const CanvasGeometry &geometry)
{
    if (!m_model)
        return;
    // Started in prepare() unless the canvas skipped it.
    prepare(geometry, painter.device() ? painter.device()->devicePixelRatioF() : 1.0);
    painter.drawImage(QPointF(0, 0), m_below.finish());
    painter.setRenderHint(QPainter::Antialiasing);
    drawChanging(painter, geometry);
    m_paintedGeometry = geometry;
    m_paintedArea = changingArea(geometry);
}

void EditorCanvasLayer::drawThinRegions(QPainter &painter, const QList<const RegionAnnotation *> &regions,
                                        const CanvasGeometry &geometry) const
{
    if (regions.isEmpty())
        return;
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(withOpacity(AppStyle::orange(), regionStrokeOpacity), regionStrokeWidth, Qt::SolidLine,
                        Qt::FlatCap, Qt::RoundJoin));
    for (const RegionAnnotation *region : regions)
        painter.drawPolygon(viewPolygon(region->vertices(), geometry));
}

void EditorCanvasLayer::drawChanging(QPainter &painter, const CanvasGeometry &geometry)
{
    const QColor orange = AppStyle::orange();
    const RegionAnnotation *selected = m_model->selectedRegion();
    const std::optional<EditorSelection> &selection = m_model->selection();

    drawThinRegions(painter, m_thinBelow, geometry);
    QList<Vertex> corners;
    if (selected) {
        corners = selected->vertices();
        QPainterPath outline;
        outline.addPolygon(viewPolygon(corners, geometry));
        outline.closeSubpath();
        painter.fillPath(outline, withOpacity(orange, regionFillOpacity));
        painter.strokePath(outline, QPen(orange, selectedStrokeWidth, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
    }
    // The regions stored after the selected one lie over it.
    if (m_aboveShown)
        painter.drawImage(QPointF(0, 0), m_above.finish());
    drawThinRegions(painter, m_thinAbove, geometry);

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
