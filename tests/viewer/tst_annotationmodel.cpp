#include "AnnotationFixture.h"
#include "model/StoreTestSupport.h"

#include "viewer/AnnotationGroupSummary.h"
#include "viewer/AnnotationRows.h"
#include "viewer/AnnotationViewState.h"
#include "viewer/ImageAnnotations.h"

#include <QSignalSpy>
#include <QTest>

#include <functional>

// What the annotation views are shown: the observed annotations of one
// image, the screen's choices, the drawer's rows and the group switches.
class AnnotationModelTest : public QObject {
    Q_OBJECT

    using Change = std::function<void(AnnotationFixture &, AnnotationFixture &other)>;

private slots:
    void reportsChangesOfItsImageOnly_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<bool>("reported");
        QTest::addColumn<bool>("listed"); // whether lists need to follow
        QTest::addColumn<int>("points");
        QTest::newRow("a point added")
            << Change([](auto &f, auto &) { f.point("New", {}, 0.5, 0.5); }) << true << true << 2;
        QTest::newRow("a point taken away")
            << Change([](auto &f, auto &) { f.points.front()->setImage(nullptr); }) << true << true << 0;
        QTest::newRow("a label") << Change([](auto &f, auto &) { f.points.front()->setLabel("B"); }) << true << true
                                 << 1;
        QTest::newRow("a position") << Change([](auto &f, auto &) { f.points.front()->setX(0.9); }) << true << false
                                    << 1;
        QTest::newRow("a region's corners moved")
            << Change([](auto &f, auto &) { f.regions.front()->setVertices(AnnotationFixture::square(0.2, 0.2, 0.1)); })
            << true << false << 1;
        QTest::newRow("a region's corner taken away")
            << Change([](auto &f, auto &) { f.regions.front()->setVertices({{0, 0}, {1, 0}, {1, 1}}); }) << true
            << true << 1;
        QTest::newRow("a region's group")
            << Change([](auto &f, auto &) { f.regions.front()->addGroup("Bones"); }) << true << true << 1;
        QTest::newRow("a point moved here from another image")
            << Change([](auto &f, auto &other) { other.points.front()->setImage(f.image.get()); }) << true << true << 2;
        QTest::newRow("another image's point")
            << Change([](auto &, auto &other) { other.points.front()->setLabel("X"); }) << false << false << 1;
        QTest::newRow("the image's title")
            << Change([](auto &f, auto &) { f.image->setTitle("T"); }) << false << false << 1;
    }
    void reportsChangesOfItsImageOnly()
    {
        QFETCH(Change, change);
        QFETCH(bool, reported);
        QFETCH(bool, listed);
        QFETCH(int, points);
        AnnotationFixture fixture, other;
        fixture.point("A", {}, 0.1, 0.1);
        fixture.region("R", {}, AnnotationFixture::square(0.5, 0.5, 0.2));
        other.point("O", {}, 0.3, 0.3);
        ImageAnnotations annotations;
        annotations.setImage(fixture.image.get());
        QSignalSpy changed(&annotations, &ImageAnnotations::changed);
        QSignalSpy listing(&annotations, &ImageAnnotations::listingChanged);
        change(fixture, other);
        QCOMPARE(!changed.isEmpty(), reported);
        QCOMPARE(!listing.isEmpty(), listed);
        QCOMPARE(annotations.points().size(), points);
        // A point added later is watched too.
        if (annotations.points().size() == 2) {
            changed.clear();
            annotations.points().last()->setLabel("Watched");
            QVERIFY(!changed.isEmpty());
        }
    }

    void followsARollbackAndForgetsAnImageItLeft()
    {
        auto container = makeTestContainer();
        ModelContext &context = container->mainContext();
        AnnotationFixture fixture;
        fixture.point("Saved", {}, 0.1, 0.1);
        context.insert(fixture.image);
        context.save();
        ImageAnnotations annotations;
        annotations.setImage(fixture.image.get());
        fixture.point("Unsaved", {}, 0.2, 0.2);
        QCOMPARE(annotations.points().size(), 2);
        QSignalSpy changed(&annotations, &ImageAnnotations::changed);
        context.rollback();
        QVERIFY(!changed.isEmpty());
        QCOMPARE(annotations.points().size(), 1);

        annotations.setImage(nullptr);
        changed.clear();
        fixture.points.front()->setLabel("Elsewhere");
        QVERIFY(changed.isEmpty());
        QVERIFY(annotations.points().isEmpty());
    }

    // Its owner may be halfway through its own destruction when this
    // goes: nothing is reported then, and nothing is watched afterwards.
    void goesQuietly()
    {
        AnnotationFixture fixture;
        fixture.point("A", {}, 0.1, 0.1);
        fixture.region("R", {}, AnnotationFixture::square(0.5, 0.5, 0.2));
        auto *annotations = new ImageAnnotations;
        annotations->setImage(fixture.image.get());
        int reports = 0;
        QObject listener;
        connect(annotations, &ImageAnnotations::changed, &listener, [&] { ++reports; });
        connect(annotations, &ImageAnnotations::listingChanged, &listener, [&] { ++reports; });
        delete annotations;
        QCOMPARE(reports, 0);
        fixture.points.front()->setLabel("After");
        fixture.regions.front()->setVertices({{0, 0}, {1, 0}, {1, 1}});
        fixture.point("Added", {}, 0.2, 0.2);
        QCOMPARE(reports, 0);
    }

    void linksContent_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("title");
        QTest::newRow("labelled") << "Aorta" << "Aorta";
        QTest::newRow("empty label") << "" << "Unlabelled";
        QTest::newRow("blank label kept") << "  " << "  ";
    }
    void linksContent()
    {
        QFETCH(QString, label);
        QFETCH(QString, title);
        AnnotationFixture fixture;
        const QList<AnnotationLink> links{webLink("Wiki", "en.wikipedia.org/wiki/Aorta"),
                                          webLink("Script", "javascript:alert(1)"),
                                          webLink("Local", "file:///etc/passwd"), webLink("Mail", "mailto:a@b.org"),
                                          webLink("Nothing", "   ")};
        const QUuid id = fixture.region(label, {}, AnnotationFixture::square(0.5, 0.5, 0.2), links)->id();
        ImageAnnotations annotations;
        annotations.setImage(fixture.image.get());
        const std::optional<AnnotationLinksContent> content = annotations.linksContent(id);
        QVERIFY(content);
        QCOMPARE(content->title, title);
        // Only addresses that open in a browser or mail program are offered.
        QCOMPARE(content->links, (QList<AnnotationLink>{links[0], links[3]}));
        QVERIFY(!annotations.linksContent(QUuid::createUuid()));
    }

    void viewStateNotifiesRealChangesOnly()
    {
        AnnotationViewState state;
        QSignalSpy groups(&state, &AnnotationViewState::disabledGroupsChanged);
        QSignalSpy highlight(&state, &AnnotationViewState::highlightedIDChanged);
        const QUuid id = QUuid::createUuid();
        state.setHighlightedID(id);
        state.setHighlightedID(id);
        state.toggleGroup("Bones");
        state.setDisabledGroups({"Bones"});
        QCOMPARE(state.disabledGroups(), QSet<QString>{"Bones"});
        state.toggleGroup("Bones");
        QVERIFY(state.disabledGroups().isEmpty());
        QCOMPARE(groups.size(), 2);
        state.toggleGroup("Vessels");
        state.reset();
        QCOMPARE(groups.size(), 4);
        QCOMPARE(highlight.size(), 2);
        QCOMPARE(state.highlightedID(), std::nullopt);
    }

    void rows_data()
    {
        QTest::addColumn<QStringList>("disabled");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("empty");
        // Points: "b" (Bones), "" (ungrouped, shown as Point), "Slice 10"
        // (Bones, Vessels), "Slice 2" (", ,"); regions: "a" (Vessels),
        // "b" (ungrouped), two corners "Line".
        QTest::newRow("all") << QStringList{} << QStringList{"a", "b", "b", "Point", "Slice 2", "Slice 10"} << "";
        QTest::newRow("one of two groups off") << QStringList{"Bones"}
                                               << QStringList{"a", "b", "Point", "Slice 2", "Slice 10"} << "";
        QTest::newRow("both groups of one off")
            << QStringList{"Bones", "Vessels"} << QStringList{"b", "Point", "Slice 2"} << "";
        QTest::newRow("ungrouped off") << QStringList{"Ungrouped"} << QStringList{"a", "b", "Slice 10"} << "";
        QTest::newRow("everything off") << QStringList{"Bones", "Vessels", "Ungrouped"} << QStringList{}
                                        << "Annotations Hidden";
    }
    void rows()
    {
        QFETCH(QStringList, disabled);
        QFETCH(QStringList, names);
        QFETCH(QString, empty);
        AnnotationFixture fixture;
        const QUuid pointB = fixture.point("b", "Bones", 0, 0)->id();
        fixture.point("", "", 0, 0);
        fixture.point("Slice 10", "Bones, Vessels", 0, 0);
        fixture.point("Slice 2", ", ,", 0, 0, {webLink("", "example.org"), webLink("", "javascript:x")});
        fixture.region("a", "Vessels", AnnotationFixture::square(0.5, 0.5, 0.1));
        fixture.region("b", "", AnnotationFixture::square(0.5, 0.5, 0.1));
        fixture.region("Line", "", {{0, 0}, {1, 1}});
        const QList<AnnotationRow> rows = annotationRows(fixture.image->points(), fixture.image->regions(),
                                                         QSet<QString>(disabled.begin(), disabled.end()));
        QStringList shown;
        for (const AnnotationRow &row : rows)
            shown.append(row.displayName());
        QCOMPARE(shown, names);
        for (const AnnotationRow &row : rows) {
            if (row.label == "Slice 10")
                QCOMPARE(row.tags, QStringList({"Bones", "Vessels"}));
            if (row.label == "Slice 2")
                QVERIFY(row.tags.isEmpty() && row.links.size() == 1);
        }
        // Of two equal names the point comes first.
        if (shown.count("b") == 2)
            QCOMPARE(rows[shown.indexOf("b")].id, pointB);
        if (rows.isEmpty()) {
            const qsizetype listable = listableAnnotationCount(fixture.image->points(), fixture.image->regions());
            QCOMPARE(emptyAnnotationList(listable).title, empty);
        }
    }

    void emptyListWithoutListableAnnotations()
    {
        AnnotationFixture fixture;
        fixture.region("Two corners", "", {{0, 0}, {1, 1}});
        const qsizetype listable = listableAnnotationCount(fixture.image->points(), fixture.image->regions());
        QCOMPARE(emptyAnnotationList(listable).title, QStringLiteral("No Annotations"));
    }

    void groupSummaries_data()
    {
        QTest::addColumn<QStringList>("pointGroups");
        QTest::addColumn<QStringList>("regionGroups");
        QTest::addColumn<QStringList>("chips");
        QTest::newRow("nothing") << QStringList{} << QStringList{} << QStringList{};
        QTest::newRow("all ungrouped") << QStringList{"", " , "} << QStringList{""} << QStringList{"Ungrouped 3"};
        QTest::newRow("sorted, counted once per group")
            << QStringList{"B, A"} << QStringList{"A"} << QStringList{"A 2", "B 1"};
        QTest::newRow("numbers by value, case ignored")
            << QStringList{"level 10", "Level 2", "bones"} << QStringList{}
            << QStringList{"bones 1", "Level 2 1", "level 10 1"};
        QTest::newRow("a group named Ungrouped and ungrouped ones are one chip")
            << QStringList{"Ungrouped", "", "Bones"} << QStringList{"Ungrouped, Bones"}
            << QStringList{"Bones 2", "Ungrouped 3"};
        QTest::newRow("a group named Ungrouped alone") << QStringList{"Ungrouped"} << QStringList{"Zeta"}
                                                       << QStringList{"Ungrouped 1", "Zeta 1"};
        QTest::newRow("a region of two corners counts")
            << QStringList{} << QStringList{"Edge"} << QStringList{"Edge 1"};
    }
    void groupSummaries()
    {
        QFETCH(QStringList, pointGroups);
        QFETCH(QStringList, regionGroups);
        QFETCH(QStringList, chips);
        AnnotationFixture fixture;
        for (const QString &group : pointGroups)
            fixture.point({}, group, 0, 0);
        for (const QString &group : regionGroups)
            fixture.region({}, group, {{0, 0}, {1, 1}});
        QStringList shown;
        const auto summaries = ::groupSummaries(fixture.image->points(), fixture.image->regions());
        for (const AnnotationGroupSummary &summary : summaries)
            shown.append(QStringLiteral("%1 %2").arg(summary.name).arg(summary.count));
        QCOMPARE(shown, chips);
    }

    // A chip's count is written as the user's locale writes numbers.
    void chipCountsFollowTheLocale_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("shown");
        QTest::newRow("English, small") << "en_US" << 7 << "7";
        QTest::newRow("English, thousands") << "en_US" << 1234 << "1,234";
        QTest::newRow("German, thousands") << "de_DE" << 1234 << "1.234";
        QTest::newRow("Indian grouping") << "en_IN" << 1234567 << "12,34,567";
        QTest::newRow("Arabic digits") << "ar_EG" << 7 << QString(QChar(0x0667));
    }
    void chipCountsFollowTheLocale()
    {
        QFETCH(QString, locale);
        QFETCH(int, count);
        const QLocale before;
        QLocale::setDefault(QLocale(locale));
        const QString shown = AnnotationGroupSummary{QStringLiteral("Bones"), count}.countText();
        QLocale::setDefault(before);
        QTEST(shown, "shown");
    }
};

QTEST_MAIN(AnnotationModelTest)
#include "tst_annotationmodel.moc"
