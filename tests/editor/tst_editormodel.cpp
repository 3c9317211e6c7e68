#include "EditorLibrary.h"

#include "editor/AnnotationEditorModel.h"
#include "editor/AnnotationEdits.h"
#include "editor/RegionGeometry.h"

#include <QSignalSpy>
#include <QSet>
#include <QTest>

#include <functional>

using Vertices = QList<Vertex>;
using ModelStep = std::function<void(AnnotationEditorModel &)>;
Q_DECLARE_METATYPE(ModelStep)
Q_DECLARE_METATYPE(std::optional<EditTool>)

namespace {

QString described(const std::optional<EditorSelection> &selection)
{
    if (!selection)
        return QStringLiteral("none");
    static const char *kinds[] = {"point", "region", "vertex"};
    return QString::fromLatin1(kinds[int(selection->kind)])
        + (selection->kind == EditorSelection::Kind::vertex ? QString::number(selection->index) : QString());
}

} // namespace

// The editor's rules without its widgets: tools, selection, the region
// rules, the commands of the bars and alerts, and what reaches the store.
class EditorModelTest : public QObject {
    Q_OBJECT

private slots:
    void toolRawValues()
    {
        QStringList ids;
        for (EditTool tool : allEditTools())
            ids << rawValue(tool);
        QCOMPARE(ids, QStringList({"select", "point", "region"}));
        QCOMPARE(editToolFromRawValue("region"), std::optional(EditTool::region));
        QCOMPARE(editToolFromRawValue("Select"), std::nullopt);
        QCOMPARE(editToolFromRawValue(""), std::nullopt);
        // Tools are keys: equal tools meet in a set, different ones stay apart.
        QSet<EditTool> tools;
        for (EditTool tool : allEditTools()) {
            tools.insert(tool);
            tools.insert(*editToolFromRawValue(rawValue(tool)));
        }
        QCOMPARE(tools.size(), 3);
        for (EditTool tool : allEditTools())
            QVERIFY(tools.contains(tool));
    }

    void initialSelection_data()
    {
        QTest::addColumn<int>("which"); // 0 the point, 1 the region, 2 another image's, 3 none
        QTest::addColumn<QString>("selected");
        QTest::newRow("point") << 0 << "point";
        QTest::newRow("region, never a corner") << 1 << "region";
        QTest::newRow("not this image's") << 2 << "none";
        QTest::newRow("nothing highlighted") << 3 << "none";
    }
    void initialSelection()
    {
        QFETCH(int, which);
        QFETCH(QString, selected);
        EditorLibrary library;
        const QUuid ids[] = {library.point("P", 0.5, 0.5)->id(),
                             library.region("R", EditorLibrary::square(0.5, 0.5, 0.2))->id(), QUuid::createUuid()};
        const std::optional<QUuid> highlighted = which < 3 ? std::optional(ids[which]) : std::nullopt;
        QCOMPARE(described(EditorSelection::forAnnotation(highlighted, *library.image)), selected);
    }

    void regionRules_data()
    {
        QTest::addColumn<Vertices>("vertices");
        QTest::addColumn<int>("edge");
        QTest::addColumn<int>("midpoints");
        QTest::addColumn<std::optional<Vertices>>("inserted");
        QTest::addColumn<std::optional<Vertices>>("removed"); // corner 1 removed

        const Vertices square = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        QTest::newRow("closing edge appends") << square << 3 << 4
                                              << std::optional(Vertices{{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0.5}})
                                              << std::optional(Vertices{{0, 0}, {1, 1}, {0, 1}});
        QTest::newRow("triangle") << Vertices{{0, 0}, {1, 0}, {0, 1}} << 0 << 3
                                  << std::optional(Vertices{{0, 0}, {0.5, 0}, {1, 0}, {0, 1}})
                                  << std::optional<Vertices>();
        QTest::newRow("edge outside") << square << 4 << 4 << std::optional<Vertices>()
                                      << std::optional(Vertices{{0, 0}, {1, 1}, {0, 1}});
        QTest::newRow("two corners") << Vertices{{0, 0}, {1, 0}} << 1 << 0
                                     << std::optional(Vertices{{0, 0}, {1, 0}, {0.5, 0}})
                                     << std::optional<Vertices>();
    }
    void regionRules()
    {
        QFETCH(Vertices, vertices);
        QFETCH(int, edge);
        QFETCH(int, midpoints);
        QCOMPARE(RegionGeometry::edgeMidpoints(vertices).size(), midpoints);
        QTEST(RegionGeometry::insertingMidpoint(vertices, edge), "inserted");
        QTEST(RegionGeometry::removingVertex(vertices, 1), "removed");
    }

