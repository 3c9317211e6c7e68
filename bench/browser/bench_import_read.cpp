// Reading and checking picked image files, side by side with `cp` of the
// same files to the same disk.
//
//   bench_import_read [--files N] [--size-mb M] [--rounds R] [--dir PATH]
//
// Writes N picture files of about M MB each (noise, so they do not compress)
// into a temporary folder under PATH (default: the current folder), then runs
// R rounds of: `cp` of the folder to a sibling folder (removed afterwards),
// and the import's read-and-check of every file on a worker thread. The best
// round of each is compared; the import must reach at least half of cp's
// throughput.

#include "browser/ImportedImage.h"
#include "support/PictureFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const PictureBenchOptions options = PictureBenchOptions::parse(app);
    const int fileCount = options.fileCount;
    const int rounds = options.rounds;

    const PictureBenchFolder folder(options, QStringLiteral("bench-import"));
    if (!folder.isReady())
        return 1;
    const double totalMB = folder.totalMB;
    const QList<QUrl> &urls = folder.urls;

    double bestCopy = 1e30;
    double bestImport = 1e30;
    for (int round = 1; round <= rounds; ++round) {
        const double copySeconds = folder.timeCopy();
        if (copySeconds < 0)
            return 1;

        QElapsedTimer timer;
        timer.start();
        QFuture<ImportedImagesResult> future = loadImportedImagesInBackground(urls);
        future.waitForFinished();
        const double importSeconds = seconds(timer);
        const ImportedImagesResult result = future.result();
        if (!result.succeeded() || result.images.size() != fileCount) {
            std::fprintf(stderr, "import failed: %s\n", qPrintable(result.errorDescription()));
            return 1;
        }

        std::printf("round %d: cp %.3f s (%.0f MB/s), read + check %.3f s (%.0f MB/s)\n", round, copySeconds,
                    totalMB / copySeconds, importSeconds, totalMB / importSeconds);
        bestCopy = qMin(bestCopy, copySeconds);
        bestImport = qMin(bestImport, importSeconds);
    }

    const double ratio = (totalMB / bestImport) / (totalMB / bestCopy);
    std::printf("best: cp %.0f MB/s, read + check %.0f MB/s, ratio %.2f (target >= 0.50): %s\n", totalMB / bestCopy,
                totalMB / bestImport, ratio, ratio >= 0.5 ? "PASS" : "FAIL");
    return ratio >= 0.5 ? 0 : 2;
}
