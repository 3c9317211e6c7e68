#include "StoreTestSupport.h"

#include "model/AtlasImage.h"
#include "model/PointAnnotation.h"
#include "support/PoolHold.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

constexpr int imagesPerSave = 1500;
constexpr int largeEvery = 75; // every 75th new image has bytes large enough for a file

// Bytes for a file: their length, then the round's byte throughout, so a
// file tells which save wrote it and whether it is whole.
QByteArray largeBytes(qint64 size, int round)
{
    QByteArray bytes(size, char(round));
    std::memcpy(bytes.data(), &size, sizeof size);
    return bytes;
}

// The round that wrote a file, or -1 when the file is missing or not whole.
int roundOfFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray bytes = file.readAll();
    qint64 size = 0;
    if (bytes.size() < qsizetype(sizeof size) + 1)
        return -1;
    std::memcpy(&size, bytes.constData(), sizeof size);
    if (size != bytes.size())
        return -1;
    const char round = bytes.back();
    for (qsizetype i = sizeof size; i < bytes.size(); ++i) {
        if (bytes.at(i) != round)
            return -1;
    }
    return round;
}

QString marker(int round)
{
    return QStringLiteral("round %1").arg(round);
}

// The child: one save that renames every image, deletes the first one and
// two whose bytes are in files, gives five others new bytes in files, and
// adds a batch of images with bytes (some in files) and points. In odd
// rounds the files of the new bytes are written ahead, as imports do. It
// says "saving" just before (the files and) the save, so the parent can
// kill it in the middle.
int childSave(const QString &folder, int round)
{
    auto container = makeTestContainer(folder);
    ModelContext &context = container->mainContext();
    std::printf("saving\n");
    std::fflush(stdout);
    QList<QByteArray> newFiles;
    for (int k = 2; k < 7; ++k)
        newFiles << largeBytes(ExternalStorage::fileThreshold + 1000 * k + round, round);
    for (int i = largeEvery - 1; i < imagesPerSave; i += largeEvery)
        newFiles << largeBytes(ExternalStorage::fileThreshold + i, round);
    PreparedValues prepared;
    if (round % 2 == 1) {
        QFuture<PreparedValues> preparing = context.prepareValues(newFiles);
        preparing.waitForFinished();
        prepared = preparing.result();
    }
    const QList<AtlasImage *> images = context.fetch<AtlasImage>();
    for (AtlasImage *image : images)
        image->setTitle(marker(round));
    if (!images.isEmpty())
        context.deleteObject(images.first());
    QList<AtlasImage *> large; // sort index 1 marks bytes in a file
    for (AtlasImage *image : images) {
        if (image->sortIndex() == 1)
            large << image;
    }
    for (int k = 0; k < std::min<qsizetype>(7, large.size()); ++k) {
        if (k < 2)
            context.deleteObject(large[k]);
        else
            large[k]->setImageData(newFiles.at(k - 2));
    }
    for (int i = 0; i < imagesPerSave; ++i) {
        auto image = AtlasImage::make(marker(round));
        if (i % largeEvery == largeEvery - 1) {
            image->setSortIndex(1);
            image->setImageData(newFiles.at(5 + i / largeEvery));
        } else {
            image->setImageData(QByteArray(2048 + i, char(round)));
        }
        context.insert(image);
        for (int p = 0; p < 4; ++p)
            PointAnnotation::make(marker(round), {}, std::nullopt, p, p)->setImage(image.get());
    }
    context.save();
    std::printf("saved\n");
    std::fflush(stdout);
    return 0;
}

