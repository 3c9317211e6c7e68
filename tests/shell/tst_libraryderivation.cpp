#include "ShellTestSupport.h"

#include "shell/LibraryDerivation.h"
#include "shell/LibraryQuery.h"
#include "shell/LibrarySearchIndex.h"

#include <QSignalSpy>
#include <QTest>

#include <clocale>
#include <functional>

namespace {

// The images of `images` that the index finds for a query.
QList<AtlasImage *> found(LibrarySearchIndex &index, const QList<AtlasImage *> &images, const QString &query)
{
    const std::vector<qsizetype> texts = index.textsOf(images);
    const std::vector<char> matched = index.textsContaining(LocalizedSearchNeedle(query).folded());
    QList<AtlasImage *> list;
    for (qsizetype i = 0; i < images.size(); ++i) {
        if (matched[size_t(texts[size_t(i)])])
            list << images.at(i);
    }
    return list;
}

QStringList entryTitles(const QList<LibraryEntry> &entries)
{
    QStringList list;
    for (const LibraryEntry &entry : entries) {
        QString text = entry.title();
        if (const LibrarySeriesGroup *group = entry.seriesGroup()) {
            QStringList images;
            for (const AtlasImage *image : group->images)
                images << image->title();
            text += QLatin1Char('[') + images.join(QLatin1Char(',')) + QLatin1Char(']');
        }
        list << text;
    }
    return list;
}

// The entries by identity: each image, each series with its images.
QList<QList<const void *>> entryObjects(const QList<LibraryEntry> &entries)
{
    QList<QList<const void *>> list;
    for (const LibraryEntry &entry : entries) {
        if (const AtlasImage *image = entry.imageValue()) {
            list.append({image});
            continue;
        }
        QList<const void *> group{entry.seriesGroup()->series};
        for (const AtlasImage *image : entry.seriesGroup()->images)
            group << image;
        list.append(group);
    }
    return list;
}

// A library whose order rests on ties: series "Knee" and "Hip" of one
// date (images k0..k3 and h0, h1, two by two of one date), series "Empty"
// with none, and standalone images "a", "" and "Untitled" of one date and
// "b" older; saved.
struct Ties {
    Ties()
    {
        knee = library.series(QStringLiteral("Knee"), 1);
        hip = library.series(QStringLiteral("Hip"), 1);
        empty = library.series(QStringLiteral("Empty"), 3);
        for (int i = 0; i < 4; ++i)
            k << library.image(QStringLiteral("k%1").arg(i), knee, i % 2, 1 + i / 2);
        h << library.image(QStringLiteral("h0"), hip, 0, 1) << library.image(QStringLiteral("h1"), hip, 0, 1);
        a = library.image(QStringLiteral("a"), nullptr, 0, 1);
        untitled = library.image(QString(), nullptr, 0, 1);
        named = library.image(QStringLiteral("Untitled"), nullptr, 0, 1);
        b = library.image(QStringLiteral("b"), nullptr, 0, 0);
        library.save();
    }
    TestLibrary library;
    Series *knee, *hip, *empty;
    QList<AtlasImage *> k, h;
    AtlasImage *a, *untitled, *named, *b;
};

using Step = std::function<void(Ties &)>;

// A library of a series "Knee" holding image "a" (with point "Meniscus"
// and region "Tibia") and a standalone image "b"; saved.
struct Fixture {
    Fixture()
    {
        series = library.series(QStringLiteral("Knee"), 0);
        a = library.image(QStringLiteral("a"), series, 0, 1);
        b = library.image(QStringLiteral("b"), nullptr, 0, 2);
        point = library.point(a, QStringLiteral("Meniscus"));
        region = library.region(a, QStringLiteral("Tibia"));
        library.save();
    }
    TestLibrary library;
    Series *series;
    AtlasImage *a;
    AtlasImage *b;
    PointAnnotation *point;
    RegionAnnotation *region;
};

using Write = std::function<void(Fixture &)>;

// Every search scanned on the computing pool while it lives.
class OffThreadScans {
public:
    OffThreadScans() { LibraryQuery::setScanOffThreadFrom(0); }
    ~OffThreadScans() { LibraryQuery::setScanOffThreadFrom(m_before); }

private:
    qsizetype m_before = LibraryQuery::scanOffThreadFrom();
};

// A search typed while the texts are read waits for them in a library of
// at most this many images while it lives.
class AnswersAtOnceUpTo {
public:
    explicit AnswersAtOnceUpTo(qsizetype images) { LibraryQuery::setAnswersAtOnceUpTo(images); }
    ~AnswersAtOnceUpTo() { LibraryQuery::setAnswersAtOnceUpTo(m_before); }

private:
    qsizetype m_before = LibraryQuery::answersAtOnceUpTo();
};

// Where the texts of the listed images are kept is looked up this many
// images per turn while it lives.
class LookUpsPerTurn {
public:
    explicit LookUpsPerTurn(qsizetype images) { LibraryQuery::setLookUpsPerTurn(images); }
    ~LookUpsPerTurn() { LibraryQuery::setLookUpsPerTurn(m_before); }

private:
    qsizetype m_before = LibraryQuery::lookUpsPerTurn();
};

} // namespace
Q_DECLARE_METATYPE(Write)
Q_DECLARE_METATYPE(Step)
Q_DECLARE_METATYPE(QList<Step>)

// Searching, filtering, grouping and ordering the library, and the lists kept until they change.
class LibraryDerivationTest : public QObject {
    Q_OBJECT
private:
    static QList<LibraryEntry> entries(TestLibrary &library, const LibraryFilters &filters)
    {
        const QList<AtlasImage *> images = library.context().fetch<AtlasImage>(&AtlasImage::createdAt);
        const QList<Series *> series = library.context().fetch<Series>(&Series::createdAt);
        return LibraryDerivation(filters).libraryEntries(images, series);
    }

private slots:
    void initTestCase()
    {
        // Comparing and searching must not depend on the process locale.
        std::setlocale(LC_ALL, "C");
    }

