// Importing archive files through the Library page's import: archives far
// larger than the memory the import may take, entries that no record
// names, the order in which faults are reported, and failures that must
// leave the library as it was.
#include "archive/LibraryTestSupport.h"
#include "archive/LibraryArchiveContents.h"
#include "platform/WorkerPools.h"
#include "shell/HeldLibraryInput.h"
#include "shell/LibraryArchiveImport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <utility>

#include <malloc.h>
#include <limits>
#include <sys/resource.h>

namespace {

using M = LibraryArchiveManifest;

constexpr qint64 MiB = 1 << 20;

// While it lives, the process may map no more than it does now plus
// `extra` bytes: a buffer the size of an archive or of one of its large
// entries fails to allocate.
class AddressSpaceLimit {
public:
    explicit AddressSpaceLimit(qint64 extra)
    {
        getrlimit(RLIMIT_AS, &m_before);
        rlimit limit = m_before;
        limit.rlim_cur = rlim_t(statusKiB("VmSize:") * 1024 + extra);
        setrlimit(RLIMIT_AS, &limit);
    }
    ~AddressSpaceLimit() { setrlimit(RLIMIT_AS, &m_before); }

private:
    static qint64 statusKiB(const char *field)
    {
        QFile status(QStringLiteral("/proc/self/status"));
        if (!status.open(QIODevice::ReadOnly))
            qFatal("no /proc/self/status");
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith(field))
                return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').first().toLongLong();
        }
        qFatal("no %s", field);
    }

    rlimit m_before{};
};

M::ImageRecord imageRecord(const QString &title, const std::optional<QString> &path)
{
    M::ImageRecord record;
    record.id = idOf(title);
    record.title = title;
    record.createdAt = Date::fromSecondsSince1970(1700000000);
    record.imagePath = path;
    return record;
}

// The manifest's JSON: one image record per title, naming `path` of the
// same index (none for an empty path).
QByteArray manifestJson(const QStringList &titles, const QStringList &paths, qint64 formatVersion = 1)
{
    M manifest;
    manifest.formatVersion = formatVersion;
    manifest.exportedAt = Date::fromSecondsSince1970(1700000000);
    manifest.application = {QStringLiteral("Veloran"), QStringLiteral("1.0"), QStringLiteral("1")};
    for (qsizetype i = 0; i < titles.size(); ++i)
        manifest.images.append(imageRecord(titles[i], paths.value(i).isEmpty() ? std::nullopt : std::optional(paths[i])));
    return manifest.encoded().value();
}

// Every file under `folder` but the lock, with a digest of its bytes.
QMap<QString, QByteArray> folderContents(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.endsWith(QLatin1String(".lock")))
            continue;
        QFile file(path);
        QCryptographicHash hash(QCryptographicHash::Sha1);
        if (file.open(QIODevice::ReadOnly))
            hash.addData(&file);
        files.insert(QDir(folder).relativeFilePath(path), hash.result());
    }
    return files;
}

// Counts the turns of the event loop (a timer's ticks) while the context
// is held, and whether the hold began at all.
class HeldTurns : public QObject {
public:
    explicit HeldTurns(ModelContext &context)
        : m_context(context)
    {
        m_timer.setInterval(0);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (m_context.isHeld())
                ++turns;
        });
        connect(&context, &ModelContext::heldChanged, this, [this](bool held) {
            if (held)
                ++holds;
        });
        m_timer.start();
    }

    int turns = 0;
    int holds = 0;

private:
    ModelContext &m_context;
    QTimer m_timer;
};

// A listener of the library that takes a few microseconds for each image
// inserted, as the windows' views do, and runs out of memory at the first
// image inserted once the event loop has turned `turns` times during the
// merge: in a late slice of it.
struct SlowListener {
    SlowListener(ModelContext &context, const HeldTurns &held, int turns = std::numeric_limits<int>::max())
    {
        connection = QObject::connect(&context, &ModelContext::objectInserted, [&held, turns](ModelObject *object) {
            if (&object->entityType() != &AtlasImage::entity())
                return;
            QElapsedTimer timer;
            timer.start();
            while (timer.nsecsElapsed() < 5000) {
            }
            if (held.turns >= turns)
                throw std::bad_alloc();
        });
    }
    ~SlowListener() { QObject::disconnect(connection); }

