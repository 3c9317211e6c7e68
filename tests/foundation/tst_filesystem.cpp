#include "FoundationTestSupport.h"

#include "foundation/Bundle.h"
#include "foundation/DataHelpers.h"
#include "foundation/Dates.h"
#include "foundation/FileError.h"
#include "foundation/FileSystem.h"
#include "support/TestHttpServer.h"
#include "support/WriteBarriers.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QStandardPaths>
#include <QTest>

#include <arpa/inet.h>
#include <atomic>
#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/inotify.h>
#include <sys/stat.h>

namespace {

QUrl fileURL(const QTemporaryDir &dir, const QString &path)
{
    return QUrl::fromLocalFile(dir.filePath(path));
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

QByteArray record(const void *address, qsizetype size)
{
    return QByteArray(static_cast<const char *>(address), size);
}

// Whether the two folders lie on two file systems.
bool onTwoFileSystems(const QString &one, const QString &other)
{
    struct stat first {}, second {};
    return ::stat(QFile::encodeName(one), &first) == 0 && ::stat(QFile::encodeName(other), &second) == 0
        && first.st_dev != second.st_dev;
}

// The item at `root` and each below it, as "<path> <permissions> <time of
// writing> <bytes, or where a link points>", `root` itself as ".".
QStringList describeTree(const QString &root)
{
    QStringList items;
    const auto describe = [&](const QString &path, const QString &name) {
        struct stat info {};
        if (::lstat(QFile::encodeName(path), &info) != 0)
            return items.append(name + " missing");
        QByteArray what(4096, '\0');
        if (S_ISLNK(info.st_mode))
            what = "-> " + what.left(std::max<ssize_t>(::readlink(QFile::encodeName(path), what.data(), what.size()), 0));
        else
            what = S_ISDIR(info.st_mode) ? QByteArray("/") : readFile(path);
        items.append(QStringLiteral("%1 %2 %3.%4 %5")
                         .arg(name)
                         .arg(info.st_mode & 07777, 0, 8)
                         .arg(info.st_mtim.tv_sec)
                         .arg(info.st_mtim.tv_nsec)
                         .arg(QString::fromUtf8(what)));
    };
    describe(root, QStringLiteral("."));
    QDirIterator below(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                       QDirIterator::Subdirectories);
    while (below.hasNext()) {
        below.next();
        describe(below.filePath(), QDir(root).relativeFilePath(below.filePath()));
    }
    items.sort();
    return items;
}

// Counts, while it lives, what is done to the folders below `root` and to
// what they hold: opened, read, written, made, removed or moved.
class Accesses {
public:
    explicit Accesses(const QString &root) : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        m_watching = watch(root);
        QDirIterator folders(root, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (folders.hasNext())
            m_watching = watch(folders.next()) && m_watching;
        count(); // what finding the folders did
    }
    ~Accesses() { ::close(m_fd); }
    Accesses(const Accesses &) = delete;
    Accesses &operator=(const Accesses &) = delete;

    bool isWatching() const { return m_watching; }
    int count() const
    {
        int events = 0;
        alignas(inotify_event) char buffer[4096];
        for (ssize_t got; (got = ::read(m_fd, buffer, sizeof buffer)) > 0;) {
            for (ssize_t at = 0; at < got; ++events)
                at += ssize_t(sizeof(inotify_event)) + reinterpret_cast<const inotify_event *>(buffer + at)->len;
        }
        return events;
    }

private:
    bool watch(const QString &folder)
    {
        return m_fd >= 0 && ::inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), IN_ALL_EVENTS) >= 0;
    }

    int m_fd;
    bool m_watching = false;
};

// While set above 0, counts the calls to symlink() down; the one that
// brings it to 0 fails, as on a full disk.
std::atomic<int> symlinksBeforeFailure{0};

} // namespace

// The program's own symlink() stands before the system's, for symlinksBeforeFailure.
extern "C" int symlinkFailingOnCount(const char *target, const char *path) __asm__("symlink");

extern "C" int symlinkFailingOnCount(const char *target, const char *path)
{
    using Link = int (*)(const char *, const char *);
    static const auto system = reinterpret_cast<Link>(::dlsym(RTLD_NEXT, "symlink"));
    if (symlinksBeforeFailure > 0 && --symlinksBeforeFailure == 0) {
        errno = ENOSPC;
        return -1;
    }
    return system(target, path);
}

