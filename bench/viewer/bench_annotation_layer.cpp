// Paints an image with 2,000 regions of 50 corners and 2,000 points, their
// callouts shown, in a 1920 by 1080 viewer while it is pinched from 1× to 8×
// and panned across at every zoom step past 1×, timing each frame (the time
// it takes, and the processor time of all threads); and times hit tests (a
// tap's search for the mark or label under it). Side by side, in the same
// run, the same frames are painted the plain way, as a simple overlay
// would: every frame maps every corner and point to the view and fills and
// strokes each shape, line and label with QPainter, and a hit test maps
// every shape before testing it. For reference, the processor time of the
// same frames of the canvas with its picture alone is printed too.
//
//   QT_QPA_PLATFORM=offscreen build/bench/viewer/bench_annotation_layer [--regions N] [--points N]
//       [--threads N] [--no-callouts] [--ours-only] [--zoom Z] [--rounds N]
//
// Targets: every gesture frame within 16 ms and a hit test within 1 ms, at
// the 95th percentile, and the pan frames within 4 ms of processor time
// (their median). Prints PASS or FAIL (exit code 2). Our frames are painted
// on several threads: `--threads N` allows the painting N worker threads.
// `--zoom Z` pans at the zoom step nearest Z alone, without the pinch (for
// profiling one kind of frame); `--rounds N` drags across N times.

#include "ViewerHarness.h"
#include "support/FrameTiming.h"
#include "support/RegionBlobs.h"

#include "model/AtlasImage.h"
#include "ui/AppStyle.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "platform/WorkerPools.h"
#include "viewer/CanvasZoom.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QRandomGenerator>
#include <QThreadPool>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <numbers>
#include <vector>

namespace {

constexpr double frameTargetMs = 16;
constexpr double panProcessorTargetMs = 4;
constexpr double hitTargetMs = 1;

// An atlas image with `regions` blobs of 50 corners and `points` points,
// spread over the picture, in a few groups.
struct Library {
    std::shared_ptr<AtlasImage> image = AtlasImage::make(QStringLiteral("Benchmark"));
    std::vector<std::shared_ptr<PointAnnotation>> points;
    std::vector<std::shared_ptr<RegionAnnotation>> regions;

    Library(int regionCount, int pointCount)
    {
        QRandomGenerator random(20260207);
        const QStringList groups{QStringLiteral("Bones"), QStringLiteral("Vessels"), QStringLiteral("Nerves"), {}};
        for (int i = 0; i < regionCount; ++i) {
            const QList<Vertex> corners = blobCorners(random, i);
            auto region = RegionAnnotation::make(QStringLiteral("Region %1").arg(i), groups[i % 4], std::nullopt,
                                                 corners);
            region->setImage(image.get());
            regions.push_back(region);
        }
        for (int i = 0; i < pointCount; ++i) {
            auto point = PointAnnotation::make(QStringLiteral("Point %1").arg(i), groups[i % 4], std::nullopt,
                                               random.bounded(1.0), random.bounded(1.0));
            point->setImage(image.get());
            points.push_back(point);
        }
    }
};

// The plain way: everything mapped and drawn with QPainter, every frame.
void paintPlainly(QImage &target, const QImage &image, const AnnotationFrame &frame, const AnnotationScene &scene)
{
    const CanvasGeometry &geometry = frame.geometry;
    QPainter painter(&target);
    painter.fillRect(target.rect(), Qt::black);
    painter.drawImage(geometry.pictureRect(), image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor orange = AppStyle::orange();
    QColor fill = orange;
    fill.setAlphaF(0.18f);
    painter.setPen(QPen(orange, 1.5));
    painter.setBrush(fill);
    for (const AnnotationMark &region : scene.regions()) {
        QPolygonF corners;
        for (const QPointF &corner : region.polygon)
            corners.append(geometry.viewPoint(corner));
        painter.drawPolygon(corners, Qt::WindingFill);
    }
    painter.setBrush(orange);
    painter.setPen(QPen(Qt::white, 1));
    for (const AnnotationMark &point : scene.points())
        painter.drawEllipse(geometry.viewPoint(point.anchor), 2.5, 2.5);
    QColor leader = orange;
    leader.setAlphaF(0.5f);
    for (const AnnotationCallout &callout : frame.callouts) {
        painter.setPen(QPen(leader, 1));
        painter.drawPolyline(QPolygonF({callout.anchor, callout.elbow, callout.labelEdge}));
    }
    painter.setFont(CalloutLabelText().font());
    for (qsizetype i = 0; i < frame.callouts.size(); ++i) {
        const CalloutLabelBox &box = frame.labels[i];
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, 173));
        painter.drawRoundedRect(box.capsule, box.capsule.height() / 2, box.capsule.height() / 2);
        painter.setPen(Qt::white);
        painter.drawText(box.text, Qt::AlignVCenter | Qt::AlignRight, box.lines.join(u' '));
    }
}