    QMetaObject::Connection connection;
};

// While it lives, the store refuses to add the image titled `title`: a
// save that fails at that row, late in it when the image is one of the
// last.
class FailingRow {
public:
    FailingRow(const QString &folder, const QString &title)
        : m_connection(QStringLiteral("failing-row"))
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        database.setDatabaseName(QDir(folder).filePath(QStringLiteral("default.store")));
        if (!database.open())
            qFatal("cannot open the store a second time");
        exec(QStringLiteral("CREATE TRIGGER failing_row BEFORE INSERT ON AtlasImage WHEN NEW.title = '%1' "
                            "BEGIN SELECT RAISE(ABORT, 'disk I/O error'); END")
                 .arg(title));
    }
    ~FailingRow()
    {
        exec(QStringLiteral("DROP TRIGGER failing_row"));
        QSqlDatabase::database(m_connection).close();
        QSqlDatabase::removeDatabase(m_connection);
    }

private:
    void exec(const QString &sql)
    {
        QSqlQuery query(QSqlDatabase::database(m_connection));
        if (!query.exec(sql))
            qFatal("cannot change the store's triggers: %s", qPrintable(query.lastError().text()));
    }

    QString m_connection;
};

// Runs an action once, when the import's second step leaves it: the
// first, reading the manifest, is under way when the filter is installed;
// the second, reading the entries, joins the import once the library's
// images are taken and leaves it with the archive read, before the merge.
class WhileReading : public QObject {
public:
    WhileReading(QObject *import, std::function<void()> action)
        : m_action(std::move(action))
    {
        if (m_action)
            import->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::ChildAdded)
            m_joined = true;
        else if (event->type() == QEvent::ChildRemoved && m_joined && m_action)
            std::exchange(m_action, {})();
        return false;
    }

private:
    std::function<void()> m_action;
    bool m_joined = false;
};

bool sanitized()
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

} // namespace

class LibraryArchiveImportTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    // Imports the archive at `path` into the library in `folder`; the
    // alert's title and text. `whileReading` runs once the import has
    // taken the library's images and read the archive, before the merge.
    static std::pair<QString, QString> import(ModelContext &context, const QString &path,
                                              std::function<void()> whileReading = {})
    {
        LibraryArchiveImport *import = LibraryArchiveImport::start(path, context);
        WhileReading reading(import, std::move(whileReading));
        QSignalSpy imported(import, &LibraryArchiveImport::imported);
        QSignalSpy failed(import, &LibraryArchiveImport::failed);
        if (!QTest::qWaitFor([&] { return imported.count() + failed.count() > 0; }, 60000))
            return {QStringLiteral("no outcome"), QString()};
        if (!imported.isEmpty())
            return {QStringLiteral("Library Imported"), imported.first().first().toString()};
        return {QStringLiteral("Import Failed"), failed.first().first().toString()};
    }

