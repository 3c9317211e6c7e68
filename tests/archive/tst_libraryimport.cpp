// Archives merged into the library: what is added and skipped, the summary
// texts, a save that fails, and a whole library there and back.
#include "LibraryTestSupport.h"
#include "archive/LibraryArchiveFile.h"
#include "archive/LibraryArchiveImporter.h"
#include "archive/ZipArchiveReader.h"
#include "platform/WorkerPools.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <functional>
#include <numeric>

#include <dlfcn.h>
#include <sys/stat.h>

namespace {

using M = LibraryArchiveManifest;

// Fills `context` from names: series "S"; images "a" or "a@S" (in series
// S), "a+p" with a point.
void fill(ModelContext &context, const QStringList &series, const QStringList &images)
{
    for (const QString &name : series)
        addSeries(context, name);
    for (const QString &entry : images) {
        const QStringList parts = QString(entry).remove(QStringLiteral("+p")).split(QLatin1Char('@'));
        Series *in = nullptr;
        for (Series *s : context.fetch<Series>())
            in = s->title() == parts.value(1) ? s : in;
        AtlasImage *image = addImage(context, parts[0], in, parts[0].toUtf8());
        if (!entry.endsWith(QStringLiteral("+p")))
            context.deleteObject(image->points().first());
    }
}

// The archive contents of a library made by fill(), with records naming
// series that aren't in it where an image asks for one.
LibraryArchiveContents archiveOf(const QStringList &series, const QStringList &images)
{
    auto container = makeTestContainer();
    fill(container->mainContext(), series, images);
    LibraryArchiveSource source = LibraryArchiveSource::fromLibrary(container->mainContext().fetch<AtlasImage>(),
                                                                    container->mainContext().fetch<Series>());
    for (qsizetype i = 0; i < images.size(); ++i) {
        const QString seriesName = QString(images[i]).remove(QStringLiteral("+p")).section(QLatin1Char('@'), 1);
        if (!seriesName.isEmpty() && !series.contains(seriesName))
            source.manifest.images[i].seriesID = idOf(seriesName);
    }
    return source.contents().value();
}

// `library` with its images in the order of their identifiers: an image
// added again is fetched last.
LibrarySnapshot byId(LibrarySnapshot library)
{
    QList<qsizetype> order(library.images.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(),
              [&](qsizetype a, qsizetype b) { return library.images[a].id < library.images[b].id; });
    LibrarySnapshot sorted{library.series, {}, {}};
    for (const qsizetype i : order) {
        sorted.images.append(library.images[i]);
        sorted.bytes.append(library.bytes[i]);
    }
    return sorted;
}

// "name@series#points" for each image of the library, in fetch order.
QStringList describe(ModelContext &context)
{
    QStringList result;
    for (const AtlasImage *image : context.fetch<AtlasImage>()) {
        result << image->title() + (image->series() ? QLatin1Char('@') + image->series()->title() : QString())
                + QLatin1Char('#') + QString::number(image->points().size());
    }
    return result;
}

// A change made to a file while it is being read, as another program
// writing it just then would make it: the next read of the file (through
// pread(), on any thread) makes the change first, once, while this lives.
class ChangeWhileRead {
public:
    ChangeWhileRead(const QString &path, std::function<bool()> change)
        : m_change(std::move(change))
    {
        struct stat info {};
        if (::stat(QFile::encodeName(path).constData(), &info) == 0) {
            m_file = {info.st_dev, info.st_ino};
            watched.store(this);
        }
    }
    ~ChangeWhileRead() { watched.store(nullptr); }
    ChangeWhileRead(const ChangeWhileRead &) = delete;
    ChangeWhileRead &operator=(const ChangeWhileRead &) = delete;

    // Whether the change was made, and made whole.
    bool changed() const { return m_changed.load(); }

    static void beforeRead(int fd)
    {
        ChangeWhileRead *watch = watched.load();
        struct stat info {};
        if (!watch || ::fstat(fd, &info) != 0 || std::pair(info.st_dev, info.st_ino) != watch->m_file
            || !watched.compare_exchange_strong(watch, nullptr))
            return;
        watch->m_changed.store(watch->m_change());
    }

private:
    static inline std::atomic<ChangeWhileRead *> watched{nullptr};
    std::function<bool()> m_change;
    std::pair<dev_t, ino_t> m_file;
    std::atomic<bool> m_changed{false};
};

// The file's times set `seconds` on: the file written anew.
bool moveTimesOn(const QString &path, int seconds)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (::stat(name.constData(), &info) != 0)
        return false;
    info.st_mtim.tv_sec += seconds;
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    return ::utimensat(AT_FDCWD, name.constData(), times, 0) == 0;
}

} // namespace