// The child: writes the files of a few new values ahead of a save, begins
// one more that it writes itself (left under its temporary name, as a
// write cut short leaves it), says "prepared", and waits to be killed.
int childPrepare(const QString &folder)
{
    auto container = makeTestContainer(folder);
    QFuture<PreparedValues> preparing = container->mainContext().prepareValues(
        {largeBytes(ExternalStorage::fileThreshold, 1), largeBytes(ExternalStorage::fileThreshold, 2)});
    preparing.waitForFinished();
    const PreparedValues prepared = preparing.result();
    std::optional<PreparedFiles> files = container->mainContext().prepareFiles();
    const std::unique_ptr<PreparedFiles::Writer> writer = files ? files->create() : nullptr;
    const bool cutShort = writer && writer->write("left over");
    std::printf(prepared.error() || !cutShort ? "failed\n" : "prepared\n");
    std::fflush(stdout);
    for (;;)
        QTest::qSleep(1000);
}

// The child: a save that writes the file of a new image ("write") or
// copies the file of the first image ("copy"), then says "staged" from
// inside its transaction and waits to be killed there; or one that deletes
// the first image ("remove", or "remove in background" for the save that
// deletions take) and says so once committed, before its file is removed.
int childStage(const QString &folder, const QString &kind)
{
    auto container = makeTestContainer(folder);
    ModelContext &context = container->mainContext();
    if (kind == QLatin1String("remove")) {
        // The files pool, which removes the file, never gets to it.
        const PoolHold busy(WorkerPools::files());
        context.deleteObject(context.fetch<AtlasImage>().first());
        context.save();
        std::printf(busy.holding() ? "staged\n" : "failed\n");
        std::fflush(stdout);
        for (;;)
            QTest::qSleep(1000);
    }
    if (kind == QLatin1String("remove in background")) {
        // The save runs on the one thread of the files pool left free; the
        // hold queued behind it takes that thread too once it has saved, so
        // the removal queued after the commit never runs.
        const PoolHold busy(WorkerPools::files(), WorkerPools::files().maxThreadCount() - 1);
        context.deleteObject(context.fetch<AtlasImage>().first());
        QObject receiver;
        bool saved = false;
        context.saveInBackground(&receiver, {}, [&saved](const std::optional<ModelStoreError> &error) {
            saved = !error;
        });
        const PoolHold last(WorkerPools::files(), 1, 0);
        const bool answered = QTest::qWaitFor([&] { return saved; }, 20000);
        std::printf(busy.holding() && answered ? "staged\n" : "failed\n");
        std::fflush(stdout);
        for (;;)
            QTest::qSleep(1000);
    }
    if (kind == QLatin1String("write"))
        context.insert(imageWithBytes(largeBytes(ExternalStorage::fileThreshold, 3)));
    context.save([&](StoreWrites &writes) {
        if (kind == QLatin1String("copy"))
            writes.copyExternalFiles({{storedFileNames(folder).first(), ExternalStorage::newFileName()}});
        std::printf("staged\n");
        std::fflush(stdout);
        for (;;)
            QTest::qSleep(1000);
    });
    return 0;
}

// Runs a child with `arguments`, kills it once it has said its first line,
// and answers that line.
QByteArray killedOnceSaid(const QStringList &arguments)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), arguments);
    QByteArray said;
    if (child.waitForStarted(10000)) {
        while (!said.contains("\n") && child.waitForReadyRead(20000))
            said += child.readAllStandardOutput();
    }
    child.kill();
    child.waitForFinished(20000);
    return said;
}

} // namespace