    void translation_data()
    {
        QTest::addColumn<Vertices>("baseline");
        QTest::addColumn<QPointF>("delta");
        QTest::addColumn<Vertices>("moved");
        const Vertices band = {{0.1, 0.4}, {0.3, 0.4}, {0.3, 0.6}};
        QTest::newRow("stops at the right edge") << band << QPointF(0.9, 0) << Vertices{{0.8, 0.4}, {1, 0.4}, {1, 0.6}};
        QTest::newRow("each axis apart") << band << QPointF(-0.5, 0.1)
                                         << Vertices{{0, 0.5}, {0.2, 0.5}, {0.2, 0.7}};
        QTest::newRow("stops at the bottom edge") << band << QPointF(0, 0.9) << Vertices{{0.1, 0.8}, {0.3, 0.8}, {0.3, 1}};
        QTest::newRow("stops at the top edge") << band << QPointF(0.05, -0.9)
                                               << Vertices{{0.15, 0}, {0.35, 0}, {0.35, 0.2}};
        QTest::newRow("taller than the image") << Vertices{{0.5, -0.2}, {0.5, 1.2}, {0.6, 0.5}} << QPointF(0, 0.1)
                                               << Vertices{{0.5, -0.2}, {0.5, 1.2}, {0.6, 0.5}};
        QTest::newRow("wider than the image") << Vertices{{-0.2, 0.5}, {1.2, 0.5}, {0.5, 0.6}} << QPointF(0.1, 0)
                                              << Vertices{{-0.2, 0.5}, {1.2, 0.5}, {0.5, 0.6}};
    }
    void translation()
    {
        QFETCH(Vertices, baseline);
        QFETCH(QPointF, delta);
        QFETCH(Vertices, moved);
        const Vertices result = RegionGeometry::translated(baseline, delta);
        QCOMPARE(result.size(), moved.size());
        for (qsizetype i = 0; i < moved.size(); ++i) {
            QVERIFY(qAbs(result[i].x - moved[i].x) < 1e-12 && qAbs(result[i].y - moved[i].y) < 1e-12);
        }
    }

    // A region's move in image units: the pointer's movement divided by the
    // picture's size at the zoom in effect.
    void unitTranslation_data()
    {
        QTest::addColumn<QSizeF>("picture");
        QTest::addColumn<double>("zoom");
        QTest::addColumn<QPointF>("movement");
        QTest::addColumn<QPointF>("translation");
        QTest::newRow("100 points at 2x over 500")
            << QSizeF(500, 400) << 2.0 << QPointF(100, -40) << QPointF(0.1, -0.05);
        QTest::newRow("unzoomed") << QSizeF(800, 600) << 1.0 << QPointF(-80, 60) << QPointF(-0.1, 0.1);
        QTest::newRow("no picture") << QSizeF(0, 0) << 1.0 << QPointF(100, 100) << QPointF(0, 0);
        QTest::newRow("no zoom") << QSizeF(500, 400) << 0.0 << QPointF(100, 100) << QPointF(0, 0);
    }
    void unitTranslation()
    {
        QFETCH(QSizeF, picture);
        QFETCH(double, zoom);
        QFETCH(QPointF, movement);
        // The picture fills a viewport of its own size.
        const CanvasGeometry geometry{FittedImage(picture, picture), ZoomPanTransform{zoom, {0, 0}, picture}};
        const QPointF result = RegionGeometry::unitTranslation(movement, geometry);
        QFETCH(QPointF, translation);
        QVERIFY2(qAbs(result.x() - translation.x()) < 1e-12 && qAbs(result.y() - translation.y()) < 1e-12,
                 qPrintable(QStringLiteral("(%1, %2)").arg(result.x()).arg(result.y())));
    }

    void toolChanges_data()
    {
        QTest::addColumn<EditTool>("from");
        QTest::addColumn<EditTool>("to");
        QTest::addColumn<bool>("draftKept");
        QTest::addColumn<bool>("selectionKept");
        QTest::newRow("region to select") << EditTool::region << EditTool::select << false << true;
        QTest::newRow("region to point") << EditTool::region << EditTool::point << false << false;
        QTest::newRow("select to region") << EditTool::select << EditTool::region << false << false;
        // Choosing the region tool again while drawing keeps the corners placed so far.
        QTest::newRow("region chosen again") << EditTool::region << EditTool::region << true << true;
    }
    void toolChanges()
    {
        QFETCH(EditTool, from);
        QFETCH(EditTool, to);
        EditorLibrary library;
        const QUuid point = library.point("P", 0.2, 0.2)->id();
        AnnotationEditorModel model(library.image, std::nullopt);
        model.setTool(from);
        if (from == EditTool::region) {
            for (double x : {0.1, 0.5, 0.9})
                model.tapCanvas({x, 0.5});
        }
        model.setSelection(EditorSelection::point(point));
        model.setTool(to);
        QFETCH(bool, draftKept);
        QCOMPARE(model.draftVertices().size(), draftKept ? 3 : 0);
        QTEST(model.selection().has_value(), "selectionKept");
    }

