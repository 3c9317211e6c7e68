#include "ShellTestSupport.h"

#include "shell/LibraryDerivation.h"
#include "shell/LibraryOperations.h"

#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <limits>

namespace {

// The library as text, oldest first: each series as its title with its
// images ("title:sortIndex") in series order, then the standalone images.
QString describe(ModelContext &context)
{
    QStringList parts;
    for (const Series *series : context.fetch<Series>(&Series::createdAt)) {
        QStringList images;
        for (const AtlasImage *image : LibraryDerivation::orderedImages(*series))
            images << image->title() + QLatin1Char(':') + QString::number(image->sortIndex());
        parts << series->title() + QLatin1Char('[') + images.join(QLatin1Char(',')) + QLatin1Char(']');
    }
    for (const AtlasImage *image : context.fetch<AtlasImage>(&AtlasImage::createdAt)) {
        if (!image->series())
            parts << image->title();
    }
    return parts.join(QLatin1Char(' '));
}

QList<ImportedImage> picked(const QStringList &titles)
{
    QList<ImportedImage> files;
    for (const QString &title : titles)
        files << ImportedImage{QUuid::createUuid(), QUrl(), title, pngBytes()};
    return files;
}

// The points and regions of each image in series order, as a copy should
// have them: absent links read as an empty list.
QStringList annotationsOf(Series *series)
{
    const auto links = [](const std::optional<QList<AnnotationLink>> &links) {
        QStringList labels;
        for (const AnnotationLink &link : links.value_or(QList<AnnotationLink>()))
            labels << link.label + QLatin1Char('@') + link.urlString;
        return QLatin1Char('[') + labels.join(QLatin1Char(';')) + QLatin1Char(']');
    };
    QStringList lines;
    for (AtlasImage *image : LibraryDerivation::orderedImages(*series)) {
        for (const PointAnnotation *point : image->points())
            lines << QStringLiteral("%1 point %2 %3 %4 %5,%6")
                         .arg(image->title(), point->label(), point->group(), links(point->links()))
                         .arg(point->x())
                         .arg(point->y());
        for (const RegionAnnotation *region : image->regions()) {
            QStringList vertices;
            for (const Vertex &vertex : region->vertices())
                vertices << QStringLiteral("%1,%2").arg(vertex.x).arg(vertex.y);
            lines << QStringLiteral("%1 region %2 %3 %4 %5")
                         .arg(image->title(), region->label(), region->group(), links(region->links()),
                              vertices.join(QLatin1Char(' ')));
        }
    }
    return lines;
}

Series *seriesTitled(ModelContext &context, const QString &title)
{
    for (Series *series : context.fetch<Series>()) {
        if (series->title() == title)
            return series;
    }
    return nullptr;
}

LibraryEntry seriesEntry(Series *series, const QList<AtlasImage *> &images)
{
    return LibraryEntry::series(LibrarySeriesGroup{series, images});
}

// A window's library and its operations, with the failures they announce.
struct Library : TestLibrary {
    explicit Library(bool onDisk = false)
        : TestLibrary(onDisk)
        , operations(context())
        , failures(&operations, &LibraryOperations::operationFailed)
    {
    }
    QString failure() const { return failures.isEmpty() ? QString() : failures.last().first().toString(); }
    QString message() const { return failures.isEmpty() ? QString() : failures.last().at(1).toString(); }

    // Until no save runs on a worker (a store on disk).
    void settle() { QTRY_VERIFY(!context().isSavingInBackground()); }
    // The copy of the series once saved; null when the duplicate failed.
    Series *duplicateSeries(Series *series)
    {
        auto copy = std::make_shared<Series *>(nullptr);
        operations.duplicateSeries(series, [copy](Series *made) { *copy = made; });
        settle();
        return *copy;
    }

    LibraryOperations operations;
    QSignalSpy failures;
};

using Operation = std::function<void(Library &, Series *, const QList<AtlasImage *> &)>;

} // namespace
Q_DECLARE_METATYPE(Operation)