private slots:
    void initTestCase()
    {
        // Each thread's own malloc arena reserves address space of its own.
        mallopt(M_ARENA_MAX, 2);
    }

    // Archives of a gigabyte and entries of hundreds of megabytes, with
    // the address space bounded far below them.
    void largeArchivesAreNeverHeldWhole_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::addColumn<qint64>("storedSize"); // of the image the import adds
        QTest::newRow("a 1 GiB archive file") << "sparse" << "Nothing new to add \u2014 the library already has "
                                                              "everything in this archive." << qint64(-1);
        QTest::newRow("a 320 MiB deflated image") << "image" << "Added 1 image." << 320 * MiB;
        QTest::newRow("a manifest padded with 512 MiB of blanks") << "padded" << "Added 1 image." << qint64(5);
        QTest::newRow("a damaged 320 MiB entry that no record names")
            << "unnamed" << "\u201Cextra.bin\u201D failed its checksum and may be damaged." << qint64(-1);
    }

    void largeArchivesAreNeverHeldWhole()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        QFETCH(qint64, storedSize);
        if (sanitized())
            QSKIP("the sanitizers reserve address space of their own");
        QTemporaryDir folder;
        auto container = makeTestContainer(folder.path());
        ModelContext &context = container->mainContext();
        const QString path = m_dir.filePath(kind + QStringLiteral(".veloran"));
        const QString image = QStringLiteral("images/a.png");
        if (kind == QLatin1String("sparse")) {
            addImage(context, QStringLiteral("a"), nullptr, QByteArray("held"));
            context.save();
            QVERIFY(writeZipWithHole(path, {storedEntry("library.json", manifestJson({"a"}, {image}))}, image.toUtf8(),
                                     1024 * MiB));
        } else if (kind == QLatin1String("image")) {
            writeFile(path, buildZip({storedEntry("library.json", manifestJson({"a"}, {image})),
                                      repeatedEntry(image.toUtf8(), "\x89PNG\r\n\x1A\n", "x", storedSize - 8)}));
        } else if (kind == QLatin1String("unnamed")) {
            RawZipEntry extra = repeatedEntry("extra.bin", "", "x", 320 * MiB);
            extra.crc ^= 1;
            writeFile(path, buildZip({storedEntry("library.json", manifestJson({"a"}, {image})),
                                      storedEntry(image.toUtf8(), "bytes"), extra}));
        } else {
            const QByteArray json = manifestJson({"a"}, {image});
            writeFile(path, buildZip({repeatedEntry("library.json", json.left(1), "\n", 512 * MiB, json.mid(1)),
                                      storedEntry(image.toUtf8(), "bytes")}));
        }
        std::pair<QString, QString> alert;
        {
            const AddressSpaceLimit limit(160 * MiB);
            alert = import(context, path);
        }
        QFile::remove(path);
        const bool refused = message.contains(QLatin1String("failed its checksum"));
        QCOMPARE(alert, std::make_pair(QString(refused ? "Import Failed" : "Library Imported"), message));
        if (storedSize >= 0) {
            const auto stored = AtlasImage::storedImageData({context.fetch<AtlasImage>().last()}).first();
            QVERIFY(stored);
            StoredImageDataReader reader;
            QCOMPARE(reader.size(*stored), storedSize);
        }
    }

    // Every entry is checked, whether a record names it or not, and
    // whether the library takes its image or holds it already.
    void everyEntryIsChecked_data()
    {
        QTest::addColumn<bool>("named");
        QTest::addColumn<bool>("held");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("outcome");
        const QString added = QStringLiteral("Added 1 image.");
        const QString checksum = QStringLiteral("\u201Cextra.png\u201D failed its checksum and may be damaged.");
        const QString method = QStringLiteral("The archive uses an unsupported compression method (12).");
        const QString damaged = QStringLiteral("The archive is incomplete or damaged.");
        QTest::newRow("unnamed, wrong checksum") << false << false << "crc" << checksum;
        QTest::newRow("unnamed, unknown method") << false << false << "method" << method;
        QTest::newRow("unnamed, no local header") << false << false << "offset" << damaged;
        QTest::newRow("unnamed, corrupt stream") << false << false << "stream" << damaged;
        QTest::newRow("unnamed, intact") << false << false << "none" << added;
        QTest::newRow("named, wrong checksum") << true << false << "crc" << checksum;
        QTest::newRow("named, unknown method") << true << false << "method" << method;
        QTest::newRow("named, no local header") << true << false << "offset" << damaged;
        QTest::newRow("named, corrupt stream") << true << false << "stream" << damaged;
        QTest::newRow("named for a held image, wrong checksum") << true << true << "crc" << checksum;
    }

    void everyEntryIsChecked()
    {
        QFETCH(bool, named);
        QFETCH(bool, held);
        QFETCH(QString, fault);
        QFETCH(QString, outcome);
        QTemporaryDir folder;
        auto container = makeTestContainer(folder.path());
        ModelContext &context = container->mainContext();
        addImage(context, QStringLiteral("known"), nullptr, QByteArray("known"));
        context.save();
        RawZipEntry extra = deflatedEntry("extra.png", pngBytes(4000, 3));
        if (fault == QLatin1String("crc"))
            extra.crc ^= 1;
        else if (fault == QLatin1String("method"))
            extra.method = 12;
        else if (fault == QLatin1String("offset"))
            extra.localHeaderOffset = 7;
        else if (fault == QLatin1String("stream"))
            extra.payload.fill('\xFF', 16);
        QStringList titles{QStringLiteral("new")};
        QStringList paths{QStringLiteral("images/new.png")};
        if (named) {
            titles << (held ? QStringLiteral("known") : QStringLiteral("other"));
            paths << QStringLiteral("extra.png");
        }
        const QString path = m_dir.filePath(QStringLiteral("entries.veloran"));
        writeFile(path, buildZip({storedEntry("library.json", manifestJson(titles, paths)),
                                  storedEntry("images/new.png", pngBytes(300 * 1024, 1)), extra}));
        const auto [title, text] = import(context, path);
        QCOMPARE(text, outcome);
        QCOMPARE(title, QString(outcome == QLatin1String("Added 1 image.") ? "Library Imported" : "Import Failed"));
        QCOMPARE(context.fetch<AtlasImage>().size(), outcome.startsWith(QLatin1String("Added")) ? 2 : 1);
    }

    // The faults of an archive are reported as a read of the whole archive
    // meets them: every entry is checked before the manifest is looked at,
    // so a damaged entry anywhere comes before a missing or undecodable
    // manifest, a later format and a missing image file, and the first
    // damaged one in the directory's order before the others. The file's
    // import and a read of the same bytes in memory agree.
    void faultsComeInTheOrderOfAWholeRead_data()
    {
        QTest::addColumn<int>("formatVersion");
        QTest::addColumn<QStringList>("entries"); // in order; "!" damaged, "~" not JSON
        QTest::addColumn<int>("lostRecords");     // counted by the end record, absent from the directory
        QTest::addColumn<QString>("message");
        const QString extra = QStringLiteral("\u201Cextra.bin\u201D failed its checksum and may be damaged.");
        const QString image = QStringLiteral("\u201Cimages/a.png\u201D failed its checksum and may be damaged.");
        const QString damaged = QStringLiteral("The archive is incomplete or damaged.");
        const QStringList intact{"library.json", "images/a.png", "extra.bin"};
        QTest::newRow("intact") << 1 << intact << 0 << "Added 1 image.";
        QTest::newRow("an unnamed entry damaged") << 1 << QStringList{"library.json", "images/a.png", "extra.bin!"}
                                                  << 0 << extra;
        QTest::newRow("format 2") << 2 << intact << 0
                                  << "The archive was written in format 2, which this version of Veloran can't read.";
        QTest::newRow("format 2, its image damaged")
            << 2 << QStringList{"library.json", "images/a.png!", "extra.bin"} << 0 << image;
        QTest::newRow("no manifest") << 1 << QStringList{"images/a.png", "extra.bin"} << 0
                                     << "The archive doesn't contain a library.json manifest.";
        QTest::newRow("no manifest, an entry damaged") << 1 << QStringList{"images/a.png", "extra.bin!"} << 0 << extra;
        QTest::newRow("a manifest that isn't JSON, a later entry damaged")
            << 1 << QStringList{"library.json~", "images/a.png", "extra.bin!"} << 0 << extra;
        QTest::newRow("a damaged manifest after a damaged entry")
            << 1 << QStringList{"extra.bin!", "library.json!", "images/a.png"} << 0 << extra;
        QTest::newRow("the named file missing") << 1 << QStringList{"library.json", "extra.bin"} << 0
                                                << "The archive is missing the image file \u201Cimages/a.png\u201D.";
        QTest::newRow("the named file missing, an entry damaged")
            << 1 << QStringList{"library.json", "extra.bin!"} << 0 << extra;
        QTest::newRow("two damaged entries") << 1 << QStringList{"library.json", "extra.bin!", "images/a.png!"} << 0
                                             << extra;
        QTest::newRow("an earlier record of the named entry damaged")
            << 1 << QStringList{"library.json", "images/a.png!", "images/a.png"} << 0 << image;
        QTest::newRow("a record lost from the directory") << 1 << intact << 1 << damaged;
        QTest::newRow("a record lost after a damaged entry")
            << 1 << QStringList{"library.json", "images/a.png", "extra.bin!"} << 1 << extra;
    }

    void faultsComeInTheOrderOfAWholeRead()
    {
        QFETCH(int, formatVersion);
        QFETCH(QStringList, entries);
        QFETCH(int, lostRecords);
        QFETCH(QString, message);
        QList<RawZipEntry> raw;
        for (const QString &entry : std::as_const(entries)) {
            const QByteArray name = QString(entry).remove(QRegularExpression(QStringLiteral("[!~]$"))).toUtf8();
            const QByteArray json = manifestJson({"a"}, {"images/a.png"}, formatVersion);
            RawZipEntry made = name == "library.json"
                ? deflatedEntry(name, entry.endsWith(QLatin1Char('~')) ? json.chopped(2) : json)
                : name == "extra.bin" ? deflatedEntry(name, randomBytes(5000, 2)) : storedEntry(name, pngBytes(2000, 3));
            if (entry.endsWith(QLatin1Char('!')))
                made.crc ^= 1;
            raw.append(made);
        }
        const QByteArray archive = buildZip(raw, {{}, quint16(raw.size() + lostRecords), {}});
        QTemporaryDir folder;
        auto container = makeTestContainer(folder.path());
        ModelContext &context = container->mainContext();
        const QString path = m_dir.filePath(QStringLiteral("order.veloran"));
        writeFile(path, archive);
        const auto [title, text] = import(context, path);
        QCOMPARE(text, message);
        const bool added = message.startsWith(QLatin1String("Added"));
        QCOMPARE(title, QString(added ? "Library Imported" : "Import Failed"));
        QCOMPARE(context.fetch<AtlasImage>().size(), added ? 1 : 0);
        const auto inMemory = LibraryArchiveContents::fromArchiveData(archive);
        QCOMPARE(inMemory.ok() ? QStringLiteral("Added 1 image.") : errorDescription(inMemory.error()), message);
    }

    // Records of new images that name one entry each get its bytes: in a
    // file of their own when it is large (deleting one image leaves the
    // others' bytes), in memory when it is small. A held image naming it
    // too is passed over.
    void recordsSharingAnEntry_data()
    {
        QTest::addColumn<int>("fresh"); // new records naming the entry
        QTest::addColumn<bool>("held");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("message");
        const qint64 large = 300 * 1024;
        QTest::newRow("two new, large") << 2 << false << large << "Added 2 images.";
        QTest::newRow("three new, large") << 3 << false << large << "Added 3 images.";
        QTest::newRow("two new and a held one, large")
            << 2 << true << large << "Added 2 images. Skipped 1 image already in the library.";
        QTest::newRow("two new, small") << 2 << false << qint64(1000) << "Added 2 images.";
    }

    void recordsSharingAnEntry()
    {
        QFETCH(int, fresh);
        QFETCH(bool, held);
        QFETCH(qint64, size);
        QFETCH(QString, message);
        QTemporaryDir folder;
        auto container = makeTestContainer(folder.path());
        QStringList titles;
        if (held) {
            addImage(container->mainContext(), QStringLiteral("held"), nullptr, QByteArray("held"));
            container->mainContext().save();
            titles << QStringLiteral("held");
        }
        for (int i = 0; i < fresh; ++i)
            titles << QStringLiteral("new %1").arg(i);
        const QString entry = QStringLiteral("images/shared.png");
        const QByteArray bytes = pngBytes(size, 7);
        const QString path = m_dir.filePath(QStringLiteral("shared.veloran"));
        writeFile(path, buildZip({storedEntry("library.json", manifestJson(titles, QStringList(titles.size(), entry))),
                                  storedEntry(entry.toUtf8(), bytes)}));
        QCOMPARE(import(container->mainContext(), path), std::make_pair(QStringLiteral("Library Imported"), message));
        const bool inFiles = size >= ExternalStorage::fileThreshold;
        QCOMPARE(externalFileNames(folder.path()).size(), inFiles ? fresh : 0);

        // One of them deleted: the others' bytes stay, as the store holds them.
        const auto added = [&] {
            QList<AtlasImage *> images = container->mainContext().fetch<AtlasImage>();
            images.removeIf([](const AtlasImage *image) { return image->title() == u"held"; });
            return images;
        };
        QCOMPARE(added().size(), fresh);
        container->mainContext().deleteObject(added().first());
        container->mainContext().save();
        QCOMPARE(externalFileNames(folder.path()).size(), inFiles ? fresh - 1 : 0);
        container.reset();
        container = makeTestContainer(folder.path());
        QCOMPARE(added().size(), fresh - 1);
        for (const AtlasImage *image : added())
            QCOMPARE(image->imageData(), std::optional(bytes));
    }

    // A failed import leaves the store byte for byte as it was, no file of
    // the images it had written ahead, and the folder of files unlocked.
    void aFailedImportLeavesTheLibraryAsItWas_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("records"); // small ones, without files, after the large images
        const QString notSaved = QStringLiteral("The library could not be saved (adding to AtlasImage). Disk I/O error.");
        QTest::newRow("the save fails") << "save" << notSaved << 0;
        QTest::newRow("a later entry is damaged")
            << "entry" << "\u201Cimages/z.png\u201D failed its checksum and may be damaged." << 0;
        QTest::newRow("a later entry that no record names is damaged")
            << "unnamed" << "\u201Cextra.bin\u201D failed its checksum and may be damaged." << 0;
        QTest::newRow("the save after a merge in many slices fails") << "save" << notSaved << 12000;
        QTest::newRow("a late slice of the merge fails")
            << "slice" << "There isn't enough memory to import the archive." << 12000;
        QTest::newRow("a late step of the save fails") << "late save" << notSaved << 12000;
    }

    void aFailedImportLeavesTheLibraryAsItWas()
    {
        QFETCH(QString, failure);
        QFETCH(QString, message);
        QFETCH(int, records);
        QTemporaryDir folder;
        auto container = makeTestContainer(folder.path());
        addImage(container->mainContext(), QStringLiteral("held"), nullptr, pngBytes(400 * 1024, 9));
        container->mainContext().save();
        const LibrarySnapshot library = snapshot(container->mainContext());
        container.reset(); // everything in the store file itself
        const QMap<QString, QByteArray> before = folderContents(folder.path());
        container = makeTestContainer(folder.path());
        ModelContext &context = container->mainContext();

        // Images large enough to be written ahead into the library's
        // folder, then the failure.
        QStringList titles, paths;
        QList<RawZipEntry> entries;
        for (const char *name : {"a", "b", "c", "z"}) {
            titles << QLatin1String(name);
            paths << QStringLiteral("images/%1.png").arg(QLatin1String(name));
            entries << storedEntry(paths.last().toUtf8(), pngBytes(300 * 1024, name[0]));
        }
        if (failure == QLatin1String("entry"))
            entries.last().crc ^= 1;
        if (failure == QLatin1String("unnamed")) {
            entries << deflatedEntry("extra.bin", randomBytes(4000, 5));
            entries.last().crc ^= 1;
        }
        for (int i = 0; i < records; ++i) {
            titles << QStringLiteral("small %1").arg(i);
            paths << QString();
        }
        entries.prepend(deflatedEntry("library.json", manifestJson(titles, paths)));
        const QString path = m_dir.filePath(QStringLiteral("failing.veloran"));
        writeFile(path, buildZip(entries));
        const HeldTurns turns(context);
        std::pair<QString, QString> alert;
        if (failure == QLatin1String("slice")) {
            const SlowListener listener(context, turns, 3);
            alert = import(context, path);
        } else if (failure == QLatin1String("late save")) {
            const FailingRow row(folder.path(), QStringLiteral("small %1").arg(records - 10));
            alert = import(context, path);
        } else if (failure == QLatin1String("save")) {
            // Inserts as slow as the windows make them: many records take
            // several slices on a fast machine too.
            const SlowListener listener(context, turns);
            FailingWrites writes(folder.path());
            writes.set(true);
            alert = import(context, path);
            writes.set(false);
        } else {
            alert = import(context, path);
        }
        QCOMPARE(alert, std::make_pair(QStringLiteral("Import Failed"), message));
        if (records > 0) {
            QVERIFY2(turns.turns >= 2, "the merge ran in one turn");
            QCOMPARE(turns.holds, 1);
        }
        QVERIFY(!context.isHeld());
        QVERIFY(!context.hasChanges());
        QCOMPARE(snapshot(context), library);
        // Files let go are removed on the files pool; the folder's lock is
        // let go with them.
        WorkerPools::files().waitForDone();
        QVERIFY(!filesLocked(folder.path()));
        container.reset();
        const QMap<QString, QByteArray> after = folderContents(folder.path());
        if (failure.endsWith(QLatin1String("save"))) {
            // The failing triggers came and went: only the image files can
            // be compared byte for byte.
            const auto images = [](const QMap<QString, QByteArray> &files) {
                QMap<QString, QByteArray> result;
                for (auto it = files.begin(); it != files.end(); ++it) {
                    if (it.key().contains(QLatin1Char('/')))
                        result.insert(it.key(), it.value());
                }
                return result;
            };
            QCOMPARE(images(after), images(before));
            QCOMPARE(images(after).size(), 1);
        } else {
            QCOMPARE(after, before);
        }
    }

    // The library is taken at the merge, as it is then: an image deleted
    // while the archive is read comes back with its bytes, one added
    // meanwhile is skipped, and a file whose entry passed over then was
    // damaged meanwhile, its times put back, stops the import at the merge
    // as a file that changed, with nothing added.
    void theLibraryAtTheMerge_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::newRow("the image deleted") << "delete" << "Library Imported" << "Added 1 image.";
        QTest::newRow("the image added") << "add" << "Library Imported"
                                         << "Nothing new to add \u2014 the library already has everything in this archive.";
        QTest::newRow("the image deleted, its entry damaged, the file's times put back")
            << "damage" << "Import Failed"
            << "The file \u201Cmeanwhile.veloran\u201D couldn\u2019t be opened because it changed while it was read.";
    }

    void theLibraryAtTheMerge()
    {
        QFETCH(QString, meanwhile);
        QFETCH(QString, title);
        QFETCH(QString, text);
        QTemporaryDir folder;
        auto container = makeTestContainer(folder.path());
        ModelContext &context = container->mainContext();
        const QByteArray bytes = pngBytes(300 * 1024, 4);
        if (meanwhile != QLatin1String("add")) {
            addImage(context, QStringLiteral("x"), nullptr, bytes);
            context.save();
        }
        const QString path = m_dir.filePath(QStringLiteral("meanwhile.veloran"));
        writeFile(path, buildZip({storedEntry("library.json", manifestJson({"x"}, {"images/x.png"})),
                                  storedEntry("images/x.png", bytes)}));
        const LibrarySnapshot before = snapshot(context);
        bool ran = false;
        bool damaged = false;
        const auto alert = import(context, path, [&] {
            ran = true;
            if (meanwhile == QLatin1String("add")) {
                addImage(context, QStringLiteral("x"), nullptr, QByteArray("mine"));
            } else {
                context.deleteObject(context.fetch<AtlasImage>().first());
            }
            context.save();
            if (meanwhile == QLatin1String("damage"))
                damaged = damageKeepingTimes(path, fileContents(path).indexOf(bytes.mid(5000, 64)) + 1);
        });
        QVERIFY(ran);
        QCOMPARE(damaged, meanwhile == QLatin1String("damage"));
        QCOMPARE(alert, std::make_pair(title, text));
        QVERIFY(!context.isHeld());
        const QList<AtlasImage *> images = context.fetch<AtlasImage>();
        if (meanwhile == QLatin1String("damage")) {
            QVERIFY(images.isEmpty());
            QCOMPARE(externalFileNames(folder.path()), QStringList());
            return;
        }
        QCOMPARE(images.size(), 1);
        QCOMPARE(images.first()->imageData(), std::optional(meanwhile == QLatin1String("add") ? QByteArray("mine") : bytes));
        if (meanwhile == QLatin1String("delete")) {
            container.reset();
            container = makeTestContainer(folder.path());
            QCOMPARE(snapshot(container->mainContext()).bytes, before.bytes);
        }
    }

    // A large merge runs in slices between which the event loop turns;
    // meanwhile the windows take no input, another import's merge and
    // other changes that come due wait for its save, and the library
    // holds all of the archive after it.
    void aLargeMergeLetsTheEventLoopTurnButNoOtherChange()
    {
        QTemporaryDir folder;
        auto container = makeTestContainer(folder.path());
        ModelContext &context = container->mainContext();
        addImage(context, QStringLiteral("small 7"), nullptr, QByteArray("held"));
        context.save();
        constexpr int records = 12000;
        QStringList titles;
        for (int i = 0; i < records; ++i)
            titles << QStringLiteral("small %1").arg(i);
        const QString path = m_dir.filePath(QStringLiteral("large.veloran"));
        writeFile(path, buildZip({deflatedEntry("library.json", manifestJson(titles, {}))}));
        const QString other = m_dir.filePath(QStringLiteral("other.veloran"));
        writeFile(other, buildZip({storedEntry("library.json", manifestJson({"other"}, {}))}));

        const HeldLibraryInput input(context);
        QPushButton button;
        button.show();
        QSignalSpy clicks(&button, &QPushButton::clicked);
        const HeldTurns turns(context);
        const SlowListener slow(context, turns);
        int turnsAtLastInsert = -1, turnsAtSave = -1;
        connect(&context, &ModelContext::objectInserted, this, [&] {
            if (turnsAtSave < 0)
                turnsAtLastInsert = turns.turns;
        });
        connect(&context, &ModelContext::didSave, this, [&] {
            if (turnsAtSave < 0)
                turnsAtSave = turns.turns;
        });
        // What a change that comes due during the merge finds when it runs.
        struct Waited {
            qsizetype images = -1;
            bool pending = true;
            bool held = true;
        } waited;
        bool clickedWhileHeld = false;
        qsizetype clicksWhileHeld = -1;
        LibraryArchiveImport *second = nullptr;
        std::unique_ptr<QSignalSpy> secondImported;
        connect(&context, &ModelContext::heldChanged, this, [&](bool held) {
            if (!held || second)
                return;
            // The second import is read while the first merges.
            second = LibraryArchiveImport::start(other, context);
            secondImported = std::make_unique<QSignalSpy>(second, &LibraryArchiveImport::imported);
            context.whenUnheld(this, [&] {
                waited = {context.fetch<AtlasImage>().size(), context.hasChanges(), context.isHeld()};
            });
            QTimer::singleShot(0, this, [&] {
                clickedWhileHeld = context.isHeld();
                QTest::mouseClick(&button, Qt::LeftButton);
                QTest::keyClick(&button, Qt::Key_Space);
                clicksWhileHeld = clicks.count();
            });
        });
        const auto alert = import(context, path);
        QCOMPARE(alert, std::make_pair(QStringLiteral("Library Imported"),
                                       QStringLiteral("Added %1 images. Skipped 1 image already in the library.")
                                           .arg(records - 1)));
        QVERIFY(second);
        QVERIFY(QTest::qWaitFor([&] { return !secondImported->isEmpty() && waited.images >= 0; }, 20000));
        QCOMPARE(secondImported->first().first().toString(), QStringLiteral("Added 1 image."));
        // 12,000 inserts of 5 microseconds or more: several slices.
        QVERIFY2(turns.turns >= 4, qPrintable(QStringLiteral("%1 turns").arg(turns.turns)));
        QVERIFY(clickedWhileHeld);
        QCOMPARE(clicksWhileHeld, 0);
        // Its one save wrote its rows over turns of their own too.
        QVERIFY2(turnsAtSave - turnsAtLastInsert >= 2,
                 qPrintable(QStringLiteral("%1 turns in the save").arg(turnsAtSave - turnsAtLastInsert)));
        // The waiting change came after the merge's save, the other import
        // after it or before, never in between.
        QCOMPARE(waited.pending, false);
        QCOMPARE(waited.held, false);
        QVERIFY(waited.images == records || waited.images == records + 1);
        QCOMPARE(context.fetch<AtlasImage>().size(), records + 1);
        QVERIFY(!context.hasChanges());
        QVERIFY(!context.isHeld());
        // The windows take input again.
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(clicks.count(), 1);
    }
};

QTEST_MAIN(LibraryArchiveImportTest)
#include "tst_libraryarchiveimport.moc"
