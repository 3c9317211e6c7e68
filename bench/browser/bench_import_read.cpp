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
#include "support/NoisePicture.h"

#include <QBuffer>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>

namespace {

bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

double seconds(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("files"), QStringLiteral("Number of files."), QStringLiteral("N"), QStringLiteral("500")});
    parser.addOption({QStringLiteral("size-mb"), QStringLiteral("Size of each file in MB."), QStringLiteral("M"), QStringLiteral("4")});
    parser.addOption({QStringLiteral("rounds"), QStringLiteral("Rounds of each measurement."), QStringLiteral("R"), QStringLiteral("3")});
    parser.addOption({QStringLiteral("dir"), QStringLiteral("Folder on the disk to measure."), QStringLiteral("PATH"), QDir::currentPath()});
    parser.process(app);

    const int fileCount = qMax(1, parser.value(QStringLiteral("files")).toInt());
    const double megabytes = qMax(0.1, parser.value(QStringLiteral("size-mb")).toDouble());
    const int rounds = qMax(1, parser.value(QStringLiteral("rounds")).toInt());

    QTemporaryDir work(QDir(parser.value(QStringLiteral("dir"))).filePath(QStringLiteral("bench-import-XXXXXX")));
    if (!work.isValid()) {
        std::fprintf(stderr, "cannot make a folder under %s\n", qPrintable(parser.value(QStringLiteral("dir"))));
        return 1;
    }
    const QString source = work.filePath(QStringLiteral("picked"));
    const QString copy = work.filePath(QStringLiteral("copied"));
    QDir().mkpath(source);

    std::printf("writing %d files of %.1f MB under %s\n", fileCount, megabytes, qPrintable(work.path()));
    const QByteArray picture = noisePicture(megabytes);
    QList<QUrl> urls;
    for (int i = 0; i < fileCount; ++i) {
        const QString path = QDir(source).filePath(QStringLiteral("scan %1.png").arg(i + 1));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(picture) != picture.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        urls.append(QUrl::fromLocalFile(path));
    }
    run(QStringLiteral("sync"), {});
    const double totalMB = double(picture.size()) * fileCount / (1024.0 * 1024.0);
    std::printf("%.0f MB in total (%lld bytes a file)\n", totalMB, static_cast<long long>(picture.size()));

    double bestCopy = 1e30;
    double bestImport = 1e30;
    for (int round = 1; round <= rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        if (!run(QStringLiteral("cp"), {QStringLiteral("-r"), source, copy})) {
            std::fprintf(stderr, "cp failed\n");
            return 1;
        }
        const double copySeconds = seconds(timer);
        QDir(copy).removeRecursively();
        run(QStringLiteral("sync"), {});

        timer.restart();
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