// The library operations, each saved once, with failures announced.
class LibraryOperationsTest : public QObject {
    Q_OBJECT
private slots:
    void commitsAnImportToEachDestination_data()
    {
        QTest::addColumn<int>("destination"); // 0 new entry, 1 series, 2 full series, 3 standalone image
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("expected");
        QTest::newRow("one file: a standalone image") << 0 << QStringList{"knee"} << QStringLiteral("Drafted");
        QTest::newRow("several files: a series") << 0 << QStringList{"a", "b", "c"}
                                                 << QStringLiteral("Drafted[a:0,b:1,c:2]");
        QTest::newRow("after the series' last index") << 1 << QStringList{"n1", "n2"}
                                                      << QStringLiteral("Drafted[x:0,y:1,z:5,n1:6,n2:7]");
        QTest::newRow("the largest index renumbers") << 2 << QStringList{"new"}
                                                     << QStringLiteral("Drafted[low:0,top:1,new:2]");
        QTest::newRow("a standalone image becomes a series") << 3 << QStringList{"wrist"}
                                                             << QStringLiteral("Drafted[Hand:0,wrist:1]");
    }

    void commitsAnImportToEachDestination()
    {
        QFETCH(int, destination);
        QFETCH(QStringList, files);
        QFETCH(QString, expected);
        Library library;
        PendingImageImport::Destination to = PendingImageImport::Destination::newEntry();
        if (destination == 1 || destination == 2) {
            Series *series = library.series(QStringLiteral("Old"));
            const QList<qint64> indices = destination == 1 ? QList<qint64>{0, 1, 5}
                                                           : QList<qint64>{-7, std::numeric_limits<qint64>::max()};
            const QStringList titles = destination == 1 ? QStringList{"x", "y", "z"} : QStringList{"low", "top"};
            for (qsizetype i = 0; i < indices.size(); ++i)
                library.image(titles.at(i), series, indices.at(i));
            to = PendingImageImport::Destination::series(series);
        } else if (destination == 3) {
            to = PendingImageImport::Destination::standaloneImage(library.image(QStringLiteral("Hand")));
        }
        library.save();
        MetadataDraft draft(QStringLiteral("Drafted"));
        draft.modality = Modality::ct;
        draft.ageKind = AgeSpec::Kind::fetal;
        draft.ageValue = 12;
        const std::optional<LibraryOperations::Imported> imported = library.operations.commitImport(picked(files), to, draft);
        QVERIFY(imported);
        QCOMPARE(describe(library.context()), expected);
        QCOMPARE(imported->firstImage->title(), files.size() == 1 && destination == 0 ? QStringLiteral("Drafted")
                                                                                        : files.first());
        QCOMPARE(imported->newSeries != nullptr, destination == 3);
        QVERIFY(!library.context().hasChanges());
        // The draft's metadata goes to the new images only.
        for (const AtlasImage *image : library.context().fetch<AtlasImage>()) {
            const bool isNew = image->imageData() == pngBytes();
            QCOMPARE(image->modality(), isNew ? Modality::ct : Modality::mr);
            if (isNew)
                QCOMPARE(image->age(), (AgeSpec{2, 12}));
        }
    }

    // Entries that waited in the delete confirmation while another window
    // removed some of what they name: the rest goes, nothing is said.
    void deletionLeavesOutWhatHasGone_data()
    {
        QTest::addColumn<Operation>("elsewhere");
        QTest::addColumn<QString>("expected");
        // Deleted: series S (listing i0, i1 of i0..i2), empty series E, standalone a and b.
        const auto row = [](const char *name, Operation elsewhere, const char *expected) {
            QTest::newRow(name) << elsewhere << QString::fromUtf8(expected);
        };
        row("nothing gone", [](Library &, Series *, const QList<AtlasImage *> &) {}, "S[i2:0]");
        row("a standalone image gone",
            [](Library &w, Series *, const QList<AtlasImage *> &i) { w.context().deleteObject(i.at(3)); },
            "S[i2:0]");
        row("a listed image gone",
            [](Library &w, Series *, const QList<AtlasImage *> &i) { w.context().deleteObject(i.at(1)); },
            "S[i2:0]");
        row("the series gone", [](Library &w, Series *s, const QList<AtlasImage *> &) { w.context().deleteObject(s); },
            "");
        row("the empty series gained an image",
            [](Library &w, Series *, const QList<AtlasImage *> &) {
                Series *empty = w.context().fetch<Series>(&Series::createdAt).at(1);
                w.image(QStringLiteral("late"), empty, 0, 9);
            },
            "S[i2:0] E[late:0]");
        row("everything gone",
            [](Library &w, Series *, const QList<AtlasImage *> &) {
                for (Series *series : w.context().fetch<Series>())
                    w.context().deleteObject(series);
                for (AtlasImage *image : w.context().fetch<AtlasImage>())
                    w.context().deleteObject(image);
            },
            "");
    }

