#include "ShellTestSupport.h"

#include "shell/LibraryDerivation.h"
#include "shell/LibraryQuery.h"

#include <QSignalSpy>
#include <QTest>

#include <functional>

namespace {

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

QStringList entryTitles(const QList<LibraryEntry> &entries)
{
    QStringList titles;
    for (const LibraryEntry &entry : entries)
        titles << entry.title();
    return titles;
}

} // namespace
Q_DECLARE_METATYPE(Write)

// The lists a window reads: kept until something they show changes, and
// each change announced once.
class LibraryQueryTest : public QObject {
    Q_OBJECT
private slots:
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
        QCOMPARE(query.entries(filters).constData() != entries.constData(), rederived);
        QCOMPARE(query.visibleImages(filters, everything).constData() != visible.constData(), rederived);
        QCoreApplication::processEvents();
        QCOMPARE(announced.count(), rederived ? 1 : 0);
        if (rederived)
            QCOMPARE(announced.first().first().toBool(), imagesChanged);
    }

    void searchFollowsTheLabelsItReads()
    {
        Fixture f;
        LibraryQuery query(f.library.context());
        const auto found = [&](const QString &text) {
            LibraryFilters filters;
            filters.searchText = text;
            return entryTitles(query.entries(filters));
        };
        // Typed at once: the search waits for the texts read from the store.
        QVERIFY(!query.isSearchIndexReady());
        QCOMPARE(found(QStringLiteral("menisc")), QStringList{QStringLiteral("Knee")});
        QVERIFY(query.isSearchIndexReady());
        f.point->setLabel(QStringLiteral("Cruciate"));
        QVERIFY(found(QStringLiteral("menisc")).isEmpty());
        QCOMPARE(found(QStringLiteral("cruciate")), QStringList{QStringLiteral("Knee")});
        f.point->setImage(f.b);
        QCOMPARE(found(QStringLiteral("cruciate")), QStringList{QStringLiteral("b")});
        f.series->setTitle(QStringLiteral("Hip"));
        QCOMPARE(found(QStringLiteral("hip")), QStringList{QStringLiteral("Hip")});
        f.b->setTitle(QStringLiteral("Pelvis"));
        QCOMPARE(found(QStringLiteral("pelv")), QStringList{QStringLiteral("Pelvis")});
        AtlasImage *c = f.library.image(QStringLiteral("Pelvic floor"), nullptr, 0, 3);
        QCOMPARE(found(QStringLiteral("pelv")), (QStringList{"Pelvis", "Pelvic floor"}));
        f.library.context().deleteObject(f.point);
        QVERIFY(found(QStringLiteral("cruciate")).isEmpty());
        f.library.context().rollback();
        QCOMPARE(found(QStringLiteral("menisc")), QStringList{QStringLiteral("Knee")});
        QVERIFY(c->state() == ModelObject::State::detached);
        QVERIFY(found(QStringLiteral("floor")).isEmpty());
    }
};

QTEST_GUILESS_MAIN(LibraryQueryTest)
#include "tst_libraryquery.moc"
