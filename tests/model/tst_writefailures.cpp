#include "StoreTestSupport.h"
#include "model/SaveOrRollBack.h"
#include "platform/objectstore/ExternalStorage.h"
#include "platform/objectstore/ModelStoreError.h"
#include "support/WriteBarriers.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

namespace {

bool privateMounts = false;

enum Barrier { StoreFileLocked, FolderLocked, FilesFolderLocked, ReadOnlyMounted, LogLocked, LogIndexLocked };
enum Fault { StoreCantGrow, StoreFull, PictureFileCantGrow, DiskFull, FilesFolderMadeReadOnly };

// Every file under `folder` with a digest of its bytes: what "unchanged" means.
QStringList contentsOf(const QString &folder)
{
    QStringList contents;
    QDirIterator files(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        QFile file(path);
        const QByteArray digest = file.open(QIODevice::ReadOnly)
            ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1).toHex()
            : QByteArray("unreadable");
        contents << path + QLatin1Char(' ') + QString::fromLatin1(digest);
    }
    contents.sort();
    return contents;
}

// The main context's own connection, whose limits a test may set.
QSqlDatabase mainConnection()
{
    for (const QString &name : QSqlDatabase::connectionNames()) {
        if (name.startsWith(QLatin1String("veloran-store-")))
            return QSqlDatabase::database(name, false);
    }
    return {};
}

} // namespace

// A library that can't be written, or a write that fails, says why in the
// system's words, and leaves the library as it was.
class WriteFailuresTest : public QObject {
    Q_OBJECT
public:
    static void initMain() { privateMounts = enterPrivateMounts(); }

private slots:
    void aLibraryThatCantBeWrittenIsRefusedUnchanged_data()
    {
        QTest::addColumn<int>("barrier");
        QTest::addColumn<QString>("refused");    // the file or folder named, under the library's folder
        QTest::addColumn<QString>("reason");
        QTest::newRow("store file without write permission") << int(StoreFileLocked) << "default.store" << "Permission denied";
        QTest::newRow("folder without write permission") << int(FolderLocked) << "" << "Permission denied";
        QTest::newRow("folder of the files without write permission")
            << int(FilesFolderLocked) << "default.store-external" << "Permission denied";
        QTest::newRow("read-only mount") << int(ReadOnlyMounted) << "" << "Read-only file system";
        QTest::newRow("leftover write-ahead log without write permission")
            << int(LogLocked) << "default.store-wal" << "Permission denied";
        QTest::newRow("leftover index of the log without write permission")
            << int(LogIndexLocked) << "default.store-shm" << "Permission denied";
    }
    void aLibraryThatCantBeWrittenIsRefusedUnchanged()
    {
        QFETCH(int, barrier);
        QFETCH(QString, refused);
        QFETCH(QString, reason);
        if (barrier == ReadOnlyMounted && !privateMounts)
            QSKIP("mounting a folder read-only needs the privilege to mount, which this process lacks");
        QTemporaryDir directory;
        const QString folder = directory.filePath(QStringLiteral("library"));
        QMap<QString, QByteArray> leftovers;
        {
            auto container = makeTestContainer(folder);
            container->mainContext().insert(imageWithBytes(QByteArray(ExternalStorage::fileThreshold, 'a'), "kept"));
            container->mainContext().insert(imageWithBytes(QByteArray("small"), "inline"));
            container->mainContext().save();
            // The log and its index as a process that ended before closing
            // the store leaves them.
            if (barrier == LogLocked || barrier == LogIndexLocked) {
                for (const char *suffix : {"-wal", "-shm"}) {
                    QFile file(QDir(folder).filePath(QStringLiteral("default.store") + QLatin1String(suffix)));
                    QVERIFY(file.open(QIODevice::ReadOnly));
                    leftovers.insert(file.fileName(), file.readAll());
                }
            }
        }
        for (auto file = leftovers.cbegin(); file != leftovers.cend(); ++file) {
            QFile leftover(file.key());
            QVERIFY(leftover.open(QIODevice::WriteOnly) && leftover.write(file.value()) == file.value().size());
        }
        // A file the store doesn't name, which an open would clean away.
        QFile stray(QDir(externalFolderOf(folder)).filePath(QStringLiteral("stray.tmp")));
        QVERIFY(stray.open(QIODevice::WriteOnly));
        stray.close();
        const QStringList before = contentsOf(folder);
        QCOMPARE(externalFileNames(folder).size(), 2);

        const QString locked = refused.isEmpty() ? folder : QDir(folder).filePath(refused);
        const QFileDevice::Permissions permissions = QFile::permissions(locked);
        std::optional<ReadOnlyMount> mount;
        std::optional<PermissionsObeyed> obeyed;
        if (barrier == ReadOnlyMounted) {
            mount.emplace(folder);
            QVERIFY(mount->isMounted());
        } else {
            QVERIFY(QFile::setPermissions(locked, permissions & ~(QFile::WriteOwner | QFile::WriteUser | QFile::WriteGroup | QFile::WriteOther)));
            obeyed.emplace();
        }
        std::optional<ModelStoreError> error;
        try {
            makeTestContainer(folder);
        } catch (const ModelStoreError &e) {
            error = e;
        }
        obeyed.reset();
        mount.reset();
        QFile::setPermissions(locked, permissions);

        QVERIFY(error);
        QCOMPARE(error->code(), ModelStoreError::Code::cannotOpen);
        const QString kind = QFileInfo(locked).isFile() ? QStringLiteral("library file")
                                                        : QStringLiteral("library\u2019s folder");
        QCOMPARE(error->description(),
                 QStringLiteral("The %1 \u201C%2\u201D can\u2019t be written: %3. Nothing was changed.").arg(kind, locked, reason));
        QCOMPARE(contentsOf(folder), before);
        // Writable again, it opens as it was.
        auto container = makeTestContainer(folder);
        QCOMPARE(container->mainContext().fetch<AtlasImage>().size(), 2);
    }