// The plain way to find what is under a point: map every shape first.
bool plainHit(const QPointF &at, const CanvasGeometry &geometry, const AnnotationScene &scene)
{
    for (const AnnotationMark &point : scene.points()) {
        if (QLineF(geometry.viewPoint(point.anchor), at).length() <= 15)
            return true;
    }
    for (const AnnotationMark &region : scene.regions()) {
        QPolygonF corners;
        for (const QPointF &corner : region.polygon)
            corners.append(geometry.viewPoint(corner));
        if (corners.containsPoint(at, Qt::WindingFill))
            return true;
    }
    return false;
}

struct Frames {
    QList<double> ours, ourProcessor, plain, plainProcessor, picture;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const auto option = [&](const QString &name, int fallback) {
        const qsizetype at = arguments.indexOf(name);
        return at >= 0 && at + 1 < arguments.size() ? std::max(0, arguments.at(at + 1).toInt()) : fallback;
    };
    const int regionCount = option(QStringLiteral("--regions"), 2000);
    const int pointCount = option(QStringLiteral("--points"), 2000);
    const int threads = option(QStringLiteral("--threads"), 0);
    const int rounds = std::max(1, option(QStringLiteral("--rounds"), 1));
    if (threads > 0)
        WorkerPools::computing().setMaxThreadCount(threads);
    // The plain painter is slow: it paints every `plainEvery`th frame.
    const int plainEvery = arguments.contains(QStringLiteral("--ours-only")) ? 1 << 30 : 4;
    const qsizetype zoomAt = arguments.indexOf(QStringLiteral("--zoom"));
    const double onlyZoom = zoomAt >= 0 && zoomAt + 1 < arguments.size() ? arguments.at(zoomAt + 1).toDouble() : 0;

    Library library(regionCount, pointCount);
    const QImage image = blobPicture();
    AnnotatedViewer shown(library.image.get(), image, {1920, 1080});
    ZoomableImage &viewer = shown.viewer;
    AnnotationViewState &state = shown.state;
    AnnotationLayer &layer = shown.layer;
    // One annotation highlighted, as after a tap.
    if (!library.regions.empty())
        state.setHighlightedID(library.regions.front()->id());
    const bool callouts = !arguments.contains(QStringLiteral("--no-callouts"));
    layer.setShowsCallouts(callouts);
    viewer.repaint();
    CanvasZoom *zoom = viewer.zoom();
    // The same canvas with the picture alone, moved the same way.
    ZoomableImage bare;
    showViewer(bare, &shown.source, nullptr, viewer.size());

    QImage plainTarget(viewer.size(), QImage::Format_ARGB32_Premultiplied);
    int frameNumber = 0;
    const auto frameOf = [&](Frames &frames) {
        nextFrame(viewer);
        double processorBefore = processorMs();
        frames.ours.append(timed([&] { viewer.repaint(); }));
        frames.ourProcessor.append(processorMs() - processorBefore);
        if (frameNumber++ % plainEvery == 0 || frames.plain.isEmpty()) {
            const AnnotationFrame &frame = layer.frame(viewer.geometry());
            processorBefore = processorMs();
            frames.plain.append(timed([&] { paintPlainly(plainTarget, image, frame, layer.scene()); }));
            frames.plainProcessor.append(processorMs() - processorBefore);
        }
        if (zoom->isPinching())
            bare.zoom()->changePinch(zoom->magnification());
        if (zoom->isDragging())
            bare.zoom()->changeDrag(zoom->dragTranslation());
        nextFrame(bare);
        processorBefore = processorMs();
        bare.repaint();
        frames.picture.append(processorMs() - processorBefore);
    };
    struct Worst {
        double frame = 0, panProcessor = 0;
    } worst;
    const auto report = [&](const QString &what, const Frames &frames, bool pan) {
        const double ours = percentile(frames.ours, 0.95), plain = percentile(frames.plain, 0.95);
        const double processor = percentile(frames.ourProcessor, 0.5),
                     plainProcessor = percentile(frames.plainProcessor, 0.5);
        std::printf("%-15s | %6.1f / %5.1f ms | %5.1f / %5.1f ms | %5.1f ms | %6.1f / %6.1f ms | %6.1f ms | %5.3f / "
                    "%5.3f\n",
                    qPrintable(what), ours, percentile(frames.ours, 1), processor,
                    percentile(frames.ourProcessor, 0.95), percentile(frames.picture, 0.5), plain,
                    percentile(frames.plain, 1), plainProcessor, ours / plain, processor / plainProcessor);
        worst.frame = std::max(worst.frame, ours);
        if (pan)
            worst.panProcessor = std::max(worst.panProcessor, processor);
    };