// A process killed in the middle of a save leaves the store as it was
// before that save or as it is after it, never in between.
class StoreCrashTest : public QObject {
    Q_OBJECT
private slots:
    void killedSaveLeavesBeforeOrAfter()
    {
        QTemporaryDir directory;
        const QString folder = directory.path();
        qint64 images = 0;
        int lastRound = 0; // the round whose save the store holds
        int interrupted = 0;
        // Fractions of a whole save's duration after which the child is
        // killed; a negative one lets the save finish (and times it).
        const double kills[] = {-1, 0.1, 0.4, -1, 0.7, 0.95, 0.02, -1, 0.55, 0.25, 1.1, 0.85};
        qint64 saveMilliseconds = 20;
        qsizetype leftovers = 0;
        for (int round = 1; round <= int(std::size(kills)); ++round) {
            const double kill = kills[round - 1];
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(),
                        {QStringLiteral("--child-save"), folder, QString::number(round)});
            QVERIFY(child.waitForStarted(10000));
            QByteArray said;
            while (!said.contains("saving") && child.waitForReadyRead(20000))
                said += child.readAllStandardOutput();
            QVERIFY2(said.contains("saving"), said.constData());
            QElapsedTimer timer;
            timer.start();
            if (kill < 0) {
                QVERIFY(child.waitForFinished(20000));
                saveMilliseconds = std::max<qint64>(1, timer.elapsed());
            } else {
                QTest::qSleep(int(saveMilliseconds * kill));
                child.kill();
                QVERIFY(child.waitForFinished(20000));
            }
            said += child.readAllStandardOutput();
            const bool finished = said.contains("saved");
            // Check the file as it is now.
            const auto count = [&](const QString &sql) { return storeColumn(folder, sql).value(0, -1).toLongLong(); };
            QCOMPARE(storeColumn(folder, QStringLiteral("PRAGMA quick_check")), QVariantList{QStringLiteral("ok")});
            const qint64 now = count(QStringLiteral("SELECT COUNT(*) FROM AtlasImage"));
            const QVariantList titles = storeColumn(folder, QStringLiteral("SELECT DISTINCT title FROM AtlasImage"));
            QVERIFY(titles.size() <= 1);
            // Once there are images, two with files go along with the first.
            const qint64 after = images + imagesPerSave - (images > 0 ? 3 : 0);
            if (now == after) {
                QCOMPARE(titles.value(0).toString(), marker(round));
                lastRound = round;
                images = now;
            } else {
                QVERIFY2(!finished, "a finished save is missing");
                QCOMPARE(now, images);
                if (images > 0)
                    QCOMPARE(titles.value(0).toString(), marker(lastRound));
                ++interrupted;
            }
            // Bytes and points belong to images, all or nothing; every image
            // meant to have a file has one.
            for (const char *orphans :
                 {"SELECT COUNT(*) FROM ImageData WHERE imageKey NOT IN (SELECT rowKey FROM AtlasImage)",
                  "SELECT COUNT(*) FROM ImageFile WHERE imageKey NOT IN (SELECT rowKey FROM AtlasImage)",
                  "SELECT COUNT(*) FROM AtlasImage WHERE hasImageData = 1 AND rowKey NOT IN "
                  "(SELECT imageKey FROM ImageData UNION SELECT imageKey FROM ImageFile)",
                  "SELECT COUNT(*) FROM ImageData WHERE imageKey IN (SELECT imageKey FROM ImageFile)",
                  "SELECT COUNT(*) FROM AtlasImage WHERE sortIndex = 1 AND rowKey NOT IN "
                  "(SELECT imageKey FROM ImageFile)"})
                QVERIFY2(count(QString::fromLatin1(orphans)) == 0, orphans);
            QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM PointAnnotation")), images * 4);
            // Each file whole, written by a save the store holds: the last one
            // for its new images.
            QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM ImageFile")),
                     count(QStringLiteral("SELECT COUNT(*) FROM AtlasImage WHERE sortIndex = 1")));
            QStringList referenced = storedFileNames(folder);
            int newest = 0;
            for (const QString &name : std::as_const(referenced)) {
                const int written = roundOfFile(QDir(externalFolderOf(folder)).filePath(name));
                QVERIFY2(written > 0, qPrintable(name));
                newest = std::max(newest, written);
            }
            QCOMPARE(newest, lastRound);
            // Opening removes what a save cut short left behind: no file
            // but those the rows name.
            leftovers += externalFileNames(folder).size() - referenced.size();
            makeTestContainer(folder).reset();
            const QStringList files = externalFileNames(folder);
            QVERIFY2(files == referenced, namesThatDiffer(files, referenced).constData());
        }
        qInfo("%d of %zu saves were cut short (a whole save takes about %lld ms); %lld files left behind were "
              "removed on opening",
              interrupted, std::size(kills), saveMilliseconds, leftovers);
        // The store still opens and saves.
        auto container = makeTestContainer(folder);
        QCOMPARE(container->mainContext().fetch<AtlasImage>().size(), images);
        container->mainContext().insert(AtlasImage::make());
        container->mainContext().save();
    }

    // The lock of the folder of files goes with the process that holds
    // it, however that ends: a lock file left behind, empty as a process
    // killed while making it leaves it, or naming a process of the same
    // name that runs now, locks nothing. A save cut short is cleared up
    // and the next saves store their files.
    void aLockFileLeftBehindLocksNothing_data()
    {
        QTest::addColumn<QString>("left");
        QTest::newRow("empty, as a process killed while making it leaves it") << "empty";
        QTest::newRow("naming a process of the same name that runs now") << "running";
    }

    void aLockFileLeftBehindLocksNothing()
    {
        QFETCH(QString, left);
        QTemporaryDir directory;
        const QString folder = directory.path();
        makeTestContainer(folder).reset();
        const QDir files(externalFolderOf(folder));
        QVERIFY(files.mkpath(QStringLiteral(".")));
        QFile lockFile(files.filePath(QStringLiteral(".lock")));
        QVERIFY(lockFile.open(QIODevice::WriteOnly));
        if (left == QLatin1String("running")) {
            // What a lock file says of this very process.
            QLockFile mine(directory.filePath(QStringLiteral("mine.lock")));
            QVERIFY(mine.tryLock(0));
            QFile said(directory.filePath(QStringLiteral("mine.lock")));
            QVERIFY(said.open(QIODevice::ReadOnly));
            QVERIFY(lockFile.write(said.readAll()) > 0);
        }
        lockFile.close();
        // As a save cut short leaves its file.
        const QString name = ExternalStorage::newFileName();
        std::shared_ptr<StagingRecord> record;
        QVERIFY(!StagingRecord::add(record, files.path(), {name}));
        QFile cutShort(files.filePath(name));
        QVERIFY(cutShort.open(QIODevice::WriteOnly) && cutShort.write("cut short") > 0);
        cutShort.close();

        auto container = makeTestContainer(folder);
        QVERIFY2(!cutShort.exists(), "the file of a save cut short was kept");
        QVERIFY(!filesLocked(folder));
        container->mainContext().insert(imageWithBytes(largeBytes(ExternalStorage::fileThreshold, 1)));
        container->mainContext().save();
        const QStringList stored = storedFileNames(folder);
        QCOMPARE(stored.size(), 1);
        QCOMPARE(externalFileNames(folder), stored);
    }

    // The lock keeps a second holder out, in this process as in another,
    // until it is let go.
    void theFolderOfFilesHasOneHolder()
    {
        QTemporaryDir directory;
        const QString files = externalFolderOf(directory.path());
        ExternalStorage holder(files);
        QVERIFY(holder.lock());
        QVERIFY(filesLocked(directory.path()));
        {
            ExternalStorage other(files);
            QString whyNot;
            QVERIFY(!other.lock(&whyNot));
            QCOMPARE(whyNot, QStringLiteral("another program is writing the library's files"));
        }
        holder.unlock();
        QVERIFY(!filesLocked(directory.path()));
        ExternalStorage other(files);
        QVERIFY(other.lock());
        other.unlock();
    }

    // A save waits while another program holds the folder of files for a
    // moment (a save of its own), then stores its files.
    void aSaveWaitsForAnotherHolder()
    {
        QTemporaryDir directory;
        const QString folder = directory.path();
        auto container = makeTestContainer(folder);
        QVERIFY(QDir().mkpath(externalFolderOf(folder)));
        QSemaphore held;
        // A lock of its own excludes this process as another program's does.
        // Joined on every way out, before what it uses goes.
        std::jthread other([&] {
            LibraryLock lock;
            const bool locked = lock.tryLock(externalFolderOf(folder)) == LibraryLock::Outcome::locked;
            held.release();
            if (locked)
                QThread::msleep(300);
        });
        held.acquire();
        const bool lockedByOther = filesLocked(folder);
        container->mainContext().insert(imageWithBytes(largeBytes(ExternalStorage::fileThreshold, 1)));
        std::optional<QString> failed;
        try {
            container->mainContext().save();
        } catch (const ModelStoreError &error) {
            failed = error.description();
        }
        other.join();
        QVERIFY(lockedByOther);
        QVERIFY2(!failed, qPrintable(failed.value_or(QString())));
        QCOMPARE(storedFileNames(folder).size(), 1);
        QCOMPARE(externalFileNames(folder), storedFileNames(folder));
    }

    // Files written ahead of a save that never came: the next opening
    // removes them.
    void killedBetweenPreparingAndSavingLeavesNoFile()
    {
        QTemporaryDir directory;
        makeTestContainer(directory.path()).reset();
        QCOMPARE(killedOnceSaid({QStringLiteral("--child-prepare"), directory.path()}), QByteArray("prepared\n"));
        QCOMPARE(externalFileNames(directory.path()).size(), 3);
        makeTestContainer(directory.path()).reset();
        QCOMPARE(externalFileNames(directory.path()), QStringList());
    }

    // Opening removes only the files that a save recorded before it was
    // cut short: a file of the folder that no save wrote is kept, whether
    // a save was cut short or not.
    void onlyRecordedFilesAreRemoved_data()
    {
        QTest::addColumn<QString>("kind"); // of the save cut short
        QTest::newRow("no save cut short") << QString();
        QTest::newRow("a save writing a new file") << "write";
        QTest::newRow("a save copying a file") << "copy";
        QTest::newRow("a save removing a file once committed") << "remove";
        QTest::newRow("a background save removing a file once committed") << "remove in background";
    }

    void onlyRecordedFilesAreRemoved()
    {
        QFETCH(QString, kind);
        const bool removes = kind.startsWith(QLatin1String("remove"));
        QTemporaryDir directory;
        const QString folder = directory.path();
        {
            auto container = makeTestContainer(folder);
            container->mainContext().insert(imageWithBytes(largeBytes(ExternalStorage::fileThreshold, 1)));
            container->mainContext().save();
        }
        const QStringList stored = storedFileNames(folder);
        QCOMPARE(stored.size(), 1);
        // Put there by someone else: a picture of the user's, a file left
        // by an older version, or one of the store's under a name never
        // recorded.
        const QStringList strangers{QStringLiteral("a picture.png"), QStringLiteral("left.tmp"), ExternalStorage::newFileName()};
        for (const QString &name : strangers) {
            QFile file(QDir(externalFolderOf(folder)).filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("not the store's") > 0);
        }
        if (!kind.isEmpty()) {
            QCOMPARE(killedOnceSaid({QStringLiteral("--child-stage"), folder, kind}), QByteArray("staged\n"));
            QCOMPARE(externalFileNames(folder).size(), stored.size() + strangers.size() + (removes ? 0 : 1));
        }
        makeTestContainer(folder).reset();
        QCOMPARE(storedFileNames(folder), removes ? QStringList() : stored);
        QStringList expected = storedFileNames(folder) + strangers;
        expected.sort();
        QCOMPARE(externalFileNames(folder), expected);
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--child-save")
        return childSave(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt());
    if (argc == 3 && QByteArray(argv[1]) == "--child-prepare")
        return childPrepare(QString::fromLocal8Bit(argv[2]));
    if (argc == 4 && QByteArray(argv[1]) == "--child-stage")
        return childStage(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    StoreCrashTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_storecrash.moc"
