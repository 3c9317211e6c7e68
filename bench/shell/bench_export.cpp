// Exports, duplicates and deletions on a large library, from a main window,
// while a 1 ms timer records the longest stall of the event loop; beside
// sqlite3 reading or copying the same rows, in the same run.
//
//   QT_QPA_PLATFORM=offscreen bench_export [--images N] [--rounds R] [--dir PATH] [--former]
//
// The library is the start-up benchmark's (N images, default 100,000, in
// series of 1,000; each image with 10 labelled points, one region of 20
// vertices and 4 KB of bytes), built under PATH on the first run and reused
// afterwards. Each round measures:
//
// - "Export Library…" of the Settings window's Library page, from the
//   command to its "Export Failed" alert (more images than one archive
//   holds) or its save dialog, beside `sqlite3` counting the images whose
//   bytes the archive would hold, all of them and up to the writer's limit;
// - "Export Series…" of a series of 1,000 images, from the command to its
//   save dialog on screen, beside `sqlite3` reading the series' images,
//   points and regions, and a plain QFileDialog opened the same way;
// - "Duplicate Series" of that series, until the window has taken in the
//   copy, beside `sqlite3` copying the same rows into temporary tables;
// - deleting the copy, beside `sqlite3` deleting the same rows in a
//   transaction that it rolls back.
//
// For the duplicate and the deletion it also reports the window's reaction:
// the main thread's time in the turns of the event loop from the end of the
// save on (the lists taking in the change, the views redrawn), in all and
// the longest turn.
//
// With --former it also times what the library's export used to do on the
// main thread: building every record from the objects (all of them loaded).
// Target: no stall over 50 ms. Prints PASS or FAIL (exit code 2).

#include "support/ShellSupport.h"
#include "support/StoreLibrary.h"

#include "archive/LibraryArchiveSource.h"
#include "platform/UserDefaults.h"
#include "shell/AppState.h"
#include "shell/ContentViewModel.h"
#include "shell/LibrarySettingsModel.h"
#include "shell/MainWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

void print(const QString &text)
{
    std::printf("%s\n", qPrintable(text));
    std::fflush(stdout);
}

// Times the events that the event loop dispatches: from countFrom() on,
// the busy time and the longest turn.
class TimedApplication : public QApplication {
public:
    TimedApplication(int &argc, char **argv)
        : QApplication(argc, argv)
    {
        m_clock.start();
    }

    bool notify(QObject *receiver, QEvent *event) override
    {
        if (m_depth > 0)
            return QApplication::notify(receiver, event);
        ++m_depth;
        const qint64 start = m_clock.nsecsElapsed();
        const bool result = QApplication::notify(receiver, event);
        --m_depth;
        if (m_from >= 0) {
            const qint64 spent = m_clock.nsecsElapsed() - std::max(start, m_from);
            if (spent > 0) {
                m_busy += spent;
                m_longest = std::max(m_longest, spent);
            }
        }
        return result;
    }

    // From now on (the rest of the event under way included).
    void countFrom()
    {
        m_from = m_clock.nsecsElapsed();
        m_busy = 0;
        m_longest = 0;
    }
    // What was counted (in ms: busy, longest turn), and stops counting.
    std::pair<double, double> takeCounted()
    {
        const std::pair<double, double> counted{m_busy / 1e6, m_longest / 1e6};
        m_from = -1;
        m_busy = 0;
        m_longest = 0;
        return counted;
    }

private:
    QElapsedTimer m_clock;
    int m_depth = 0;
    qint64 m_from = -1;
    qint64 m_busy = 0;
    qint64 m_longest = 0;
};

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

struct Measure {
    double ms = 0;      // from the start to `done`
    double stallMs = 0; // the longest stall meanwhile
};

// Starts `start` from the event loop and runs it until `done`, then lets
// the loop run `settleMs` more, all under the stall meter.
Measure measure(const std::function<void()> &start, const std::function<bool()> &done, int settleMs = 100)
{
    QEventLoop loop;
    qint64 startedAt = -1;
    qint64 doneAt = -1;
    StallMeter *meter = nullptr;
    StallMeter stalls([&] {
        if (startedAt < 0)
            return;
        if (doneAt < 0 && done())
            doneAt = meter->elapsedNs();
        if (doneAt >= 0 && meter->elapsedNs() - doneAt > qint64(settleMs) * 1000000)
            loop.quit();
    });
    meter = &stalls;
    QTimer::singleShot(20, &loop, [&] {
        startedAt = stalls.elapsedNs();
        start();
        if (done() && doneAt < 0)
            doneAt = stalls.elapsedNs();
    });
    stalls.start();
    loop.exec();
    stalls.stop();
    return {double(doneAt - startedAt) / 1e6, stalls.longestMs()};
}