// The program's own pread() stands before the system's, for ChangeWhileRead.
extern "C" ssize_t readWatchingForChanges(int fd, void *into, size_t count, off_t offset) __asm__("pread");
extern "C" ssize_t readWatchingForChanges64(int fd, void *into, size_t count, off_t offset) __asm__("pread64");

extern "C" ssize_t readWatchingForChanges(int fd, void *into, size_t count, off_t offset)
{
    using Read = ssize_t (*)(int, void *, size_t, off_t);
    static const auto system = reinterpret_cast<Read>(::dlsym(RTLD_NEXT, "pread"));
    ChangeWhileRead::beforeRead(fd);
    return system(fd, into, count, offset);
}

extern "C" ssize_t readWatchingForChanges64(int fd, void *into, size_t count, off_t offset)
{
    using Read = ssize_t (*)(int, void *, size_t, off_t);
    static const auto system = reinterpret_cast<Read>(::dlsym(RTLD_NEXT, "pread64"));
    ChangeWhileRead::beforeRead(fd);
    return system(fd, into, count, offset);
}

class LibraryImportTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void merging_data()
    {
        QTest::addColumn<QStringList>("librarySeries");
        QTest::addColumn<QStringList>("libraryImages");
        QTest::addColumn<QStringList>("archiveSeries");
        QTest::addColumn<QStringList>("archiveImages");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("after");
        const QStringList none;
        QTest::newRow("into an empty library")
            << none << none << QStringList{"S"} << QStringList{"a@S", "b@S+p", "c@S"} << "Added 3 images and 1 series."
            << QStringList{"a@S#0", "b@S#1", "c@S#0"};
        QTest::newRow("everything known")
            << QStringList{"S"} << QStringList{"a@S"} << QStringList{"S"} << QStringList{"a@S"}
            << "Nothing new to add \u2014 the library already has everything in this archive." << QStringList{"a@S#0"};
        QTest::newRow("new image joins a known series")
            << QStringList{"S"} << QStringList{"k1@S", "k2"} << QStringList{"S"} << QStringList{"k1@S", "k2", "n@S"}
            << "Added 1 image. Skipped 2 images and 1 series already in the library."
            << QStringList{"k1@S#0", "k2#0", "n@S#0"};
        QTest::newRow("series alone") << none << none << QStringList{"T", "U"} << none << "Added 2 series." << none;
        QTest::newRow("a known series, a new image") << QStringList{"S"} << none << QStringList{"S"} << QStringList{"n@S"}
                                                     << "Added 1 image. Skipped 1 series already in the library."
                                                     << QStringList{"n@S#0"};
        QTest::newRow("no records") << QStringList{"S"} << none << none << none
                                    << "Nothing new to add \u2014 the library already has everything in this archive."
                                    << none;
        QTest::newRow("a repeated image record")
            << none << none << none << QStringList{"n", "n"} << "Added 1 image. Skipped 1 image already in the library."
            << QStringList{"n#0"};
        QTest::newRow("a series named nowhere") << none << none << none << QStringList{"n@Gone"} << "Added 1 image."
                                                << QStringList{"n#0"};
        QTest::newRow("a known image keeps its annotations")
            << none << QStringList{"k"} << none << QStringList{"k+p"}
            << "Nothing new to add \u2014 the library already has everything in this archive." << QStringList{"k#0"};
    }

    // The summary's parts form a list in the user's current locale; the
    // rest of its text is the same in every language.
    void summaryInTheUsersLocale_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<LibraryImportSummary>("summary"); // added images, series; skipped images, series
        QTest::addColumn<QString>("message");
        const QString nothing = QStringLiteral("Nothing new to add \u2014 the library already has everything in this archive.");
        QTest::newRow("English, added") << "en_US" << LibraryImportSummary{3, 1, 0, 0} << "Added 3 images and 1 series.";
        QTest::newRow("English, nothing new") << "en_US" << LibraryImportSummary{0, 0, 2, 1} << nothing;
        QTest::newRow("English, added and skipped")
            << "en_US" << LibraryImportSummary{1, 0, 2, 1}
            << "Added 1 image. Skipped 2 images and 1 series already in the library.";
        QTest::newRow("English, one series") << "en_US" << LibraryImportSummary{0, 1, 0, 0} << "Added 1 series.";
        QTest::newRow("German, added") << "de_DE" << LibraryImportSummary{2, 1, 0, 0} << "Added 2 images und 1 series.";
        QTest::newRow("German, added and skipped")
            << "de_DE" << LibraryImportSummary{1, 2, 3, 1}
            << "Added 1 image und 2 series. Skipped 3 images und 1 series already in the library.";
        QTest::newRow("German, nothing new") << "de_DE" << LibraryImportSummary{0, 0, 1, 0} << nothing;
        QTest::newRow("French, added") << "fr_FR" << LibraryImportSummary{2, 1, 0, 0} << "Added 2 images et 1 series.";
        QTest::newRow("the C locale") << "C" << LibraryImportSummary{12000, 1, 0, 0} << "Added 12000 images and 1 series.";
    }

    void summaryInTheUsersLocale()
    {
        QFETCH(QString, locale);
        QFETCH(LibraryImportSummary, summary);
        QFETCH(QString, message);
        const QLocale before;
        QLocale::setDefault(QLocale(locale));
        const QString text = summary.message();
        QLocale::setDefault(before);
        QCOMPARE(text, message);
    }

    void merging()
    {
        QFETCH(QStringList, librarySeries);
        QFETCH(QStringList, libraryImages);
        QFETCH(QStringList, archiveSeries);
        QFETCH(QStringList, archiveImages);
        QFETCH(QString, message);
        QFETCH(QStringList, after);
        auto container = makeTestContainer();
        ModelContext &context = container->mainContext();
        fill(context, librarySeries, libraryImages);
        context.save();
        const LibraryArchiveContents contents = archiveOf(archiveSeries, archiveImages);
        // The bytes to write ahead are those of the images the merge adds.
        const QList<QByteArray> toStore = LibraryArchiveImporter::newImageBytes(contents, context);
        const qsizetype held = context.fetch<AtlasImage>().size();
        const auto merged = LibraryArchiveImporter::importContents(contents, context);
        QVERIFY(merged.ok());
        QCOMPARE(merged.value().message(), message);
        QVERIFY(!context.hasChanges());
        QCOMPARE(describe(context), after);
        QList<QByteArray> added;
        for (const AtlasImage *image : context.fetch<AtlasImage>().mid(held))
            added << image->title().toUtf8();
        QCOMPARE(toStore, added);
    }

    // A merge whose every slice has no time at all stops every few records,
    // in the middle of the series and of the images: each slice resumes on
    // the record after the last one it did, and the summary counts every
    // record once. Held series and images are every other record (the first
    // `held` of them), then those listed twice.
    void aMergeInSlicesCountsEachRecordOnce_data()
    {
        QTest::addColumn<int>("series");     // records of series
        QTest::addColumn<int>("heldSeries"); // of them, in the library
        QTest::addColumn<int>("images");
        QTest::addColumn<int>("heldImages");
        QTest::addColumn<int>("repeated"); // records of series and images repeated at the end
        QTest::newRow("16 new series") << 16 << 0 << 0 << 0 << 0;
        QTest::newRow("17 new series") << 17 << 0 << 0 << 0 << 0;
        QTest::newRow("40 series, 9 held") << 40 << 9 << 0 << 0 << 0;
        QTest::newRow("70 series, 30 held, images") << 70 << 30 << 50 << 20 << 0;
        QTest::newRow("33 series, 3 held, records repeated") << 33 << 3 << 20 << 5 << 6;
        // The library's images and the archive's records, too, are gone
        // through in several slices.
        QTest::newRow("20 series, 600 images, 280 held") << 20 << 5 << 600 << 280 << 0;
    }

    void aMergeInSlicesCountsEachRecordOnce()
    {
        QFETCH(int, series);
        QFETCH(int, heldSeries);
        QFETCH(int, images);
        QFETCH(int, heldImages);
        QFETCH(int, repeated);
        auto container = makeTestContainer();
        ModelContext &context = container->mainContext();
        M manifest;
        for (int i = 0; i < series; ++i) {
            const QString name = QStringLiteral("S%1").arg(i);
            manifest.series.append({idOf(name), name, Date::fromSecondsSince1970(1690000000)});
            if (i % 2 == 1 && i / 2 < heldSeries)
                addSeries(context, name);
        }
        for (int i = 0; i < images; ++i) {
            const QString name = QStringLiteral("i%1").arg(i);
            M::ImageRecord record;
            record.id = idOf(name);
            record.title = name;
            record.createdAt = Date::fromSecondsSince1970(1700000000 + i);
            record.seriesID = idOf(QStringLiteral("S%1").arg(i % series));
            manifest.images.append(record);
            if (i % 2 == 1 && i / 2 < heldImages)
                addImage(context, name, nullptr, QByteArray("held"));
        }
        for (int i = 0; i < repeated; ++i) {
            manifest.series.append(manifest.series.at(i));
            manifest.images.append(manifest.images.at(i));
        }
        context.save();

        LibraryArchiveImporter::ReadArchive read;
        read.manifest = manifest;
        LibraryArchiveImporter::Merge merge(std::move(read), context);
        int slices = 1;
        while (!merge.step(std::chrono::milliseconds(0))) {
            ++slices;
            QVERIFY(slices < 100000);
        }
        QVERIFY2(slices > (series + images) / 16, qPrintable(QStringLiteral("%1 slices").arg(slices)));
        QVERIFY(merge.outcome().ok());
        const LibraryImportSummary &summary = merge.outcome().value();
        // Series added and skipped, images added and skipped.
        const QList<qint64> counts{summary.addedSeries, summary.skippedSeries, summary.addedImages,
                                   summary.skippedImages};
        const QList<qint64> expected{series - heldSeries, heldSeries + repeated, images - heldImages,
                                     heldImages + repeated};
        QCOMPARE(counts, expected);
        QCOMPARE(context.fetch<Series>().size(), series);
        QCOMPARE(context.fetch<AtlasImage>().size(), images);
        QVERIFY(!context.hasChanges());
        QVERIFY(!context.isHeld());
        // Each new image joined the series its record names.
        for (const AtlasImage *image : context.fetch<AtlasImage>()) {
            if (image->imageData() != QByteArray("held")) {
                QVERIFY(image->series());
                QCOMPARE(image->series()->title(), QStringLiteral("S%1").arg(image->title().mid(1).toInt() % series));
            }
        }
    }

    void aWholeLibraryComesBackTheSame()
    {
        QTemporaryDir from;
        auto source = makeTestContainer(from.path());
        ModelContext &context = source->mainContext();
        Series *series = addSeries(context, QStringLiteral("Knee"));
        // Large enough for the archive file to be read in several pieces.
        addImage(context, QStringLiteral("In a file"), series, pngBytes(9 << 20, 1), 1);
        addImage(context, QStringLiteral("In the database"), series, QByteArray("\xFF\xD8\xFF small jpeg"), 0);
        addImage(context, QStringLiteral("Without bytes"), nullptr, std::nullopt);
        context.save();
        // Bytes not saved yet are exported as they are.
        addImage(context, QStringLiteral("Unsaved"), nullptr, pngBytes(100, 4));
        const LibrarySnapshot before = snapshot(context);

        const QString path = m_dir.filePath(QStringLiteral("whole.veloran"));
        const auto written = LibraryArchiveFile::write(
            LibraryArchiveSource::fromLibrary(context.fetch<AtlasImage>(), context.fetch<Series>()), path);
        QVERIFY2(written.ok(), written.ok() ? "" : qPrintable(errorDescription(written.error())));
        QCOMPARE(written.value(), QFileInfo(path).size());

        QTemporaryDir to;
        auto target = makeTestContainer(to.path());
        {
            QByteArray archive = LibraryArchiveFile::read(path).value();
            auto contents = LibraryArchiveContents::fromArchiveData(archive);
            QVERIFY(contents.ok());
            QVERIFY(!archive.isDetached()); // stored image files share the archive's bytes
            const auto merged = LibraryArchiveImporter::importContents(std::move(contents).value(), target->mainContext());
            QVERIFY(merged.ok());
            QCOMPARE(merged.value().message(), QStringLiteral("Added 4 images and 1 series."));
            // Once saved, nothing holds on to the archive (let go on the
            // files pool).
            WorkerPools::files().waitForDone();
            QVERIFY(archive.isDetached());
        }
        target.reset();
        target = makeTestContainer(to.path());
        QCOMPARE(snapshot(target->mainContext()), before);

        // One image's record, written out by hand as addImage made it.
        const AtlasImage *image = nullptr;
        for (const AtlasImage *candidate : target->mainContext().fetch<AtlasImage>())
            image = candidate->title() == u"In a file" ? candidate : image;
        QVERIFY(image);
        QCOMPARE(image->id(), idOf(QStringLiteral("In a file")));
        QCOMPARE(image->modalityRaw(), 2);
        QCOMPARE(image->regionRaw(), 99);
        QCOMPARE(image->age(), (AgeSpec{4294967301, 4294967298}));
        QCOMPARE(image->sortIndex(), 1);
        QCOMPARE(image->createdAt().secondsSince1970(), 1700000001.0);
        QVERIFY(image->series() && image->series()->title() == u"Knee");
        QCOMPARE(image->points().size(), 1);
        const PointAnnotation *point = image->points().first();
        QCOMPARE(point->id(), idOf(QStringLiteral("In a file/point")));
        QCOMPARE(point->label(), QStringLiteral("In a file point"));
        QCOMPARE(point->group(), QStringLiteral("bones,left"));
        QCOMPARE(point->x(), 0.25);
        QCOMPARE(point->y(), 1.0 / 3);
        const QList<AnnotationLink> links{
            {idOf(QStringLiteral("In a file/link")), QStringLiteral("Atlas"), QStringLiteral("example.org/a b")}};
        QCOMPARE(point->links(), std::optional(links));
        QCOMPARE(image->regions().size(), 1);
        const RegionAnnotation *region = image->regions().first();
        QCOMPARE(region->id(), idOf(QStringLiteral("In a file/region")));
        QCOMPARE(region->label(), QStringLiteral("In a file region"));
        QCOMPARE(region->group(), QStringLiteral("muscles"));
        QVERIFY(region->links().value_or(QList<AnnotationLink>()).isEmpty());
        QCOMPARE(region->vertices(), (QList<Vertex>{{0, 0}, {0.5, 0.125}, {1, 1}}));
    }

    void aFailedSaveLeavesTheLibraryAsItWas()
    {
        QTemporaryDir folder;
        auto container = makeTestContainer(folder.path());
        ModelContext &context = container->mainContext();
        fill(context, {QStringLiteral("S")}, {QStringLiteral("k1@S+p"), QStringLiteral("k2")});
        context.save();
        const LibrarySnapshot before = snapshot(context);

        LibraryArchiveContents contents =
            archiveOf({QStringLiteral("S"), QStringLiteral("T")}, {QStringLiteral("k1@S"), QStringLiteral("n@T+p")});
        contents.manifest.images[1].imagePath = QStringLiteral("images/large.png");
        contents.imageFiles.insert(QStringLiteral("images/large.png"), pngBytes(500 * 1024, 8));
        const QByteArray largeFile = contents.imageFiles.value(QStringLiteral("images/large.png"));

        FailingWrites writes(folder.path());
        writes.set(true);
        const auto failed = LibraryArchiveImporter::importContents(contents, context);
        QVERIFY(!failed.ok());
        QCOMPARE(failed.error().code(), ModelStoreError::Code::saveFailed);
        QVERIFY(!context.hasChanges());
        QCOMPARE(snapshot(context), before);
        // The objects let go don't keep the archive's bytes.
        contents.imageFiles.clear();
        WorkerPools::files().waitForDone();
        QVERIFY(largeFile.isDetached());
        // Nothing of the failed import stands in the way of the next.
        writes.set(false);
        contents.imageFiles.insert(QStringLiteral("images/large.png"), largeFile);
        const auto retried = LibraryArchiveImporter::importContents(contents, context);
        QVERIFY(retried.ok());
        QCOMPARE(retried.value().message(),
                 QStringLiteral("Added 1 image and 1 series. Skipped 1 image and 1 series already in the library."));
        QCOMPARE(describe(context).last(), QStringLiteral("n@T#1"));
        QCOMPARE(context.fetch<AtlasImage>().last()->imageData(), largeFile);
    }

    // An archive file read while the library changes: the merge takes the
    // library as it is then. An image deleted after the archive was read
    // comes back whole, its entry (passed over as held) read again; one
    // added meanwhile is skipped; a file changed meanwhile (also while its
    // entry is read again, and rewritten at its size, with its times put
    // back or not) ends the import with nothing added.
    void theLibraryAsItIsAtTheMerge_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<QString>("message");
        const QString changed =
            QStringLiteral("The file \u201Carchive.veloran\u201D couldn\u2019t be opened because it changed while it was read.");
        const QString skipped = QStringLiteral(" Skipped 2 images and 1 series already in the library.");
        QTest::newRow("an image kept in a file deleted") << "delete x" << "Added 1 image." + skipped;
        QTest::newRow("an image kept in the database deleted") << "delete y" << "Added 1 image." + skipped;
        QTest::newRow("a series deleted with its image")
            << "delete S" << "Added 1 image and 1 series. Skipped 2 images already in the library.";
        QTest::newRow("an entry a new image takes too, its held image deleted")
            << "delete x, twin" << "Added 2 images." + skipped;
        QTest::newRow("the file replaced, the image deleted") << "delete x, replace" << "Added 1 image." + skipped;
        QTest::newRow("an image added") << "add x"
                                        << "Nothing new to add \u2014 the library already has everything in this archive.";
        QTest::newRow("the file written, the image deleted") << "delete x, append" << changed;
        QTest::newRow("the file cut short, the image deleted") << "delete x, truncate" << changed;
        QTest::newRow("the file rewritten at its size, the image deleted") << "delete x, rewrite" << changed;
        QTest::newRow("the file written while the entry is read again") << "delete x, append while read" << changed;
        QTest::newRow("the file cut short while the entry is read again") << "delete x, truncate while read" << changed;
        QTest::newRow("the file rewritten at its size with its times put back, the image deleted")
            << "delete x, damage" << changed;
    }

    void theLibraryAsItIsAtTheMerge()
    {
        QFETCH(QString, meanwhile);
        QFETCH(QString, message);
        QTemporaryDir folder;
        auto container = makeTestContainer(folder.path());
        ModelContext &context = container->mainContext();
        Series *series = addSeries(context, QStringLiteral("S"));
        const QByteArray xBytes = pngBytes(300 * 1024, 1); // kept in a file of the library's folder
        addImage(context, QStringLiteral("x"), nullptr, xBytes);
        addImage(context, QStringLiteral("y"), nullptr, pngBytes(2000, 2));
        addImage(context, QStringLiteral("s"), series, pngBytes(300 * 1024, 3), 1);
        context.save();
        LibraryArchiveContents contents =
            LibraryArchiveSource::fromLibrary(context.fetch<AtlasImage>(), context.fetch<Series>()).contents().value();
        if (meanwhile.endsWith(QLatin1String("twin"))) {
            M::ImageRecord twin = contents.manifest.images[0];
            twin.id = idOf(QStringLiteral("twin"));
            contents.manifest.images.append(twin);
        }
        const QByteArray archive = contents.archiveData().value();
        const QString path = m_dir.filePath(QStringLiteral("archive.veloran"));
        writeFile(path, archive);
        const auto find = [&](const QString &title) {
            for (AtlasImage *image : context.fetch<AtlasImage>()) {
                if (image->title() == title)
                    return image;
            }
            return static_cast<AtlasImage *>(nullptr);
        };
        if (meanwhile == QLatin1String("add x")) {
            context.deleteObject(find(QStringLiteral("x")));
            context.save();
        }
        LibrarySnapshot expected = snapshot(context);

        auto opened = LibraryArchiveImporter::openArchive(path);
        QVERIFY(opened.ok());
        auto read = LibraryArchiveImporter::readImages(opened.value(), LibraryArchiveImporter::libraryImages(context),
                                                       context.prepareFiles());
        QVERIFY(read.ok());
        // Meanwhile, in the library and to the file.
        if (meanwhile == QLatin1String("add x")) {
            addImage(context, QStringLiteral("x"), nullptr, QByteArray("mine"));
            context.save();
            expected = snapshot(context);
        } else {
            const QString doomed = meanwhile.section(QLatin1Char(','), 0, 0).section(QLatin1Char(' '), 1);
            if (doomed == QLatin1String("S"))
                context.deleteObject(series);
            else
                context.deleteObject(find(doomed));
            context.save();
        }
        const LibrarySnapshot lost = snapshot(context);
        const QStringList filesLost = externalFileNames(folder.path());
        const QString change = meanwhile.section(QStringLiteral(", "), 1).remove(QStringLiteral(" while read"));
        const auto changeFile = [&] {
            QFile file(path);
            if (change == QLatin1String("replace")) {
                writeFile(path + QStringLiteral(".new"), archive.left(archive.size() / 2));
                return ::rename(QFile::encodeName(path + QStringLiteral(".new")).constData(), QFile::encodeName(path).constData()) == 0;
            }
            if (change == QLatin1String("append"))
                return file.open(QIODevice::Append) && file.write("!") == 1;
            const qint64 inX = archive.indexOf(xBytes.mid(1000, 64)) + 10;
            if (change == QLatin1String("truncate"))
                return file.resize(inX);
            if (change == QLatin1String("damage"))
                return damageKeepingTimes(path, inX);
            if (change == QLatin1String("rewrite"))
                return damageKeepingTimes(path, inX) && moveTimesOn(path, 1);
            return true;
        };
        std::optional<ChangeWhileRead> whileRead;
        if (meanwhile.endsWith(QLatin1String("while read")))
            whileRead.emplace(path, changeFile);
        else
            QVERIFY(changeFile());

        const auto merged = LibraryArchiveImporter::importArchive(std::move(read).value(), context);
        if (whileRead)
            QVERIFY(whileRead->changed());
        whileRead.reset();
        QFile::remove(path);
        QCOMPARE(merged.ok() ? merged.value().message() : errorDescription(merged.error()), message);
        QVERIFY(!context.hasChanges());
        QVERIFY(!context.isHeld());
        if (!merged.ok()) {
            QCOMPARE(snapshot(context), lost);
            QCOMPARE(externalFileNames(folder.path()), filesLost);
            return;
        }
        // As it was before, read again from the store, the twin holding x's
        // bytes in a file of its own.
        container.reset();
        container = makeTestContainer(folder.path());
        LibrarySnapshot now = snapshot(container->mainContext());
        if (meanwhile.endsWith(QLatin1String("twin"))) {
            QCOMPARE(now.images.last().id, idOf(QStringLiteral("twin")));
            QCOMPARE(now.bytes.takeLast(), std::optional(xBytes));
            now.images.removeLast();
        }
        QCOMPARE(byId(now), byId(expected));
        // x's and s's bytes in files (and the twin's), not the skipped
        // x's: nothing prepared is left behind.
        const int files = meanwhile.endsWith(QLatin1String("twin")) ? 3 : meanwhile == QLatin1String("add x") ? 1 : 2;
        QCOMPARE(externalFileNames(folder.path()).size(), files);
    }

    void anArchiveFileTooLargeForTheFormatIsRefusedUnread_data()
    {
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<ZipArchiveError>("error");
        QTest::newRow("a zip") << QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0') << ZipArchiveError::unsupportedZip64();
        QTest::newRow("not a zip") << QByteArray("not an end record") << ZipArchiveError::notAZipArchive();
    }

    void anArchiveFileTooLargeForTheFormatIsRefusedUnread()
    {
        QFETCH(QByteArray, tail);
        QFETCH(ZipArchiveError, error);
        const QString path = m_dir.filePath(QStringLiteral("huge.veloran"));
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.resize(ZipArchiveReader::maximumArchiveSize + 1 - tail.size())); // sparse
            QVERIFY(file.seek(file.size()));
            QCOMPARE(file.write(tail), tail.size());
        }
        const auto read = LibraryArchiveFile::read(path);
        QFile::remove(path);
        QVERIFY(!read.ok());
        QCOMPARE(std::get<ZipArchiveError>(read.error()), error);
    }
};

QTEST_GUILESS_MAIN(LibraryImportTest)
#include "tst_libraryimport.moc"
