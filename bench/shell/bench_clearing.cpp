// The temporary files a process cut short leaves in the store's folder of
// files, as the next opening clears them: quitting, ending on SIGTERM and
// the first save with N of them left against none, and the clearing of N
// files beside `find -delete`, in rounds that take turns.
//
//   bench_clearing [--left N] [--rounds R] [--dir PATH] [--against BENCH]...
//
// Two libraries of 1,000 images are built under PATH (default: the
// temporary folder) on the first run and reused; before each measure the
// folder of files of one of them is filled up to N (default 100,000) left
// `<uuid>.tmp` files (the store's own temporary names, 9 bytes each), and
// the other has none. Each round measures, with N left files and with none,
// the one going first taking turns:
//
// - quit: the program (`veloran`) launched on the library, quitting once
//   it has painted its window (VELORAN_EXIT_AFTER_FIRST_PAINT): the time
//   from its "first paint" line to the process's end;
// - SIGTERM: the program sent SIGTERM 150 ms after its launch: the time
//   from the signal to the process's end;
// - first save: a process opening the library and saving at once, on its
//   main thread, an image whose bytes go to a file of their own: how long
//   the save took;
//
// and then, on a folder holding N left files and nothing else, made afresh
// for each and synced first, the clearing as opening starts it (the files
// pool, until it is done) beside `find <folder> -name '*.tmp' -delete`.
//
// With --against (repeatable), the benchmark of another build (a copy of
// its bench_clearing, which runs that build's own program) measures in the
// same rounds, taking turns with this build. Prints every round and the
// medians; judges nothing.

#include "support/ProgramRuns.h"
#include "support/StoreLibrary.h"

#include "platform/WorkerPools.h"
#include "platform/objectstore/ExternalStorage.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <QThreadPool>
#include <QUuid>

#include <algorithm>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace {

using programruns::median;
using programruns::milliseconds;
using programruns::print;

// How many of the store's temporary files `folder` holds.
int leftCount(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral("*.tmp")}, QDir::Files).size();
}

// Fills `folder` up to `count` left temporary files, on the disk.
bool fillUp(const QString &folder, int count)
{
    if (!QDir().mkpath(folder))
        return false;
    const int directory = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0)
        return false;
    bool made = true;
    for (int i = leftCount(folder); made && i < count; ++i) {
        const QByteArray name = QFile::encodeName(ExternalStorage::newFileName()) + ".tmp";
        const int fd = ::openat(directory, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        made = fd >= 0 && ::write(fd, "cut short", 9) == 9;
        if (fd >= 0)
            ::close(fd);
    }
    ::close(directory);
    ::sync();
    return made;
}

// The program on the library of `home`, quitting at its first paint:
// prints "quit <ms>", from the "first paint" line to its end.
int measureQuit(const QString &home)
{
    QProcessEnvironment environment = programruns::programEnvironment(home);
    environment.insert(QStringLiteral("VELORAN_EXIT_AFTER_FIRST_PAINT"), QStringLiteral("1"));
    QProcess program;
    program.setProcessEnvironment(environment);
    program.setStandardErrorFile(QProcess::nullDevice());
    program.start(QStringLiteral(VELORAN_APP_PATH), {});
    QElapsedTimer sincePaint;
    QByteArray output;
    while (!sincePaint.isValid() && program.waitForReadyRead(-1)) {
        output += program.readAll();
        if (output.contains("first paint"))
            sincePaint.start();
    }
    program.waitForFinished(-1);
    if (!sincePaint.isValid() || program.exitStatus() != QProcess::NormalExit || program.exitCode() != 0)
        return 1;
    print(QStringLiteral("quit %1").arg(milliseconds(sincePaint), 0, 'f', 1));
    return 0;
}

// The program on the library of `home`, sent SIGTERM 150 ms after its
// launch: prints "term <ms>", from the signal to its end.
int measureTerm(const QString &home)
{
    QProcess program;
    program.setProcessEnvironment(programruns::programEnvironment(home));
    program.setStandardOutputFile(QProcess::nullDevice());
    program.setStandardErrorFile(QProcess::nullDevice());
    program.start(QStringLiteral(VELORAN_APP_PATH), {});
    if (!program.waitForStarted(-1))
        return 1;
    QThread::msleep(150);
    QElapsedTimer sinceSignal;
    sinceSignal.start();
    program.terminate();
    program.waitForFinished(-1);
    print(QStringLiteral("term %1").arg(milliseconds(sinceSignal), 0, 'f', 1));
    return 0;
}

