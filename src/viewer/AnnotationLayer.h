#pragma once

#include "viewer/AnnotationFrame.h"
#include "viewer/AnnotationRenderer.h"
#include "viewer/AnnotationScene.h"
#include "viewer/CanvasOverlay.h"

#include <QPointer>
#include <QUuid>

#include <optional>

class AnnotationViewState;
class ImageAnnotations;
class QVariantAnimation;

// The annotations drawn over the viewer's picture: orange region shapes and
// point markers that zoom and pan with it (markers and outlines keep their
// size on screen), and for each visible annotation a callout, a label
// pinned to the left or right edge of the view and joined to its mark by a
// bent leader line. The highlighted annotation is drawn stronger, and its
// label shows all its text and, when it has links, a link button.
//
// It shows the annotations of `annotations` that the groups switched off in
// `state` leave visible, and the highlight of `state`, and follows both.
// It never changes them: taps leave as requests for the screen to decide
// (a tap on a mark or label asks to select it, on empty space to select
// nothing; a double tap asks to edit; the link button asks for the links).
// A drag anywhere pans the picture. The pointer keeps its arrow over all
// of it, the link button included. GUI thread.
class AnnotationLayer : public CanvasOverlay {
    Q_OBJECT
public:
    AnnotationLayer(ImageAnnotations *annotations, AnnotationViewState *state, QObject *parent = nullptr);
    ~AnnotationLayer() override;

    // Whether anything is shown; changes fade in and out over 0.2 s.
    // Taps still come through (they then select nothing).
    void setShowAnnotations(bool show);
    bool showAnnotations() const { return m_showAnnotations; }
    // Whether callouts (labels and leader lines) are drawn; the marks stay.
    void setShowsCallouts(bool shows);
    bool showsCallouts() const { return m_showsCallouts; }

    const CalloutMetrics &metrics() const { return m_metrics; }
    // The visible marks, as they are now.
    const AnnotationScene &scene();
    // What a paint with `geometry` shows (the last one painted is kept).
    const AnnotationFrame &frame(const CanvasGeometry &geometry);
    // What a tap at `position` would reach.
    AnnotationHit hitAt(const QPointF &position, const CanvasGeometry &geometry);

    // Draws the picture while it moves (not smoothly) and the annotations
    // show in full: the picture is then kept drawn with the region shapes
    // over it while the view pans.
    bool drawsPicture(const PictureSource *picture, const QColor &backdrop, bool smooth) override;
    // Sets the worker threads drawing the frame when it changed.
    void prepare(const CanvasGeometry &geometry, qreal devicePixelRatio) override;
    void paint(QPainter &painter, const CanvasGeometry &geometry) override;
    void tapped(const QPointF &position, int count, const CanvasGeometry &geometry) override;
    // The link button of the highlighted label, while one is shown.
    QList<OverlayControl> controls(const CanvasGeometry &geometry) override;

signals:
    // A tap on an annotation's mark or label (its id), or on empty space
    // (none).
    void selectRequested(const std::optional<QUuid> &id);
    // A double tap on an annotation's mark or label.
    void editRequested(const QUuid &id);
    // The link button of the highlighted label.
    void showLinksRequested(const QUuid &id);

private:
    void invalidateScene();
    void invalidateFrame();

    QPointer<ImageAnnotations> m_annotations;
    QPointer<AnnotationViewState> m_state;
    bool m_showAnnotations = true;
    bool m_showsCallouts = true;
    double m_opacity = 1;
    QVariantAnimation *m_fade = nullptr;

    CalloutMetrics m_metrics;
    CalloutLabelText m_text;
    AnnotationScene m_scene;
    bool m_sceneValid = false;
    AnnotationFrame m_frame;
    bool m_frameValid = false;
    AnnotationRenderer m_renderer;
    // Whether the renderer's image shows m_frame (or will once it has
    // finished).
    bool m_drawnValid = false;
    qreal m_drawnRatio = 0;
    // The picture drawn under the annotations in the paint under way.
    AnnotationRenderer::Underlay m_under;
};
