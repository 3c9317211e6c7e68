#include "StoreTestSupport.h"

#include "platform/objectstore/ExternalStorage.h"
#include "support/PoolHold.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <optional>
#include <thread>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray large(300 * 1024, 'L'); // kept in a file
bool privateMounts = false;

// Writes `bytes` to a new file at `path`.
bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A library in `folder` with pictures in files, and the store's path.
QString makeLibrary(const QString &folder, int pictures)
{
    auto container = makeTestContainer(folder);
    for (int i = 0; i < pictures; ++i)
        container->mainContext().insert(imageWithBytes(large + QByteArray::number(i)));
    container->mainContext().insert(imageWithBytes(QByteArray("small")));
    container->mainContext().save();
    return QDir(folder).filePath(QStringLiteral("default.store"));
}

const QRegularExpression keptName(const QString &folder)
{
    return QRegularExpression(QRegularExpression::escape(externalFolderOf(folder))
                              + QStringLiteral(" \\(kept \\d{4}-\\d\\d-\\d\\d \\d\\d\\.\\d\\d\\)"));
}

// Every file and folder under `folder`, files with a digest of their bytes.
QStringList tree(const QString &folder)
{
    QStringList entries;
    QDirIterator all(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                     QDirIterator::Subdirectories);
    while (all.hasNext()) {
        const QString path = all.next();
        QFile file(path);
        entries << QDir(folder).relativeFilePath(path)
                + (file.open(QIODevice::ReadOnly)
                       ? QLatin1Char(' ') + QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1).toHex())
                       : QStringLiteral("/"));
    }
    entries.sort();
    return entries;
}

// How many files and folders this process has open (not the handles
// without a name, such as a new worker thread's queue of events).
qsizetype openDescriptors()
{
    const QDir open(QStringLiteral("/proc/self/fd"));
    qsizetype files = 0;
    for (const QString &descriptor : open.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        char target[2] = {};
        files += ::readlink(QFile::encodeName(open.filePath(descriptor)).constData(), target, 1) == 1 && target[0] == '/';
    }
    return files;
}

// The child: opens the library in `folder` with no file allowed past
// `bytes`, so that the process is killed by the first write beyond (as by a
// crash at that moment): one page of SQLite's is written while the store is
// being made, a few bytes while the kept folder is being noted.
int childOpen(const QString &folder, rlim_t bytes)
{
    std::signal(SIGXFSZ, SIG_DFL);
    const rlimit limit{bytes, bytes};
    setrlimit(RLIMIT_FSIZE, &limit);
    makeTestContainer(folder);
    return 0;
}

// The child: opens the library in `folder`, says which kept folders it
// tells of, one a line, and takes them as told.
int childKept(const QString &folder)
{
    try {
        auto container = makeTestContainer(folder);
        for (const QString &kept : container->keptExternalFolders())
            std::printf("%s\n", qPrintable(kept));
        ModelContainer::keptFilesAnnounced(container->configurations().first().storePath());
    } catch (const ModelStoreError &error) {
        std::printf("refused: %s\n", qPrintable(error.description()));
        return 1;
    }
    return 0;
}

// What is at `path` itself (a link not followed): "link to <target>",
// "pipe", "folder", "file" or "nothing".
QString kindOf(const QString &path)
{
    struct stat status;
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return QStringLiteral("nothing");
    if (S_ISLNK(status.st_mode))
        return QStringLiteral("link to ") + QFile::symLinkTarget(path);
    if (S_ISFIFO(status.st_mode))
        return QStringLiteral("pipe");
    return S_ISDIR(status.st_mode) ? QStringLiteral("folder") : QStringLiteral("file");
}

// Makes at `path` a thing of `kind`: "link" or "hard link" (to `target`),
// "pipe", "folder" or "file".
bool makeThing(const QString &path, const QString &kind, const QString &target = {})
{
    if (kind == QLatin1String("link"))
        return QFile::link(target, path);
    if (kind == QLatin1String("hard link"))
        return ::link(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()) == 0;
    if (kind == QLatin1String("pipe"))
        return ::mkfifo(QFile::encodeName(path).constData(), 0644) == 0;
    if (kind == QLatin1String("folder"))
        return QDir().mkpath(path);
    return writeFile(path, "a file of the user's");
}

// The files of `folder` with a digest of their bytes.
QMap<QString, QByteArray> contents(const QString &folder)
{
    QMap<QString, QByteArray> files;
    const QDir directory(folder);
    for (const QString &name : directory.entryList(QDir::Files | QDir::Hidden)) {
        QFile file(directory.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            files.insert(name, QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1));
    }
    return files;
}

} // namespace

// A store file that is missing or empty starts a new library: the files of
// the old one's pictures are never taken for the new one's (nor removed),
// but moved aside, under a name that says what they are and when.
class KeptFilesTest : public QObject {
    Q_OBJECT
public:
    static void initMain() { privateMounts = enterPrivateMounts(); }

private slots:
    void aLostStoreKeepsItsFiles_data()
    {
        QTest::addColumn<QString>("loss");
        QTest::addColumn<int>("pictures"); // kept in files
        QTest::newRow("store emptied") << "emptied" << 2;
        QTest::newRow("store deleted") << "deleted" << 2;
        QTest::newRow("store deleted, no picture in a file") << "deleted" << 0;
    }