// Opens the library in `folder` and saves at once an image whose bytes go
// to a file: prints "save <ms>", the save's time.
int measureSave(const QString &folder)
{
    auto container = storelibrary::open(folder);
    ModelContext &context = container->mainContext();
    QByteArray bytes(300 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 13);
    context.insert(AtlasImage::make(QStringLiteral("Saved"), Modality::ct, Region::thorax, Plane::axial, AgeSpec{5, 40},
                                    Sex::female, bytes + QUuid::createUuid().toByteArray(), 0, nullptr));
    QElapsedTimer saving;
    saving.start();
    context.save();
    print(QStringLiteral("save %1").arg(milliseconds(saving), 0, 'f', 1));
    return 0;
}

// Clears the left temporary files of `folder` as opening does, on the
// files pool: prints "clear <ms>" once the pool is done.
int measureClearing(const QString &folder)
{
    const int before = leftCount(folder);
    QElapsedTimer clearing;
    clearing.start();
    {
        ExternalStorage storage(folder);
        storage.clearTemporariesLater();
        WorkerPools::files().waitForDone();
    }
    const double took = milliseconds(clearing);
    const int after = leftCount(folder);
    if (after != 0) {
        print(QStringLiteral("the clearing left %1 of %2 files").arg(after).arg(before));
        return 1;
    }
    print(QStringLiteral("clear %1").arg(took, 0, 'f', 1));
    return 0;
}

// The figure that `bench` (this build's or another's) prints run with
// `arguments`; exits when it prints none.
double figureOf(const QString &bench, const QStringList &arguments)
{
    QProcess process;
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(bench, arguments);
    process.waitForFinished(-1);
    const QList<QByteArray> words = process.readAllStandardOutput().trimmed().split(' ');
    bool ok = false;
    const double figure = words.size() == 2 ? words.at(1).toDouble(&ok) : 0;
    if (!ok) {
        print(QStringLiteral("%1 %2 gave: %3").arg(bench, arguments.join(u' '), QString::fromUtf8(words.join(' '))));
        std::exit(1);
    }
    return figure;
}

double timedFind(const QString &folder)
{
    QElapsedTimer timer;
    timer.start();
    QProcess::execute(QStringLiteral("find"), {folder, QStringLiteral("-name"), QStringLiteral("*.tmp"),
                                               QStringLiteral("-delete")});
    return milliseconds(timer);
}