class FileSystemTest : public QObject {
    Q_OBJECT

private slots:
    void emptyParentFoldersGoUpToTheFirstThatHoldsAnything_data()
    {
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QStringList>("remaining");
        QTest::addColumn<QStringList>("removed");
        QTest::newRow("a visible file stops the walk") << QStringList{"a/other.txt", "a/b/c/"}
                                                       << QStringList{"a/other.txt"} << QStringList{"a/b"};
        QTest::newRow("a hidden file counts") << QStringList{"a/other.txt", "a/b/.keep", "a/b/c/"}
                                              << QStringList{"a/other.txt", "a/b/.keep"} << QStringList{"a/b/c"};
        QTest::newRow("a hidden folder counts") << QStringList{"a/other.txt", "a/b/.config/", "a/b/c/"}
                                                << QStringList{"a/other.txt", "a/b/.config"} << QStringList{"a/b/c"};
        QTest::newRow("every empty folder up to the top") << QStringList{"keep.txt", "a/b/c/"}
                                                          << QStringList{"keep.txt"} << QStringList{"a"};
    }

    void emptyParentFoldersGoUpToTheFirstThatHoldsAnything()
    {
        QFETCH(QStringList, tree);
        QFETCH(QStringList, remaining);
        QTemporaryDir dir;
        makeTree(dir.path(), tree);
        const LogCapture log;
        recursivelyDeleteEmptyParentFolders(fileURL(dir, QStringLiteral("a/b/c/file.txt")));
        QCOMPARE(log.lines().value(0), QStringLiteral("Filing default Recursively delete empty folders at ")
                                           + QUrl::fromLocalFile(dir.filePath(QStringLiteral("a/b/c/"))).toString());
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("a/b/c"))));
        for (const QString &path : remaining)
            QVERIFY2(QFileInfo::exists(dir.filePath(path)), qPrintable(path));
        QFETCH(QStringList, removed);
        for (const QString &path : removed)
            QVERIFY2(!QFileInfo::exists(dir.filePath(path)), qPrintable(path));
        QVERIFY_THROWS_EXCEPTION(FileError, recursivelyDeleteEmptyParentFolders(fileURL(dir, "gone/file.txt")));
    }

    void listingsIncludeHiddenItems()
    {
        QTemporaryDir dir;
        makeTree(dir.path(), {"top.txt", ".hidden/only.txt", "empty/", "onlyHidden/.dot", "deep/er/"});
        const QUrl root = QUrl::fromLocalFile(dir.path());
        QCOMPARE(sorted(filePathsInSubFolders(root)),
                 (QStringList{".hidden/only.txt", "onlyHidden/.dot", "top.txt"}));
        QCOMPARE(sorted(folderPathsInSubFolders(root)),
                 (QStringList{".hidden", "deep", "deep/er", "empty", "onlyHidden"}));
        QStringList empty;
        for (const QUrl &url : emptySubFolders(root))
            empty << QDir(dir.path()).relativeFilePath(url.toLocalFile());
        QCOMPARE(sorted(empty), (QStringList{"deep/er", "empty"}));
        QVERIFY(filePathsInSubFolders(fileURL(dir, "missing")).isEmpty());
        QCOMPARE(subFolders(root).size(), 3); // the hidden folder is left out
        QVERIFY(subFolders(fileURL(dir, "top.txt")).isEmpty());
        QVERIFY(isDirectory(root) && !isDirectory(fileURL(dir, "top.txt")) && directoryExists(dir.path()));
        QUrl onThisHost = root; // "file://localhost/…"
        onThisHost.setHost(QStringLiteral("localhost"));
        QVERIFY(isDirectory(onThisHost) && directoryExists(onThisHost));
    }

    void createsFoldersAndReportsWhatIsInTheWay()
    {
        QTemporaryDir dir;
        makeTree(dir.path(), {"file"});
        createDirectoryIfNeeded(dir.filePath(QStringLiteral("x/y")));
        QVERIFY(directoryExists(dir.filePath(QStringLiteral("x/y"))));
        const LogCapture log;
        createDirectoryIfNeeded(dir.filePath(QStringLiteral("file")));
        QCOMPARE(log.lines().size(), 2);
        QCOMPARE(log.lines().value(0), QStringLiteral("Filing error Failed to create directory at: ") + dir.filePath("file"));
        QVERIFY(log.lines().value(1).startsWith(QStringLiteral("Filing error Error: ")));
    }

    void trashNamesTheItemWithItsStamp_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::newRow("file") << "notes.txt" << "notes (" << ").txt";
        QTest::newRow("no extension") << "README" << "README (" << ")";
        QTest::newRow("last extension only") << "scan.tar.gz" << "scan.tar (" << ").gz";
        QTest::newRow("hidden file") << ".keep" << ".keep (" << ")";
        QTest::newRow("folder") << "album/" << "album (" << ")";
    }

    void trashNamesTheItemWithItsStamp()
    {
        QFETCH(QString, item);
        QFETCH(QString, before);
        QFETCH(QString, after);
        QTemporaryDir home;
        qputenv("XDG_DATA_HOME", home.path().toUtf8());
        QTemporaryDir dir;
        makeTree(dir.path(), {item, item.endsWith('/') ? item + "inside.txt" : QString("other.txt")});
        const QString name = item.chopped(item.endsWith('/') ? 1 : 0);
        moveItemToTrash(fileURL(dir, "already-gone.txt")); // nothing, and no error
        QVERIFY(!QFileInfo::exists(home.filePath("Trash")));

        const QString earliest = backupDateTimeString(QDateTime::currentDateTime());
        const LogCapture log;
        moveItemToTrash(fileURL(dir, name));
        const QString latest = backupDateTimeString(QDateTime::currentDateTime());

        QVERIFY(!QFileInfo::exists(dir.filePath(name)));
        const QStringList trashed = QDir(home.filePath("Trash/files")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        QCOMPARE(trashed.size(), 1);
        const QString inTrash = trashed.first();
        QVERIFY2(inTrash.startsWith(before) && inTrash.endsWith(after), qPrintable(inTrash));
        const QString stamp = inTrash.mid(before.size(), inTrash.size() - before.size() - after.size());
        QVERIFY2(stamp.size() == 14 && stamp >= earliest && stamp <= latest, qPrintable(stamp));
        const QString moved = home.filePath("Trash/files/" + inTrash);
        QCOMPARE(readFile(item.endsWith('/') ? moved + "/inside.txt" : moved),
                 (item.endsWith('/') ? item + "inside.txt" : item).toUtf8());
        const QByteArray info = readFile(home.filePath("Trash/info/" + inTrash + ".trashinfo"));
        QVERIFY2(info.startsWith("[Trash Info]\nPath=" + QUrl::toPercentEncoding(dir.filePath(name), "/") + "\nDeletionDate="),
                 info.constData());
        QCOMPARE(log.lines(), QStringList{"Filing default Move " + fileURL(dir, name).toString(QUrl::FullyEncoded) + " to "
                                          + QUrl::fromLocalFile(moved).toString(QUrl::FullyEncoded)});
    }

    void aFailedMoveToTheTrashKeepsTheItem()
    {
        QTemporaryDir home;
        qputenv("XDG_DATA_HOME", home.path().toUtf8());
        makeTree(home.path(), {"Trash/files"}); // a file where the folder should be
        QTemporaryDir dir;
        makeTree(dir.path(), {"notes.txt"});
        const LogCapture log;
        QVERIFY_THROWS_EXCEPTION(FileError, moveItemToTrash(fileURL(dir, "notes.txt")));
        QCOMPARE(readFile(dir.filePath("notes.txt")), QByteArray("notes.txt"));
        // Logged before the move was tried; no record of an item that is not there.
        QVERIFY(log.lines().value(0).startsWith("Filing default Move " + fileURL(dir, "notes.txt").toString() + " to "));
        QCOMPARE(QDir(home.filePath("Trash/info")).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // The trash on a fresh account, whose data folder isn't there yet, and
    // on another file system than the item: a file, or a folder with all it
    // holds, is copied there whole and written to its disk, then removed
    // here. When the copy or the removal fails partway, the item stays
    // whole where it was and nothing of it stays in the trash; only when
    // what the removal took can't be put back does the whole copy stay.
    void movesToTheTrashWhereverItLies_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<bool>("elsewhere"); // the item on another file system than the trash
        QTest::addColumn<QString>("obstacle");
        QTest::newRow("a fresh account") << "notes.txt" << false << "";
        QTest::newRow("another file system") << "notes.txt" << true << "";
        QTest::newRow("another file system, the item held") << "notes.txt" << true << "the item held";
        QTest::newRow("a folder on another file system") << "album" << true << "";
        QTest::newRow("a folder on another file system, a file in it unreadable")
            << "album" << true << "an unreadable file";
        QTest::newRow("a folder on another file system, a folder in it keeping what it holds")
            << "album" << true << "a folder keeping what it holds";
        QTest::newRow("a folder on another file system, the folder held") << "album" << true << "the item held";
        QTest::newRow("a folder on another file system, a folder in it keeping what it holds, a link not put back")
            << "album" << true << "a folder keeping what it holds, a link not put back";
    }

    void movesToTheTrashWhereverItLies()
    {
        QFETCH(QString, item);
        QFETCH(bool, elsewhere);
        QFETCH(QString, obstacle);
        QTemporaryDir data; // the trash's
        QTemporaryDir dir(elsewhere ? QStringLiteral("/dev/shm/veloran-item-XXXXXX") : QDir::tempPath() + "/item-XXXXXX");
        if (elsewhere && !(dir.isValid() && onTwoFileSystems(dir.path(), data.path())))
            QSKIP("needs a second file system at /dev/shm");
        const QString home = data.filePath("new/share");
        qputenv("XDG_DATA_HOME", QFile::encodeName(home));
        makeTree(dir.path(), {"notes.txt", "album/a.txt", "album/.hidden", "album/sub/b.txt", "album/sub/deeper/c.txt",
                              "album/sub/secret.txt"});
        QVERIFY(QFile::link("a.txt", dir.filePath("album/link")));
        QVERIFY(::chmod(QFile::encodeName(dir.filePath("album/a.txt")), 0640) == 0);
        const struct timespec past[2] = {{978307200, 5}, {978307200, 123456789}};
        for (const char *earlier : {"album/a.txt", "album/sub"})
            QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(dir.filePath(earlier)), past, 0) == 0);
        const auto setMode = [&](const char *path, mode_t mode) { ::chmod(QFile::encodeName(dir.filePath(path)), mode); };
        const auto opened = qScopeGuard([&] {
            setMode(".", 0700);
            setMode("album/sub/deeper", 0700);
        });
        if (obstacle == "an unreadable file")
            setMode("album/sub/secret.txt", 0);
        if (obstacle.startsWith("a folder keeping what it holds"))
            setMode("album/sub/deeper", 0555);
        const QString path = dir.filePath(item);
        const QStringList before = describeTree(path);
        if (obstacle == "the item held")
            setMode(".", 0500);
        QString failure;
        {
            const PermissionsObeyed obeyed;
            // The link is made once in the trash, then again when put back.
            symlinksBeforeFailure = obstacle.endsWith("a link not put back") ? 2 : 0;
            try {
                moveItemToTrash(QUrl::fromLocalFile(path));
            } catch (const FileError &error) {
                failure = error.description;
            }
            symlinksBeforeFailure = 0;
        }
        QCOMPARE(failure.isEmpty(), obstacle.isEmpty());
        const QStringList trashed =
            QDir(home + "/Trash/files").entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        const QStringList records = QDir(home + "/Trash/info").entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        const bool copyStays = obstacle.endsWith("a link not put back");
        if (!obstacle.isEmpty() && !copyStays) {
            QCOMPARE(describeTree(path), before);
            QCOMPARE(trashed, QStringList());
            QCOMPARE(records, QStringList());
            return;
        }
        QVERIFY(copyStays ? !QFileInfo(path + "/link").isSymLink() : !QFileInfo::exists(path));
        if (copyStays)
            QVERIFY2(failure.endsWith("Part of it is still there, and all of it is in the trash."), qPrintable(failure));
        QCOMPARE(trashed.size(), 1);
        QCOMPARE(records, QStringList{trashed.first() + ".trashinfo"});
        const QString moved = home + "/Trash/files/" + trashed.first();
        QCOMPARE(describeTree(moved), before);
        // On its disk before the item went.
        if (const std::optional<bool> written = writtenToDisk(item == "album" ? moved + "/sub/b.txt" : moved); elsewhere && written)
            QVERIFY(*written);
        // Made private to the user, as the desktop makes its own folders.
        struct stat made {};
        QVERIFY(::stat(QFile::encodeName(home), &made) == 0);
        QCOMPARE(made.st_mode & 0777, 0700u);
    }

    // Log lines show a URL in its encoded form, and the trash's record of
    // where an item was holds its path encoded the same way: the trash's
    // and the backup's stamped names hold a blank.
    void logLinesAndTheTrashShowPathsEncoded_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("encoded");
        QTest::newRow("plain") << "notes" << "notes";
        QTest::newRow("a blank") << "my notes" << "my%20notes";
        QTest::newRow("beyond ASCII") << "Sch\u00E4del \u00E9" << "Sch%C3%A4del%20%C3%A9";
        QTest::newRow("a percent sign") << "100%" << "100%25";
        QTest::newRow("a hash") << "case#2" << "case%232";
        QTest::newRow("a question mark") << "why?" << "why%3F";
    }

    void logLinesAndTheTrashShowPathsEncoded()
    {
        QFETCH(QString, name);
        QFETCH(QString, encoded);
        QTemporaryDir home;
        qputenv("XDG_DATA_HOME", home.path().toUtf8());
        QTemporaryDir dir;
        const QString folder = "file://" + dir.path() + "/";
        makeTree(dir.path(), {name + ".txt", name + "/" + name + "/file.txt", "keep.txt"});

        const LogCapture log;
        backup(fileURL(dir, name + ".txt"), name + " old");
        const QString backedUp = QDir(dir.filePath(name + " old")).entryList(QDir::Files).value(0);
        const QString backupStamp = backedUp.mid(name.size() + 1, 14);
        QFile::remove(dir.filePath(name + "/" + name + "/file.txt"));
        recursivelyDeleteEmptyParentFolders(fileURL(dir, name + "/" + name + "/file.txt"));
        moveItemToTrash(fileURL(dir, name + ".txt"));
        const QString trashed = QDir(home.filePath("Trash/files")).entryList(QDir::Files).value(0);
        const QString trashStamp = trashed.mid(name.size() + 2, 14);
        const QByteArray record = readFile(home.filePath("Trash/info/" + trashed + ".trashinfo"));
        QVERIFY2(record.contains("\nPath=" + QFile::encodeName(dir.path()) + "/" + encoded.toUtf8() + ".txt\n"),
                 record.constData());
        QCOMPARE(log.lines(), (QStringList{
            "Filing default Create directory at " + folder + encoded + "%20old/",
            "Filing default Copy " + folder + encoded + ".txt\rto  " + folder + encoded + "%20old/" + encoded + "%20"
                + backupStamp + ".txt",
            "Filing default Recursively delete empty folders at " + folder + encoded + "/" + encoded + "/",
            "Filing default Move " + folder + encoded + ".txt to file://" + home.path() + "/Trash/files/" + encoded
                + "%20(" + trashStamp + ").txt",
        }));
    }

    void swap_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("throws");
        QTest::addColumn<QByteArray>("firstAfter");
        QTest::addColumn<QByteArray>("secondAfter");
        QTest::newRow("contents exchange") << "a.txt" << "sub/b.txt" << false << QByteArray("sub/b.txt")
                                           << QByteArray("a.txt");
        QTest::newRow("the same file twice") << "a.txt" << "sub/../a.txt" << false << QByteArray("a.txt")
                                             << QByteArray("a.txt");
        QTest::newRow("a missing file leaves the other in place")
            << "missing.txt" << "a.txt" << true << QByteArray("<missing>") << QByteArray("a.txt");
    }

    void swap()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(bool, throws);
        QFETCH(QByteArray, firstAfter);
        QFETCH(QByteArray, secondAfter);
        QTemporaryDir dir;
        makeTree(dir.path(), {"a.txt", "sub/b.txt"});
        if (throws)
            QVERIFY_THROWS_EXCEPTION(FileError, ::swap(fileURL(dir, first), fileURL(dir, second)));
        else
            ::swap(fileURL(dir, first), fileURL(dir, second));
        QCOMPARE(readFile(dir.filePath(first)), firstAfter);
        QCOMPARE(readFile(dir.filePath(second)), secondAfter);
        QCOMPARE(QDir(dir.filePath(QStringLiteral("sub"))).count(), 3); // ".", ".." and b.txt: no stray temporary
    }

    void swapAcrossFileSystemsUndoesAFailedMove()
    {
        QTemporaryDir here;
        QTemporaryDir there(QStringLiteral("/dev/shm/veloran-swap-XXXXXX"));
        if (!there.isValid() || !onTwoFileSystems(here.path(), there.path()))
            QSKIP("needs a second file system at /dev/shm");
        makeTree(here.path(), {"locked/a.txt"});
        makeTree(there.path(), {"b.txt"});
        // The first file cannot leave its folder, so the second move fails.
        QFile::setPermissions(here.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                               | QFileDevice::ExeOther | QFileDevice::ExeGroup);
        QFile::setPermissions(here.filePath("locked"), QFileDevice::ReadOther | QFileDevice::ExeOther | QFileDevice::ReadOwner
                                                           | QFileDevice::ExeOwner | QFileDevice::ExeGroup);
        QFile::setPermissions(there.path(), QFileDevice::Permissions(0x7777));
        {
            const UnprivilegedFileAccess unprivileged;
            QVERIFY_THROWS_EXCEPTION(FileError, ::swap(fileURL(here, "locked/a.txt"), fileURL(there, "b.txt")));
        }
        QFile::setPermissions(here.filePath("locked"), QFileDevice::Permissions(0x7700));
        QCOMPARE(readFile(here.filePath(QStringLiteral("locked/a.txt"))), QByteArray("locked/a.txt"));
        QCOMPARE(readFile(there.filePath(QStringLiteral("b.txt"))), QByteArray("b.txt"));
        QCOMPARE(QDir(there.path()).entryList(QDir::Files), QStringList{"b.txt"});
    }

    void fileNames()
    {
        QTemporaryDir dir;
        const QUrl folder = QUrl::fromLocalFile(dir.path());
        QCOMPARE(appendingUniqueFileName(folder, "report", "txt"), fileURL(dir, "report.txt"));
        makeTree(dir.path(), {"report.txt", "report (2).txt"});
        QCOMPARE(appendingUniqueFileName(folder, "report", "txt"), fileURL(dir, "report (3).txt"));
        QCOMPARE(appendingUniqueFileName(folder, "report", "txt", "copy"), fileURL(dir, "report (copy 2).txt"));
        QCOMPARE(lastPathComponentWithoutExtension(fileURL(dir, "a.tar.gz")), QStringLiteral("a.tar"));
        makeTree(dir.path(), {"notes.txt"});
        backup(fileURL(dir, "notes.txt"), QStringLiteral("old"));
        const QStringList backups = QDir(dir.filePath(QStringLiteral("old"))).entryList(QDir::Files);
        QCOMPARE(backups.size(), 1);
        QVERIFY2(QRegularExpression(QStringLiteral("^notes \\d{14}\\.txt$")).match(backups.value(0)).hasMatch(),
                 qPrintable(backups.value(0)));
        QCOMPARE(readFile(dir.filePath(QStringLiteral("old/") + backups.value(0))), QByteArray("notes.txt"));
        QVERIFY_THROWS_EXCEPTION(FileError, backup(fileURL(dir, "missing.txt")));
    }

    void uniqueFileNames_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no label") << "" << "txt" << "report (3).txt";
        QTest::newRow("a label") << "copy" << "txt" << "report (copy 2).txt";
        QTest::newRow("a label holding a place marker") << "%1x" << "txt" << "report (%1x 2).txt";
        QTest::newRow("a label holding a later marker") << "%3" << "txt" << "report (%3 2).txt";
        QTest::newRow("no extension") << "" << "" << "report (2)";
    }

    void uniqueFileNames()
    {
        QFETCH(QString, label);
        QFETCH(QString, extension);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        makeTree(dir.path(), {"report.txt", "report (2).txt", "report"});
        QCOMPARE(appendingUniqueFileName(QUrl::fromLocalFile(dir.path()), "report", extension, label), fileURL(dir, expected));
    }

    void urlComponents_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("expected"); // empty: none
        const QString page = QStringLiteral("https://h.example/a/b/index.html?q=1");
        QTest::newRow("relative to a base") << "c/d.json?x=1#f" << page << "https://h.example/a/b/c/d.json?x=1#f";
        QTest::newRow("up a folder") << "../up" << page << "https://h.example/a/up";
        QTest::newRow("only a query") << "?q=2" << page << "https://h.example/a/b/index.html?q=2";
        QTest::newRow("from the root") << "/root.json" << page << "https://h.example/root.json";
        QTest::newRow("absolute: the base plays no part") << "file:///tmp/x.json" << page << "file:///tmp/x.json";
        QTest::newRow("no base") << "c/d.json" << "" << "c/d.json";
        QTest::newRow("an invalid URL") << "http://[::1/x" << page << "";
        QTest::newRow("an invalid base") << "c/d.json" << "http://[::1/x" << "";
        QTest::newRow("no URL") << "" << page << "";
    }

    void urlComponents()
    {
        QFETCH(QString, url);
        QFETCH(QString, base);
        QFETCH(QString, expected);
        const auto parts = components(QUrl(url), QUrl(base));
        QCOMPARE(parts ? parts->toString() : QString(), expected);
        if (parts)
            QCOMPARE(parts->host(), QUrl(expected).host());
    }

    void documentsFiles_data()
    {
        QTest::addColumn<std::optional<QString>>("extension");
        QTest::addColumn<QString>("fileName");
        QTest::newRow("an extension") << std::optional<QString>("txt") << "notes.txt";
        QTest::newRow("no extension") << std::optional<QString>() << "notes";
        QTest::newRow("an empty extension adds no dot") << std::optional<QString>("") << "notes";
    }

    void documentsFiles()
    {
        QFETCH(std::optional<QString>, extension);
        QFETCH(QString, fileName);
        const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        QCOMPARE(documentsFileURL(QStringLiteral("notes"), extension), QUrl::fromLocalFile(QDir(documents).filePath(fileName)));
    }

    void readsJSONFiles()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath(QStringLiteral("a.json")), R"({"a": [1, 2]})");
        QCOMPARE(json(fileURL(dir, "a.json"))->object().value("a").toArray().size(), 2);
        const LogCapture log;
        QVERIFY(!json(fileURL(dir, "missing.json")));
        QVERIFY(log.lines().value(0).startsWith(QStringLiteral("Filing error Unable to parse JSON: ")));
    }

    // Only a file URL names a file here: whatever the path of another URL
    // reads, the helpers neither read nor change the local file it would
    // name. Those that act refuse the URL, those that look find nothing,
    // and the JSON of a web address is fetched from it.
    void aURLThatIsNoFileURLNamesNoLocalFile_data()
    {
        QTest::addColumn<QString>("helper");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("answer");
        const QList<std::pair<QString, QString>> helpers = {
            {"moveItemToTrash", "refused"},
            {"swap", "refused"},
            {"swap with it", "refused"},
            {"backup", "refused"},
            {"recursivelyDeleteEmptyParentFolders", "refused"},
            {"filePathsInSubFolders", "nothing"},
            {"folderPathsInSubFolders", "nothing"},
            {"emptySubFolders", "nothing"},
            {"subFolders", "nothing"},
            {"isDirectory", "false"},
            {"directoryExists", "false"},
            {"appendingUniqueFileName", "nothing"},
            {"datedFileURL", "a URL of the same kind"},
            {"json", "nothing"},
            {"append", "refused"},
        };
        for (const QString kind : {"https", "http", "mailto", "relative", "file of another host"}) {
            for (const auto &[helper, answer] : helpers) {
                QTest::addRow("%s, %s", qPrintable(helper), qPrintable(kind))
                    << helper << kind << (helper == u"json" && kind == u"http" ? QStringLiteral("served") : answer);
            }
        }
    }

    void aURLThatIsNoFileURLNamesNoLocalFile()
    {
        QFETCH(QString, helper);
        QFETCH(QString, kind);
        QFETCH(QString, answer);
        QTemporaryDir home;
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
        QTemporaryDir dir;
        makeTree(dir.path(), {"folder/report.txt", "folder/sub/", "folder/empty/a/"});
        writeFile(dir.filePath("victim.json"), R"({"local": true})");
        TestHttpServer server;
        QVERIFY(server.isListening());
        QTcpServer closed; // a port where nothing listens
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 closedPort = closed.serverPort();
        closed.close();
        // The URL of this kind whose path is the local file's.
        const auto urlOf = [&](const QString &relative) {
            const QString path = dir.filePath(relative);
            if (kind == u"http") {
                server.serve(QUrl::toPercentEncoding(path, "/"), R"({"served": true})");
                return server.url(path);
            }
            QUrl url;
            url.setPath(path);
            if (kind == u"https") {
                url.setScheme(QStringLiteral("https"));
                url.setHost(QStringLiteral("127.0.0.1"));
                url.setPort(closedPort);
            } else if (kind == u"mailto") {
                url.setScheme(QStringLiteral("mailto"));
            } else if (kind == u"file of another host") {
                url.setScheme(QStringLiteral("file"));
                url.setHost(QStringLiteral("example.invalid"));
            }
            return url;
        };
        const QUrl victim = urlOf("victim.json");
        const QUrl folder = urlOf("folder");
        const QUrl report = fileURL(dir, "folder/report.txt");
        const auto listed = [](const auto &list) { return list.isEmpty() ? QStringLiteral("nothing") : QStringLiteral("something"); };

        const Accesses accesses(dir.path());
        QVERIFY(accesses.isWatching());
        const LogCapture log;
        QString answered;
        try {
            if (helper == u"moveItemToTrash")
                moveItemToTrash(victim);
            else if (helper == u"swap")
                ::swap(victim, report);
            else if (helper == u"swap with it")
                ::swap(report, victim);
            else if (helper == u"backup")
                backup(victim);
            else if (helper == u"recursivelyDeleteEmptyParentFolders")
                recursivelyDeleteEmptyParentFolders(urlOf("folder/empty/a/file.txt"));
            else if (helper == u"filePathsInSubFolders")
                answered = listed(filePathsInSubFolders(folder));
            else if (helper == u"folderPathsInSubFolders")
                answered = listed(folderPathsInSubFolders(folder));
            else if (helper == u"emptySubFolders")
                answered = listed(emptySubFolders(folder));
            else if (helper == u"subFolders")
                answered = listed(subFolders(folder));
            else if (helper == u"isDirectory")
                answered = isDirectory(folder) ? "true" : "false";
            else if (helper == u"directoryExists")
                answered = directoryExists(folder) ? "true" : "false";
            else if (helper == u"appendingUniqueFileName")
                answered = appendingUniqueFileName(folder, "report", "txt").isEmpty() ? "nothing" : "a name";
            else if (helper == u"datedFileURL") {
                const QUrl dated = datedFileURL(victim, QStringLiteral("old"));
                answered = dated.scheme() == victim.scheme() && dated.host() == victim.host() && !localFilePath(dated)
                        && dated.path().startsWith(dir.path() + "/old/victim ")
                    ? "a URL of the same kind"
                    : dated.toString();
            } else if (helper == u"append") {
                append(QByteArray("appended"), victim);
            } else if (helper == u"json") {
                const std::optional<QJsonDocument> read = json(victim);
                answered = !read ? QStringLiteral("nothing")
                         : read->object().value("served").toBool() ? QStringLiteral("served")
                                                                    : QString::fromUtf8(read->toJson());
            }
            if (answered.isEmpty())
                answered = QStringLiteral("done");
        } catch (const FileError &error) {
            answered = QStringLiteral("refused");
            QCOMPARE(error.description, "\u201C" + absoluteString(helper == u"recursivelyDeleteEmptyParentFolders"
                                                                      ? urlOf("folder/empty/a/file.txt")
                                                                      : victim)
                                            + "\u201D is not a file on this computer.");
        }
        QCOMPARE(answered, answer);
        QCOMPARE(accesses.count(), 0);
        QCOMPARE(QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
        QCOMPARE(readFile(dir.filePath("victim.json")), QByteArray(R"({"local": true})"));
        if (helper == u"json" && answer == u"nothing")
            QVERIFY(log.lines().value(0).startsWith("Filing error Unable to parse JSON: "));
    }

    void city_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("city");
        QTest::newRow("Auckland") << QByteArray("Pacific/Auckland") << "Auckland";
        QTest::newRow("two words") << QByteArray("America/New_York") << "New York";
        QTest::newRow("three parts") << QByteArray("America/Argentina/Buenos_Aires") << "Buenos Aires";
        QTest::newRow("UTC") << QByteArray("UTC") << "UTC";
    }

    void city()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QString, city);
        QCOMPARE(::city(QTimeZone(zone)), city);
    }

    void runEnvironment()
    {
        qputenv("XCODE_RUNNING_FOR_PREVIEWS", "yes");
        QVERIFY(!isRunningInPreview());
        qputenv("XCODE_RUNNING_FOR_PREVIEWS", "1");
        QVERIFY(isRunningInPreview());
        qunsetenv("XCTestConfigurationFilePath");
        QVERIFY(!isTesting());
        qputenv("XCTestConfigurationFilePath", "");
        QVERIFY(isTesting());
    }

    void ipAddressesCheckEachRecord_data()
    {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<QString>("address");
        sockaddr_in v4{};
        v4.sin_family = AF_INET;
        v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sockaddr_in6 v6{};
        v6.sin6_family = AF_INET6;
        v6.sin6_addr = in6addr_loopback;
        QTest::newRow("IPv4") << record(&v4, sizeof v4) << "127.0.0.1";
        QTest::newRow("IPv6") << record(&v6, sizeof v6) << "::1";
        QTest::newRow("IPv6 cut short") << record(&v6, sizeof v4) << "";
        QTest::newRow("empty") << QByteArray() << "";
        QTest::newRow("unknown family") << QByteArray(32, '\x7f') << "";
    }

    void ipAddressesCheckEachRecord()
    {
        QFETCH(QByteArray, record);
        QFETCH(QString, address);
        QCOMPARE(ipAddresses({record}), QStringList{address});
    }

    void supportMailSubjectIsEncodedAsAPath_data()
    {
        QTest::addColumn<QVariantMap>("info");
        QTest::addColumn<QString>("url");
        QTest::newRow("no name and no versions") << QVariantMap{}
                                                 << "mailto:help@example.org?subject=%3F%20v%3F%20(%3F)%20support%20request";
        QTest::newRow("semicolon encoded, path characters kept")
            << QVariantMap{{"CFBundleName", "Atlas;Pro"}, {"CFBundleShortVersionString", "2.1b2"},
                           {"CFBundleVersion", "7!$&'*+,-./:=@_~"}}
            << "mailto:help@example.org?subject=Atlas%3BPro%20v2.1b2%20(7!$&'*+,-./:=@_~)%20support%20request";
        QTest::newRow("query and fragment characters encoded")
            << QVariantMap{{"CFBundleName", "A?B#C%"}, {"CFBundleShortVersionString", "1"}, {"CFBundleVersion", "1"}}
            << "mailto:help@example.org?subject=A%3FB%23C%25%20v1%20(1)%20support%20request";
    }

    void supportMailSubjectIsEncodedAsAPath()
    {
        QFETCH(QVariantMap, info);
        QFETCH(QString, url);
        const auto mail = supportEmailURL(QStringLiteral("help@example.org"), Bundle(info));
        QVERIFY(mail);
        QCOMPARE(mail->toString(QUrl::FullyEncoded), url);
    }

    void supportMailNamesTheApplication()
    {
        // The application's name, its release version (dotted) and its build
        // number (digits), as the configured build writes them.
        const QUrl url = *supportEmailURL(QStringLiteral("help@example.org"));
        const QRegularExpression expected(
            QStringLiteral("^mailto:help@example\\.org\\?subject=Veloran%20v\\d+\\.\\d+\\.\\d+%20\\(\\d+\\)%20support%20request$"));
        QVERIFY2(expected.match(url.toString(QUrl::FullyEncoded)).hasMatch(), qPrintable(url.toString(QUrl::FullyEncoded)));
        QVERIFY(supportEmailURL()->toString().startsWith(QStringLiteral("mailto:")));
    }
};

QTEST_GUILESS_MAIN(FileSystemTest)
#include "tst_filesystem.moc"
