// Archive contents built from the library, archives written to files, and
// the archives shared from a private folder.
#include "LibraryTestSupport.h"
#include "archive/LibraryArchive.h"
#include "archive/LibraryArchiveFile.h"
#include "archive/LibraryArchiveTransfer.h"
#include "model/LibraryEntry.h"
#include "support/WriteBarriers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <sys/time.h>

namespace {

using M = LibraryArchiveManifest;

int mode(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

// Sets an item's own modification time (a link's, not its target's).
void setModified(const QString &path, qint64 secondsSince1970)
{
    const struct timeval times[2] = {{time_t(secondsSince1970), 0}, {time_t(secondsSince1970), 0}};
    if (::lutimes(QFile::encodeName(path).constData(), times) != 0)
        qFatal("cannot date %s", qPrintable(path));
}

// A source of nameless images holding `bytes`.
LibraryArchiveSource sourceOf(const QList<StoredImageData> &bytes)
{
    LibraryArchiveSource source;
    source.manifest.formatVersion = 1;
    for (const StoredImageData &data : bytes) {
        source.imageBytes.append({int(source.manifest.images.size()), data});
        source.manifest.images.append(M::ImageRecord());
        source.manifest.images.last().id = QUuid::createUuid();
    }
    return source;
}

// A saved library in `folder`: series "Spine" (C1 with bytes, C2 with
// bytes large enough for a file beside the store, C3 with empty bytes),
// "Empty" without images, standalone "Knee" without bytes and "Hip" whose
// points came in no order of their identifiers.
std::unique_ptr<ModelContainer> savedLibrary(const QString &folder)
{
    auto container = makeTestContainer(folder);
    ModelContext &context = container->mainContext();
    Series *spine = addSeries(context, QStringLiteral("Spine"));
    addImage(context, QStringLiteral("Hip"), nullptr, QByteArray("\xFF\xD8\xFF hip"));
    addImage(context, QStringLiteral("C2"), spine, pngBytes(300 * 1024, 2), 1);
    addImage(context, QStringLiteral("C1"), spine, pngBytes(4096, 1), 0);
    addImage(context, QStringLiteral("C3"), spine, QByteArray(""), 2);
    addSeries(context, QStringLiteral("Empty"));
    addImage(context, QStringLiteral("Knee"), nullptr, std::nullopt);
    AtlasImage *hip = context.fetch<AtlasImage>().first();
    for (const char *id : {"F0000000-0000-0000-0000-000000000000", "00000000-0000-0000-0000-000000000001"}) {
        auto point = PointAnnotation::make(QString::fromLatin1(id), QString(), QList<AnnotationLink>(), -0.0, 2);
        point->setId(QUuid::fromString(QLatin1String(id)));
        point->setImage(hip);
    }
    context.save();
    return container;
}

template <typename T>
T *named(ModelContext &context, const QString &name)
{
    const QList<T *> all = context.fetch<T>();
    return *std::find_if(all.begin(), all.end(), [&](T *object) { return object->title() == name; });
}

LibraryArchiveSource::StoreSelection storeOf(ModelContext &context)
{
    LibraryArchiveSource::StoreSelection selection;
    selection.storePath = context.storePath();
    selection.externalFolder = context.externalStorage().folder();
    return selection;
}

QStringList folderEntries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class LibraryExportTest : public QObject {
    Q_OBJECT

    static inline bool m_privateMounts = false;

    QTemporaryDir m_dir;
    // Two images of a series, for the shares.
    std::unique_ptr<ModelContainer> m_container = makeTestContainer();
    LibraryArchiveSource m_source;

public:
    static void initMain() { m_privateMounts = enterPrivateMounts(); }

private slots:
    void initTestCase()
    {
        ModelContext &context = m_container->mainContext();
        Series *series = addSeries(context, QStringLiteral("Spine"));
        AtlasImage *c1 = addImage(context, QStringLiteral("C1"), series, pngBytes(4096, 1));
        AtlasImage *c2 = addImage(context, QStringLiteral("C2"), series, pngBytes(2048, 2), 1);
        context.save();
        m_source = LibraryArchiveSource::fromLibrary({c1, c2}, {series});
    }

    void recordsFollowTheLibrary()
    {
        auto container = makeTestContainer();
        ModelContext &context = container->mainContext();
        Series *series = addSeries(context, QStringLiteral("Thorax"));
        AtlasImage *image = addImage(context, QStringLiteral("Chest"), series, pngBytes(64, 1));
        // Points ordered by the text of their identifiers, whatever the store's order.
        for (const char *id : {"F0000000-0000-0000-0000-000000000000", "00000000-0000-0000-0000-000000000001",
                               "A0000000-0000-0000-0000-000000000000"}) {
            auto point = PointAnnotation::make(QString::fromLatin1(id));
            point->setId(QUuid::fromString(QLatin1String(id)));
            point->setImage(image);
        }
        AtlasImage *noBytes = addImage(context, QStringLiteral("No bytes"), nullptr, std::nullopt);
        AtlasImage *emptyBytes = addImage(context, QStringLiteral("Empty bytes"), nullptr, QByteArray(""));
        context.save();

        const auto built = LibraryArchiveSource::fromLibrary({image, noBytes, emptyBytes}, {series}).contents();
        QVERIFY(built.ok());
        const LibraryArchiveContents &contents = built.value();
        QCOMPARE(contents.manifest.formatVersion, 1);
        QCOMPARE(contents.manifest.application, M::Application::current());
        QCOMPARE(contents.manifest.series, (QList<M::SeriesRecord>{{idOf("Thorax"), "Thorax", series->createdAt()}}));
        const M::ImageRecord &chest = contents.manifest.images[0];
        QCOMPARE(chest.metadata, (M::MetadataRecord{2, 99, 1, 1, {4294967301, 4294967298}}));
        QCOMPARE(chest.seriesID, idOf("Thorax"));
        QCOMPARE(chest.createdAt, image->createdAt());
        const QString path = LibraryArchive::imagePath(idOf("Chest"), QStringLiteral("png"));
        QCOMPARE(chest.imagePath, path);
        QCOMPARE(chest.points.size(), 4);
        QCOMPARE(chest.points.first().id.toString(QUuid::WithoutBraces).left(2), QStringLiteral("00"));
        QCOMPARE(chest.points.last().id.toString(QUuid::WithoutBraces).left(2), QStringLiteral("f0"));
        QCOMPARE(chest.regions.first().vertices, (QList<M::VertexRecord>{{0, 0}, {0.5, 0.125}, {1, 1}}));
        const auto withPoint = std::find_if(chest.points.begin(), chest.points.end(),
                                            [](const M::PointRecord &p) { return p.id == idOf("Chest/point"); });
        QCOMPARE(withPoint->links, (QList<M::LinkRecord>{{idOf("Chest/link"), "Atlas", "example.org/a b"}}));
        // Absent and empty bytes: no path and no file.
        QCOMPARE(contents.manifest.images[1].imagePath, std::nullopt);
        QCOMPARE(contents.manifest.images[2].imagePath, std::nullopt);
        QCOMPARE(contents.imageFiles.keys(), QList<QString>{path});
        QCOMPARE(contents.imageFiles.value(path), pngBytes(64, 1));
    }

    // "/T" stands for the series titled T, other names for images.
    void chosenEntries_data()
    {
        QTest::addColumn<QStringList>("chosen");
        QTest::addColumn<QStringList>("taken"); // the images, then the series
        QTest::addColumn<QString>("filename");
        // Series "S" holds s2, s0, s1 with those sort indices; "Empty" and
        // the untitled one hold nothing.
        QTest::newRow("nothing chosen") << QStringList{} << QStringList{} << "Veloran Library";
        QTest::newRow("series, then one of its images") << QStringList{"/S", "s2"} << QStringList{"s0", "s1", "s2", "/S"}
                                                        << "Veloran Selection";
        QTest::newRow("an image, then its series") << QStringList{"s2", "/S"} << QStringList{"s2", "s0", "s1", "/S"}
                                                   << "Veloran Selection";
        QTest::newRow("an image brings its series alone") << QStringList{"s1"} << QStringList{"s1", "/S"} << "s1";
        QTest::newRow("a series without images") << QStringList{"/Empty"} << QStringList{"/Empty"} << "Empty";
        QTest::newRow("each once") << QStringList{"x", "x", "/Empty", "/Empty"} << QStringList{"x", "/Empty"}
                                   << "Veloran Selection";
        QTest::newRow("slashes and colons") << QStringList{"CT: head/neck "} << QStringList{"CT: head/neck "} << "CT- head-neck";
        QTest::newRow("blank") << QStringList{"  "} << QStringList{"  "} << "Veloran Library";
        QTest::newRow("untitled image") << QStringList{""} << QStringList{""} << "Untitled";
        QTest::newRow("untitled series") << QStringList{"/"} << QStringList{"/"} << "Untitled Series";
    }

    void chosenEntries()
    {
        QFETCH(QStringList, chosen);
        QFETCH(QStringList, taken);
        QFETCH(QString, filename);
        auto container = makeTestContainer();
        ModelContext &context = container->mainContext();
        Series *s = addSeries(context, QStringLiteral("S"));
        for (const auto &[name, index] : {std::pair{"s2", 2}, {"s0", 0}, {"s1", 1}})
            addImage(context, QString::fromLatin1(name), s, std::nullopt, index);
        for (const char *name : {"x", "CT: head/neck ", "  ", ""})
            addImage(context, QString::fromUtf8(name), nullptr, std::nullopt);
        const QList<Series *> series{s, addSeries(context, QStringLiteral("Empty")), addSeries(context, QString())};
        const QList<AtlasImage *> library = context.fetch<AtlasImage>();

        QList<LibraryEntry> entries;
        for (const QString &name : chosen) {
            if (name.startsWith(u'/'))
                entries.append(LibraryEntry::series(
                    {*std::find_if(series.begin(), series.end(), [&](Series *one) { return one->title() == name.mid(1); }), {}}));
            else
                entries.append(LibraryEntry::image(
                    *std::find_if(library.begin(), library.end(), [&](AtlasImage *image) { return image->title() == name; })));
        }
        QCOMPARE(defaultArchiveFilename(entries), filename);
        const LibraryArchiveSource source = LibraryArchiveSource::fromEntries(entries, library);
        QStringList titles;
        for (const M::ImageRecord &record : source.manifest.images)
            titles << record.title;
        for (const M::SeriesRecord &record : source.manifest.series)
            titles << QLatin1Char('/') + record.title;
        QCOMPARE(titles, taken);
    }

    // Images by title and series by "/" and title; none for the whole library.
    void theStoreGivesWhatTheObjectsGive_data()
    {
        QTest::addColumn<QStringList>("chosen");
        QTest::newRow("whole library") << QStringList();
        QTest::newRow("chosen, out of order") << QStringList{"Knee", "C2", "Hip", "C3", "C1", "/Empty", "/Spine"};
        QTest::newRow("no bytes at all") << QStringList{"Knee"};
    }

    void theStoreGivesWhatTheObjectsGive()
    {
        QFETCH(QStringList, chosen);
        QTemporaryDir folder;
        auto container = savedLibrary(folder.path());
        ModelContext &context = container->mainContext();
        LibraryArchiveSource::StoreSelection selection = storeOf(context);
        QList<AtlasImage *> images = context.fetch<AtlasImage>();
        QList<Series *> series = context.fetch<Series>();
        if (!chosen.isEmpty()) {
            selection.wholeLibrary = false;
            images.clear();
            series.clear();
            for (const QString &name : chosen) {
                if (name.startsWith(u'/')) {
                    series.append(named<Series>(context, name.mid(1)));
                    selection.seriesKeys.append(series.last()->storeKey());
                } else {
                    images.append(named<AtlasImage>(context, name));
                    selection.imageKeys.append(images.last()->storeKey());
                }
            }
        }
        LibraryArchiveSource fromObjects = LibraryArchiveSource::fromLibrary(images, series);
        auto fromStore = LibraryArchiveSource::fromStore(selection);
        QVERIFY(fromStore.ok());
        fromObjects.manifest.exportedAt = fromStore.value().manifest.exportedAt;
        QCOMPARE(fromStore.value().manifest, fromObjects.manifest);
        // The same archive, byte for byte.
        const QString objectsArchive = folder.filePath(QStringLiteral("objects.veloran"));
        const QString storeArchive = folder.filePath(QStringLiteral("store.veloran"));
        QVERIFY(LibraryArchiveFile::write(fromObjects, objectsArchive).ok());
        QVERIFY(LibraryArchiveFile::write(fromStore.value(), storeArchive).ok());
        QCOMPARE(fileContents(storeArchive), fileContents(objectsArchive));
    }

    // The library holds three images whose bytes make files (C1, C2, Hip),
    // one with empty bytes (C3) and one without (Knee); its points can't
    // be read, so only a refusal from the count alone comes back as
    // archiveTooLarge.
    void theCountDecidesBeforeAnyRecordIsRead_data()
    {
        QTest::addColumn<QStringList>("chosen");
        QTest::addColumn<int>("limit");
        QTest::addColumn<bool>("refused");
        QTest::newRow("whole library at the limit") << QStringList() << 4 << false;
        QTest::newRow("whole library past it") << QStringList() << 3 << true;
        QTest::newRow("empty bytes make no file") << QStringList{"C1", "C3", "Knee"} << 2 << false;
        QTest::newRow("chosen past the limit") << QStringList{"C1", "C2", "C3"} << 2 << true;
        QTest::newRow("the writer's limit") << QStringList() << int(ZipArchiveWriter::maximumEntryCount) << false;
    }

    void theCountDecidesBeforeAnyRecordIsRead()
    {
        QFETCH(QStringList, chosen);
        QFETCH(int, limit);
        QFETCH(bool, refused);
        QTemporaryDir folder;
        LibraryArchiveSource::StoreSelection selection;
        {
            auto container = savedLibrary(folder.path());
            ModelContext &context = container->mainContext();
            selection = storeOf(context);
            selection.wholeLibrary = chosen.isEmpty();
            for (const QString &name : chosen)
                selection.imageKeys.append(named<AtlasImage>(context, name)->storeKey());
        }
        {
            auto database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("spoil"));
            database.setDatabaseName(selection.storePath);
            QVERIFY(database.open());
            QVERIFY(QSqlQuery(database).exec(QStringLiteral("DROP TABLE PointAnnotation")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("spoil"));
        const auto built = LibraryArchiveSource::fromStore(selection, limit);
        QVERIFY(!built.ok());
        QCOMPARE(std::holds_alternative<ZipArchiveError>(built.error()), refused);
        if (refused)
            QCOMPARE(errorDescription(built.error()), QStringLiteral("The archive is too large to write in the zip format."));
        else
            QVERIFY(std::holds_alternative<ModelStoreError>(built.error()));
    }

    void anUnreadableImageFailsEveryFormNamingIt()
    {
        LibraryArchiveSource unreadable = m_source;
        unreadable.imageBytes[1].bytes = StoredImageData::unreadable();
        const QString target = m_dir.filePath(QStringLiteral("lost.veloran"));
        writeFile(target, "the previous backup");
        const auto written = LibraryArchiveFile::write(unreadable, target);
        QCOMPARE(errorDescription(written.error()),
                 QStringLiteral("The image data of \u201CC2\u201D can't be read, so the archive wasn't written."));
        QCOMPARE(fileContents(target), QByteArray("the previous backup"));
        QCOMPARE(folderEntries(m_dir.path()), QStringList{"lost.veloran"});
        QVERIFY(!unreadable.contents().ok());
        // A share leaves no folder behind, and gives no bytes.
        QTemporaryDir cache;
        const LibraryArchiveTransfer transfer(unreadable, QStringLiteral("Spine"));
        QVERIFY(!transfer.writeSharedArchive(cache.filePath(QStringLiteral("SharedArchives"))).ok());
        QCOMPARE(folderEntries(cache.filePath(QStringLiteral("SharedArchives"))), QStringList());
        QVERIFY(!transfer.exportData().ok());
    }

    void anArchivePastTheFormatsLimitIsRefusedFromTheLengths()
    {
        // Three sparse files of 1.5 GiB: over 4 GiB together, and nothing
        // to read but holes.
        QList<StoredImageData> files;
        for (int i = 0; i < 3; ++i) {
            const QString path = m_dir.filePath(QStringLiteral("sparse%1").arg(i));
            QFile sparse(path);
            QVERIFY(sparse.open(QIODevice::WriteOnly));
            QVERIFY(sparse.resize(qint64(3) << 29));
            files.append(StoredImageData::file(path));
        }
        const QString target = m_dir.filePath(QStringLiteral("large.veloran"));
        QCOMPARE(errorDescription(LibraryArchiveFile::write(sourceOf(files), target).error()),
                 QStringLiteral("The archive is too large to write in the zip format."));
        QVERIFY(!QFile::exists(target));
        for (int i = 0; i < 3; ++i)
            QFile::remove(m_dir.filePath(QStringLiteral("sparse%1").arg(i)));
    }

    void aFailedWriteLeavesThePreviousFile()
    {
        const LibraryArchiveSource source = sourceOf({StoredImageData::inMemory(pngBytes(2 << 20, 3))});

        const QString missingFolder = m_dir.filePath(QStringLiteral("no such folder/a.veloran"));
        QVERIFY(errorDescription(LibraryArchiveFile::write(source, missingFolder).error())
                    .startsWith(QStringLiteral("The file \u201Ca.veloran\u201D couldn\u2019t be saved: ")));
        // A file size limit makes the writing fail half-way.
        const QString target = m_dir.filePath(QStringLiteral("limited.veloran"));
        writeFile(target, "previous");
        const auto failed = [&] {
            const FileSizeLimit limit(1 << 20);
            return LibraryArchiveFile::write(source, target);
        }();
        QVERIFY(std::holds_alternative<FileWriteError>(failed.error()));
        // The system's reason, not an unknown error.
        QCOMPARE(errorDescription(failed.error()),
                 QStringLiteral("The file \u201Climited.veloran\u201D couldn\u2019t be saved: File too large."));
        QCOMPARE(fileContents(target), QByteArray("previous"));
    }

    // Archives of chosen entries as they are shared: their file names, the
    // private folder they are written to, and its hourly clean-up.
    void fileNamesFitTheFileSystem_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        const QString ext = QStringLiteral(".veloran");
        QTest::newRow("plain") << "Head CT" << "Head CT" + ext;
        QTest::newRow("slash") << "T1/T2" << "T1-T2" + ext;
        QTest::newRow("control characters") << QStringLiteral("Knee\n\tMRI\x7f\x01 \u0085") << "KneeMRI" + ext;
        QTest::newRow("nothing left") << QStringLiteral("\n\t ") << "Veloran Library" + ext;
        QTest::newRow("300 letters") << QString(300, u'a') << QString(247, u'a') + ext;
        QTest::newRow("two-byte letters") << QString(300, u'é') << QString(123, u'é') + ext;
        QTest::newRow("astral symbols") << QString(QStringLiteral("🫀")).repeated(100)
                                        << QString(QStringLiteral("🫀")).repeated(61) + ext;
        QTest::newRow("accents apart") << QStringLiteral("e\u0301").repeated(200)
                                       << QStringLiteral("e\u0301").repeated(82) + ext;
        QTest::newRow("space at the cut") << QString(246, u'a') + QStringLiteral(" bcd")
                                          << QString(246, u'a') + ext;
    }
    void fileNamesFitTheFileSystem()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(LibraryArchiveTransfer(m_source, name).archiveFilename(), expected);
    }

    void sharesAreWrittenPrivatelyEachInAFolderOfItsOwn()
    {
        QTemporaryDir cache;
        const QString folder = cache.filePath(QStringLiteral("Veloran/SharedArchives"));
        const LibraryArchiveTransfer transfer(m_source, QString(300, u'x'));
        const auto first = transfer.writeSharedArchive(folder);
        const auto second = transfer.writeSharedArchive(folder);

        QCOMPARE(folderEntries(folder).size(), 2);
        QVERIFY(QFileInfo(first.value()).absolutePath() != QFileInfo(second.value()).absolutePath());
        for (const QString &path : {first.value(), second.value()}) {
            QCOMPARE(QFileInfo(path).fileName(), transfer.archiveFilename());
            QCOMPARE(QFileInfo(path).dir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size(), 1);
            QCOMPARE(mode(path), 0600);
            QCOMPARE(mode(QFileInfo(path).absolutePath()), 0700);
        }
        QCOMPARE(mode(folder), 0700);
        // The file, and the bytes form, are the archive of the contents.
        QCOMPARE(LibraryArchiveContents::fromArchiveData(fileContents(first.value())).value().imageFiles,
                 m_source.contents().value().imageFiles);
        QCOMPARE(transfer.exportData().value(), fileContents(first.value()));
        // A folder that others could read is made private again.
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther));
        QVERIFY(transfer.writeSharedArchive(folder).ok());
        QCOMPARE(mode(folder), 0700);
    }

    // On a full disk the archive, exported or shared, names the cause and
    // leaves nothing behind.
    void aFullDiskIsNamed_data()
    {
        QTest::addColumn<bool>("shared");
        QTest::newRow("exported") << false;
        QTest::newRow("shared") << true;
    }
    void aFullDiskIsNamed()
    {
        QFETCH(bool, shared);
        if (!m_privateMounts)
            QSKIP("a small disk needs the privilege to mount, which this process lacks");
        QTemporaryDir directory;
        const SmallDisk disk(directory.path(), 1 << 20);
        QVERIFY(disk.isMounted());
        const LibraryArchiveTransfer transfer(sourceOf({StoredImageData::inMemory(pngBytes(2 << 20, 3))}),
                                              QStringLiteral("full"));
        const auto error = shared ? transfer.writeSharedArchive(directory.path()).error()
                                  : LibraryArchiveFile::write(sourceOf({StoredImageData::inMemory(pngBytes(2 << 20, 3))}),
                                                              directory.filePath(QStringLiteral("full.veloran")))
                                        .error();
        QCOMPARE(errorDescription(error),
                 QStringLiteral("The file \u201Cfull.veloran\u201D couldn\u2019t be saved: There isn\u2019t enough "
                                "space on the disk."));
        QCOMPARE(folderEntries(directory.path()), QStringList());
    }

    void cleanUpRemovesWhatIsMoreThanAnHourOld()
    {
        QTemporaryDir cache;
        QTemporaryDir elsewhere;
        const QString folder = cache.filePath(QStringLiteral("SharedArchives"));
        QVERIFY(QDir().mkpath(folder));
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        const QString target = elsewhere.filePath(QStringLiteral("target"));
        writeFile(target);
        const auto item = [&](const QString &name, qint64 age) {
            setModified(QDir(folder).filePath(name), now - age);
        };
        writeFile(QDir(folder).filePath(QStringLiteral("an hour old")));
        item(QStringLiteral("an hour old"), 3600);
        writeFile(QDir(folder).filePath(QStringLiteral(".a second older")));
        item(QStringLiteral(".a second older"), 3601);
        QVERIFY(QDir(folder).mkpath(QStringLiteral("old share")));
        QVERIFY(QFile::link(target, QDir(folder).filePath(QStringLiteral("old share/link"))));
        item(QStringLiteral("old share"), 7200);
        QVERIFY(QFile::link(elsewhere.path(), QDir(folder).filePath(QStringLiteral("old link"))));
        item(QStringLiteral("old link"), 7200);
        writeFile(QDir(folder).filePath(QStringLiteral("new")));

        LibraryArchiveTransfer::removeStaleSharedArchives(folder, QDateTime::fromSecsSinceEpoch(now));
        QCOMPARE(folderEntries(folder), QStringList({"an hour old", "new"}));
        // Links went themselves; what they point to stayed.
        QVERIFY(QFile::exists(target));
        QCOMPARE(folderEntries(elsewhere.path()), QStringList{"target"});
    }

    void aPlantedFolderIsRefusedUntouched_data()
    {
        QTest::addColumn<bool>("symlink"); // else a plain file
        QTest::newRow("symbolic link") << true;
        QTest::newRow("a file") << false;
    }
    void aPlantedFolderIsRefusedUntouched()
    {
        QFETCH(bool, symlink);
        QTemporaryDir cache;
        QTemporaryDir elsewhere;
        const QString old = elsewhere.filePath(QStringLiteral("someone's file"));
        writeFile(old);
        setModified(old, QDateTime::currentSecsSinceEpoch() - 7200);
        const QString folder = cache.filePath(QStringLiteral("SharedArchives"));
        if (symlink)
            QVERIFY(QFile::link(elsewhere.path(), folder));
        else
            writeFile(folder);

        QVERIFY(QFile::setPermissions(elsewhere.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                            | QFile::ReadOther | QFile::ExeOther));
        const auto written = LibraryArchiveTransfer(m_source, QStringLiteral("Spine")).writeSharedArchive(folder);
        QVERIFY(errorDescription(written.error()).contains(symlink ? QStringLiteral("symbolic link")
                                                                   : QStringLiteral("not a folder")));
        LibraryArchiveTransfer::removeStaleSharedArchives(folder);
        QCOMPARE(folderEntries(elsewhere.path()), QStringList{"someone's file"});
        QCOMPARE(mode(elsewhere.path()), 0705);
    }
};

QTEST_GUILESS_MAIN(LibraryExportTest)
#include "tst_libraryexport.moc"