    void commands_data()
    {
        QTest::addColumn<ModelStep>("step");
        QTest::addColumn<QString>("stored"); // the image's annotations afterwards
        QTest::addColumn<QString>("selected");

        QTest::newRow("rename with blanks empties the label")
            << ModelStep([](AnnotationEditorModel &m) {
                   m.setSelection(EditorSelection::point(m.image()->points()[0]->id()));
                   m.beginRename();
                   m.setRenameText("   ");
                   m.commitRename();
               })
            << "P'' R'Liver'(4)" << "point";
        QTest::newRow("a corner renames its region")
            << ModelStep([](AnnotationEditorModel &m) {
                   m.setSelection(EditorSelection::vertex(m.image()->regions()[0]->id(), 1));
                   m.beginRename();
                   m.setRenameText(" Spleen ");
                   m.commitRename();
               })
            << "P'Aorta' R'Spleen'(4)" << "vertex1";
        QTest::newRow("a corner removed selects its region")
            << ModelStep([](AnnotationEditorModel &m) {
                   m.setSelection(EditorSelection::vertex(m.image()->regions()[0]->id(), 1));
                   m.deleteSelectedVertex();
               })
            << "P'Aorta' R'Liver'(3)" << "region";
        QTest::newRow("trash on a corner deletes the region")
            << ModelStep([](AnnotationEditorModel &m) {
                   m.setSelection(EditorSelection::vertex(m.image()->regions()[0]->id(), 1));
                   m.deleteSelectedAnnotation();
               })
            << "P'Aorta'" << "none";
        QTest::newRow("a point deleted")
            << ModelStep([](AnnotationEditorModel &m) {
                   m.setSelection(EditorSelection::point(m.image()->points()[0]->id()));
                   m.deleteSelectedAnnotation();
               })
            << "R'Liver'(4)" << "none";
        QTest::newRow("a point added, its label alert open")
            << ModelStep([](AnnotationEditorModel &m) {
                   m.setTool(EditTool::point);
                   m.tapCanvas({0.25, 0.75});
                   QVERIFY(m.isRenaming() && m.renameText().isEmpty());
               })
            << "P'Aorta' P'' R'Liver'(4)" << "point";
        QTest::newRow("a region of two corners is not finished")
            << ModelStep([](AnnotationEditorModel &m) {
                   m.setTool(EditTool::region);
                   m.tapCanvas({0.1, 0.1});
                   m.tapCanvas({0.2, 0.2});
                   m.finishRegion();
                   QCOMPARE(m.draftVertices().size(), 2);
               })
            << "P'Aorta' R'Liver'(4)" << "none";
        QTest::newRow("a region finished")
            << ModelStep([](AnnotationEditorModel &m) {
                   m.setTool(EditTool::region);
                   for (double x : {0.1, 0.2, 0.3})
                       m.tapCanvas({x, x * x});
                   m.finishRegion();
                   QVERIFY(m.tool() == EditTool::select && m.draftVertices().isEmpty() && m.isRenaming());
               })
            << "P'Aorta' R'Liver'(4) R''(3)" << "region";
        QTest::newRow("a click on empty space clears the selection")
            << ModelStep([](AnnotationEditorModel &m) {
                   m.setSelection(EditorSelection::point(m.image()->points()[0]->id()));
                   m.tapCanvas({0.9, 0.9});
               })
            << "P'Aorta' R'Liver'(4)" << "none";
    }
    void commands()
    {
        QFETCH(ModelStep, step);
        EditorLibrary library(true);
        library.point("Aorta", 0.5, 0.5);
        library.region("Liver", EditorLibrary::square(0.3, 0.3, 0.2));
        {
            AnnotationEditorModel model(library.image, std::nullopt);
            step(model);
            QTEST(described(model.selection()), "selected");
        }
        // What the store holds, read again as after a restart.
        library.reopen();
        QStringList stored;
        for (const PointAnnotation *point : library.image->points())
            stored << QStringLiteral("P'%1'").arg(point->label());
        for (const RegionAnnotation *region : library.image->regions())
            stored << QStringLiteral("R'%1'(%2)").arg(region->label()).arg(region->vertices().size());
        QTEST(stored.join(' '), "stored");
    }