    void deletionLeavesOutWhatHasGone()
    {
        QFETCH(Operation, elsewhere);
        QFETCH(QString, expected);
        Library library;
        Series *series = library.series(QStringLiteral("S"));
        QList<AtlasImage *> images = library.images(series, 3);
        Series *empty = library.series(QStringLiteral("E"), 1);
        images << library.image(QStringLiteral("a"), nullptr, 0, 2) << library.image(QStringLiteral("b"), nullptr, 0, 3);
        library.save();
        const QList<LibraryEntry> entries{seriesEntry(series, {images.at(0), images.at(1)}), seriesEntry(empty, {}),
                                          LibraryEntry::image(images.at(3)), LibraryEntry::image(images.at(4))};
        elsewhere(library, series, images);
        library.save();
        QVERIFY(library.operations.removeEntries(entries));
        QCOMPARE(describe(library.context()), expected);
        QVERIFY(library.failures.isEmpty());
        QVERIFY(!library.context().hasChanges());
    }

    void renamesWithATrimmedTitle()
    {
        Library library;
        Series *series = library.series(QStringLiteral("Knee"), 1);
        library.save();
        // Blank titles and the same title change nothing; titles are trimmed.
        for (const QString &unchanged : {QStringLiteral("  "), QStringLiteral(" Knee\t")}) {
            QVERIFY(library.operations.renameSeries(series, unchanged));
            QCOMPARE(series->title(), QStringLiteral("Knee"));
        }
        QVERIFY(library.operations.renameSeries(series, QStringLiteral("Left knee\n")));
        QCOMPARE(series->title(), QStringLiteral("Left knee"));
        QVERIFY(!library.context().hasChanges());
        QVERIFY(library.failures.isEmpty());
    }

    void deletesImagesAndTheSeriesTheyEmpty()
    {
        Library library;
        Series *five = library.series(QStringLiteral("Five"));
        const QList<AtlasImage *> images = library.images(five, 5);
        library.point(images.at(1), QStringLiteral("Apex"));
        Series *single = library.series(QStringLiteral("Single"), 1);
        AtlasImage *only = library.image(QStringLiteral("only"), single);
        library.series(QStringLiteral("Empty"), 2);
        library.save();
        QVERIFY(library.operations.deleteImages({images.at(1), images.at(3), only}));
        QCOMPARE(describe(library.context()), QStringLiteral("Five[i0:0,i2:1,i4:2] Empty[]"));
        QVERIFY(library.context().fetch<PointAnnotation>().isEmpty());
        QVERIFY(!library.context().hasChanges());
    }

