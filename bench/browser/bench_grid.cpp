// Opens the thumbnail grid over 100,000 images and scrolls it from top to
// bottom, measuring how long the GUI thread is ever blocked.
//
//   QT_QPA_PLATFORM=offscreen build/bench/browser/bench_grid [--images N] [--pages-per-frame P]
//
// Targets: the grid is open (built, given its images, shown and drawn) in
// under 1 s, and while it scrolls no event-loop stall exceeds 50 ms. The
// images carry real JPEG bytes (a few distinct pictures, shared), so
// thumbnails are decoded as the tiles come into view. Prints PASS or FAIL
// (exit code 2).

#include "GridBench.h"
#include "SampleLibrary.h"

#include "browser/LibraryGrid.h"
#include "browser/LibraryGridView.h"
#include "browser/ThumbnailCache.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    int count = 100000;
    double pagesPerFrame = 2;
    const QStringList arguments = app.arguments();
    if (const qsizetype at = arguments.indexOf(QStringLiteral("--images")); at >= 0 && at + 1 < arguments.size())
        count = std::max(1, arguments.at(at + 1).toInt());
    if (const qsizetype at = arguments.indexOf(QStringLiteral("--pages-per-frame")); at >= 0 && at + 1 < arguments.size())
        pagesPerFrame = std::max(0.1, arguments.at(at + 1).toDouble());

    std::printf("Building %d images...\n", count);
    QList<QByteArray> pictures;
    for (quint32 i = 0; i < 12; ++i)
        pictures.append(sample::encoded(sample::scanPicture(QSize(1600, 1200), i + 1), "JPEG"));
    sample::Library library;
    library.images.reserve(std::size_t(count));
    QList<AtlasImage *> images;
    images.reserve(count);
    for (int i = 0; i < count; ++i) {
        images.append(library.addImage(QStringLiteral("Image %1").arg(i), Modality::ct, Region::thorax, Plane::axial,
                                       AgeSpec{5, 40 + i % 30}, Sex::female, pictures.at(i % pictures.size())));
    }

    LibraryGrid grid;
    const double openMs = showGrid(grid, images);
    std::printf("Open: %.1f ms (%d columns)\n", openMs, grid.view()->columnCount());

    // Drawing a screen of tiles that have no thumbnails yet.
    {
        QScrollBar *bar = grid.view()->verticalScrollBar();
        QList<double> paints;
        for (int i = 1; i <= 20; ++i) {
            bar->setValue(bar->maximum() / 40 * i);
            QElapsedTimer paint;
            paint.start();
            grid.view()->viewport()->repaint();
            paints.append(paint.nsecsElapsed() / 1e6);
        }
        std::sort(paints.begin(), paints.end());
        std::printf("Drawing a new screen: median %.1f ms, worst %.1f ms\n", paints.at(10), paints.last());
        bar->setValue(0);
        ThumbnailCache::shared().waitForIdle();
    }

    StallMeter stalls;

    QScrollBar *bar = grid.view()->verticalScrollBar();
    const int step = std::max(1, int(grid.view()->viewport()->height() * pagesPerFrame));
    int frames = 0;
    QTimer scroller;
    scroller.setTimerType(Qt::PreciseTimer);
    scroller.setInterval(16);
    QObject::connect(&scroller, &QTimer::timeout, [&] {
        ++frames;
        if (bar->value() >= bar->maximum()) {
            scroller.stop();
            stalls.stop();
            app.quit();
            return;
        }
        bar->setValue(std::min(bar->maximum(), bar->value() + step));
    });
    QElapsedTimer scrolling;
    scrolling.start();
    stalls.start();
    scroller.start();
    app.exec();
    const double scrollSeconds = scrolling.nsecsElapsed() / 1e9;

    std::printf("Scrolled %d px in %d frames, %.1f s; longest stall %.1f ms, 99th percentile gap %.2f ms\n",
                bar->maximum(), frames, scrollSeconds, stalls.longestMs(), stalls.percentile99Ms());
    std::printf("Thumbnails cached at the end: %d (%.1f MB)\n", ThumbnailCache::shared().count(),
                ThumbnailCache::shared().totalBytes() / 1e6);
    const bool pass = openMs < 1000 && stalls.longestMs() < 50;
    std::printf("%s: open under 1 s, no stall over 50 ms\n", pass ? "PASS" : "FAIL");
    return pass ? 0 : 2;
}
