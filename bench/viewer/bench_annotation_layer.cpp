// Paints an image with 2,000 regions of 50 corners and 2,000 points, their
// callouts shown, in a 1920 by 1080 viewer while it is pinched from 1× to 8×
// and panned across at every zoom step past 1×, timing each frame; and times hit
// tests (a tap's search for the mark or label under it). Side by side, in
// the same run, the same frames are painted the plain way, as a simple
// overlay would: every frame maps every corner and point to the view and
// fills and strokes each shape, line and label with QPainter, and a hit test
// maps every shape before testing it.
//
//   QT_QPA_PLATFORM=offscreen build/bench/viewer/bench_annotation_layer [--regions N] [--points N]
//
// Targets: every gesture frame within 16 ms and a hit test within 1 ms, at
// the 95th percentile. Prints PASS or FAIL (exit code 2). Our frames are
// painted on several threads; the processor time they take in all (the
// work a busy machine has to find room for) is printed beside them.

#include "ViewerHarness.h"
#include "support/FrameTiming.h"
#include "support/RegionBlobs.h"

#include "model/AtlasImage.h"
#include "ui/AppStyle.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "viewer/CanvasZoom.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <numbers>
#include <vector>

namespace {

constexpr double frameTargetMs = 16;
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
    QList<double> ours, ourProcessor, plain;
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
    // The plain painter is slow: it paints every `plainEvery`th frame.
    const int plainEvery = arguments.contains(QStringLiteral("--ours-only")) ? 1 << 30 : 4;

    Library library(regionCount, pointCount);
    const QImage image = blobPicture();
    AnnotatedViewer shown(library.image.get(), image, {1920, 1080});
    ZoomableImage &viewer = shown.viewer;
    AnnotationViewState &state = shown.state;
    AnnotationLayer &layer = shown.layer;
    // One annotation highlighted, as after a tap.
    if (!library.regions.empty())
        state.setHighlightedID(library.regions.front()->id());
    viewer.repaint();
    CanvasZoom *zoom = viewer.zoom();

    QImage plainTarget(viewer.size(), QImage::Format_ARGB32_Premultiplied);
    int frameNumber = 0;
    const auto frameOf = [&](Frames &frames) {
        const double processorBefore = processorMs();
        frames.ours.append(timed([&] { viewer.repaint(); }));
        frames.ourProcessor.append(processorMs() - processorBefore);
        if (frameNumber++ % plainEvery == 0 || frames.plain.isEmpty()) {
            const AnnotationFrame &frame = layer.frame(viewer.geometry());
            frames.plain.append(timed([&] { paintPlainly(plainTarget, image, frame, layer.scene()); }));
        }
    };
    const auto report = [](const char *what, const Frames &frames) {
        const double ours = percentile(frames.ours, 0.95), plain = percentile(frames.plain, 0.95);
        std::printf("%-22s | %7.1f / %6.1f ms | %9.1f ms | %8.1f / %7.1f ms | %6.3f\n", what, ours,
                    percentile(frames.ours, 1), percentile(frames.ourProcessor, 0.5), plain,
                    percentile(frames.plain, 1), ours / plain);
        return ours;
    };

    std::printf("%d regions of 50 corners, %d points, callouts shown, 1920 x 1080\n\n", regionCount, pointCount);
    std::printf("%-22s | %21s | %12s | %22s | %s\n", "frames", "ours p95 / worst", "processor", "plain p95 / worst",
                "ratio (p95)");
    Frames pinch;
    for (int i = 0; i <= 60; ++i) {
        zoom->changePinch(std::pow(8.0, i / 60.0));
        frameOf(pinch);
    }
    zoom->cancelGestures();
    double worst = report("pinch 1x to 8x", pinch);

    // At 1x the picture fits and cannot be panned: panning starts one step in.
    for (double scale = ZoomPan::stepFactor; scale <= 8; scale = std::min(8.0, scale * ZoomPan::stepFactor)) {
        zoom->reset();
        zoom->zoomBy(scale);
        settle(viewer);
        const QSizeF limit = ZoomPan::panLimit(scale, viewer.size());
        Frames pan;
        for (int i = 0; i <= 40; ++i) {
            const double t = -1 + i / 20.0;
            zoom->changeDrag(QSizeF(limit.width() * t, limit.height() * -t) - zoom->committed().offset);
            frameOf(pan);
        }
        zoom->cancelGestures();
        worst = std::max(worst, report(qPrintable(QStringLiteral("pan at %1x").arg(scale, 0, 'f', 2)), pan));
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

    const bool pass = worst <= frameTargetMs && hit <= hitTargetMs;
    std::printf("%s: gesture frames within %.0f ms and hit tests within %.0f ms, at the 95th percentile\n",
                pass ? "PASS" : "FAIL", frameTargetMs, hitTargetMs);
    return pass ? 0 : 2;
}