    void duplicatesImagesAndSeriesWithTheirAnnotations()
    {
        Library library;
        Series *series = library.series(QStringLiteral("Brain"));
        const QList<AtlasImage *> images = library.images(series, 3);
        images.at(1)->setModalityRaw(42);
        PointAnnotation *point = library.point(images.at(1), QStringLiteral("Pons"));
        const QList<AnnotationLink> links{{QUuid::createUuid(), QStringLiteral("Atlas"), QStringLiteral("https://example.org")}};
        point->setLinks(links);
        point->setGroup(QStringLiteral("Brainstem"));
        RegionAnnotation *region = library.region(images.at(1), QStringLiteral("Cerebellum"));
        region->setVertices({{0.1, 0.2}, {0.3, 0.4}, {0.5, 0.1}});
        images.at(2)->setTitle(QString());
        AtlasImage *foot = library.image(QStringLiteral("Foot"), nullptr, 0, 1);
        library.save();
        // In a series: right after the image, "<title> Copy" (no title stays
        // none), with a copy of every annotation under new identifiers.
        const auto inSeries = library.operations.duplicateImage(images.at(1));
        QVERIFY(inSeries && !inSeries->newSeries);
        library.operations.duplicateImage(images.at(2));
        QCOMPARE(describe(library.context()), QStringLiteral("Brain[i0:0,i1:1,i1 Copy:2,:3,:4] Foot"));
        AtlasImage *copy = inSeries->copy;
        QCOMPARE(copy->modalityRaw(), 0);
        QVERIFY(copy->id() != images.at(1)->id());
        QCOMPARE(copy->imageData(), images.at(1)->imageData());
        PointAnnotation *copiedPoint = copy->points().value(0);
        QVERIFY(copiedPoint && copiedPoint->id() != point->id());
        QCOMPARE(copiedPoint->label(), QStringLiteral("Pons"));
        QCOMPARE(copiedPoint->links(), std::optional<QList<AnnotationLink>>(links));
        QCOMPARE(copiedPoint->group(), QStringLiteral("Brainstem"));
        QCOMPARE(copy->regions().value(0)->vertices(), region->vertices());
        // A standalone image becomes a series of its title holding it and its copy.
        const auto standalone = library.operations.duplicateImage(foot);
        QVERIFY(standalone && standalone->newSeries == foot->series());
        QVERIFY(describe(library.context()).endsWith(QStringLiteral("Foot[Foot:0,Foot:1]")));
        // A series: "<title> Copy" with copies of its images in order.
        Series *seriesCopy = library.duplicateSeries(series);
        QVERIFY(seriesCopy);
        QCOMPARE(seriesCopy->title(), QStringLiteral("Brain Copy"));
        QCOMPARE(imageTitles(LibraryDerivation::orderedImages(*seriesCopy)), imageTitles(LibraryDerivation::orderedImages(*series)));
        QCOMPARE(library.context().fetch<PointAnnotation>().size(), 4);
        QCOMPARE(library.context().fetch<RegionAnnotation>().size(), 4);
        QVERIFY(!library.context().hasChanges());
    }

    // A series' copy holds what the series holds, under new identifiers,
    // in memory and in the store: copied in SQL when everything is saved,
    // as objects otherwise; lists of the copies read before or after.
    void duplicatedSeriesHoldEveryAnnotation_data()
    {
        QTest::addColumn<bool>("unsavedElsewhere");
        QTest::addColumn<bool>("readCopiesFirst");
        QTest::newRow("all saved") << false << false;
        QTest::newRow("all saved, the copy's series read at once") << false << true;
        QTest::newRow("unsaved changes elsewhere") << true << false;
    }

