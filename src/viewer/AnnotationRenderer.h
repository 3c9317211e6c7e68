#pragma once

#include "viewer/AnnotationFrame.h"
#include "viewer/AnnotationScene.h"
#include "viewer/ShapeRaster.h"

#include <QCache>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QSize>

class PictureSource;
class QPainter;

#include <deque>
#include <functional>
#include <memory>
#include <vector>

// The picture drawn under a frame of the annotation overlay: `source`'s
// picture on `backdrop` (opaque). None leaves the frame transparent around
// the overlay.
struct AnnotationUnderlay {
    const PictureSource *source = nullptr;
    QColor backdrop;
    // With a picture, the frame may be drawn straight into other pixels
    // (32-bit, rows `bytesPerLine` apart, the frame's top-left pixel at
    // `into`), sparing a copy; the renderer's image then keeps nothing of
    // it.
    uchar *into = nullptr;
    qsizetype bytesPerLine = 0;
};

// Draws the frames of the annotation overlay into one image the size of the
// view (in device pixels): region shapes and point markers, and over them
// the callouts, each its leader line and then its label, in the callouts'
// order (a later line over an earlier label), the highlighted label over
// everything. Region outlines have round joins; leader lines round joins
// and caps. The image is painted in
// horizontal bands at the same time on worker threads, so that thousands of
// marks and labels keep up with a pinch; the canvas then lays it over the
// picture in one piece. Texts, markers and label capsules are drawn once
// into small images on the GUI thread and stamped where they go.
//
// The region shapes are kept, drawn at the frame's zoom, for a little more
// than the view: a frame that only pans (same scene, highlight, view size,
// zoom and pixel ratio) moves them by whole device pixels and draws only the
// strips that come into reach, while the callouts, which follow the view,
// are drawn anew over them. (The first frame at a zoom, as every frame of a
// pinch, draws the view alone and keeps nothing.) Such a frame is pixel for pixel the one drawn
// from scratch when it moved by whole device pixels, and otherwise has its
// shapes less than half a device pixel from where a fresh frame would have
// them (as markers always are).
//
// A frame may be drawn over the picture itself (an opaque frame): the
// picture, at the level a canvas paints it from and without smoothing, is
// then kept with the shapes laid over it, so that a pan frame copies one
// image and draws the strips coming into view, and the leader lines are
// gathered and laid over it at once. GUI thread.
class AnnotationRenderer {
public:
    // How region shapes are filled and outlined.
    struct ShapeStyle {
        double fillOpacity;
        double highlightedFillOpacity;
        double strokeOpacity;
        double strokeWidth; // view points
        double highlightedStrokeWidth;
    };
    // The overlay's shapes, with the constants below.
    static ShapeStyle overlayShapes();

    explicit AnnotationRenderer(const ShapeStyle &shapes = overlayShapes());
    ~AnnotationRenderer();
    AnnotationRenderer(const AnnotationRenderer &) = delete;
    AnnotationRenderer &operator=(const AnnotationRenderer &) = delete;

    // Region shapes: filled in the annotation orange at fillOpacity (more when highlighted)
    // and outlined with strokeWidth view points (more when highlighted), at
    // every zoom. Point markers: an orange disc of markerDiameter with a
    // white rim, and a ring around the highlighted one.
    static constexpr double fillOpacity = 0.18;
    static constexpr double highlightedFillOpacity = 0.32;
    static constexpr double strokeWidth = 1.5;
    static constexpr double highlightedStrokeWidth = 3;
    static constexpr double markerDiameter = 5;
    static constexpr double highlightedMarkerDiameter = 11;
    static constexpr double leaderOpacity = 0.5;

    using Underlay = AnnotationUnderlay;
    // Whether `source` can be drawn under a frame (it has a picture, kept in
    // the formats PictureSource keeps levels in).
    static bool canDrawUnder(const PictureSource *source);

    // The frame drawn for a view of `viewSize` points at `devicePixelRatio`;
    // the image carries that ratio. `text` must be the one the frame's
    // labels were measured with.
    const QImage &render(const AnnotationFrame &frame, const AnnotationScene &scene, const QSize &viewSize,
                         qreal devicePixelRatio, const CalloutLabelText &text, const Underlay &under = {});
    // render() in two halves, so that the caller can do other work while
    // the workers draw: start() gathers what the frame shows and sets its
    // bands going; finish() draws the bands not yet taken on this thread
    // and waits for the others. Nothing of `frame`, `scene` or `text` is
    // used after start() returns. finish() without a start() does nothing.
    void start(const AnnotationFrame &frame, const AnnotationScene &scene, const QSize &viewSize,
               qreal devicePixelRatio, const CalloutLabelText &text, const Underlay &under = {});
    const QImage &finish();
    // The frame last drawn (once finish() has returned, when one was
    // started).
    const QImage &image() const { return m_layer; }

private:
    struct Drawing;
    struct RegionCache;
    // Gets the kept shapes ready for a frame of `frame`'s geometry (made
    // anew for another scale or scene, moved otherwise): sets in `drawing`
    // the parts of them to draw and where the view lies among them.
    void placeRegions(const AnnotationFrame &frame, const AnnotationScene &scene, const QSize &deviceSize,
                        qreal ratio, Drawing &drawing);
    void paintRegions(const Drawing &drawing, const QRect &part) const;
    // The picture and the shapes over it, for the places `part`, into
    // pixels `stride` apart.
    void paintUnderlay(const Drawing &drawing, quint32 *bits, qsizetype stride, const QRect &part) const;
    // The shapes within reach drawn into `image`, whose top-left pixel lies
    // at place `at`.
    void drawRegions(QImage &image, const QPoint &at, qreal ratio) const;
    // The band `index` of the frame.
    void paintBand(const Drawing &drawing, int index) const;
    // The text of a label: kept for its mark, or drawn and kept in `held`.
    const QImage &labelText(const AnnotationCallout &callout, const CalloutLabelBox &box,
                            const CalloutLabelText &text, qreal ratio, std::deque<QImage> &held);
    QImage drawnText(const CalloutLabelBox &box, AnnotationKind kind, AnnotationSide side,
                     const CalloutLabelText &text, qreal ratio) const;
    // An image of `size` points drawn by `draw` once, kept under `key`.
    QImage cachedImage(const QString &key, const QSizeF &size, qreal ratio,
                       const std::function<void(QPainter &)> &draw);
    QImage capsuleImage(const QSizeF &size, qreal ratio);
    QImage markerImage(bool highlighted, qreal ratio);
    QImage linkButtonImage(double side, qreal ratio);

    ShapeStyle m_shapes;
    ShapeRaster m_fill;
    ShapeRaster m_highlightedFill;
    ShapeRaster m_outline;
    ShapeRaster m_leader;
    QImage m_layer;
    std::unique_ptr<RegionCache> m_regions;
    // The frame started and not yet finished.
    std::unique_ptr<Drawing> m_drawing;
    // The one last finished, kept for its room.
    std::unique_ptr<Drawing> m_spareDrawing;
    // Capsules, markers and buttons.
    QCache<QString, QImage> m_images;
    // The one-line text of each mark of the scene last drawn, by the mark's
    // index, for one ratio and font.
    std::vector<QImage> m_labelTexts;
    quint64 m_labelScene = 0;
    qreal m_labelRatio = 0;
    QFont m_labelFont;
};