    void selectionTitleAndGroups()
    {
        EditorLibrary library;
        PointAnnotation *blanks = library.point("   ", 0.1, 0.1, "Nerves, Bones");
        PointAnnotation *plain = library.point("", 0.2, 0.2);
        RegionAnnotation *region = library.region("Liver", EditorLibrary::square(0.5, 0.5, 0.2), "Arteries");
        AnnotationEditorModel model(library.image, blanks->id());
        QCOMPARE(model.selectionTitle(), QStringLiteral("   "));
        QCOMPARE(model.availableGroups(), QStringList({"Arteries", "Bones", "Nerves"}));
        model.setSelection(EditorSelection::point(plain->id()));
        QCOMPARE(model.selectionTitle(), QStringLiteral("Unlabelled"));
        model.setSelection(EditorSelection::region(QUuid::createUuid()));
        QCOMPARE(model.selectionTitle(), QStringLiteral("Unlabelled"));
        model.setSelection(std::nullopt);
        QCOMPARE(model.selectionTitle(), QString());

        // Switching groups stores the names joined by a comma and a blank.
        model.setSelection(EditorSelection::point(blanks->id()));
        model.setSelectedAnnotationGroup("Nerves", false);
        QCOMPARE(blanks->group(), QStringLiteral("Bones"));
        model.setSelectedAnnotationGroup("Arteries", true);
        QCOMPARE(blanks->group(), QStringLiteral("Bones, Arteries"));
        model.setSelectedAnnotationGroup("Bones", true);
        QCOMPARE(blanks->group(), QStringLiteral("Bones, Arteries"));
        QVERIFY(!library.context().hasChanges());

        // "Ungrouped" names the annotations in no group: refused.
        model.setSelection(EditorSelection::region(region->id()));
        model.beginNewGroup();
        for (const QString &typed : {QStringLiteral(" Ungrouped "), QStringLiteral("Veins")}) {
            model.setNewGroupText(typed);
            model.commitNewGroup();
        }
        QCOMPARE(region->group(), QStringLiteral("Arteries, Veins"));
    }

    // A save that fails keeps the change, tells it once, and is retried.
    void failedSaves()
    {
        EditorLibrary library(true);
        RegionAnnotation *region = library.region("Liver", EditorLibrary::square(0.5, 0.5, 0.2));
        PointAnnotation *point = library.point("Aorta", 0.5, 0.5);
        AnnotationEditorModel model(library.image, std::nullopt);
        QSignalSpy told(&model, &AnnotationEditorModel::saveErrorChanged);
        {
            FailingWrites failing(library.path);
            failing.set(true);
            model.insertVertex(region->id(), 0);
            model.setSelection(EditorSelection::point(point->id()));
            model.beginRename();
            model.setRenameText("Vena cava");
            model.commitRename();
            QVERIFY(model.saveError() && model.saveError()->contains("could not be saved"));
            QCOMPARE(told.size(), 1);
            QCOMPARE(region->vertices().size(), 5);
            failing.set(false);
        }
        model.dismissSaveError();
        model.setSelectedAnnotationGroup("Veins", true);
        library.reopen();
        QCOMPARE(library.image->regions().first()->vertices().size(), 5);
        QCOMPARE(library.image->points().first()->label(), QStringLiteral("Vena cava"));
    }

    // Edits on what has gone meanwhile write nothing, and the dialogs
    // open for it close.
    void goneMeanwhile()
    {
        EditorLibrary library;
        PointAnnotation *point = library.point("Aorta", 0.5, 0.5);
        AnnotationEditorModel model(library.image, point->id());
        model.beginEditingLinks();
        QVERIFY(model.isEditingLinks());
        library.context().deleteObject(point);
        QVERIFY(!model.isEditingLinks());
        QVERIFY(!model.edits().movePoint(point->id(), {0.1, 0.1}));
        model.beginRename();
        QVERIFY(!model.isRenaming());
        QCOMPARE(point->x(), 0.5);

        library.context().deleteObject(library.image);
        library.context().save();
        model.setTool(EditTool::point);
        model.tapCanvas({0.3, 0.3});
        QVERIFY(library.context().fetch<PointAnnotation>().isEmpty());
        QVERIFY(!model.edits().finishRegion(EditorLibrary::square(0.5, 0.5, 0.2)));
        QVERIFY(library.context().fetch<RegionAnnotation>().isEmpty());
    }
};

QTEST_GUILESS_MAIN(EditorModelTest)
#include "tst_editormodel.moc"
