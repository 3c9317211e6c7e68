// Deleting a series of 1,000 images whose bytes the store keeps in files,
// from a main window, while a 1 ms timer records the longest stall of the
// event loop; beside `rm` of a copy of the same files.
//
//   bench_delete [--rounds R] [--dir PATH]
//
// Each round adds the series (1,000 images of 288 KB) to an on-disk library
// under PATH (default: the temporary folder), selects it in the window's
// sidebar, deletes its row as the sidebar's Delete command does, and waits
// until every file has gone. Target: no stall over 100 ms. Prints PASS or
// FAIL (exit code 2).

#include "support/ShellSupport.h"
#include "support/StoreLibrary.h"

#include "platform/UserDefaults.h"
#include "platform/objectstore/ExternalStorage.h"
#include "shell/AppState.h"
#include "shell/ContentViewModel.h"
#include "shell/MainWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int imageCount = 1000;

void print(const QString &text)
{
    std::printf("%s\n", qPrintable(text));
    std::fflush(stdout);
}

qsizetype fileCount(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot).size();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("rounds"), QStringLiteral("Rounds."), QStringLiteral("R"), QStringLiteral("3")});
    parser.addOption({QStringLiteral("dir"), QStringLiteral("Where the library is made."), QStringLiteral("PATH"),
                      QDir::tempPath()});
    parser.process(app);
    const int rounds = std::max(1, parser.value(QStringLiteral("rounds")).toInt());
    QTemporaryDir temporary(QDir(parser.value(QStringLiteral("dir"))).filePath(QStringLiteral("veloran-bench-delete-XXXXXX")));
    const QString folder = temporary.filePath(QStringLiteral("library"));
    QDir().mkpath(folder);
    auto container = storelibrary::open(folder);
    ModelContext &context = container->mainContext();
    const QString external = ModelContainer::externalFolder(QDir(folder).filePath(QStringLiteral("default.store")));
    QByteArray bytes(ExternalStorage::fileThreshold + 32 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 13);

    UserDefaults defaults;
    NoAccounts accounts;
    AppState state(defaults, accounts);
    MainWindow window(context, state, MainWindowState::makeDefault());
    ContentViewModel &model = window.model();
    window.show();

    QList<double> longest, removals, peers;
    for (int round = 1; round <= rounds; ++round) {
        auto series = Series::make(QStringLiteral("Large %1").arg(round));
        context.insert(series);
        for (int i = 0; i < imageCount; ++i)
            AtlasImage::make(QStringLiteral("Large %1").arg(i), Modality::ct, Region::thorax, Plane::axial,
                             AgeSpec{5, 40}, Sex::female, bytes, i, series.get());
        context.save();
        const QString copy = temporary.filePath(QStringLiteral("copy"));
        QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-r"), external, copy});
        QProcess::execute(QStringLiteral("sync"), {});

        // The series selected in the sidebar, its images in the grid.
        model.setSidebarSelection({LibraryEntryID::series(series->id())});
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 500)
            QApplication::processEvents(QEventLoop::AllEvents, 10);

        StallMeter stalls;
        qint64 removedAt = -1;
        QTimer watcher;
        watcher.setInterval(20);
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            if (removedAt < 0 && fileCount(external) == 0)
                removedAt = stalls.elapsedNs();
            if (removedAt >= 0 && stalls.elapsedNs() - removedAt > 300000000LL)
                app.quit();
        });
        QTimer::singleShot(50, &app, [&] {
            const QList<LibraryEntry> entries = model.libraryEntries();
            const auto entry = std::find_if(entries.cbegin(), entries.cend(), [&](const LibraryEntry &e) {
                return e.entryID() == LibraryEntryID::series(series->id());
            });
            model.requestDeletion({*entry});
        });
        stalls.start();
        watcher.start();
        app.exec();
        stalls.stop();
        watcher.stop();

        QElapsedTimer peer;
        peer.start();
        QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), copy});
        peers << double(peer.nsecsElapsed()) / 1e6;
        longest << stalls.longestMs();
        removals << double(removedAt) / 1e6 - 50;
        print(QStringLiteral("round %1: longest stall %2 ms; every file gone %3 ms after the deletion; rm -rf of a copy "
                             "of the same files: %4 ms")
                  .arg(round)
                  .arg(longest.last(), 0, 'f', 1)
                  .arg(removals.last(), 0, 'f', 0)
                  .arg(peers.last(), 0, 'f', 0));
    }
    const double worst = *std::max_element(longest.cbegin(), longest.cend());
    std::sort(peers.begin(), peers.end());
    print(QStringLiteral("longest stall while deleting %1 images in files: %2 ms (target <= 100 ms); rm -rf of the "
                         "same files takes %3 ms (median): ratio %4")
              .arg(imageCount)
              .arg(worst, 0, 'f', 1)
              .arg(peers.at(peers.size() / 2), 0, 'f', 0)
              .arg(worst / peers.at(peers.size() / 2), 0, 'f', 2));
    const bool pass = worst <= 100;
    print(pass ? QStringLiteral("PASS") : QStringLiteral("FAIL"));
    return pass ? 0 : 2;
}