double loadAverage()
{
    double load = -1;
    if (FILE *file = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(file, "%lf", &load) != 1)
            load = -1;
        std::fclose(file);
    }
    return load;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--quit") == 0) {
        QCoreApplication app(argc, argv);
        return measureQuit(QString::fromLocal8Bit(argv[2]));
    }
    if (argc == 3 && qstrcmp(argv[1], "--term") == 0) {
        QCoreApplication app(argc, argv);
        return measureTerm(QString::fromLocal8Bit(argv[2]));
    }
    if (argc == 3 && qstrcmp(argv[1], "--save") == 0) {
        QCoreApplication app(argc, argv);
        return measureSave(QString::fromLocal8Bit(argv[2]));
    }
    if (argc == 3 && qstrcmp(argv[1], "--clear") == 0) {
        QCoreApplication app(argc, argv);
        return measureClearing(QString::fromLocal8Bit(argv[2]));
    }
    if (const std::optional<int> built = storelibrary::addSeriesWhenAsked(argc, argv))
        return *built;

    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("left"), QStringLiteral("Left temporary files."), QStringLiteral("N"),
                      QStringLiteral("100000")});
    parser.addOption({QStringLiteral("rounds"), QStringLiteral("Rounds of each measure."), QStringLiteral("R"),
                      QStringLiteral("5")});
    parser.addOption({QStringLiteral("dir"), QStringLiteral("Where the libraries are kept."), QStringLiteral("PATH"),
                      QDir::tempPath()});
    parser.addOption({QStringLiteral("against"),
                      QStringLiteral("Another build's bench_clearing, measuring in turn (may be repeated)."),
                      QStringLiteral("BENCH")});
    parser.process(app);
    const int left = std::max(1, parser.value(QStringLiteral("left")).toInt());
    const int rounds = std::max(1, parser.value(QStringLiteral("rounds")).toInt());
    const QDir base(QDir(parser.value(QStringLiteral("dir"))).filePath(QStringLiteral("veloran-bench-clearing")));
    const QStringList benches = QStringList{QCoreApplication::applicationFilePath()}
        + parser.values(QStringLiteral("against"));

    // The library with left files, and the one without.
    QStringList folders;
    for (const QString &name : {QStringLiteral("left"), QStringLiteral("none")}) {
        folders << storelibrary::startupLibraryFolder(base.filePath(name), 1);
        if (folders.last().isEmpty()) {
            print(QStringLiteral("building the library failed"));
            return 1;
        }
    }
    const QString clearFolder = base.filePath(QStringLiteral("clear"));
    const auto filesOf = [](const QString &folder) {
        return ModelContainer::externalFolder(QDir(folder).filePath(QStringLiteral("default.store")));
    };
    const auto homeOf = [](const QString &folder) { return QDir::cleanPath(folder + QStringLiteral("/../../..")); };

    // By build, then with left files [0] and without [1].
    struct Figures {
        QList<double> quit[2], term[2], save[2], clear;
    };
    QList<Figures> figures(benches.size());
    QList<double> finds;
    const auto ready = [&](int withLeft) {
        const QString files = filesOf(folders.at(withLeft ? 0 : 1));
        if (withLeft ? !fillUp(files, left) : leftCount(files) != 0) {
            print(QStringLiteral("cannot make %1 left files in %2").arg(withLeft ? left : 0).arg(files));
            std::exit(1);
        }
    };
    for (int round = 0; round < rounds; ++round) {
        const double loadBefore = loadAverage();
        // Each build with left files and without, the one going first
        // moving on by one a round.
        const int turns = int(benches.size()) * 2;
        for (int k = 0; k < turns; ++k) {
            const int turn = (round + k) % turns;
            const int build = turn / 2;
            const int withLeft = turn % 2 == 0 ? 1 : 0;
            const QString folder = folders.at(withLeft ? 0 : 1);
            Figures &f = figures[build];
            ready(withLeft);
            f.quit[1 - withLeft] << figureOf(benches.at(build), {QStringLiteral("--quit"), homeOf(folder)});
            ready(withLeft);
            f.term[1 - withLeft] << figureOf(benches.at(build), {QStringLiteral("--term"), homeOf(folder)});
            ready(withLeft);
            f.save[1 - withLeft] << figureOf(benches.at(build), {QStringLiteral("--save"), folder});
        }
        for (qsizetype k = 0; k <= benches.size(); ++k) {
            const qsizetype turn = (round + k) % (benches.size() + 1);
            QDir(clearFolder).removeRecursively();
            if (!fillUp(clearFolder, left)) {
                print(QStringLiteral("cannot make %1 left files in %2").arg(left).arg(clearFolder));
                return 1;
            }
            if (turn == benches.size())
                finds << timedFind(clearFolder);
            else
                figures[turn].clear << figureOf(benches.at(turn), {QStringLiteral("--clear"), clearFolder});
        }
        for (qsizetype b = 0; b < benches.size(); ++b) {
            const Figures &f = figures.at(b);
            print(QStringLiteral("round %1, %2: quit %3 ms with %4 left files, %5 ms without; SIGTERM %6 / %7 ms; "
                                 "first save %8 / %9 ms; clearing %10 ms (find -delete %11 ms)")
                      .arg(round + 1)
                      .arg(b == 0 ? QStringLiteral("this build") : benches.at(b))
                      .arg(f.quit[0].last(), 0, 'f', 0)
                      .arg(left)
                      .arg(f.quit[1].last(), 0, 'f', 0)
                      .arg(f.term[0].last(), 0, 'f', 0)
                      .arg(f.term[1].last(), 0, 'f', 0)
                      .arg(f.save[0].last(), 0, 'f', 1)
                      .arg(f.save[1].last(), 0, 'f', 1)
                      .arg(f.clear.last(), 0, 'f', 0)
                      .arg(finds.last(), 0, 'f', 0));
        }
        print(QStringLiteral("round %1: load average %2 before, %3 after")
                  .arg(round + 1)
                  .arg(loadBefore, 0, 'f', 1)
                  .arg(loadAverage(), 0, 'f', 1));
    }
    for (qsizetype b = 0; b < benches.size(); ++b) {
        const Figures &f = figures.at(b);
        print(QStringLiteral("%1, medians with %2 left files against none: quit %3 / %4 ms (ratio %5); SIGTERM "
                             "%6 / %7 ms (ratio %8); first save %9 / %10 ms (ratio %11); clearing %12 ms against "
                             "find -delete %13 ms (ratio %14)")
                  .arg(b == 0 ? QStringLiteral("this build") : benches.at(b))
                  .arg(left)
                  .arg(median(f.quit[0]), 0, 'f', 0)
                  .arg(median(f.quit[1]), 0, 'f', 0)
                  .arg(median(f.quit[0]) / median(f.quit[1]), 0, 'f', 2)
                  .arg(median(f.term[0]), 0, 'f', 0)
                  .arg(median(f.term[1]), 0, 'f', 0)
                  .arg(median(f.term[0]) / median(f.term[1]), 0, 'f', 2)
                  .arg(median(f.save[0]), 0, 'f', 1)
                  .arg(median(f.save[1]), 0, 'f', 1)
                  .arg(median(f.save[0]) / median(f.save[1]), 0, 'f', 2)
                  .arg(median(f.clear), 0, 'f', 0)
                  .arg(median(finds), 0, 'f', 0)
                  .arg(median(f.clear) / median(finds), 0, 'f', 2));
    }
    return 0;
}