    void aFailedSaveSaysWhy_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("message");
        const QString notSaved = QStringLiteral("The library could not be saved. ");
        const QString full = QStringLiteral("There isn\u2019t enough space on the disk.");
        QTest::newRow("the store's file can't grow") << int(StoreCantGrow) << notSaved + "File too large.";
        QTest::newRow("the store is full")
            << int(StoreFull) << QStringLiteral("The library could not be saved (image bytes). ") + full;
        QTest::newRow("a picture's file can't grow") << int(PictureFileCantGrow) << notSaved + "File too large.";
        QTest::newRow("the disk is full") << int(DiskFull) << notSaved + full;
        QTest::newRow("the folder of the files made read-only once opened")
            << int(FilesFolderMadeReadOnly) << notSaved + "Read-only file system.";
    }
    void aFailedSaveSaysWhy()
    {
        QFETCH(int, fault);
        QFETCH(QString, message);
        if ((fault == DiskFull || fault == FilesFolderMadeReadOnly) && !privateMounts)
            QSKIP("a small disk or a read-only folder needs the privilege to mount, which this process lacks");
        QTemporaryDir directory;
        const QString folder = directory.filePath(QStringLiteral("library"));
        QVERIFY(QDir().mkpath(folder));
        std::optional<SmallDisk> disk;
        if (fault == DiskFull) {
            disk.emplace(folder, 1 << 20);
            QVERIFY(disk->isMounted());
        }
        auto container = makeTestContainer(folder);
        ModelContext &context = container->mainContext();
        context.insert(imageWithBytes(QByteArray("small"), "first"));
        QVERIFY(!saveOrRollBack(context));
        const bool inFiles = fault == PictureFileCantGrow || fault == DiskFull || fault == FilesFolderMadeReadOnly;
        // Bytes kept in a file of their own, else in the store's rows.
        const QByteArray bytes(inFiles ? 2 << 20 : ExternalStorage::fileThreshold / 2, 'b');
        std::optional<ModelStoreError> error;
        {
            std::optional<FileSizeLimit> limit;
            std::optional<ReadOnlyMount> mount;
            if (fault == FilesFolderMadeReadOnly) {
                QVERIFY(QDir().mkpath(externalFolderOf(folder)));
                mount.emplace(externalFolderOf(folder));
                QVERIFY(mount->isMounted());
            }
            if (fault == StoreCantGrow || fault == PictureFileCantGrow)
                limit.emplace(QFileInfo(QDir(folder).filePath(QStringLiteral("default.store"))).size() + 4096);
            if (fault == StoreFull)
                QSqlQuery(mainConnection()).exec(QStringLiteral("PRAGMA max_page_count = 1"));
            context.insert(imageWithBytes(bytes, "second"));
            error = saveOrRollBack(context);
        }
        QVERIFY(error);
        QCOMPARE(error->code(), ModelStoreError::Code::saveFailed);
        QCOMPARE(error->description(), message);
        QCOMPARE(context.fetch<AtlasImage>().size(), 1);
        QCOMPARE(externalFileNames(folder), QStringList());
    }

    // A library on a disk that another program has filled is refused with
    // why, not called damaged, and left as it was: with room again, it
    // opens whole.
    void aFullDiskAtStartIsNamed()
    {
        if (!privateMounts)
            QSKIP("a small disk needs the privilege to mount, which this process lacks");
        QTemporaryDir directory;
        SmallDisk disk(directory.path(), 4 << 20);
        QVERIFY(disk.isMounted());
        const QString folder = directory.filePath(QStringLiteral("library"));
        {
            auto container = makeTestContainer(folder);
            container->mainContext().insert(imageWithBytes(QByteArray(ExternalStorage::fileThreshold, 'a'), "file"));
            container->mainContext().insert(imageWithBytes(QByteArray("small"), "inline"));
            container->mainContext().save();
        }
        const QStringList before = contentsOf(folder);
        {
            QFile filler(directory.filePath(QStringLiteral("filler")));
            QVERIFY(filler.open(QIODevice::WriteOnly));
            const QByteArray piece(64 * 1024, 'f');
            while (filler.write(piece) == piece.size() && filler.flush()) {
            }
        }
        std::optional<ModelStoreError> error;
        try {
            makeTestContainer(folder);
        } catch (const ModelStoreError &e) {
            error = e;
        }
        QVERIFY(error);
        QCOMPARE(error->code(), ModelStoreError::Code::cannotOpen);
        QCOMPARE(error->description(),
                 QStringLiteral("The library file \u201C%1\u201D could not be opened. There isn\u2019t enough space on "
                                "the disk.")
                     .arg(QDir(folder).filePath(QStringLiteral("default.store"))));
        // The store and its pictures as they were; SQLite may have begun its
        // log, which holds nothing, and the log's index.
        const QString log = QDir(folder).filePath(QStringLiteral("default.store-wal"));
        QCOMPARE(QFileInfo(log).size(), 0);
        QStringList after = contentsOf(folder);
        after.removeIf([&](const QString &file) { return file.startsWith(log) || file.startsWith(log.chopped(3) + "shm "); });
        QCOMPARE(after, before);
        QVERIFY(QFile::remove(directory.filePath(QStringLiteral("filler"))));
        auto container = makeTestContainer(folder);
        QCOMPARE(container->mainContext().fetch<AtlasImage>().size(), 2);
    }
};

QTEST_GUILESS_MAIN(WriteFailuresTest)
#include "tst_writefailures.moc"