    void aLostStoreKeepsItsFiles()
    {
        QFETCH(QString, loss);
        QFETCH(int, pictures);
        QTemporaryDir directory;
        const QString folder = directory.path();
        {
            auto container = makeTestContainer(folder);
            for (int i = 0; i < pictures; ++i)
                container->mainContext().insert(imageWithBytes(large + QByteArray::number(i)));
            container->mainContext().insert(imageWithBytes(QByteArray("small")));
            container->mainContext().save();
        }
        const QMap<QString, QByteArray> before = contents(externalFolderOf(folder));
        QCOMPARE(before.size(), pictures);
        const QString store = QDir(folder).filePath(QStringLiteral("default.store"));
        if (loss == QLatin1String("emptied"))
            QVERIFY(QFile::resize(store, 0));
        else
            QVERIFY(QFile::remove(store));

        auto container = makeTestContainer(folder);
        QVERIFY(container->mainContext().fetch<AtlasImage>().isEmpty());
        const QString kept = container->keptExternalFolder();
        if (pictures == 0) {
            QCOMPARE(kept, QString());
            return;
        }
        const QRegularExpression named(QRegularExpression::escape(externalFolderOf(folder))
                                       + QStringLiteral(" \\(kept \\d{4}-\\d\\d-\\d\\d \\d\\d\\.\\d\\d\\)"));
        QVERIFY2(named.match(kept).hasMatch(), qPrintable(kept));
        // Noted on the disk itself before the files moved: after a power
        // cut the user is still told where they went.
        if (const std::optional<bool> written = writtenToDisk(ModelContainer::keptFilesNote(store)))
            QVERIFY2(*written, "the note of kept folders was left in memory, unwritten");
        QCOMPARE(contents(kept), before);
        QCOMPARE(externalFileNames(folder), QStringList());
        // The new library keeps files of its own; the kept ones stay as
        // they are, also when it is opened again.
        container->mainContext().insert(imageWithBytes(large + "new"));
        container->mainContext().save();
        container.reset();
        container = makeTestContainer(folder);
        // Reported until the user has been told of it.
        QCOMPARE(container->keptExternalFolder(), kept);
        ModelContainer::keptFilesAnnounced(store);
        container.reset();
        container = makeTestContainer(folder);
        QCOMPARE(container->keptExternalFolder(), QString());
        QCOMPARE(externalFileNames(folder), storedFileNames(folder));
        QCOMPARE(externalFileNames(folder).size(), 1);
        QCOMPARE(contents(kept), before);
    }

    // A store cut short while it was being made holds nothing but SQLite's
    // header: it is made anew, and the files beside it are kept as for a
    // lost one. The user is told of them at every opening until told.
    void aStoreCutShortWhileMadeIsMadeAnew_data()
    {
        QTest::addColumn<QString>("cut");
        QTest::addColumn<int>("killedPast"); // bytes of a file, for a start killed on its way
        QTest::newRow("emptied; the start killed while making the new store") << "killed" << 4096;
        QTest::newRow("emptied; the start killed while noting where the pictures go") << "killed" << 20;
        QTest::newRow("missing; another program gave the file SQLite's header") << "header" << 0;
    }
    void aStoreCutShortWhileMadeIsMadeAnew()
    {
        QFETCH(QString, cut);
        QFETCH(int, killedPast);
        QTemporaryDir directory;
        const QString folder = directory.path();
        const QString store = makeLibrary(folder, 2);
        const QMap<QString, QByteArray> before = contents(externalFolderOf(folder));
        QCOMPARE(before.size(), 2);
        if (cut == QLatin1String("killed")) {
            QVERIFY(QFile::resize(store, 0));
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(),
                        {QStringLiteral("--child-open"), folder, QString::number(killedPast)});
            QVERIFY(child.waitForFinished(20000));
            QCOMPARE(child.exitStatus(), QProcess::CrashExit);
            // Killed with its pictures moved aside and its store not made,
            // or before it moved them.
            QCOMPARE(externalFileNames(folder).size(), killedPast < 4096 ? 2 : 0);
            QCOMPARE(QFileInfo(store).size() > 0, killedPast == 4096); // SQLite's header only
        } else {
            QVERIFY(QFile::remove(store));
            QVERIFY(runOnStore(folder, {QStringLiteral("PRAGMA journal_mode = WAL")}));
            QVERIFY(QFileInfo(store).size() > 0);
        }

