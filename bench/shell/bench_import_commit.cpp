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
// must reach at least half of cp's throughput.

#include "model/AtlasImage.h"
#include "model/Series.h"
#include "model/VeloranSchemaV1.h"
#include "platform/objectstore/ModelContainer.h"
#include "platform/CloudAccountService.h"
#include "platform/UserDefaults.h"
#include "shell/AppState.h"
#include "shell/ContentViewModel.h"
#include "support/NoisePicture.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

class NoAccounts : public CloudAccountService {
public:
    void requestAccountStatus(const QString &, Completion) override {}
};

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
    if (model.showsOperationError() || model.images().size() != urls.size()) {
        std::fprintf(stderr, "commit failed: %s\n", qPrintable(model.operationErrorMessage()));
        return -1;
    }
    return elapsed;
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

    QTemporaryDir work(QDir(parser.value(QStringLiteral("dir"))).filePath(QStringLiteral("bench-commit-XXXXXX")));
    if (!work.isValid()) {
        std::fprintf(stderr, "cannot make a folder under %s\n", qPrintable(parser.value(QStringLiteral("dir"))));
        return 1;
    }
    const QString source = work.filePath(QStringLiteral("picked"));
    const QString copy = work.filePath(QStringLiteral("copied"));
    const QString library = work.filePath(QStringLiteral("library"));
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

        const double importSeconds = importOnce(urls, library);
        if (importSeconds < 0)
            return 1;
        QDir(library).removeRecursively();
        run(QStringLiteral("sync"), {});

        std::printf("round %d: cp %.3f s (%.0f MB/s), import into a new series %.3f s (%.0f MB/s)\n", round,
                    copySeconds, totalMB / copySeconds, importSeconds, totalMB / importSeconds);
        bestCopy = qMin(bestCopy, copySeconds);
        bestImport = qMin(bestImport, importSeconds);
    }

    const double ratio = bestCopy / bestImport;
    std::printf("best: cp %.0f MB/s, import %.0f MB/s, ratio %.2f (target >= 0.50): %s\n", totalMB / bestCopy,
                totalMB / bestImport, ratio, ratio >= 0.5 ? "PASS" : "FAIL");
    return ratio >= 0.5 ? 0 : 2;
}