    // Each part of an image's text is searched, folded; a series listed
    // empty shows only while no filter is set.
    void searchesAndFiltersTheEntries_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<int>("modality"); // -1: none
        QTest::addColumn<QStringList>("expected");
        const QStringList all{"Crâne[Lateral,Frontal]", "Untitled", "Infant", "Empty[]"};
        QTest::newRow("nothing") << QString() << -1 << all;
        QTest::newRow("blanks") << QStringLiteral(" \n\t ") << -1 << all;
        QTest::newRow("series title, folded") << QStringLiteral("crane") << -1 << QStringList{"Crâne[Lateral,Frontal]"};
        QTest::newRow("point label") << QStringLiteral("GLABELLA") << -1 << QStringList{"Crâne[Frontal]"};
        QTest::newRow("region label") << QStringLiteral("orbit") << -1 << QStringList{"Crâne[Frontal]"};
        QTest::newRow("modality code") << QStringLiteral("cT") << -1 << QStringList{"Untitled"};
        QTest::newRow("code and name, one space apart") << QStringLiteral("CT Computed") << -1 << QStringList{"Untitled"};
        QTest::newRow("unknown region") << QStringLiteral("unknown") << -1 << QStringList{"Untitled"};
        QTest::newRow("the untitled placeholder") << QStringLiteral("Untitled") << -1 << QStringList{};
        QTest::newRow("age") << QStringLiteral("1 month") << -1 << QStringList{"Infant"};
        QTest::newRow("empty series") << QStringLiteral("emp") << -1 << QStringList{"Empty[]"};
        QTest::newRow("modality filter") << QString() << int(Modality::mr) << QStringList{"Crâne[Lateral,Frontal]", "Infant"};
        QTest::newRow("filter and search") << QStringLiteral("emp") << int(Modality::ct) << QStringList{};
    }

    void searchesAndFiltersTheEntries()
    {
        QFETCH(QString, search);
        QFETCH(int, modality);
        TestLibrary library;
        Series *skull = library.series(QStringLiteral("Crâne"), 0);
        library.image(QStringLiteral("Lateral"), skull, 0, 1);
        AtlasImage *frontal = library.image(QStringLiteral("Frontal"), skull, 1, 2);
        library.point(frontal, QStringLiteral("Glabella"));
        library.region(frontal, QStringLiteral("Orbit"));
        library.image(QString(), nullptr, 0, 3, Modality::ct)->setRegionRaw(99);
        library.image(QStringLiteral("Infant"), nullptr, 0, 4)->setAge(AgeSpec{4, 1});
        library.series(QStringLiteral("Empty"), 5);
        QCOMPARE(LibraryDerivation::searchText(*frontal),
                 QStringLiteral("Frontal Crâne MR Magnetic Resonance (MR) Head Axial Unspecified Female Glabella Orbit"));
        LibraryFilters filters;
        filters.searchText = search;
        if (modality >= 0)
            filters.modality = Modality(modality);
        QTEST(entryTitles(entries(library, filters)), "expected");
    }

    void appliesEachFilter()
    {
        TestLibrary library;
        AtlasImage *image = library.image(QStringLiteral("a"));
        image->setPlaneRaw(7);
        image->setAge(AgeSpec{5, 40});
        image->setSexRaw(3);
        const auto passes = [&](const LibraryFilters &filters) {
            return LibraryDerivation(filters).imagePassesFilters(*image);
        };
        LibraryFilters filters;
        filters.plane = Plane::unknown;
        QVERIFY(passes(filters));
        filters.plane = Plane::axial;
        QVERIFY(!passes(filters));
        filters = {};
        filters.ageKind = AgeSpec::Kind::years;
        filters.sex = Sex::female;
        filters.region = Region::head;
        filters.modality = Modality::mr;
        QVERIFY(passes(filters));
        filters.sex = Sex::male;
        QVERIFY(!passes(filters));
        QCOMPARE(filters.signature(), (QList<std::optional<QString>>{QString(), QStringLiteral("3"), QStringLiteral("1"),
                                                                      std::nullopt, QStringLiteral("5"),
                                                                      QStringLiteral("2")}));
    }

    void ordersEntriesAndImages()
    {
        TestLibrary library;
        library.image(QStringLiteral("slice10"), nullptr, 0, 5);
        library.image(QStringLiteral("slice2"), nullptr, 0, 5);
        library.image(QString(), nullptr, 0, 5);
        library.image(QStringLiteral("Ultra"), nullptr, 0, 5);
        Series *series = library.series(QStringLiteral("slice2"), 5);
        library.image(QStringLiteral("two"), series, 2, 1);
        library.image(QStringLiteral("zero"), series, 0, 9);
        library.image(QStringLiteral("one-b"), series, 1, 3);
        library.image(QStringLiteral("one-a"), series, 1, 3);
        library.image(QStringLiteral("early"), nullptr, 0, 1);
        QCOMPARE(entryTitles(entries(library, {})),
                 (QStringList{"early", "slice2", "slice2[zero,one-a,one-b,two]", "slice10", "Ultra", "Untitled"}));
    }

    void derivesTheGridAndTheImportDestination()
    {
        TestLibrary library;
        Series *series = library.series(QStringLiteral("S"), 0);
        AtlasImage *a = library.image(QStringLiteral("a"), series, 0, 1);
        library.image(QStringLiteral("b"), series, 1, 2);
        AtlasImage *lone = library.image(QStringLiteral("lone"), nullptr, 0, 3);
        const LibraryEntryID seriesID = LibraryEntryID::series(series->id());
        const LibraryEntryID loneID = LibraryEntryID::image(lone->id());
        const QList<LibraryEntry> all = entries(library, {});
        QVERIFY(LibraryDerivation::visibleImages(all, {}).isEmpty());
        QCOMPARE(imageTitles(LibraryDerivation::visibleImages(all, {loneID, seriesID})), (QStringList{"a", "b", "lone"}));
        QVERIFY(!LibraryDerivation::importDestination(all, {loneID, seriesID}));
        QVERIFY(!LibraryDerivation::isSingleSeriesSelected({loneID, seriesID}));
        QCOMPARE(LibraryDerivation::importDestination(all, {seriesID}),
                 std::optional(PendingImageImport::Destination::series(series)));
        QCOMPARE(LibraryDerivation::importDestination(all, {loneID}),
                 std::optional(PendingImageImport::Destination::standaloneImage(lone)));
        QCOMPARE(LibraryDerivation::entryID(*a), seriesID);
        QCOMPARE(LibraryDerivation::entryID(*lone), loneID);
        // A selected series that the filters hide.
        LibraryFilters filters;
        filters.modality = Modality::ct;
        const QList<LibraryEntry> hidden = entries(library, filters);
        QVERIFY(LibraryDerivation::visibleImages(hidden, {seriesID}).isEmpty());
        QVERIFY(!LibraryDerivation::importDestination(hidden, {seriesID}));
        QVERIFY(LibraryDerivation::isSingleSeriesSelected({seriesID}));
        QVERIFY(!LibraryDerivation::isSingleSeriesSelected({loneID}));
    }

    void indexedSearchAgreesWithThePlainSearch_data()
    {
        QTest::addColumn<bool>("onDisk");
        QTest::newRow("library in memory") << false;
        QTest::newRow("library on disk") << true;
    }

    // The index, read from the store in one pass and kept up to date from
    // the objects, finds exactly what the plain search of every image finds;
    // the entries kept from the unfiltered ones are those derived afresh.
    void indexedSearchAgreesWithThePlainSearch()
    {
        QFETCH(bool, onDisk);
        TestLibrary library(onDisk);
        // "…ab" then "c…" must not match "abc" across the two texts.
        AtlasImage *first = library.image(QStringLiteral("xab"), nullptr, 0, 1);
        AtlasImage *second = library.image(QStringLiteral("cde"), nullptr, 0, 2);
        first->setSexRaw(99);
        second->setSexRaw(99);
        // Long enough for the eight-at-a-time scan; series, labels, an empty label, two modalities.
        Series *knee = library.series(QStringLiteral("Knee"), 5);
        for (int i = 0; i < 300; ++i) {
            AtlasImage *image = library.image(QStringLiteral("Slice %1 Ärm").arg(i * 7919 % 1000), i % 3 ? nullptr : knee,
                                              i, 10 + i, i % 5 ? Modality::mr : Modality::ct);
            if (i % 7 == 0) {
                library.point(image, QStringLiteral("Menisc%1").arg(i));
                library.point(image, QString());
                library.point(image, QStringLiteral("Tibia"));
                library.region(image, QStringLiteral("Fémur"));
            }
        }
        library.save();
        LibrarySearchIndex index(library.context());
        const QStringList queries{QStringLiteral("arm"), QStringLiteral("slice 1"), QStringLiteral("9 a"),
                                  QStringLiteral("e 99"), QStringLiteral("mr magnetic"), QStringLiteral("q"),
                                  QStringLiteral("knee"), QStringLiteral("0  tibia"), QStringLiteral("tibia femur"),
                                  QStringLiteral("xab"), QStringLiteral("cde  mr"), QStringLiteral("hip"),
                                  QStringLiteral("renamed")};
        const auto agree = [&](const char *when) {
            const QList<AtlasImage *> images = library.context().fetch<AtlasImage>(&AtlasImage::createdAt);
            const QList<Series *> series = library.context().fetch<Series>(&Series::createdAt);
            const QList<LibraryEntry> unfiltered = LibraryDerivation({}).libraryEntries(images, series);
            for (const QString &query : queries) {
                LibraryFilters filters;
                filters.searchText = query;
                const LibraryDerivation plain(filters);
                QList<AtlasImage *> expected;
                for (AtlasImage *image : images) {
                    if (plain.imageMatchesSearch(*image))
                        expected << image;
                }
                const QList<AtlasImage *> indexed = found(index, images, query);
                if (indexed != expected)
                    qWarning("%s, \"%s\": %s", when, qPrintable(query), qPrintable(imageTitles(indexed).join(u'|')));
                QCOMPARE(indexed, expected);
                filters.modality = Modality::mr;
                const QList<AtlasImage *> listed = LibraryDerivation::entryImages(unfiltered);
                std::vector<bool> matched;
                for (const AtlasImage *image : listed)
                    matched.push_back(indexed.contains(const_cast<AtlasImage *>(image)));
                const LibraryDerivation derivation(filters);
                QCOMPARE(entryTitles(derivation.filteredEntries(unfiltered, &matched)),
                         entryTitles(derivation.libraryEntries(images, series)));
                QCOMPARE(entryTitles(derivation.filteredEntries(unfiltered)),
                         entryTitles(derivation.libraryEntries(images, series)));
            }
        };
        // At once, before the read has come back: the search waits for it.
        index.waitUntilReady();
        QVERIFY(index.isReady());
        const QString lastOfFirst = foldedForSearch(LibraryDerivation::searchText(*first)).right(3);
        const QString across = lastOfFirst + foldedForSearch(LibraryDerivation::searchText(*second)).left(2);
        const QList<AtlasImage *> images = library.context().fetch<AtlasImage>(&AtlasImage::createdAt);
        QVERIFY(found(index, images, across).isEmpty());
        agree("as read");
        // Changes to what the texts are made of, saved and not.
        knee->setTitle(QStringLiteral("Hip"));
        first->setTitle(QStringLiteral("Renamed"));
        images.at(9)->points().value(0)->setLabel(QStringLiteral("Renamed label"));
        library.point(second, QStringLiteral("Tibia"));
        images.at(40)->setSeries(knee);
        library.context().deleteObject(images.at(50));
        agree("changed");
        library.save();
        agree("saved");
        library.context().rollback();
        agree("rolled back");
    }

    // A read of the store made while the objects change: what changed in
    // between comes from the objects. Row keys far apart (a store written
    // by other means) are read too. The read makes no annotation object:
    // an untouched image's labels stay in the store until asked for.
    void changesDuringTheReadWin()
    {
        TestLibrary library(true);
        library.point(library.image(QStringLiteral("Before")), QStringLiteral("Old label"));
        library.point(library.image(QStringLiteral("Knee"), nullptr, 0, 1), QStringLiteral("Patella"));
        library.save();
        QVERIFY(runOnStore(library.folder(), {QStringLiteral("UPDATE AtlasImage SET rowKey = rowKey + 1000000000000"),
                                              QStringLiteral("UPDATE PointAnnotation SET imageKey = imageKey + 1000000000000"),
                                              QStringLiteral("UPDATE ImageData SET imageKey = imageKey + 1000000000000")}));
        const std::unique_ptr<ModelContainer> container = library.reopen();
        const QList<AtlasImage *> images = container->mainContext().fetch<AtlasImage>(&AtlasImage::createdAt);
        LibrarySearchIndex index(container->mainContext());
        images.first()->setTitle(QStringLiteral("After"));
        images.first()->points().first()->setLabel(QStringLiteral("New label"));
        container->mainContext().save();
        index.waitUntilReady();
        const QList<AtlasImage *> changed{images.first()};
        QCOMPARE(found(index, images, QStringLiteral("after")), changed);
        QCOMPARE(found(index, images, QStringLiteral("new label")), changed);
        QVERIFY(found(index, images, QStringLiteral("before")).isEmpty());
        QVERIFY(found(index, images, QStringLiteral("old")).isEmpty());
        QCOMPARE(found(index, images, QStringLiteral("patella")), QList<AtlasImage *>{images.last()});
        QVERIFY(runOnStore(library.folder(), {QStringLiteral("UPDATE PointAnnotation SET label = 'Changed' WHERE label = 'Patella'")}));
        QCOMPARE(images.last()->points().first()->label(), QStringLiteral("Changed"));
    }

    // The library's lists take in each change where it goes: after every
    // step (some read between, some taken in together) they are what a
    // fresh derivation lists, and a window's filtered lists follow them.
    void takesInChangesAsAFreshDerivation_data()
    {
        QTest::addColumn<QList<Step>>("steps");
        QTest::addColumn<bool>("readBetween");
        const auto row = [](const char *name, QList<Step> steps) {
            QTest::newRow(name) << steps << true;
            QTest::newRow((QByteArray(name) + " at once").constData()) << steps << false;
        };
        const auto image = [](const char *title, int series, double date, qint64 sortIndex = 0) -> Step {
            return [=](Ties &t) {
                Series *in = series == 1 ? t.knee : series == 2 ? t.hip : series == 3 ? t.empty : nullptr;
                t.library.image(QString::fromUtf8(title), in, sortIndex, date);
            };
        };
        const auto remove = [](std::function<ModelObject *(Ties &)> which) -> Step {
            return [=](Ties &t) { t.library.context().deleteObject(which(t)); };
        };
        row("images inserted last, first and between ties",
            {image("z", 0, 9), image("y", 0, -1), image("a", 0, 1), image("", 0, 1), image("k9", 1, 1, 1),
             image("k0", 1, 1, 0), image("Knee", 0, 1), image("e0", 3, 5)});
        row("a series inserted with its images", {[](Ties &t) {
                 Series *series = t.library.series(QStringLiteral("Knee"), 1);
                 t.library.images(series, 3);
             }});
        row("images deleted", {remove([](Ties &t) { return t.a; }), remove([](Ties &t) { return t.k[2]; }),
                               remove([](Ties &t) { return t.h[0]; }), remove([](Ties &t) { return t.h[1]; })});
        row("series deleted", {remove([](Ties &t) { return t.knee; }), remove([](Ties &t) { return t.empty; })});
        row("inserted and deleted", {[](Ties &t) {
                 AtlasImage *image = t.library.image(QStringLiteral("c"), t.hip, 0, 1);
                 t.library.context().deleteObject(image);
             }});
        row("renamed", {[](Ties &t) { t.a->setTitle(QString()); }, [](Ties &t) { t.untitled->setTitle(QStringLiteral("A")); },
                        [](Ties &t) { t.k[0]->setTitle(QStringLiteral("zz")); },
                        [](Ties &t) { t.hip->setTitle(QStringLiteral("Spine")); },
                        [](Ties &t) { t.empty->setTitle(QString()); }});
        row("dates and sort indices changed",
            {[](Ties &t) { t.b->setCreatedAt(Date{1}); }, [](Ties &t) { t.k[3]->setCreatedAt(Date{0}); },
             [](Ties &t) { t.knee->setCreatedAt(Date{7}); }, [](Ties &t) { t.h[1]->setSortIndex(-1); },
             [](Ties &t) { t.empty->setCreatedAt(Date{-2}); }});
        row("every date changed", {[](Ties &t) {
                 const QList<AtlasImage *> images = t.library.context().fetch<AtlasImage>();
                 for (qsizetype i = 0; i < images.size(); ++i)
                     images.at(i)->setCreatedAt(Date{double(10 - i % 3)});
             }});
        row("moved between series",
            {[](Ties &t) { t.k[0]->setSeries(t.hip); }, [](Ties &t) { t.h[0]->setSeries(nullptr); },
             [](Ties &t) { t.a->setSeries(t.empty); }, [](Ties &t) { t.k[1]->setSeries(t.empty); },
             [](Ties &t) {
                 t.h[1]->setSeries(t.knee);
                 t.h[1]->setCreatedAt(Date{4});
             }});
        row("rolled back", {image("z", 1, 9), remove([](Ties &t) { return t.hip; }),
                            [](Ties &t) { t.a->setSeries(t.knee); },
                            [](Ties &t) { t.library.context().rollback(); }, image("y", 2, 0)});
        row("saved between", {image("z", 1, 9), [](Ties &t) { t.library.save(); },
                              remove([](Ties &t) { return t.k[0]; }), [](Ties &t) { t.library.save(); }});
    }

    void takesInChangesAsAFreshDerivation()
    {
        QFETCH(QList<Step>, steps);
        QFETCH(bool, readBetween);
        Ties ties;
        ModelContext &context = ties.library.context();
        LibraryQuery query(context);
        LibraryFilters filtered;
        filtered.modality = Modality::mr;
        const auto compare = [&] {
            const QList<AtlasImage *> images = context.fetch<AtlasImage>(&AtlasImage::createdAt);
            const QList<Series *> series = context.fetch<Series>(&Series::createdAt);
            QCOMPARE(query.images(), images);
            QCOMPARE(query.allSeries(), series);
            QCOMPARE(entryObjects(query.entries(LibraryFilters())),
                     entryObjects(LibraryDerivation(LibraryFilters()).libraryEntries(images, series)));
            QCOMPARE(entryObjects(query.entries(filtered)),
                     entryObjects(LibraryDerivation(filtered).libraryEntries(images, series)));
        };
        compare();
        for (const Step &step : steps) {
            step(ties);
            if (readBetween) {
                compare();
                QCoreApplication::processEvents();
            }
        }
        compare();
    }

    // A series' list of images is made again when one of its images
    // changes what its row shows, and kept otherwise (what is kept for
    // the list, such as its row's caption, is kept with it).
    void keepsASeriesImagesListWhileItsImagesStay_data()
    {
        QTest::addColumn<Step>("step");
        QTest::addColumn<bool>("madeAgain");
        QTest::newRow("modality of one") << Step([](Ties &t) { t.k[0]->setModalityRaw(2); }) << true;
        QTest::newRow("sex of one") << Step([](Ties &t) { t.k[1]->setSexRaw(2); }) << true;
        QTest::newRow("sort index of one") << Step([](Ties &t) { t.k[3]->setSortIndex(9); }) << true;
        QTest::newRow("one deleted") << Step([](Ties &t) { t.library.context().deleteObject(t.k[2]); }) << true;
        QTest::newRow("series renamed") << Step([](Ties &t) { t.knee->setTitle(QStringLiteral("Ankle")); }) << false;
        QTest::newRow("series redated") << Step([](Ties &t) { t.knee->setCreatedAt(Date{8}); }) << false;
        QTest::newRow("another series' image") << Step([](Ties &t) { t.h[0]->setModalityRaw(2); }) << false;
        QTest::newRow("a new image elsewhere") << Step([](Ties &t) { t.library.image(QStringLiteral("n"), t.hip); })
                                               << false;
    }

    void keepsASeriesImagesListWhileItsImagesStay()
    {
        QFETCH(Step, step);
        QFETCH(bool, madeAgain);
        Ties ties;
        LibraryQuery query(ties.library.context());
        const auto kneeImages = [&] {
            for (const LibraryEntry &entry : query.entries(LibraryFilters())) {
                if (entry.isSeries() && entry.seriesGroup()->series == ties.knee)
                    return entry.seriesGroup()->images;
            }
            return QList<AtlasImage *>();
        };
        const QList<AtlasImage *> before = kneeImages();
        QVERIFY(!before.isEmpty());
        step(ties);
        QCOMPARE(kneeImages().constData() != before.constData(), madeAgain);
    }

    void rederivesOnlyWhatAWriteChanges_data()
    {
        QTest::addColumn<Write>("write");
        QTest::addColumn<QString>("search");
        QTest::addColumn<bool>("rederived");
        QTest::addColumn<bool>("imagesChanged");
        const auto row = [](const char *name, Write write, const char *search, bool rederived, bool images = false) {
            QTest::newRow(name) << write << QString::fromUtf8(search) << rederived << images;
        };
        // What no list shows: what the editor writes while dragging.
        row("point x while searching", [](Fixture &f) { f.point->setX(0.5); }, "men", false);
        row("region vertices", [](Fixture &f) { f.region->setVertices({{0.1, 0.2}}); }, "men", false);
        row("point links", [](Fixture &f) { f.point->setLinks(QList<AnnotationLink>{}); }, "men", false);
        row("region group", [](Fixture &f) { f.region->setGroup(QStringLiteral("Bones")); }, "", false);
        // Labels only matter to a search.
        row("point label", [](Fixture &f) { f.point->setLabel(QStringLiteral("Cruciate")); }, "", false);
        row("point label while searching", [](Fixture &f) { f.point->setLabel(QStringLiteral("Cruciate")); },
            "men", true);
        row("region label while searching", [](Fixture &f) { f.region->setLabel(QStringLiteral("Femur")); }, "t",
            true);
        row("new point", [](Fixture &f) { f.library.point(f.b, QStringLiteral("Apex")); }, "", false);
        row("new point while searching", [](Fixture &f) { f.library.point(f.b, QStringLiteral("Apex")); }, "ap",
            true);
        row("point moves while searching", [](Fixture &f) { f.point->setImage(f.b); }, "men", true);
        // What the lists show.
        row("image title", [](Fixture &f) { f.a->setTitle(QStringLiteral("c")); }, "", true);
        row("image metadata", [](Fixture &f) { f.b->setModalityRaw(2); }, "", true);
        row("image sort index", [](Fixture &f) { f.a->setSortIndex(4); }, "", true);
        row("image date", [](Fixture &f) { f.b->setCreatedAt(Date{-1}); }, "", true);
        row("image leaves its series", [](Fixture &f) { f.a->setSeries(nullptr); }, "", true);
        row("series title", [](Fixture &f) { f.series->setTitle(QStringLiteral("Hip")); }, "", true);
        row("image identifier", [](Fixture &f) { f.b->setId(QUuid::createUuid()); }, "", true, true);
        row("new image", [](Fixture &f) { f.library.image(QStringLiteral("c")); }, "", true, true);
        row("deleted image", [](Fixture &f) { f.library.context().deleteObject(f.b); }, "", true, true);
        row("deleted series", [](Fixture &f) { f.library.context().deleteObject(f.series); }, "", true, true);
        row("rollback", [](Fixture &f) { f.library.context().rollback(); }, "", true, false);
    }

    void rederivesOnlyWhatAWriteChanges()
    {
        QFETCH(Write, write);
        QFETCH(QString, search);
        QFETCH(bool, rederived);
        QFETCH(bool, imagesChanged);
        Fixture fixture;
        LibraryQuery query(fixture.library.context());
        QTRY_VERIFY(query.isSearchIndexReady());
        LibraryFilters filters;
        filters.searchText = search;
        const QSet<LibraryEntryID> everything{LibraryEntryID::series(fixture.series->id()),
                                              LibraryEntryID::image(fixture.b->id())};
        // Held copies keep the lists' storage, so a list made again is new.
        const QList<LibraryEntry> entries = query.entries(filters);
        const QList<AtlasImage *> visible = query.visibleImages(filters, everything);
        QCoreApplication::processEvents();
        QSignalSpy announced(&query, &LibraryQuery::libraryChanged);
        write(fixture);
        // Lists kept where nothing they show changed; else what a fresh
        // derivation lists (the library's own lists take in a change where
        // it goes, so what did not move is kept).
        if (!rederived) {
            QVERIFY(query.entries(filters).constData() == entries.constData());
            QVERIFY(query.visibleImages(filters, everything).constData() == visible.constData());
        } else {
            const LibraryDerivation derivation(filters);
            const QList<LibraryEntry> fresh =
                derivation.libraryEntries(fixture.library.context().fetch<AtlasImage>(&AtlasImage::createdAt),
                                          fixture.library.context().fetch<Series>(&Series::createdAt));
            QCOMPARE(entryTitles(query.entries(filters)), entryTitles(fresh));
            QCOMPARE(query.visibleImages(filters, everything), LibraryDerivation::visibleImages(fresh, everything));
        }
        QCoreApplication::processEvents();
        QCOMPARE(announced.count(), rederived ? 1 : 0);
        if (rederived)
            QCOMPARE(announced.first().first().toBool(), imagesChanged);
    }

    // A search typed while the texts are read from the store: a small
    // library waits for them, a large one searches in the background,
    // listing nothing (nothing of an earlier search either) until they are
    // in. Either way the search follows the labels it reads.
    void searchFollowsTheLabelsItReads_data()
    {
        QTest::addColumn<bool>("atOnce");
        QTest::newRow("a small library: at once") << true;
        QTest::newRow("a large library: in the background") << false;
    }

    void searchFollowsTheLabelsItReads()
    {
        QFETCH(bool, atOnce);
        Fixture f;
        const AnswersAtOnceUpTo reading(atOnce ? LibraryQuery::answersAtOnceUpTo() : 0);
        LibraryQuery query(f.library.context());
        LibraryFilters menisc;
        menisc.searchText = QStringLiteral("menisc");
        const QSet<LibraryEntryID> everything{LibraryEntryID::series(f.series->id()), LibraryEntryID::image(f.b->id())};
        QCOMPARE(query.visibleImages({}, everything).size(), 2);
        const auto found = [&](const QString &text) {
            LibraryFilters filters;
            filters.searchText = text;
            return entryTitles(query.entries(filters));
        };
        const auto typedWhileRead = [&] {
            QVERIFY(!query.isSearchIndexReady());
            if (atOnce) {
                QCOMPARE(found(QStringLiteral("menisc")), QStringList{QStringLiteral("Knee[a]")});
                QVERIFY(!query.isSearching(menisc));
                QVERIFY(query.isSearchIndexReady());
                return;
            }
            QVERIFY(found(QStringLiteral("menisc")).isEmpty());
            QVERIFY(query.isSearching(menisc));
            QVERIFY(query.visibleImages(menisc, everything).isEmpty());
            QVERIFY(!query.isSearching({}));
            QCOMPARE(entryTitles(query.entries({})), QStringList({"Knee[a]", "b"}));
            QVERIFY(found(QStringLiteral("menisc")).isEmpty());
        };
        QSignalSpy arrived(&query, &LibraryQuery::searchResultsArrived);
        typedWhileRead();
        if (!atOnce)
            QVERIFY(arrived.wait());
        QVERIFY(query.isSearchIndexReady());
        QVERIFY(!query.isSearching(menisc));
        QCOMPARE(found(QStringLiteral("menisc")), QStringList{QStringLiteral("Knee[a]")});
        QCOMPARE(query.visibleImages(menisc, everything), QList<AtlasImage *>{f.a});
        f.point->setLabel(QStringLiteral("Cruciate"));
        QVERIFY(found(QStringLiteral("menisc")).isEmpty());
        QCOMPARE(found(QStringLiteral("cruciate")), QStringList{QStringLiteral("Knee[a]")});
        f.point->setImage(f.b);
        QCOMPARE(found(QStringLiteral("cruciate")), QStringList{QStringLiteral("b")});
        f.library.context().deleteObject(f.point);
        QVERIFY(found(QStringLiteral("cruciate")).isEmpty());
        f.library.context().rollback();
        // Everything is read again, and the search answered once it is.
        typedWhileRead();
        if (!atOnce)
            QVERIFY(arrived.wait());
        QCOMPARE(found(QStringLiteral("menisc")), QStringList{QStringLiteral("Knee[a]")});
        QCOMPARE(arrived.count(), atOnce ? 0 : 2);
    }

    // While the context holds unsaved changes the store's texts would be
    // out of date: nothing is read until they are saved, and a search is
    // answered at once from the objects.
    void searchesBeforeASaveAreAnsweredAtOnce()
    {
        Fixture f;
        f.library.image(QStringLiteral("Menisc unsaved"), nullptr, 0, 3);
        LibraryQuery query(f.library.context());
        QSignalSpy arrived(&query, &LibraryQuery::searchResultsArrived);
        QCoreApplication::processEvents();
        LibraryFilters filters;
        filters.searchText = QStringLiteral("menisc");
        const QStringList expected{QStringLiteral("Knee[a]"), QStringLiteral("Menisc unsaved")};
        QCOMPARE(entryTitles(query.entries(filters)), expected);
        QVERIFY(!query.isSearchIndexReady());
        f.library.save();
        QTRY_VERIFY(query.isSearchIndexReady());
        QCOMPARE(arrived.count(), 0);
        filters.searchText = QStringLiteral("unsaved");
        QCOMPARE(entryTitles(query.entries(filters)), QStringList{QStringLiteral("Menisc unsaved")});
    }

    // A search of a large library is scanned on the computing pool: the
    // lists stay as they were until its results arrive, which are those a
    // search answered at once gives.
    void searchesScannedOffThreadGiveTheSameLists_data()
    {
        QTest::addColumn<QString>("search");
        QTest::newRow("label") << QStringLiteral("menisc");
        QTest::newRow("series title") << QStringLiteral("KNEE");
        QTest::newRow("standalone image") << QStringLiteral("b");
        QTest::newRow("region label") << QStringLiteral("tibia");
        QTest::newRow("nothing") << QStringLiteral("zzz");
        QTest::newRow("diacritics folded") << QStringLiteral("Ménisc");
    }

    void searchesScannedOffThreadGiveTheSameLists()
    {
        QFETCH(QString, search);
        Fixture f;
        LibraryFilters filters;
        filters.searchText = search;
        LibraryQuery atOnce(f.library.context());
        QTRY_VERIFY(atOnce.isSearchIndexReady());
        const QStringList expected = entryTitles(atOnce.entries(filters));
        const QStringList everything = entryTitles(atOnce.entries({}));

        const OffThreadScans offThread;
        LibraryQuery query(f.library.context());
        QCOMPARE(entryTitles(query.entries({})), everything);
        QSignalSpy arrived(&query, &LibraryQuery::searchResultsArrived);
        QVERIFY(query.entries(filters).isEmpty());
        QVERIFY(query.isSearching(filters));
        QVERIFY(arrived.wait());
        QVERIFY(!query.isSearching(filters));
        QCOMPARE(entryTitles(query.entries(filters)), expected);
        QCOMPARE(arrived.count(), 1);
    }

    // Before a search of a large library is scanned, where the index keeps
    // the texts of the listed images is looked up a part per turn of the
    // event loop; a change between two parts starts the look-up again.
    void lookUpsInPartsGiveTheSameLists_data()
    {
        QTest::addColumn<int>("perTurn");
        QTest::addColumn<QString>("change"); // between the first part and the next
        QTest::newRow("one per turn") << 1 << QString();
        QTest::newRow("two per turn") << 2 << QString();
        QTest::newRow("all in one turn") << 100 << QString();
        QTest::newRow("a label changes between parts") << 1 << QStringLiteral("label");
        QTest::newRow("an image comes between parts") << 2 << QStringLiteral("image");
        QTest::newRow("a series is renamed between parts") << 1 << QStringLiteral("series");
    }

    void lookUpsInPartsGiveTheSameLists()
    {
        QFETCH(int, perTurn);
        QFETCH(QString, change);
        Fixture f;
        for (const char *title : {"c", "d", "e", "f"})
            f.library.point(f.library.image(QString::fromLatin1(title), f.series, 0, 3), QStringLiteral("Meniscus"));
        f.library.image(QStringLiteral("g"), nullptr, 0, 4);
        f.library.save();
        LibraryFilters filters;
        filters.searchText = QStringLiteral("menisc");
        LibraryQuery first(f.library.context());
        QTRY_VERIFY(first.isSearchIndexReady());
        const QStringList everything = entryTitles(first.entries({}));

        const OffThreadScans offThread;
        const LookUpsPerTurn parts(perTurn);
        LibraryQuery query(f.library.context());
        QCOMPARE(entryTitles(query.entries({})), everything);
        QSignalSpy arrived(&query, &LibraryQuery::searchResultsArrived);
        QVERIFY(query.entries(filters).isEmpty());
        if (change == QLatin1String("label")) {
            f.point->setLabel(QStringLiteral("Cruciate"));
        } else if (change == QLatin1String("image")) {
            f.library.point(f.library.image(QStringLiteral("h"), nullptr, 0, 5), QStringLiteral("Meniscal tear"));
            f.library.save();
        } else if (change == QLatin1String("series")) {
            f.series->setTitle(QStringLiteral("Meniscus series"));
        }
        QVERIFY(arrived.wait());
        QCOMPARE(entryTitles(query.entries(filters)), entryTitles(entries(f.library, filters)));
        QVERIFY(!entryTitles(query.entries(filters)).isEmpty());
    }

    // Typing on while a scan runs: the scan under way never answers a newer
    // search, what was typed last is scanned next, and a scan's results are
    // kept until what it read changes.
    void newerSearchesSupersedeScansUnderWay()
    {
        Fixture f;
        const auto searched = [](const QString &text) {
            LibraryFilters filters;
            filters.searchText = text;
            return filters;
        };
        LibraryQuery atOnce(f.library.context());
        QTRY_VERIFY(atOnce.isSearchIndexReady());
        const auto found = [&](const QString &text) { return entryTitles(atOnce.entries(searched(text))); };
        const QStringList everything{"Knee[a]", "b"};
        QCOMPARE(found(QStringLiteral("menisc")), QStringList{QStringLiteral("Knee[a]")});
        QCOMPARE(found(QStringLiteral("zzz")), QStringList());

        const OffThreadScans offThread;
        LibraryQuery query(f.library.context());
        QCOMPARE(entryTitles(query.entries({})), everything);
        QSignalSpy arrived(&query, &LibraryQuery::searchResultsArrived);
        QVERIFY(query.entries(searched(QStringLiteral("menisc"))).isEmpty());
        QVERIFY(query.entries(searched(QStringLiteral("me"))).isEmpty());
        QVERIFY(query.entries(searched(QStringLiteral("zzz"))).isEmpty());
        QVERIFY(query.isSearching(searched(QStringLiteral("zzz"))));
        QVERIFY(arrived.wait());
        QCOMPARE(entryTitles(query.entries(searched(QStringLiteral("zzz")))), QStringList());
        QTest::qWait(50);
        QCOMPARE(arrived.count(), 1);
        QCOMPARE(entryTitles(query.entries(searched(QStringLiteral("zzz")))), QStringList());
        // The scan first under way was kept: answered at once; one never
        // scanned is not.
        QCOMPARE(entryTitles(query.entries(searched(QStringLiteral("menisc")))), QStringList{QStringLiteral("Knee[a]")});
        QVERIFY(query.entries(searched(QStringLiteral("me"))).isEmpty());
        QVERIFY(query.isSearching(searched(QStringLiteral("me"))));
        QVERIFY(arrived.wait());
        QCOMPARE(entryTitles(query.entries(searched(QStringLiteral("me")))), found(QStringLiteral("me")));
        // A label changes what the kept scans found.
        f.point->setLabel(QStringLiteral("Cruciate"));
        QVERIFY(query.entries(searched(QStringLiteral("menisc"))).isEmpty());
        QVERIFY(arrived.wait());
        QCOMPARE(entryTitles(query.entries(searched(QStringLiteral("menisc")))), found(QStringLiteral("menisc")));
        QVERIFY(found(QStringLiteral("menisc")).isEmpty());
        QCOMPARE(arrived.count(), 3);
        // A search cleared while it is scanned is not heard of again: the
        // window that still waits for the same scan hears when it ends.
        LibraryQuery other(f.library.context());
        QSignalSpy otherArrived(&other, &LibraryQuery::searchResultsArrived);
        QVERIFY(query.entries(searched(QStringLiteral("cruc"))).isEmpty());
        QVERIFY(other.entries(searched(QStringLiteral("cruc"))).isEmpty());
        QCOMPARE(entryTitles(query.entries({})), everything);
        QVERIFY(!query.isSearching({}));
        QVERIFY(otherArrived.wait());
        QCoreApplication::processEvents();
        QCOMPARE(arrived.count(), 3);
    }

    // The library changes after a scan has started and before its result is
    // in (it comes on a later turn of the event loop): that result is not
    // kept, and the search, once answered, lists what a fresh one does.
    void aScanUnderWayWhenTheLibraryChangesIsNotKept_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<Write>("write");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("a label no longer matches")
            << "menisc" << Write([](Fixture &f) { f.point->setLabel(QStringLiteral("Cruciate")); }) << QStringList();
        QTest::newRow("a new label matches")
            << "menisc" << Write([](Fixture &f) { f.library.point(f.b, QStringLiteral("Meniscal tear")); })
            << QStringList({"Knee[a]", "b"});
        QTest::newRow("a new image matches") << "tibia" << Write([](Fixture &f) {
            f.library.region(f.library.image(QStringLiteral("c"), nullptr, 0, 3), QStringLiteral("Tibia"));
        }) << QStringList({"Knee[a]", "c"});
        QTest::newRow("the matching image goes")
            << "menisc" << Write([](Fixture &f) { f.library.context().deleteObject(f.a); }) << QStringList();
        QTest::newRow("the series is renamed")
            << "knee" << Write([](Fixture &f) { f.series->setTitle(QStringLiteral("Hip")); }) << QStringList();
        QTest::newRow("an image renamed and saved") << "menisc" << Write([](Fixture &f) {
            f.b->setTitle(QStringLiteral("Meniscus b"));
            f.library.save();
        }) << QStringList({"Knee[a]", "Meniscus b"});
    }

    void aScanUnderWayWhenTheLibraryChangesIsNotKept()
    {
        QFETCH(QString, search);
        QFETCH(Write, write);
        QFETCH(QStringList, expected);
        Fixture f;
        const OffThreadScans offThread;
        LibraryQuery query(f.library.context());
        QTRY_VERIFY(query.isSearchIndexReady());
        QCOMPARE(entryTitles(query.entries({})), QStringList({"Knee[a]", "b"}));
        QSignalSpy arrived(&query, &LibraryQuery::searchResultsArrived);
        LibraryFilters filters;
        filters.searchText = search;
        QVERIFY(query.entries(filters).isEmpty());
        write(f);
        QVERIFY(arrived.wait());
        QCOMPARE(entryTitles(query.entries(filters)), entryTitles(entries(f.library, filters)));
        QCOMPARE(entryTitles(query.entries(filters)), expected);
        QCOMPARE(arrived.count(), 1);
    }

    // The queries of one context (the windows and tabs of one library) read
    // it once: the same images, entries and search index; each keeps its
    // own lists and hears of what changes them.
    void windowsShareTheLibrary()
    {
        Fixture f;
        LibraryQuery first(f.library.context());
        QSignalSpy read(&first.searchIndex(), &LibrarySearchIndex::ready);
        QVERIFY(read.wait());
        LibraryQuery second(f.library.context());
        QCOMPARE(&second.searchIndex(), &first.searchIndex());
        QVERIFY(second.isSearchIndexReady());
        QCOMPARE(second.images().constData(), first.images().constData());
        LibraryFilters menisc;
        menisc.searchText = QStringLiteral("menisc");
        QCOMPARE(entryTitles(second.entries(menisc)), QStringList{QStringLiteral("Knee[a]")});
        QCOMPARE(entryTitles(first.entries({})), QStringList({"Knee[a]", "b"}));
        QSignalSpy firstHeard(&first, &LibraryQuery::libraryChanged);
        QSignalSpy secondHeard(&second, &LibraryQuery::libraryChanged);
        // A label reaches only the list made for a search.
        f.point->setLabel(QStringLiteral("Cruciate"));
        QVERIFY(secondHeard.wait());
        QCOMPARE(firstHeard.count(), 0);
        QVERIFY(second.entries(menisc).isEmpty());
        QCOMPARE(entryTitles(first.entries({})), QStringList({"Knee[a]", "b"}));
        f.library.image(QStringLiteral("c"), nullptr, 0, 3);
        QVERIFY(firstHeard.wait());
        QCOMPARE(secondHeard.count(), 2);
        QCOMPARE(firstHeard.first().first().toBool(), true);
        QCOMPARE(entryTitles(first.entries({})), QStringList({"Knee[a]", "b", "c"}));
        QCOMPARE(second.images().constData(), first.images().constData());
        // A window closing leaves the others as they were; another library
        // has an index of its own.
        {
            LibraryQuery third(f.library.context());
            QCOMPARE(&third.searchIndex(), &first.searchIndex());
        }
        QCOMPARE(entryTitles(second.entries(menisc)), QStringList());
        TestLibrary other;
        LibraryQuery elsewhere(other.context());
        QVERIFY(&elsewhere.searchIndex() != &first.searchIndex());
        QVERIFY(!elsewhere.isSearchIndexReady());
        QCOMPARE(read.count(), 1);
    }
};

QTEST_GUILESS_MAIN(LibraryDerivationTest)
#include "tst_libraryderivation.moc"