    std::printf("%d regions of 50 corners, %d points, callouts %s, 1920 x 1080, %d worker threads\n\n", regionCount,
                pointCount, callouts ? "shown" : "hidden", WorkerPools::computing().maxThreadCount());
    std::printf("%-15s | %19s | %19s | %8s | %20s | %9s | %s\n", "frames", "ours p95 / worst",
                "processor p50 / p95", "picture", "plain p95 / worst", "processor", "ratios: p95 / processor");
    Frames pinch;
    for (int i = 0; i <= (onlyZoom > 0 ? -1 : 60); ++i) {
        zoom->changePinch(std::pow(8.0, i / 60.0));
        frameOf(pinch);
    }
    zoom->cancelGestures();
    bare.zoom()->cancelGestures();
    if (!pinch.ours.isEmpty())
        report(QStringLiteral("pinch 1x to 8x"), pinch, false);

    // At 1x the picture fits and cannot be panned: panning starts one step in.
    for (double scale = ZoomPan::stepFactor; scale <= 8; scale = std::min(8.0, scale * ZoomPan::stepFactor)) {
        // (The step nearest the zoom asked for.)
        if (onlyZoom > 0 && std::abs(std::log(scale / onlyZoom)) > std::log(ZoomPan::stepFactor) / 2) {
            if (scale == 8)
                break;
            continue;
        }
        for (ZoomableImage *canvas : {&viewer, &bare}) {
            canvas->zoom()->reset();
            canvas->zoom()->zoomBy(scale);
            settle(*canvas);
        }
        const QSizeF limit = ZoomPan::panLimit(scale, viewer.size());
        Frames pan;
        for (int i = 0; i <= 40 * rounds; ++i) {
            const double t = -1 + (i % 40 + (i == 40 * rounds ? 40 : 0)) / 20.0;
            zoom->changeDrag(QSizeF(limit.width() * t, limit.height() * -t) - zoom->committed().offset);
            frameOf(pan);
        }
        zoom->cancelGestures();
        bare.zoom()->cancelGestures();
        report(QStringLiteral("pan at %1x").arg(scale, 0, 'f', 2), pan, true);
        if (scale == 8)
            break;
    }

    // Laying out the callouts of one frame (part of every frame above).
    QList<double> layouts;
    const CalloutLabelText text;
    for (int i = 0; i <= 60; ++i) {
        const ZoomPanTransform zoomed{std::pow(8.0, i / 60.0), QSizeF(0, 0), viewer.size()};
        const CanvasGeometry geometry{FittedImage(image.size(), viewer.size()), zoomed};
        layouts.append(timed([&] {
            makeAnnotationFrame(layer.scene(), geometry, state.highlightedID(), true, layer.metrics(), text);
        }));
    }
    std::printf("\nCallout layout of a frame, 1x to 8x: p95 %.2f ms, worst %.2f ms\n", percentile(layouts, 0.95),
                percentile(layouts, 1));

    // Hit tests at random places, at 1× and zoomed, with the frame's
    // callouts already laid out (as after the paint a tap follows).
    QRandomGenerator random(7);
    QList<double> hits, plainHits;
    int found = 0;
    for (double scale : {1.0, 3.375}) {
        zoom->reset();
        zoom->zoomBy(scale);
        settle(viewer);
        viewer.repaint();
        const CanvasGeometry geometry = viewer.geometry();
        for (int i = 0; i < 500; ++i) {
            const QPointF at(random.bounded(1920.0), random.bounded(1080.0));
            hits.append(timed([&] { found += layer.hitAt(at, geometry).part != AnnotationHit::Part::background; }));
            plainHits.append(timed([&] { found += plainHit(at, geometry, layer.scene()); }));
        }
    }
    const double hit = percentile(hits, 0.95);
    std::printf("Hit test: p95 %.3f ms, worst %.3f ms; plain p95 %.3f ms, worst %.3f ms (ratio %.3f); %d found\n",
                hit, percentile(hits, 1), percentile(plainHits, 0.95), percentile(plainHits, 1),
                hit / percentile(plainHits, 0.95), found);

    const bool pass = worst.frame <= frameTargetMs && hit <= hitTargetMs && worst.panProcessor <= panProcessorTargetMs;
    std::printf("%s: gesture frames within %.0f ms and hit tests within %.0f ms, at the 95th percentile; pan frames "
                "within %.0f ms of processor time (median)\n",
                pass ? "PASS" : "FAIL", frameTargetMs, hitTargetMs, panProcessorTargetMs);
    return pass ? 0 : 2;
}
