#pragma once

#include "editor/HandleStamps.h"
#include "model/Vertex.h"
#include "viewer/AnnotationFrame.h"
#include "viewer/AnnotationRenderer.h"
#include "viewer/AnnotationScene.h"
#include "viewer/CanvasOverlay.h"

#include <QList>
#include <QPointer>
#include <QUuid>

#include <optional>

class AnnotationEditorModel;
class ModelObject;
class RegionAnnotation;

// What the editing canvas draws over the picture and how it answers the
// pointer. From the bottom up: every region (orange, the selected one
// outlined stronger), the region being drawn (a dashed yellow line with
// yellow corners), the selected region's edge midpoints (green plus
// buttons) and corner handles, and the point markers. Handles keep their size on
// screen at every zoom and are hit within a circle of handleHitSize.
//
// Pointer input is one gesture at a time. A press hits, topmost first, a
// point marker, a corner handle, a midpoint button, a draft corner, or
// (under the select tool only) a region; a press on none of them pans the
// picture. A press on a point, a corner, a draft corner or a region drags
// it from the press on, without waiting for the pointer to move: a point
// or a corner goes under the pointer wherever in its hit circle it was
// taken, a region moves by the pointer's movement (stopped at the image's
// edges). What a drag takes is selected (draft corners leave the selection
// alone), written at the press and on every move, and saved at the
// release, so a click writes too: it puts a point or a corner where it was
// clicked and writes a region back where it was. A click then also taps:
// a midpoint inserts a corner there, the draft's first corner closes the
// draft, and empty space does what the tool does. A gesture cancelled
// (focus or grab lost, the window deactivated, the canvas hidden) ends as
// a release does, without the tap: what it wrote stays and is saved. The
// pointer keeps its arrow throughout, whatever lies under it.
//
// Regions lie in their stored order, the selected one in its place among
// them, so that what is drawn over another also takes the clicks first.
// Those stored before the selected one, and those after it, are drawn
// together into an image each, on the workers, and kept until they change
// or the view does; the rest is drawn every time, so that a drag repaints
// only the part it changes.
// GUI thread.
class EditorCanvasLayer : public CanvasOverlay {
    Q_OBJECT
public:
    static constexpr double handleHitSize = 30;

    explicit EditorCanvasLayer(AnnotationEditorModel *model, QObject *parent = nullptr);
    ~EditorCanvasLayer() override;

    struct Hit {
        enum class Part { background, point, vertex, midpoint, draftHandle, region };
        Part part = Part::background;
        QUuid id;      // the point or region
        int index = 0; // the corner, the midpoint's edge, the draft corner
    };
    // What a press at `position` would take.
    Hit hitAt(const QPointF &position, const CanvasGeometry &geometry) const;
    bool isGestureRunning() const { return m_gesture.has_value(); }

    // Sets the workers drawing the other regions when they changed.
    void prepare(const CanvasGeometry &geometry, qreal devicePixelRatio) override;
    void paint(QPainter &painter, const CanvasGeometry &geometry) override;
    bool pointerPressed(const QPointF &position, const CanvasGeometry &geometry) override;
    void pointerMoved(const QPointF &position, const CanvasGeometry &geometry) override;
    void pointerReleased(const QPointF &position, const CanvasGeometry &geometry) override;
    void pointerCancelled() override;
    void tapped(const QPointF &position, int count, const CanvasGeometry &geometry) override;

private:
    struct Gesture {
        Hit target;
        QPointF pressPosition;
        QList<Vertex> baseline; // the region moved, as it was at the press
    };

    // The drag's change, with the pointer at `position`.
    void change(const Gesture &gesture, const QPointF &position, const CanvasGeometry &geometry);
    // Ends the gesture running, if any, saving what its drag wrote; what
    // it took.
    std::optional<Hit> endGesture();

    void annotationWritten(ModelObject *annotation);
    void annotationsChanged();
    void redrawRegions();
    void changedAround();
    QRectF changingArea(const CanvasGeometry &geometry) const;

    const AnnotationScene &regionScene() const;
    // Sets the scenes and the thin regions under and over `selected`.
    void splitRegions(const AnnotationScene &all, const RegionAnnotation *selected);
    void drawThinRegions(QPainter &painter, const QList<const RegionAnnotation *> &regions,
                         const CanvasGeometry &geometry) const;
    void drawChanging(QPainter &painter, const CanvasGeometry &geometry);

    QPointer<AnnotationEditorModel> m_model;
    std::optional<Gesture> m_gesture;
    bool m_pressTaken = false;
    // What the press last released took, for the tap that may follow it.
    std::optional<Hit> m_released;

    // Every region of at least three corners, for hit tests and drawing;
    // made again when the regions change, except for the moves of the
    // selected one, whose mark alone is made again.
    mutable AnnotationScene m_scene;
    mutable bool m_sceneValid = false;
    mutable const RegionAnnotation *m_movedRegion = nullptr;
    // The regions drawn together, in two scenes of their own: those stored
    // before the selected one (all of them when none is), drawn under it,
    // and those stored after it, drawn over it. Kept while neither the
    // regions nor the selection change, so that each renderer keeps what it
    // has drawn of them.
    AnnotationScene m_belowScene;
    AnnotationScene m_aboveScene;
    std::optional<quint64> m_layersFrom; // the generation of m_scene they were taken from
    std::optional<QUuid> m_layersAround; // the selected region they were split around
    // The regions of fewer than three corners, outlined apart, under and
    // over the selected one.
    QList<const RegionAnnotation *> m_thinBelow;
    QList<const RegionAnnotation *> m_thinAbove;
    AnnotationRenderer m_below;
    AnnotationRenderer m_above;
    bool m_aboveShown = false;
    CalloutLabelText m_labelText;
    bool m_regionsValid = false;
    CanvasGeometry m_regionsGeometry{FittedImage({}, {}), {}};
    qreal m_regionsRatio = 0;

    HandleStamps m_stamps;
    ModelObject *m_written = nullptr;
    // What was last painted of the parts drawn every time.
    std::optional<CanvasGeometry> m_paintedGeometry;
    QRectF m_paintedArea;
};