    void duplicatedSeriesHoldEveryAnnotation()
    {
        QFETCH(bool, unsavedElsewhere);
        QFETCH(bool, readCopiesFirst);
        Library library(true);
        Series *series = library.series(QStringLiteral("Brain"));
        const QList<AtlasImage *> images = library.images(series, 4);
        PointAnnotation *linked = library.point(images.at(0), QStringLiteral("Pons"));
        linked->setLinks(QList<AnnotationLink>{{QUuid::createUuid(), QStringLiteral("Atlas"), QStringLiteral("https://example.org")}});
        linked->setGroup(QStringLiteral("Brainstem"));
        library.point(images.at(0), QStringLiteral("Apex"))->setLinks(QList<AnnotationLink>());
        library.point(images.at(2), QStringLiteral("Tip"));
        RegionAnnotation *region = library.region(images.at(2), QStringLiteral("Cerebellum"));
        region->setVertices({{0.1, 0.2}, {0.3, 0.4}, {0.5, 0.1}});
        library.region(images.at(3), QStringLiteral("Empty"));
        // An image of another series with annotations of its own.
        library.point(library.image(QStringLiteral("other"), library.series(QStringLiteral("Other"), 1)),
                      QStringLiteral("Elsewhere"));
        library.save();
        if (unsavedElsewhere)
            library.image(QStringLiteral("unsaved"), nullptr, 0, 2);
        const QStringList expected = annotationsOf(series);
        QCOMPARE(expected.size(), 5);

        Series *copy = library.duplicateSeries(series);
        QVERIFY(copy);
        QVERIFY(library.failures.isEmpty());
        QVERIFY(!library.context().hasChanges());
        if (readCopiesFirst)
            QCOMPARE(LibraryDerivation::orderedImages(*copy).size(), 4);
        QCOMPARE(annotationsOf(copy), expected);
        QCOMPARE(annotationsOf(series), expected);
        const PointAnnotation *tip = LibraryDerivation::orderedImages(*copy).at(2)->points().value(0);
        QVERIFY(tip && tip->links() == std::optional(QList<AnnotationLink>()));
        QSet<QUuid> ids;
        for (const PointAnnotation *point : library.context().fetch<PointAnnotation>())
            ids.insert(point->id());
        for (const RegionAnnotation *region : library.context().fetch<RegionAnnotation>())
            ids.insert(region->id());
        QCOMPARE(ids.size(), 2 * 5 + 1);
        QVERIFY(!ids.contains(QUuid()));

        // What the store holds, and later saves go on from it.
        const auto reopened = library.reopen();
        ModelContext &stored = reopened->mainContext();
        QCOMPARE(annotationsOf(seriesTitled(stored, QStringLiteral("Brain Copy"))), expected);
        QCOMPARE(annotationsOf(seriesTitled(stored, QStringLiteral("Brain"))), expected);
        QCOMPARE(stored.fetch<PointAnnotation>().size(), 2 * 3 + 1);
        library.point(LibraryDerivation::orderedImages(*copy).last(), QStringLiteral("Later"));
        QVERIFY(library.duplicateSeries(copy));
        QCOMPARE(library.context().fetch<PointAnnotation>().size(), 3 * 3 + 1 + 2);
    }

    // Each image of a series' copy holds what a copy of the image object
    // holds, in SQL as from the objects: a raw value outside its cases as
    // unknown's (0), the age as it is, and a creation date of its own, each
    // later than the one before (also while the clock stands still), so
    // that images of equal sort index keep their order whatever their titles.
    void duplicatedSeriesCopyEachField_data()
    {
        QTest::addColumn<bool>("unsavedElsewhere");
        QTest::addColumn<bool>("clockStands"); // every copy made in one instant
        QTest::newRow("all saved") << false << false;
        QTest::newRow("unsaved changes elsewhere") << true << false;
        QTest::newRow("all saved, the clock standing") << false << true;
        QTest::newRow("unsaved changes elsewhere, the clock standing") << true << true;
    }