// The wall-clock time of `sqlite3` running `sql` on `store`.
double sqlite(const QString &store, const QString &sql)
{
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(QStringLiteral("sqlite3"), {store, sql});
    process.waitForFinished(-1);
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    if (process.exitCode() != 0)
        print(QStringLiteral("sqlite3 failed: %1").arg(QString::fromLocal8Bit(process.readAllStandardError())));
    return ms;
}

QFileDialog *visibleFileDialog()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *dialog = qobject_cast<QFileDialog *>(widget); dialog && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

} // namespace

int main(int argc, char *argv[])
{
    if (const std::optional<int> built = storelibrary::addSeriesWhenAsked(argc, argv))
        return *built;

    TimedApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("images"), QStringLiteral("Images in the library."), QStringLiteral("N"),
                      QStringLiteral("100000")});
    parser.addOption({QStringLiteral("rounds"), QStringLiteral("Rounds of each measure."), QStringLiteral("R"),
                      QStringLiteral("3")});
    parser.addOption({QStringLiteral("dir"), QStringLiteral("Where the library is kept."), QStringLiteral("PATH"),
                      QDir::tempPath()});
    parser.addOption({QStringLiteral("former"),
                      QStringLiteral("Also time building the whole library's records from its objects.")});
    parser.process(app);
    const int seriesCount = std::max(1, parser.value(QStringLiteral("images")).toInt() / storelibrary::imagesPerSeries);
    const int rounds = std::max(1, parser.value(QStringLiteral("rounds")).toInt());

    // The start-up benchmark's library, shared with it.
    const QString folder =
        storelibrary::startupLibraryFolder(parser.value(QStringLiteral("dir")), seriesCount);
    if (folder.isEmpty()) {
        print(QStringLiteral("building the library failed"));
        return 1;
    }
    const QString store = QDir(folder).filePath(QStringLiteral("default.store"));

    auto container = storelibrary::open(folder);
    ModelContext &context = container->mainContext();
    UserDefaults defaults;
    NoAccounts accounts;
    AppState state(defaults, accounts);
    MainWindow window(context, state, MainWindowState::makeDefault());
    ContentViewModel &model = window.model();
    window.show();
    {
        QElapsedTimer ready;
        ready.start();
        while (!model.library().isSearchIndexReady() || ready.elapsed() < 1000)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    LibrarySettingsModel settings(context);
    print(QStringLiteral("library: %1 images in %2 series (%3)")
              .arg(context.fetch<AtlasImage>().size())
              .arg(context.fetch<Series>().size())
              .arg(store));

    // The first series in the sidebar, and its row key for sqlite3.
    const auto seriesEntry = [&]() -> LibraryEntry {
        for (const LibraryEntry &entry : model.libraryEntries()) {
            if (entry.seriesGroup() && entry.seriesGroup()->series->title() == QStringLiteral("Series 0"))
                return entry;
        }
        qFatal("no series \"Series 0\"");
    };
    Series *series = seriesEntry().seriesGroup()->series;
    const QString seriesImages = QStringLiteral("(SELECT rowKey FROM AtlasImage WHERE seriesKey = %1)").arg(series->storeKey());

    const QString countFiles = QStringLiteral(
        "SELECT COUNT(*) FROM AtlasImage i LEFT JOIN ImageFile f ON f.imageKey = i.rowKey "
        "LEFT JOIN ImageData d ON d.imageKey = i.rowKey WHERE i.hasImageData AND (f.fileName IS NOT NULL OR "
        "d.imageKey IS NULL OR length(d.bytes) > 0);");
    // The same, stopping where the archive is known to be too large.
    const QString countFilesToTheLimit =
        QStringLiteral("SELECT COUNT(*) FROM (SELECT 1 FROM AtlasImage i LEFT JOIN ImageFile f ON f.imageKey = i.rowKey "
                       "LEFT JOIN ImageData d ON d.imageKey = i.rowKey WHERE i.hasImageData AND (f.fileName IS NOT "
                       "NULL OR d.imageKey IS NULL OR length(d.bytes) > 0) ORDER BY i.rowKey LIMIT %1);")
            .arg(ZipArchiveWriter::maximumEntryCount);
    const QString readSeries =
        QStringLiteral("SELECT * FROM AtlasImage WHERE seriesKey = %1; SELECT * FROM PointAnnotation WHERE imageKey IN %2; "
                       "SELECT * FROM RegionAnnotation WHERE imageKey IN %2; SELECT length(bytes) FROM ImageData "
                       "WHERE imageKey IN %2;")
            .arg(series->storeKey())
            .arg(seriesImages);
    const QString copySeries =
        QStringLiteral("CREATE TEMP TABLE a AS SELECT * FROM AtlasImage WHERE seriesKey = %1; "
                       "CREATE TEMP TABLE p AS SELECT * FROM PointAnnotation WHERE imageKey IN %2; "
                       "CREATE TEMP TABLE r AS SELECT * FROM RegionAnnotation WHERE imageKey IN %2; "
                       "CREATE TEMP TABLE d AS SELECT * FROM ImageData WHERE imageKey IN %2;")
            .arg(series->storeKey())
            .arg(seriesImages);
    const QString deleteSeries =
        QStringLiteral("BEGIN; DELETE FROM PointAnnotation WHERE imageKey IN %1; "
                       "DELETE FROM RegionAnnotation WHERE imageKey IN %1; DELETE FROM ImageData WHERE imageKey IN %1; "
                       "DELETE FROM AtlasImage WHERE seriesKey = %2; DELETE FROM Series WHERE rowKey = %2; ROLLBACK;")
            .arg(seriesImages)
            .arg(series->storeKey());

    struct Row {
        QString label;
        QList<double> ms, stalls, peers;
        QString peer;
        QList<double> reactions = {}, reactionTurns = {}; // after the save
    };
    QList<Row> rows{{QStringLiteral("Export Library… to its outcome"), {}, {}, {}, QStringLiteral("sqlite3 counting the files")},
                    {QStringLiteral("Export Series… to its dialog"), {}, {}, {}, QStringLiteral("sqlite3 reading its rows")},
                    {QStringLiteral("a plain QFileDialog opened"), {}, {}, {}, QString()},
                    {QStringLiteral("Duplicate Series (1,000 images)"), {}, {}, {}, QStringLiteral("sqlite3 copying its rows")},
                    {QStringLiteral("deleting that copy"), {}, {}, {}, QStringLiteral("sqlite3 deleting its rows")}};
    QString outcome;
    QList<double> toTheLimit;
    for (int round = 1; round <= rounds; ++round) {
        // The whole library.
        LibraryArchiveExport &libraryExport = settings.archiveExport();
        Measure m = measure([&] { settings.exportLibrary(); },
                            [&] { return libraryExport.showsError() || libraryExport.isPresentingExporter(); });
        outcome = libraryExport.showsError() ? QStringLiteral("\"%1\": %2").arg(libraryExport.errorTitle(), libraryExport.errorMessage())
                                             : QStringLiteral("the save dialog");
        if (libraryExport.showsError())
            libraryExport.dismissError();
        else
            libraryExport.handleExportResult(std::nullopt);
        rows[0].ms << m.ms;
        rows[0].stalls << m.stallMs;
        rows[0].peers << sqlite(store, countFiles);
        toTheLimit << sqlite(store, countFilesToTheLimit);

        // One series, to its save dialog.
        m = measure([&] { model.exportEntries({seriesEntry()}); }, [] { return visibleFileDialog() != nullptr; });
        visibleFileDialog()->reject();
        QApplication::processEvents();
        rows[1].ms << m.ms;
        rows[1].stalls << m.stallMs;
        rows[1].peers << sqlite(store, readSeries);
        m = measure(
            [&] {
                auto *dialog = new QFileDialog(&window);
                dialog->setAttribute(Qt::WA_DeleteOnClose);
                dialog->setWindowModality(Qt::WindowModal);
                dialog->setAcceptMode(QFileDialog::AcceptSave);
                dialog->selectFile(QStringLiteral("Series 0.veloran"));
                dialog->open();
            },
            [] { return visibleFileDialog() != nullptr; });
        visibleFileDialog()->reject();
        QApplication::processEvents();
        rows[2].ms << m.ms;
        rows[2].stalls << m.stallMs;

        // Its duplicate, then deleting the copy; the window's reaction
        // counted from the end of each save.
        const QMetaObject::Connection saved =
            QObject::connect(&context, &ModelContext::didSave, &app, [&] { app.countFrom(); });
        const auto takeReaction = [&](Row &row) {
            const auto [busy, longest] = app.takeCounted();
            row.reactions << busy;
            row.reactionTurns << longest;
        };
        const qsizetype before = context.fetch<Series>().size();
        m = measure([&] { model.duplicateSeries(series); },
                    [&] { return !context.isSavingInBackground() && context.fetch<Series>().size() > before; },
                    300);
        takeReaction(rows[3]);
        rows[3].ms << m.ms;
        rows[3].stalls << m.stallMs;
        rows[3].peers << sqlite(store, copySeries);
        QList<LibraryEntry> copy;
        for (const LibraryEntry &entry : model.libraryEntries()) {
            if (entry.seriesGroup() && entry.seriesGroup()->series->title() == QStringLiteral("Series 0 Copy"))
                copy = {entry};
        }
        m = measure([&] { model.requestDeletion(copy); },
                    [&] { return !context.isSavingInBackground() && context.fetch<Series>().size() == before; },
                    300);
        takeReaction(rows[4]);
        QObject::disconnect(saved);
        rows[4].ms << m.ms;
        rows[4].stalls << m.stallMs;
        rows[4].peers << sqlite(store, deleteSeries);
        print(QStringLiteral("round %1 done").arg(round));
    }

    print(QStringLiteral("Export Library… ends in %1").arg(outcome));
    print(QStringLiteral("sqlite3 counting the files up to the writer's limit: %1 ms (median), ratio %2")
              .arg(median(toTheLimit), 0, 'f', 1)
              .arg(median(rows[0].ms) / median(toTheLimit), 0, 'f', 2));
    double worst = 0;
    for (const Row &row : rows) {
        const double longest = *std::max_element(row.stalls.cbegin(), row.stalls.cend());
        worst = std::max(worst, longest);
        QString line = QStringLiteral("%1: %2 ms (median), longest stall %3 ms")
                           .arg(row.label, -34)
                           .arg(median(row.ms), 8, 'f', 1)
                           .arg(longest, 6, 'f', 1);
        if (!row.peer.isEmpty())
            line += QStringLiteral("; %1 %2 ms, ratio %3")
                        .arg(row.peer)
                        .arg(median(row.peers), 0, 'f', 1)
                        .arg(median(row.ms) / median(row.peers), 0, 'f', 2);
        print(line);
        if (!row.reactions.isEmpty())
            print(QStringLiteral("  the window's reaction after the save: %1 ms (median), longest turn %2 ms (median); "
                                 "ratio to %3: %4")
                      .arg(median(row.reactions), 0, 'f', 1)
                      .arg(median(row.reactionTurns), 0, 'f', 1)
                      .arg(row.peer)
                      .arg(median(row.reactions) / median(row.peers), 0, 'f', 2));
    }

    // What the library's export cost on the main thread when its records
    // were built from the objects there (every point and region loaded).
    if (parser.isSet(QStringLiteral("former"))) {
        QElapsedTimer former;
        former.start();
        const LibraryArchiveSource objects =
            LibraryArchiveSource::fromLibrary(context.fetch<AtlasImage>(), context.fetch<Series>());
        print(QStringLiteral("records of the whole library built from its objects on the main thread instead: %1 ms "
                             "(%2 records)")
                  .arg(double(former.nsecsElapsed()) / 1e6, 0, 'f', 0)
                  .arg(objects.manifest.images.size()));
    }

    const bool pass = worst <= 50;
    print(QStringLiteral("%1: longest stall %2 ms (target at most 50 ms)")
              .arg(pass ? QStringLiteral("PASS") : QStringLiteral("FAIL"))
              .arg(worst, 0, 'f', 1));
    return pass ? 0 : 2;
}