        auto container = makeTestContainer(folder);
        QVERIFY(container->mainContext().fetch<AtlasImage>().isEmpty());
        const QString kept = container->keptExternalFolder();
        QVERIFY2(keptName(folder).match(kept).hasMatch(), qPrintable(kept));
        QCOMPARE(contents(kept), before);
        container->mainContext().insert(imageWithBytes(large + "new"));
        container->mainContext().save();
        container.reset();
        container = makeTestContainer(folder);
        QCOMPARE(container->keptExternalFolders(), QStringList{kept});
        ModelContainer::keptFilesAnnounced(store);
        container.reset();
        container = makeTestContainer(folder);
        QCOMPARE(container->keptExternalFolders(), QStringList());
        QCOMPARE(container->mainContext().fetch<AtlasImage>().size(), 1);
        QCOMPARE(contents(kept), before);
    }

    // The write-ahead log of a lost store may hold its last saves: it goes
    // aside with its files, never deleted, and with it the log's index.
    // An empty log and index hold nothing: they stay, and with no picture
    // beside them nothing is kept.
    void aLostStoresLogGoesAside_data()
    {
        QTest::addColumn<int>("pictures");
        QTest::addColumn<bool>("logged"); // the log holds saves, else it and its index are empty
        QTest::newRow("with pictures in files") << 2 << true;
        QTest::newRow("without a picture in a file") << 0 << true;
        QTest::newRow("an empty log beside pictures in files") << 2 << false;
        QTest::newRow("an empty log, no picture in a file") << 0 << false;
    }
    void aLostStoresLogGoesAside()
    {
        QFETCH(int, pictures);
        QFETCH(bool, logged);
        QTemporaryDir directory;
        const QString folder = directory.path();
        const QString store = QDir(folder).filePath(QStringLiteral("default.store"));
        QMap<QString, QByteArray> expected;
        {
            auto container = makeTestContainer(folder);
            container->mainContext().insert(imageWithBytes(QByteArray("in the log")));
            container->mainContext().save();
            // As a process ended before its log was copied into the store
            // leaves them.
            for (const QString &suffix : {QStringLiteral("-wal"), QStringLiteral("-shm")}) {
                QFile file(store + suffix);
                QVERIFY(file.open(QIODevice::ReadOnly));
                if (logged)
                    expected.insert(QStringLiteral("default.store") + suffix, file.readAll());
            }
        }
        QVERIFY(QDir().mkpath(externalFolderOf(folder)));
        for (int i = 0; i < pictures; ++i) {
            const QString name = ExternalStorage::newFileName();
            QVERIFY(writeFile(QDir(externalFolderOf(folder)).filePath(name), large));
            expected.insert(name, large);
        }
        for (auto file = expected.begin(); file != expected.end(); ++file) {
            if (file.key().startsWith(QLatin1String("default.store")))
                QVERIFY(writeFile(QDir(folder).filePath(file.key()), file.value()));
            file.value() = QCryptographicHash::hash(file.value(), QCryptographicHash::Sha1);
        }
        for (const QString &suffix : {QStringLiteral("-wal"), QStringLiteral("-shm")}) {
            if (!logged)
                QVERIFY(writeFile(store + suffix, QByteArray()));
        }
        QVERIFY(QFile::resize(store, 0));

        auto container = makeTestContainer(folder);
        QVERIFY(container->mainContext().fetch<AtlasImage>().isEmpty());
        const QString kept = container->keptExternalFolder();
        if (expected.isEmpty()) {
            QCOMPARE(kept, QString());
            return;
        }
        QVERIFY2(keptName(folder).match(kept).hasMatch(), qPrintable(kept));
        QCOMPARE(contents(kept), expected);
    }

    // A lost store whose files can't all be moved aside is refused, and
    // what had moved goes back: everything is where it was, the note as
    // it was (or none, as there was none) naming no new kept folder.
    void filesThatCannotAllBeMovedAsideGoBack_data()
    {
        QTest::addColumn<int>("pictures");
        QTest::addColumn<bool>("noted"); // an earlier kept folder is in the note
        QTest::newRow("with pictures in files") << 1 << false;
        QTest::newRow("without a picture in a file") << 0 << false;
        QTest::newRow("with pictures in files, an earlier kept folder noted") << 1 << true;
    }
    void filesThatCannotAllBeMovedAsideGoBack()
    {
        QFETCH(int, pictures);
        QFETCH(bool, noted);
        if (!privateMounts)
            QSKIP("a file that can't be moved needs the privilege to mount, which this process lacks");
        QTemporaryDir directory;
        const QString folder = directory.filePath(QStringLiteral("library"));
        const QString store = makeLibrary(folder, pictures);
        const QString copy = directory.filePath(QStringLiteral("copy"));
        QVERIFY(QFile::copy(store, copy));
        QVERIFY(writeFile(store + QStringLiteral("-wal"), "log") && writeFile(store + QStringLiteral("-shm"), "index"));
        QVERIFY(QFile::resize(store, 0));
        const QString note = ModelContainer::keptFilesNote(store);
        QStringList earlier;
        if (noted) {
            earlier << externalFolderOf(folder) + QStringLiteral(" (kept 2026-12-07 14.05)");
            QVERIFY(QDir().mkpath(earlier.first()));
            QVERIFY(writeFile(QDir(earlier.first()).filePath(QStringLiteral("picture")), large));
            QVERIFY(writeFile(note, "\ndefault.store-external (kept 2026-12-07 14.05)\n"));
        }
        const QStringList before = tree(folder);
        const qsizetype descriptors = openDescriptors();
        {
            // The log moves first; its index can't.
            BusyMountPoint mount(store + QStringLiteral("-shm"));
            QVERIFY(mount.isMounted());
            try {
                makeTestContainer(folder);
                QFAIL("a new store was made over the files of a lost one");
            } catch (const ModelStoreError &error) {
                QCOMPARE(error.code(), ModelStoreError::Code::cannotOpen);
                QVERIFY(!error.detail().isEmpty());
            }
        }
        QCOMPARE(tree(folder), before);
        QCOMPARE(ExternalStorage::keptFolders(note, externalFolderOf(folder)), earlier);
        QCOMPARE(openDescriptors(), descriptors);
        // With its store back, the library opens as it was, with nothing new
        // to tell.
        for (const QString &leftover : {store, store + QStringLiteral("-wal"), store + QStringLiteral("-shm")})
            QVERIFY(QFile::remove(leftover));
        QVERIFY(QFile::copy(copy, store));
        auto container = makeTestContainer(folder);
        QCOMPARE(container->mainContext().fetch<AtlasImage>().size(), pictures + 1);
        QCOMPARE(container->keptExternalFolders(), earlier);
        QCOMPARE(QFile::exists(note), noted);
    }

    // A lost store whose files can't be moved aside is refused, and
    // nothing is changed.
    void filesThatCannotBeMovedAsideRefuseTheStore()
    {
        QTemporaryDir directory;
        ModelConfiguration configuration = testConfiguration(directory.path());
        // Long enough that the kept folder's name is longer than a name may be.
        configuration.name = QString(230, QLatin1Char('n'));
        const auto open = [&] {
            return std::make_unique<ModelContainer>(configuration.schema, VeloranMigrationPlan::plan(),
                                                    QList<ModelConfiguration>{configuration});
        };
        {
            auto container = open();
            container->mainContext().insert(imageWithBytes(large));
            container->mainContext().save();
        }
        const QString store = configuration.storePath();
        const QString files = ModelContainer::externalFolder(store);
        const QMap<QString, QByteArray> before = contents(files);
        QCOMPARE(before.size(), 1);
        QVERIFY(QFile::resize(store, 0));
        try {
            open();
            QFAIL("a new store was made over the files of a lost one");
        } catch (const ModelStoreError &error) {
            QCOMPARE(error.code(), ModelStoreError::Code::cannotOpen);
            QVERIFY2(error.description().contains(store), qPrintable(error.description()));
            QVERIFY(!error.detail().isEmpty());
        }
        QCOMPARE(QFileInfo(store).size(), 0);
        QCOMPARE(contents(files), before);
        QVERIFY(!QFileInfo::exists(ModelContainer::keptFilesNote(store)));
    }

    // A recorded file that opening cannot remove keeps its record: the
    // next opening tries again.
    void aRecordStaysUntilItsFilesAreGone()
    {
        if (!privateMounts)
            QSKIP("a file that can't be removed needs the privilege to mount, which this process lacks");
        QTemporaryDir directory;
        const QString folder = directory.path();
        makeTestContainer(folder).reset();
        const QDir files(externalFolderOf(folder));
        const QString name = ExternalStorage::newFileName();
        // As a save cut short leaves it.
        std::shared_ptr<StagingRecord> record;
        QVERIFY(!StagingRecord::add(record, files.path(), {name}));
        QFile file(files.filePath(name));
        QVERIFY(writeFile(file.fileName(), "cut short"));
        {
            BusyMountPoint mount(file.fileName());
            QVERIFY(mount.isMounted());
            makeTestContainer(folder).reset();
            QVERIFY(file.exists());
            QVERIFY(StagingRecord::anyIn(files.path()));
        }
        makeTestContainer(folder).reset();
        QVERIFY(!file.exists());
        QVERIFY(!StagingRecord::anyIn(files.path()));
    }

    // Opening reads records only from the folder of records itself and
    // only as far as a record can reach; what a record names that is not
    // a file of the store's is left alone, and a record naming only that
    // is cleared.
    void openingFollowsNoLinkAmongTheRecords_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("left");   // of the files "near" and "stray" beside the store's own
        QTest::addColumn<QStringList>("recordsLeft"); // in a folder of records that is not a link
        QTest::newRow("the folder of records a link to a folder of papers")
            << "linked folder" << QStringList{"near", "stray"} << QStringList();
        QTest::newRow("a record that is a link to a paper")
            << "linked record" << QStringList{"near", "stray"} << QStringList{"record"};
        QTest::newRow("a record naming a subfolder") << "subfolder" << QStringList{"near", "stray"} << QStringList();
        QTest::newRow("a record longer than any save writes") << "long record" << QStringList{"stray"} << QStringList();
    }
    void openingFollowsNoLinkAmongTheRecords()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, left);
        QFETCH(QStringList, recordsLeft);
        QTemporaryDir directory;
        const QString folder = directory.filePath(QStringLiteral("library"));
        makeLibrary(folder, 1);
        const QDir files(externalFolderOf(folder));
        const QStringList stored = storedFileNames(folder);
        for (const char *name : {"near", "stray"})
            QVERIFY(writeFile(files.filePath(QLatin1String(name)), "not recorded by the store"));
        // A user's papers elsewhere, which name the files beside the store.
        const QDir papers(directory.filePath(QStringLiteral("papers")));
        QVERIFY(papers.mkpath(QStringLiteral(".")));
        for (const char *name : {"letter.txt", "thesis.tex"})
            QVERIFY(writeFile(papers.filePath(QLatin1String(name)), "near\nstray\n"));
        QDir records(files.filePath(QStringLiteral(".staged")));
        QVERIFY(records.removeRecursively());
        if (kind == QLatin1String("linked folder")) {
            QVERIFY(QFile::link(papers.path(), records.path()));
        } else {
            QVERIFY(records.mkpath(QStringLiteral(".")));
            const QString record = records.filePath(QStringLiteral("record"));
            if (kind == QLatin1String("linked record")) {
                QVERIFY(QFile::link(papers.filePath(QStringLiteral("letter.txt")), record));
            } else if (kind == QLatin1String("subfolder")) {
                QVERIFY(files.mkpath(QStringLiteral("sub/inside")));
                QVERIFY(writeFile(record, "sub\n"));
            } else {
                // "near" at its start; "stray" only past what a record holds.
                QFile file(record);
                QVERIFY(file.open(QIODevice::WriteOnly) && file.write("near\n") == 5);
                QVERIFY(file.seek(16 << 20) && file.write("\nstray\n") == 7);
            }
        }
        const qsizetype descriptors = openDescriptors();
        makeTestContainer(folder).reset();
        QCOMPARE(openDescriptors(), descriptors);
        QStringList expected = stored + left;
        expected.sort();
        QCOMPARE(externalFileNames(folder), expected);
        QCOMPARE(papers.entryList(QDir::Files), (QStringList{"letter.txt", "thesis.tex"}));
        for (const char *name : {"letter.txt", "thesis.tex"}) {
            QFile paper(papers.filePath(QLatin1String(name)));
            QVERIFY(paper.open(QIODevice::ReadOnly));
            QCOMPARE(paper.readAll(), QByteArray("near\nstray\n"));
        }
        if (kind == QLatin1String("subfolder"))
            QVERIFY(QFileInfo::exists(files.filePath(QStringLiteral("sub/inside"))));
        QCOMPARE(QFileInfo(records.path()).isSymLink(), kind == QLatin1String("linked folder"));
        if (kind != QLatin1String("linked folder"))
            QCOMPARE(records.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot), recordsLeft);
    }

    // The note of kept folders is only ever a regular file of its own:
    // anything else of its name (a file linked from elsewhere too) is
    // neither followed nor written, nor waited for, nor removed, and says
    // why; the pictures of a lost store are kept aside and told of all
    // the same.
    void aNoteThatIsNotAFileIsLeftAlone_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("namesKept"); // the diary names a kept folder that is there
        QTest::newRow("a link to a diary") << "link" << false;
        QTest::newRow("a hard link to a diary") << "hard link" << false;
        QTest::newRow("a link to a diary naming a kept folder") << "link" << true;
        QTest::newRow("a hard link to a diary naming a kept folder") << "hard link" << true;
        QTest::newRow("a named pipe") << "pipe" << false;
        QTest::newRow("a folder") << "folder" << false;
    }
    void aNoteThatIsNotAFileIsLeftAlone()
    {
        QFETCH(QString, kind);
        QFETCH(bool, namesKept);
        QTemporaryDir directory;
        const QString folder = directory.filePath(QStringLiteral("library"));
        const QString store = makeLibrary(folder, 2);
        const QMap<QString, QByteArray> pictures = contents(externalFolderOf(folder));
        const QString note = ModelContainer::keptFilesNote(store);
        const QString diary = directory.filePath(QStringLiteral("outside/diary.txt"));
        QVERIFY(QDir().mkpath(QFileInfo(diary).path()));
        QByteArray diaryText("dear diary\n");
        if (namesKept) {
            const QString earlier = externalFolderOf(folder) + QStringLiteral(" (kept 2020-01-02 03.04)");
            QVERIFY(QDir().mkpath(earlier));
            diaryText += QFile::encodeName(QFileInfo(earlier).fileName()) + '\n';
        }
        QVERIFY(writeFile(diary, diaryText));
        QVERIFY(makeThing(note, kind, diary));
        const QString noteKind = kindOf(note);
        QVERIFY(QFile::resize(store, 0));
        // The start that keeps the pictures aside tells of them; the next
        // finds no note to name them.
        QString kept;
        for (int start = 1; start <= 2; ++start) {
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child-kept"), folder});
            const bool ended = child.waitForFinished(20000);
            if (!ended) {
                child.kill();
                child.waitForFinished(20000);
            }
            QVERIFY2(ended, "the start waited on the note");
            const QString told = QString::fromLocal8Bit(child.readAllStandardOutput());
            QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, qPrintable(told));
            if (start == 1)
                kept = told.trimmed();
            QVERIFY2(keptName(folder).match(kept).hasMatch(), qPrintable(told));
            QCOMPARE(contents(kept), pictures);
            QCOMPARE(told, start == 1 ? kept + QLatin1Char('\n') : QString());
            QCOMPARE(kindOf(note), noteKind);
            // Why: the first start names the folder it could not note.
            const QByteArray logged = child.readAllStandardError();
            QVERIFY2(logged.contains(QFile::encodeName(start == 1 ? kept : note)), logged.constData());
        }
        QFile written(diary);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), diaryText);
        QCOMPARE(QDir(QFileInfo(diary).path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("diary.txt")});
    }

    // Only the names the store gives its kept folders count in the note:
    // one written by hand that names the library's own folder of files,
    // its store or a folder of the user's tells of nothing, and the
    // library opens as it is.
    void onlyKeptFoldersCountInTheNote()
    {
        QTemporaryDir directory;
        const QString folder = directory.filePath(QStringLiteral("library"));
        const QString store = makeLibrary(folder, 2);
        const QDir library(folder);
        const QString kept = externalFolderOf(folder) + QStringLiteral(" (kept 2026-12-07 14.05) 2");
        for (const QString &made : {kept, library.filePath(QStringLiteral("papers")),
                                    externalFolderOf(folder) + QStringLiteral(" (kept by me)")})
            QVERIFY(QDir().mkpath(made));
        QVERIFY(writeFile(ModelContainer::keptFilesNote(store),
                          "default.store-external\ndefault.store\npapers\n..\ndefault.store-external (kept by me)\n"
                          "default.store-external (kept 2026-12-07 14.05) 2\nlibrary/default.store-external\n"));
        auto container = makeTestContainer(folder);
        QCOMPARE(container->keptExternalFolders(), QStringList{kept});
        QCOMPARE(container->mainContext().fetch<AtlasImage>().size(), 3);
        QCOMPARE(externalFileNames(folder), storedFileNames(folder));
    }

    // Records are written only into a folder of records itself: where a
    // link (or another kind of file) stands in its place, the save, the
    // values written ahead and an import's files are refused, saying
    // where, and nothing is written there or beside the store's files.
    void recordsAreWrittenOnlyInAFolderOfTheirOwn_data()
    {
        QTest::addColumn<QString>("kind");  // of what stands at ".staged"
        QTest::addColumn<QString>("write"); // how the new files are written
        QTest::newRow("a link to a folder of the user's; a save") << "link" << "save";
        QTest::newRow("a link to a folder of the user's; values written ahead") << "link" << "ahead";
        QTest::newRow("a link to a folder of the user's; an import's files") << "link" << "import";
        QTest::newRow("a file; a save") << "file" << "save";
    }
    void recordsAreWrittenOnlyInAFolderOfTheirOwn()
    {
        QFETCH(QString, kind);
        QFETCH(QString, write);
        QTemporaryDir directory;
        const QString folder = directory.filePath(QStringLiteral("library"));
        makeLibrary(folder, 1);
        const QDir files(externalFolderOf(folder));
        const QDir papers(directory.filePath(QStringLiteral("papers")));
        QVERIFY(papers.mkpath(QStringLiteral(".")));
        QVERIFY(writeFile(papers.filePath(QStringLiteral("letter.txt")), "dear"));
        const QString records = files.filePath(QStringLiteral(".staged"));
        QVERIFY(QDir(records).removeRecursively());
        QVERIFY(makeThing(records, kind, papers.path()));
        const QStringList before = externalFileNames(folder);

        auto container = makeTestContainer(folder);
        ModelContext &context = container->mainContext();
        std::optional<ModelStoreError> error;
        if (write == QLatin1String("save")) {
            context.insert(imageWithBytes(large + "new"));
            try {
                context.save();
            } catch (const ModelStoreError &failure) {
                error = failure;
            }
        } else if (write == QLatin1String("ahead")) {
            QFuture<PreparedValues> preparing = context.prepareValues({large + "new"});
            preparing.waitForFinished();
            error = preparing.result().error();
        } else {
            std::optional<PreparedFiles> prepared = context.prepareFiles();
            QVERIFY(prepared);
            QVERIFY(!prepared->create());
            error = prepared->error();
        }
        QVERIFY2(error, "new files were recorded through what stands for the folder of records");
        QCOMPARE(error->code(), ModelStoreError::Code::saveFailed);
        QVERIFY2(error->description().contains(records), qPrintable(error->description()));
        QCOMPARE(papers.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("letter.txt")});
        QCOMPARE(externalFileNames(folder), before);
        QCOMPARE(kindOf(records), kind == QLatin1String("link") ? QStringLiteral("link to ") + papers.path() : kind);
    }

    // A record goes from the folder it was made in once its files are
    // settled, also when a link has been put in that folder's place since:
    // nothing is removed through the link.
    void aRecordGoesFromItsOwnFolder()
    {
        QTemporaryDir directory;
        const QDir files(directory.filePath(QStringLiteral("files")));
        const QDir papers(directory.filePath(QStringLiteral("papers")));
        QVERIFY(papers.mkpath(QStringLiteral(".")));
        std::shared_ptr<StagingRecord> record;
        QVERIFY(!StagingRecord::add(record, files.path(), {ExternalStorage::newFileName()}));
        const QString records = files.filePath(QStringLiteral(".staged"));
        const QString name = QDir(records).entryList(QDir::Files).value(0);
        QVERIFY(!name.isEmpty());
        QVERIFY(writeFile(papers.filePath(name), "a paper of the user's"));
        QVERIFY(QDir().rename(records, files.filePath(QStringLiteral("moved"))));
        QVERIFY(QFile::link(papers.path(), records));
        record.reset();
        QVERIFY(QFile::exists(papers.filePath(name)));
        QCOMPARE(QDir(files.filePath(QStringLiteral("moved"))).entryList(QDir::Files), QStringList());
    }

    // A new file is written only under a name of its own: a link put at
    // the name it is written under is never written through (the save
    // fails instead), and the paper it leads to stays as it was.
    void aNewFileIsNeverWrittenThroughALink()
    {
        QTemporaryDir directory;
        const QDir files(directory.filePath(QStringLiteral("default.store-external")));
        QVERIFY(files.mkpath(QStringLiteral(".")));
        const QString paper = directory.filePath(QStringLiteral("paper.txt"));
        QVERIFY(writeFile(paper, "a paper"));
        ExternalStorage storage(files.path());
        const int owner = 0;
        const QString name = storage.stage(&owner, large);
        QVERIFY(QFile::link(paper, files.filePath(name + QStringLiteral(".tmp"))));
        QVERIFY(storage.lock());
        const std::optional<QString> error = storage.writeStaged();
        storage.unlock();
        QVERIFY2(error, "a new file was written through a link");
        QFile read(paper);
        QVERIFY(read.open(QIODevice::ReadOnly));
        QCOMPARE(read.readAll(), QByteArray("a paper"));
        QCOMPARE(kindOf(files.filePath(name)), QStringLiteral("nothing"));
    }

    // Opening clears the store's own temporary files that a process cut
    // short left without a record of them (its record written elsewhere),
    // and nothing else: no link, folder or file of another name.
    void leftTemporariesAreClearedOnOpening_data()
    {
        QTest::addColumn<QString>("name"); // "new": a name the store gives a new file
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("cleared");
        QTest::newRow("a new file's temporary file") << "new.tmp" << "file" << true;
        QTest::newRow("a link named as one, to a paper") << "new.tmp" << "link" << false;
        QTest::newRow("a folder named as one") << "new.tmp" << "folder" << false;
        QTest::newRow("a file of the user's ending in .tmp") << "left.tmp" << "file" << false;
        QTest::newRow("a file named as the store's, upper-case") << "NEW.tmp" << "file" << false;
        QTest::newRow("a file named as a new file") << "new" << "file" << false;
    }
    void leftTemporariesAreClearedOnOpening()
    {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(bool, cleared);
        QTemporaryDir directory;
        const QString folder = directory.filePath(QStringLiteral("library"));
        makeLibrary(folder, 1);
        const QDir files(externalFolderOf(folder));
        const QString key = ExternalStorage::newFileName();
        name.replace(QStringLiteral("new"), key).replace(QStringLiteral("NEW"), key.toUpper());
        const QString paper = directory.filePath(QStringLiteral("paper.txt"));
        QVERIFY(writeFile(paper, "a paper"));
        QVERIFY(makeThing(files.filePath(name), kind, paper));
        // As an import killed while writing leaves it when its record went
        // through a link into a folder of the user's.
        const QDir papers(directory.filePath(QStringLiteral("papers")));
        QVERIFY(papers.mkpath(QStringLiteral(".")));
        QVERIFY(writeFile(papers.filePath(QStringLiteral("record")), QFile::encodeName(key) + '\n'));
        const QString records = files.filePath(QStringLiteral(".staged"));
        QVERIFY(QDir(records).removeRecursively());
        QVERIFY(QFile::link(papers.path(), records));
        const QStringList stored = storedFileNames(folder);
        const QString before = kindOf(files.filePath(name));

        auto container = makeTestContainer(folder);
        // Cleared on the files pool, which then leaves the folder to others.
        WorkerPools::files().waitForDone();
        QVERIFY(!filesLocked(folder));
        container.reset();
        QCOMPARE(kindOf(files.filePath(name)), cleared ? QStringLiteral("nothing") : before);
        QCOMPARE(storedFileNames(folder), stored);
        for (const QString &name : stored)
            QVERIFY(files.exists(name));
        QFile read(paper);
        QVERIFY(read.open(QIODevice::ReadOnly));
        QCOMPARE(read.readAll(), QByteArray("a paper"));
        QCOMPARE(papers.entryList(QDir::Files), QStringList{QStringLiteral("record")});
    }

    // Opening clears left temporary files on the files pool; a file this
    // process writes meanwhile (an import's) is never taken for one left.
    // Closing the library stops the clearing: the next opening goes on.
    void aFileWrittenWhileLeftTemporariesAreClearedIsKept()
    {
        QTemporaryDir directory;
        const QString folder = directory.filePath(QStringLiteral("library"));
        makeLibrary(folder, 1);
        const QDir files(externalFolderOf(folder));
        const QString left = files.filePath(ExternalStorage::newFileName() + QStringLiteral(".tmp"));
        QVERIFY(writeFile(left, "cut short"));
        // No thread of the pool is free for the clearing.
        PoolHold busy(WorkerPools::files());
        QVERIFY(busy.holding());
        auto container = makeTestContainer(folder);
        std::optional<PreparedFiles> prepared = container->mainContext().prepareFiles();
        QSemaphore begun, go;
        QString name;
        bool completed = false;
        std::jthread writer([&] {
            const std::unique_ptr<PreparedFiles::Writer> file = prepared ? prepared->create() : nullptr;
            const bool written = file && file->write(large);
            name = file ? file->name() : QString();
            begun.release();
            go.acquire();
            completed = written && file->complete();
        });
        // Long enough for a writer that doesn't wait to begin its file.
        const bool begunBeforeTheClearing = begun.tryAcquire(1, 300);
        container.reset();
        const QString leftOnceClosed = kindOf(left);
        busy.release();
        if (!begunBeforeTheClearing)
            begun.acquire();
        go.release();
        writer.join();
        QCOMPARE(leftOnceClosed, QStringLiteral("file"));
        QVERIFY(completed);
        QFile written(files.filePath(name));
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), large);
    }

    // Neither a save nor closing waits for the clearing of left temporary
    // files, held here before it removes any (the files pool is busy): a
    // save, or a file written ahead of one, waits for no more than their
    // listing, which it makes itself, and its file is never taken for one
    // left, even while still being written as they are removed; closing
    // stops the clearing and leaves the folder unlocked, and the next
    // opening clears the rest.
    void neitherASaveNorClosingWaitsForTheClearing_data()
    {
        QTest::addColumn<QString>("write"); // what is written first: "save", "file" (written ahead) or ""
        QTest::addColumn<bool>("close");    // else the pool goes on and clears
        QTest::newRow("a save, then the clearing") << "save" << false;
        QTest::newRow("a file written across the clearing") << "file" << false;
        QTest::newRow("a save, then closing") << "save" << true;
        QTest::newRow("closing") << "" << true;
    }
    void neitherASaveNorClosingWaitsForTheClearing()
    {
        QFETCH(QString, write);
        QFETCH(bool, close);
        QTemporaryDir directory;
        const QString folder = directory.filePath(QStringLiteral("library"));
        makeLibrary(folder, 1);
        const QDir files(externalFolderOf(folder));
        QStringList left;
        for (int i = 0; i < 3; ++i) {
            left << ExternalStorage::newFileName() + QStringLiteral(".tmp");
            QVERIFY(writeFile(files.filePath(left.last()), "cut short"));
        }
        const auto leftThere = [&] {
            QStringList there;
            for (const QString &name : std::as_const(left)) {
                if (files.exists(name))
                    there << name;
            }
            return there;
        };
        std::optional<PoolHold> busy(std::in_place, WorkerPools::files());
        QVERIFY(busy->holding());
        auto container = makeTestContainer(folder);
        std::optional<PreparedFiles> prepared = container->mainContext().prepareFiles();
        std::unique_ptr<PreparedFiles::Writer> writing;
        if (write == QLatin1String("save")) {
            container->mainContext().insert(imageWithBytes(large + "saved"));
            container->mainContext().save();
        } else if (write == QLatin1String("file")) {
            QVERIFY(prepared && (writing = prepared->create()));
            QVERIFY(writing->write(large));
        }
        if (close) {
            container.reset();
            QVERIFY(!filesLocked(folder));
        }
        QCOMPARE(leftThere(), left);
        busy.reset();
        WorkerPools::files().waitForDone();
        QCOMPARE(leftThere(), close ? left : QStringList());
        if (writing) {
            QVERIFY(writing->complete());
            QFile written(files.filePath(writing->name()));
            QVERIFY(written.open(QIODevice::ReadOnly));
            QCOMPARE(written.readAll(), large);
        }
        writing.reset();
        prepared.reset();
        if (close) {
            container = makeTestContainer(folder);
            WorkerPools::files().waitForDone();
            QCOMPARE(leftThere(), QStringList());
        }
        QVERIFY(!filesLocked(folder));
        const QStringList stored = storedFileNames(folder);
        QCOMPARE(externalFileNames(folder), stored);
        QCOMPARE(stored.size(), write == QLatin1String("save") ? 2 : 1);
        QByteArrayList bytes;
        for (const AtlasImage *image : container->mainContext().fetch<AtlasImage>())
            bytes << image->imageData().value_or(QByteArray());
        QCOMPARE(bytes.contains(large + "saved"), write == QLatin1String("save"));
    }

    // Each folder kept aside takes a name of its own; a folder without a
    // file (or only its lock) stays where it is.
    void keptFoldersTakeNamesOfTheirOwn()
    {
        QTemporaryDir directory;
        const QString folder = directory.filePath(QStringLiteral("default.store-external"));
        const QDateTime when(QDate(2026, 12, 7), QTime(14, 5, 59));
        QString error;
        QCOMPARE(ExternalStorage::setAside(folder, when, &error), QString());
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile(QDir(folder).filePath(QStringLiteral(".lock"))).open(QIODevice::WriteOnly));
        QCOMPARE(ExternalStorage::setAside(folder, when, &error), QString());
        QVERIFY(QDir(folder).exists());
        QStringList kept;
        for (int i = 0; i < 3; ++i) {
            QVERIFY(QDir().mkpath(folder + QStringLiteral("/.staged")));
            QFile file(QDir(folder).filePath(i == 1 ? QStringLiteral(".staged/record") : QStringLiteral("picture")));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("bytes") == 5);
            file.close();
            kept << ExternalStorage::setAside(folder, when, &error);
            QCOMPARE(error, QString());
            QVERIFY(!QFileInfo::exists(folder));
        }
        const QString name = folder + QStringLiteral(" (kept 2026-12-07 14.05)");
        QCOMPARE(kept, (QStringList{name, name + QStringLiteral(" 2"), name + QStringLiteral(" 3")}));
        QVERIFY(QFile::exists(name + QStringLiteral(" 2/.staged/record")));
    }
};

int main(int argc, char *argv[])
{
    if (argc == 4 && QByteArray(argv[1]) == "--child-open") {
        QCoreApplication app(argc, argv);
        return childOpen(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toULong());
    }
    if (argc == 3 && QByteArray(argv[1]) == "--child-kept") {
        QCoreApplication app(argc, argv);
        return childKept(QString::fromLocal8Bit(argv[2]));
    }
    KeptFilesTest::initMain();
    QCoreApplication app(argc, argv);
    KeptFilesTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_keptfiles.moc"
