// Scrolls the thumbnail grid from top to bottom over an on-disk library of
// large scans, decoding every tile that comes into view, and measures the
// process's resident memory and the longest time the GUI thread is blocked.
//
//   QT_QPA_PLATFORM=offscreen build/bench/browser/bench_grid_scroll [--images N] [--size-mb M] [--dir PATH]
//
// A child process first builds the library under PATH (N images of about
// M MB each, noise PNGs that do not compress, kept by the store as files
// beside it: 5,000 of 4 MB, 20 GB, by default). This process then opens it
// as the application does, shows the grid over all its images and scrolls
// one screen at a time, moving on once the screen's thumbnails are decoded,
// with a 1 ms timer measuring the longest event-loop stall.
//
// Targets: resident memory stays within the thumbnail cache's bound plus
// 150 MiB; no stall over 50 ms. Prints PASS or FAIL (exit code 2).

#include "GridBench.h"
#include "support/PeakMemory.h"
#include "support/PictureFiles.h"

#include "browser/LibraryGrid.h"
#include "browser/LibraryGridView.h"
#include "browser/ThumbnailCache.h"
#include "model/AtlasImage.h"
#include "model/VeloranSchemaV1.h"
#include "platform/objectstore/ModelContainer.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>

#include <malloc.h>

#include <algorithm>
#include <cstdio>

namespace {

std::unique_ptr<ModelContainer> openLibrary(const QString &folder)
{
    ModelConfiguration configuration;
    configuration.schema = Schema(VeloranSchemaV1::versionedSchema());
    configuration.url = folder;
    return std::make_unique<ModelContainer>(configuration.schema, VeloranMigrationPlan::plan(),
                                            QList<ModelConfiguration>{configuration});
}

// The child's work: the library, saved a few hundred images at a time.
int build(const QString &folder, int count, double megabytes)
{
    const QByteArray picture = noisePicture(megabytes);
    auto container = openLibrary(folder);
    ModelContext &context = container->mainContext();
    for (int i = 0; i < count; ++i) {
        context.insert(AtlasImage::make(QStringLiteral("Scan %1").arg(i + 1), Modality::ct, Region::thorax,
                                        Plane::axial, AgeSpec{5, 40 + i % 30}, Sex::female, picture));
        if ((i + 1) % 250 == 0 || i + 1 == count) {
            context.save();
            std::printf("\r%d of %d images saved", i + 1, count);
            std::fflush(stdout);
        }
    }
    std::printf(" (%lld bytes each)\n", static_cast<long long>(picture.size()));
    return 0;
}

double mebibytes(qint64 kib)
{
    return kib / 1024.0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 5 && qstrcmp(argv[1], "--build") == 0)
        return build(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]), std::atof(argv[4]));

    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("images"), QStringLiteral("Number of images."), QStringLiteral("N"),
                      QStringLiteral("5000")});
    parser.addOption({QStringLiteral("size-mb"), QStringLiteral("Size of each image file in MB."), QStringLiteral("M"),
                      QStringLiteral("4")});
    parser.addOption({QStringLiteral("dir"), QStringLiteral("Folder on the disk to measure."), QStringLiteral("PATH"),
                      QDir::tempPath()});
    parser.process(app);
    const int count = std::max(1, parser.value(QStringLiteral("images")).toInt());
    const double megabytes = std::max(0.1, parser.value(QStringLiteral("size-mb")).toDouble());

    QTemporaryDir folder(QDir(parser.value(QStringLiteral("dir"))).filePath(QStringLiteral("bench-grid-scroll-XXXXXX")));
    if (!folder.isValid())
        return 1;
    std::printf("Building %d images of %.1f MB under %s...\n", count, megabytes, qPrintable(folder.path()));
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--build"), folder.path(), QString::number(count), QString::number(megabytes)});
    if (!child.waitForFinished(-1) || child.exitCode() != 0)
        return 1;

    malloc_trim(0);
    const qint64 atStart = residentKiB();
    auto container = openLibrary(folder.path());
    const QList<AtlasImage *> images = container->mainContext().fetch<AtlasImage>(&AtlasImage::createdAt);
    ThumbnailCache &cache = ThumbnailCache::shared();
    LibraryGrid grid(cache);
    const double openMs = showGrid(grid, images);
    const qint64 opened = residentKiB();
    std::printf("Opened in %.0f ms: %lld images, %d columns; resident %.0f MiB (%.0f MiB before opening)\n", openMs,
                static_cast<long long>(images.size()), grid.view()->columnCount(), mebibytes(opened),
                mebibytes(atStart));

    // Resident memory is sampled every few ticks of the stall meter, and
    // the kernel's peak read at the end.
    resetPeakResident();
    qint64 largestResident = 0;
    int ticks = 0;
    StallMeter stalls([&] {
        if (++ticks % 10 == 0)
            largestResident = std::max(largestResident, residentKiB());
    });

    // One screen at a time, once the screen's thumbnails are in.
    QScrollBar *bar = grid.view()->verticalScrollBar();
    int screens = 0;
    QTimer scroller;
    scroller.setTimerType(Qt::PreciseTimer);
    scroller.setInterval(16);
    QObject::connect(&scroller, &QTimer::timeout, [&] {
        if (cache.queuedCount() > 0 || cache.runningCount() > 0)
            return;
        if (bar->value() >= bar->maximum()) {
            scroller.stop();
            stalls.stop();
            app.quit();
            return;
        }
        ++screens;
        bar->setValue(std::min(bar->maximum(), bar->value() + bar->pageStep()));
        if (screens % 20 == 0) {
            std::printf("\rscreen %d, %d%%, resident %.0f MiB, cache %.0f MiB", screens,
                        int(100.0 * bar->value() / std::max(1, bar->maximum())), mebibytes(residentKiB()),
                        cache.totalBytes() / 1048576.0);
            std::fflush(stdout);
        }
    });
    QElapsedTimer scrolling;
    scrolling.start();
    stalls.start();
    scroller.start();
    app.exec();
    const double scrollSeconds = scrolling.nsecsElapsed() / 1e9;
    const qint64 peak = std::max(peakResidentKiB(), largestResident);

    const double bound = cache.maxBytes() / 1048576.0;
    const double limit = bound + 150;
    std::printf("\nScrolled %d screens in %.1f s; longest stall %.1f ms\n", screens, scrollSeconds, stalls.longestMs());
    std::printf("Resident memory: peak %.0f MiB while scrolling (%.0f MiB once open); thumbnail cache bound %.0f "
                "MiB, limit %.0f MiB; peak - bound = %.0f MiB\n",
                mebibytes(peak), mebibytes(opened), bound, limit, mebibytes(peak) - bound);
    std::printf("Thumbnails cached at the end: %d (%.0f MiB)\n", cache.count(), cache.totalBytes() / 1048576.0);
    const bool pass = mebibytes(peak) <= limit && stalls.longestMs() < 50;
    std::printf("%s: resident memory within the cache's bound plus 150 MiB, no stall over 50 ms\n",
                pass ? "PASS" : "FAIL");
    return pass ? 0 : 2;
}
