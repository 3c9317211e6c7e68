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
// stronger), the region being drawn (a dashed yellow line with yellow
// corners), the selected region's edge midpoints (green plus buttons) and
// corner handles, and the point markers. Handles keep their size on
// screen at every zoom and are hit within a circle of handleHitSize.
//
// Pointer input is one gesture at a time. A press hits, topmost first, a
// point marker, a corner handle, a midpoint button, a draft corner, or
// (under the select tool only) a region; a press on none of them pans the
// picture. Released before the desktop's drag distance, a press is a
// click: it selects what it hit, inserts a corner at a midpoint, closes the
// draft at its first corner, and on empty space does what the tool does;
// it moves nothing. Beyond that distance it drags: what it hit moves with
// the pointer (keeping where it was grabbed), is written on every move and
// saved at the release. A gesture cancelled (focus or grab lost, the
// canvas hidden) puts back what it moved.
//
// Regions other than the selected one are drawn together into one image,
// on the workers, and kept until they change or the view does; the rest is
// drawn every time, so that a drag repaints only the part it changes.
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
    std::optional<Qt::CursorShape> cursorAt(const QPointF &position, const CanvasGeometry &geometry) const override;

private:
    struct Gesture {
        Hit target;
        QPointF pressPosition;
        QPointF pressUnit;      // the unit point under the press, not limited
        QPointF start;          // the point or corner moved, as it was
        QList<Vertex> baseline; // the region moved, as it was
        bool moved = false;
        bool wrote = false;
    };

    void drag(Gesture &gesture, const QPointF &delta);
    void putBack(Gesture gesture);

    void annotationWritten(ModelObject *annotation);
    void annotationsChanged();
    void redrawRegions();
    void changedAround();
    QRectF changingArea(const CanvasGeometry &geometry) const;

    const AnnotationScene &regionScene() const;
    void drawChanging(QPainter &painter, const CanvasGeometry &geometry);

    QPointer<AnnotationEditorModel> m_model;
    std::optional<Gesture> m_gesture;
    bool m_pressTaken = false;

    // Every region of at least three corners, for hit tests and drawing;
    // made again when the regions change, except for the moves of the
    // selected one, whose mark alone is made again.
    mutable AnnotationScene m_scene;
    mutable bool m_sceneValid = false;
    mutable const RegionAnnotation *m_movedRegion = nullptr;
    // The regions of fewer than three corners, outlined apart.
    QList<const RegionAnnotation *> m_thinRegions;
    bool m_thinRegionsValid = false;
    // The regions drawn together: all but the selected one, kept as a scene
    // of its own while neither the regions nor the selection change, so
    // that the renderer keeps what it has drawn of them.
    AnnotationScene m_others;
    std::optional<quint64> m_othersFrom; // the generation of m_scene they were taken from
    std::optional<QUuid> m_othersWithout;
    AnnotationRenderer m_renderer;
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
