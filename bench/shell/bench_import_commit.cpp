// Importing picked image files into a new series of an on-disk library, the
// whole way (read and check on a worker thread, commit, one save), side by
// side with `cp` of the same files to the same disk.
//
//   bench_import_commit [--files N] [--size-mb M] [--rounds R] [--dir PATH]
//
// Writes N picture files of about M MB each under PATH (default: the current
// folder), then runs R rounds of: `cp -r` of the files to a sibling folder,
// and an import of all of them as a new series into a fresh on-disk library
// in another sibling folder. The best round of each is compared; the import
// must reach at least half of cp's throughput. Each round is also timed up
// to the end of a following `sync`, which compares what reaches the disk.

#include "support/ShellSupport.h"
#include "model/AtlasImage.h"
#include "model/Series.h"
#include "model/VeloranSchemaV1.h"
#include "platform/objectstore/ModelContainer.h"
#include "platform/UserDefaults.h"
#include "shell/AppState.h"
#include "shell/ContentViewModel.h"
#include "support/PictureFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>

#include <cstdio>

namespace {

// One import into a fresh library under `folder`; the time it took, or a
// negative value on failure.
double importOnce(const QList<QUrl> &urls, const QString &folder)
{
    ModelConfiguration configuration;
    configuration.schema = Schema(VeloranSchemaV1::versionedSchema());
    configuration.url = folder;
    ModelContainer container(configuration.schema, VeloranMigrationPlan::plan(), {configuration});
    UserDefaults defaults;
    NoAccounts accounts;
    AppState state(defaults, accounts);
    ContentViewModel model(container.mainContext(), state);

    QElapsedTimer timer;
    timer.start();
    QEventLoop loop;
    QObject::connect(&model, &ContentViewModel::pendingImportChanged, &loop, &QEventLoop::quit);
    QObject::connect(&model, &ContentViewModel::operationErrorChanged, &loop, &QEventLoop::quit);
    model.beginImport();
    model.handleImportResult(urls);
    loop.exec();
    if (!model.pendingImport()) {
        std::fprintf(stderr, "reading failed: %s\n", qPrintable(model.operationErrorMessage()));
        return -1;
    }
    const PendingImageImport pending = *model.pendingImport();
    model.commitImport(pending, pending.initialDraft());
    const double elapsed = seconds(timer);
    if (model.showsOperationError() || model.library().images().size() != urls.size()) {
        std::fprintf(stderr, "commit failed: %s\n", qPrintable(model.operationErrorMessage()));
        return -1;
    }
    return elapsed;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const PictureBenchOptions options = PictureBenchOptions::parse(app);
    const int rounds = options.rounds;

    const PictureBenchFolder folder(options, QStringLiteral("bench-commit"));
    if (!folder.isReady())
        return 1;
    const QString library = folder.work.filePath(QStringLiteral("library"));
    const double totalMB = folder.totalMB;

    double bestCopy = 1e30;
    double bestImport = 1e30;
    double bestDurableCopy = 1e30;
    double bestDurableImport = 1e30;
    for (int round = 1; round <= rounds; ++round) {
        double durableCopySeconds = 0;
        const double copySeconds = folder.timeCopy(&durableCopySeconds);
        if (copySeconds < 0)
            return 1;

        QElapsedTimer timer;
        timer.start();
        const double importSeconds = importOnce(folder.urls, library);
        if (importSeconds < 0)
            return 1;
        runProgram(QStringLiteral("sync"), {});
        const double durableImportSeconds = seconds(timer);
        QDir(library).removeRecursively();
        runProgram(QStringLiteral("sync"), {});
        bestDurableCopy = qMin(bestDurableCopy, durableCopySeconds);
        bestDurableImport = qMin(bestDurableImport, durableImportSeconds);
        std::printf("         on the disk (each followed by sync): cp %.3f s, import %.3f s\n", durableCopySeconds,
                    durableImportSeconds);

        std::printf("round %d: cp %.3f s (%.0f MB/s), import into a new series %.3f s (%.0f MB/s)\n", round,
                    copySeconds, totalMB / copySeconds, importSeconds, totalMB / importSeconds);
        bestCopy = qMin(bestCopy, copySeconds);
        bestImport = qMin(bestImport, importSeconds);
    }

    std::printf("on the disk: cp %.0f MB/s, import %.0f MB/s, ratio %.2f\n", totalMB / bestDurableCopy,
                totalMB / bestDurableImport, bestDurableCopy / bestDurableImport);
    const double ratio = bestCopy / bestImport;
    std::printf("best: cp %.0f MB/s, import %.0f MB/s, ratio %.2f (target >= 0.50): %s\n", totalMB / bestCopy,
                totalMB / bestImport, ratio, ratio >= 0.5 ? "PASS" : "FAIL");
    return ratio >= 0.5 ? 0 : 2;
}