    void duplicatedSeriesCopyEachField()
    {
        QFETCH(bool, unsavedElsewhere);
        QFETCH(bool, clockStands);
        Library library(true);
        Series *series = library.series(QStringLiteral("Knee"));
        // Equal sort indices, oldest first, titles the other way round.
        const QList<AtlasImage *> images{library.image(QStringLiteral("c"), series, 0, 1),
                                         library.image(QStringLiteral("b"), series, 0, 2),
                                         library.image(QStringLiteral("a"), series, 0, 3, Modality::ct)};
        images.at(0)->setModalityRaw(42);
        images.at(0)->setRegionRaw(-5);
        images.at(0)->setPlaneRaw(9);
        images.at(0)->setSexRaw(7);
        images.at(1)->setAge(AgeSpec{99, 12});
        images.at(2)->setAge(AgeSpec{int(AgeSpec::Kind::years), 40});
        library.save();
        if (unsavedElsewhere)
            library.image(QStringLiteral("unsaved"), nullptr, 0, 4);
        const auto fields = [](const AtlasImage *image) {
            return QStringLiteral("%1 %2 %3 %4 %5 %6/%7 %8")
                .arg(image->title())
                .arg(image->modalityRaw())
                .arg(image->regionRaw())
                .arg(image->planeRaw())
                .arg(image->sexRaw())
                .arg(image->age().kindRaw)
                .arg(image->age().value.value_or(-1))
                .arg(image->sortIndex());
        };
        const QStringList expected{QStringLiteral("c 0 0 0 0 1/-1 0"), QStringLiteral("b 3 1 2 3 99/12 0"),
                                   QStringLiteral("a 2 1 2 3 5/40 0")};
        const Date before = Date::now();
        // A clock standing at `before` (a plain function: it reads a static).
        static Date instant;
        instant = before;
        if (clockStands)
            Date::setClock([] { return instant; });
        Series *copy = library.duplicateSeries(series);
        Date::setClock(nullptr);
        const Date after = Date::now();
        QVERIFY(copy);
        const auto check = [&](const QList<AtlasImage *> &copies) {
            QStringList stored;
            for (const AtlasImage *image : copies)
                stored << fields(image);
            QCOMPARE(stored, expected);
            QVERIFY(before <= copies.at(0)->createdAt());
            QVERIFY(copies.at(0)->createdAt() < copies.at(1)->createdAt());
            QVERIFY(copies.at(1)->createdAt() < copies.at(2)->createdAt());
            QVERIFY(copies.at(2)->createdAt() <= after);
        };
        check(LibraryDerivation::orderedImages(*copy));
        if (QTest::currentTestFailed())
            return;
        const auto reopened = library.reopen();
        check(LibraryDerivation::orderedImages(*seriesTitled(reopened->mainContext(), QStringLiteral("Knee Copy"))));
        // The originals keep what they hold.
        QCOMPARE(images.at(0)->modalityRaw(), 42);
    }

