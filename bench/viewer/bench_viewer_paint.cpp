// Paints a 16,000 by 16,000 picture in a 2560 by 1440 viewer while it is
// pinched from 1× to 8× and panned across at every zoom step, timing each
// frame, side by side with painting the same frames straight from the
// full-size image (no pyramid), as a plain QPainter viewer would.
//
//   QT_QPA_PLATFORM=offscreen build/bench/viewer/bench_viewer_paint [--size N] [--grey]
//
// Target: every frame of a gesture painted in at most 16 ms (95th
// percentile) at every zoom. Frames at rest are painted smooth (filtered)
// and are timed apart. Prints PASS or FAIL (exit code 2).

#include "ViewerHarness.h"
#include "support/FrameTiming.h"
#include "support/PeakMemory.h"

#include "viewer/CanvasZoom.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

constexpr double targetMs = 16;

// A scan-like picture: soft shapes with fine texture, so that the level
// chosen and the filtering both show.
QImage scan(int side, bool grey)
{
    QImage image(side, side, grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    const double centre = side / 2.0;
    for (int y = 0; y < side; ++y) {
        uchar *line = image.scanLine(y);
        for (int x = 0; x < side; ++x) {
            const double r = std::hypot(x - centre, y - centre) / centre;
            const int body = r < 0.9 ? int(180 - 120 * r) : 10;
            const int value = std::clamp(body + ((x * 7 + y * 13) % 23) - 11 + ((x / 64 + y / 64) % 2) * 20, 0, 255);
            if (grey) {
                line[x] = uchar(value);
            } else {
                reinterpret_cast<QRgb *>(line)[x] = qRgb(value, value * 9 / 10, value * 8 / 10);
            }
        }
    }
    return image;
}

// The frames of one zoom step: a pan across the whole allowed range,
// diagonally, in 40 frames.
QList<QSizeF> panPath(double scale, QSizeF viewport, const ZoomPan &committed)
{
    const QSizeF limit = ZoomPan::panLimit(scale, viewport);
    QList<QSizeF> path;
    for (int i = 0; i <= 40; ++i) {
        const double t = -1 + i / 20.0;
        path.append(QSizeF(limit.width() * t, limit.height() * -t) - committed.offset);
    }
    return path;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    int side = 16000;
    if (const qsizetype at = arguments.indexOf(QStringLiteral("--size")); at >= 0 && at + 1 < arguments.size())
        side = std::max(256, arguments.at(at + 1).toInt());
    const bool grey = arguments.contains(QStringLiteral("--grey"));

    std::printf("Making a %d x %d %s picture...\n", side, side, grey ? "grey" : "colour");
    QImage image = scan(side, grey);

    PictureSource source;
    QElapsedTimer build;
    build.start();
    buildPicture(source, image);
    std::printf("Pyramid built off the GUI thread in %.0f ms (%lld levels)\n", build.nsecsElapsed() / 1e6,
                static_cast<long long>(source.levels().size()));

    ZoomableImage viewer;
    showViewer(viewer, &source, nullptr, {2560, 1440});
    CanvasZoom *zoom = viewer.zoom();
    const QSizeF viewport = viewer.size();

    // The same frame painted the plain way: the full-size image scaled into
    // the zoomed picture rectangle, clipped to the view.
    QImage plainTarget(viewer.size(), QImage::Format_ARGB32_Premultiplied);
    const auto plainFrame = [&](bool smooth) {
        const CanvasGeometry canvas{FittedImage(image.size(), viewport), viewer.geometry().transform};
        QPainter painter(&plainTarget);
        painter.fillRect(plainTarget.rect(), Qt::black);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
        painter.drawImage(canvas.pictureRect(), image);
    };

    // Pinching from 1× to 8×: the frames of the gesture.
    QList<double> pinchFrames, plainPinchFrames;
    for (int i = 0; i <= 60; ++i) {
        zoom->changePinch(std::pow(8.0, i / 60.0));
        nextFrame(viewer);
        pinchFrames.append(timed([&] { viewer.repaint(); }));
        plainPinchFrames.append(timed([&] { plainFrame(false); }));
    }
    zoom->cancelGestures();
    std::printf("\nPinch 1x to 8x, %lld frames: 95th percentile %.1f ms, worst %.1f ms; plain %.1f ms, worst %.1f "
                "ms (ratio %.2f)\n",
                static_cast<long long>(pinchFrames.size()), percentile(pinchFrames, 0.95),
                percentile(pinchFrames, 1), percentile(plainPinchFrames, 0.95), percentile(plainPinchFrames, 1),
                percentile(pinchFrames, 0.95) / percentile(plainPinchFrames, 0.95));
    bool pass = percentile(pinchFrames, 0.95) <= targetMs;

    std::printf("\n%6s | %21s | %10s | %21s | %9s | %s\n", "zoom", "pan frames p95 / worst", "at rest",
                "plain p95 / worst", "plain rest", "ratio (p95)");
    for (double scale = 1; scale <= 8; scale = std::min(8.0, scale * ZoomPan::stepFactor)) {
        zoom->reset();
        zoom->zoomBy(scale);
        QList<double> frames, plainFrames;
        for (const QSizeF &translation : panPath(scale, viewport, zoom->committed())) {
            zoom->changeDrag(translation);
            nextFrame(viewer);
            frames.append(timed([&] { viewer.repaint(); }));
            plainFrames.append(timed([&] { plainFrame(false); }));
        }
        zoom->cancelGestures();
        // At rest in the middle, where the most picture shows.
        settle(viewer);
        const double rest = timed([&] { viewer.repaint(); });
        const double plainRest = timed([&] { plainFrame(true); });
        const double p95 = percentile(frames, 0.95);
        std::printf("%5.2fx | %9.1f / %6.1f ms | %7.1f ms | %9.1f / %6.1f ms | %6.1f ms | %.3f\n", scale, p95,
                    percentile(frames, 1), rest, percentile(plainFrames, 0.95), percentile(plainFrames, 1), plainRest,
                    p95 / percentile(plainFrames, 0.95));
        pass = pass && p95 <= targetMs;
        if (scale == 8)
            break;
    }
    std::printf("\nPeak resident memory: %lld MiB (picture %lld MiB)\n",
                static_cast<long long>(peakResidentKiB() / 1024), static_cast<long long>(image.sizeInBytes() >> 20));
    std::printf("%s: every gesture frame within %.0f ms at the 95th percentile\n", pass ? "PASS" : "FAIL", targetMs);
    return pass ? 0 : 2;
}