    // The copy of the annotations fails within the save (here the regions'
    // table refuses rows): nothing of the copy is left, in memory or in the
    // store, and the next duplicate works.
    void aFailedCopyOfAnnotationsLeavesNothing()
    {
        Library library(true);
        Series *series = library.series(QStringLiteral("S"));
        const QList<AtlasImage *> images = library.images(series, 3);
        library.point(images.at(0), QStringLiteral("Apex"));
        library.region(images.at(1), QStringLiteral("Area"));
        library.save();
        const QString before = describe(library.context());
        QVERIFY(runOnStore(library.folder(), {QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON RegionAnnotation "
                                                             "BEGIN SELECT RAISE(ABORT, 'disk I/O error'); END")}));
        QVERIFY(!library.duplicateSeries(series));
        QCOMPARE(library.failure(), QStringLiteral("Duplicate Failed"));
        QVERIFY(library.message().startsWith(QStringLiteral("The library could not be saved")));
        QCOMPARE(describe(library.context()), before);
        QVERIFY(!library.context().hasChanges());
        QCOMPARE(library.context().fetch<PointAnnotation>().size(), 1);
        {
            const auto reopened = library.reopen();
            QCOMPARE(describe(reopened->mainContext()), before);
            QCOMPARE(reopened->mainContext().fetch<PointAnnotation>().size(), 1);
        }
        QVERIFY(runOnStore(library.folder(), {QStringLiteral("DROP TRIGGER refuse")}));
        Series *copy = library.duplicateSeries(series);
        QVERIFY(copy);
        QCOMPARE(annotationsOf(copy), annotationsOf(series));
        QCOMPARE(describe(library.reopen()->mainContext()), QStringLiteral("S[i0:0,i1:1,i2:2] S Copy[i0:0,i1:1,i2:2]"));
    }

    // A series' copy made in SQL holds the bytes of each image: bytes in the
    // database as a row of their own, bytes in a file as a file of their
    // own, which outlives the original's deletion; a copy that fails
    // leaves no file behind.
    void duplicatedSeriesKeepTheirBytes_data()
    {
        QTest::addColumn<bool>("fails");
        QTest::newRow("saved") << false;
        QTest::newRow("failing") << true;
    }

    void duplicatedSeriesKeepTheirBytes()
    {
        QFETCH(bool, fails);
        Library library(true);
        Series *series = library.series(QStringLiteral("Scan"));
        const QList<AtlasImage *> images = library.images(series, 3);
        const QByteArray large(300 * 1024, 'x'); // kept in a file
        images.at(0)->setImageData(large);
        images.at(2)->setImageData(std::nullopt);
        library.save();
        const QStringList files = externalFileNames(library.folder());
        QCOMPARE(files.size(), 1);
        library.point(images.at(1), QStringLiteral("Apex"));
        library.save();
        if (fails)
            QVERIFY(runOnStore(library.folder(), {QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON PointAnnotation "
                                                                 "BEGIN SELECT RAISE(ABORT, 'disk I/O error'); END")}));
        Series *copy = library.duplicateSeries(series);
        if (fails) {
            QVERIFY(!copy);
            QCOMPARE(library.failure(), QStringLiteral("Duplicate Failed"));
            QCOMPARE(externalFileNames(library.folder()), files);
            return;
        }
        QVERIFY(copy);
        const QList<AtlasImage *> copies = LibraryDerivation::orderedImages(*copy);
        QCOMPARE(copies.size(), 3);
        for (qsizetype i = 0; i < copies.size(); ++i)
            QCOMPARE(copies.at(i)->imageData(), images.at(i)->imageData());
        QCOMPARE(copies.at(2)->imageData(), std::nullopt);
        QCOMPARE(externalFileNames(library.folder()).size(), 2);
        QVERIFY(library.operations.removeEntries({seriesEntry(series, images)}));
        library.settle();
        QVERIFY(library.failures.isEmpty());
        QCOMPARE(externalFileNames(library.folder()), storedFileNames(library.folder()));
        QCOMPARE(externalFileNames(library.folder()).size(), 1);
        QCOMPARE(copies.at(0)->imageData(), std::optional(large));
        QCOMPARE(library.reopen()->mainContext().fetch<AtlasImage>().size(), 3);
    }

    void movesAndReordersWithinASeries()
    {
        Library library;
        Series *series = library.series(QStringLiteral("S"));
        const QList<AtlasImage *> images = library.images(series, 3);
        AtlasImage *a = images.at(0), *b = images.at(1), *c = images.at(2);
        AtlasImage *foreign = library.image(QStringLiteral("foreign"), library.series(QStringLiteral("Other"), 1));
        AtlasImage *lone = library.image(QStringLiteral("lone"), nullptr, 0, 2);
        library.save();
        const auto order = [&] { return describe(library.context()).section(QLatin1Char(' '), 0, 0); };
        QVERIFY(!library.operations.canMoveImage(a, -1));
        QVERIFY(library.operations.canMoveImage(a, 1));
        QVERIFY(!library.operations.canMoveImage(c, 1));
        QVERIFY(!library.operations.canMoveImage(lone, 1));
        QVERIFY(library.operations.moveImage(b, -1));
        QCOMPARE(order(), QStringLiteral("S[i1:0,i0:1,i2:2]"));
        QVERIFY(!library.operations.moveImage(c, 1));
        QVERIFY(library.operations.reorderImages({a, b, c}));
        QCOMPARE(order(), QStringLiteral("S[i0:0,i1:1,i2:2]"));
        QVERIFY(library.operations.reorderImages({c, a}));
        QCOMPARE(order(), QStringLiteral("S[i2:0,i1:1,i0:2]"));
        // Images of other series, and repeats, take no part.
        QVERIFY(library.operations.reorderImages({a, foreign, lone, a, c}));
        QCOMPARE(order(), QStringLiteral("S[i0:0,i1:1,i2:2]"));
        QCOMPARE(foreign->sortIndex(), 0);
        QVERIFY(library.failures.isEmpty());
    }

    // A save that fails, or (rows marked "gone") an object the operation
    // waited on that another window removed meanwhile: the operation's
    // title, and the library as it was.
    void aFailedOperationIsAnnouncedAndUndone_data()
    {
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("gone");
        const auto row = [](const char *name, Operation operation, const char *title, bool checksPresence = false) {
            QTest::newRow(name) << operation << QString::fromUtf8(title) << false;
            if (checksPresence)
                QTest::addRow("%s, gone", name) << operation << QString::fromUtf8(title) << true;
        };
        row("import", [](Library &w, Series *s, const QList<AtlasImage *> &) {
            w.operations.commitImport(picked({"f1", "f2"}), PendingImageImport::Destination::series(s), MetadataDraft());
        }, "Import Failed", true);
        row("import into a standalone image", [](Library &w, Series *, const QList<AtlasImage *> &i) {
            w.operations.commitImport(picked({"f1"}), PendingImageImport::Destination::standaloneImage(i.last()),
                                      MetadataDraft());
        }, "Import Failed", true);
        row("metadata", [](Library &w, Series *, const QList<AtlasImage *> &i) {
            w.operations.saveMetadata(i.first(), MetadataDraft(QStringLiteral("New")));
        }, "Save Failed", true);
        row("rename", [](Library &w, Series *s, const QList<AtlasImage *> &) {
            w.operations.renameSeries(s, QStringLiteral("New"));
        }, "Rename Failed", true);
        row("delete", [](Library &w, Series *, const QList<AtlasImage *> &i) {
            w.operations.deleteImages({i.first()});
        }, "Delete Failed");
        row("delete, its caller told", [](Library &w, Series *, const QList<AtlasImage *> &i) {
            std::optional<bool> deleted;
            w.operations.deleteImages({i.first()}, [&deleted](bool saved) { deleted = saved; });
            w.settle();
            QVERIFY(deleted.has_value());
            QCOMPARE(*deleted, false);
        }, "Delete Failed");
        row("remove entries", [](Library &w, Series *s, const QList<AtlasImage *> &i) {
            w.operations.removeEntries({seriesEntry(s, {i.at(0), i.at(1)}), LibraryEntry::image(i.last())});
        }, "Delete Failed");
        row("duplicate", [](Library &w, Series *, const QList<AtlasImage *> &i) {
            w.operations.duplicateImage(i.first());
        }, "Duplicate Failed", true);
        row("duplicate a standalone image", [](Library &w, Series *, const QList<AtlasImage *> &i) {
            w.operations.duplicateImage(i.last());
        }, "Duplicate Failed");
        row("duplicate a series", [](Library &w, Series *s, const QList<AtlasImage *> &) {
            w.operations.duplicateSeries(s);
        }, "Duplicate Failed", true);
        row("move", [](Library &w, Series *, const QList<AtlasImage *> &i) {
            w.operations.moveImage(i.first(), 1);
        }, "Reorder Failed");
        row("reorder", [](Library &w, Series *, const QList<AtlasImage *> &i) {
            w.operations.reorderImages({i.at(1), i.at(0)});
        }, "Reorder Failed");
    }

    void aFailedOperationIsAnnouncedAndUndone()
    {
        QFETCH(Operation, operation);
        QFETCH(QString, title);
        QFETCH(bool, gone);
        Library library(!gone);
        Series *series = library.series(QStringLiteral("S"));
        QList<AtlasImage *> images = library.images(series, 2);
        library.point(images.first(), QStringLiteral("Apex"));
        images << library.image(QStringLiteral("lone"), nullptr, 0, 1);
        library.save();
        if (gone) {
            // The series goes with its images; the standalone image joins another series.
            library.context().deleteObject(series);
            images.last()->setSeries(library.series(QStringLiteral("Elsewhere"), 3));
            library.save();
        } else {
            library.failWrites(true);
        }
        const QString before = describe(library.context());
        const qsizetype points = library.context().fetch<PointAnnotation>().size();
        operation(library, series, images);
        library.settle();
        QCOMPARE(library.failures.count(), 1);
        QCOMPARE(library.failure(), title);
        if (gone)
            QCOMPARE(library.message(), QStringLiteral("The item is no longer in the library."));
        else
            QVERIFY(library.message().startsWith(QStringLiteral("The library could not be saved")));
        QCOMPARE(describe(library.context()), before);
        QCOMPARE(library.context().fetch<PointAnnotation>().size(), points);
        QVERIFY(!library.context().hasChanges());
    }
};

QTEST_GUILESS_MAIN(LibraryOperationsTest)
#include "tst_libraryoperations.moc"
