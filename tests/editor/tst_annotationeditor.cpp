#include "EditorLibrary.h"

#include "editor/AnnotationEditor.h"
#include "editor/AnnotationEditorModel.h"
#include "editor/AnnotationEdits.h"
#include "editor/EditorCanvasLayer.h"
#include "editor/EditorSelectionBar.h"
#include "editor/EditorToolBar.h"
#include "ui/ContentUnavailableView.h"
#include "ui/ProminentButton.h"
#include "ui/SegmentedPicker.h"
#include "viewer/CanvasZoom.h"
#include "viewer/PictureSource.h"
#include "viewer/ZoomableImage.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

Q_DECLARE_METATYPE(EditTool)

// The editor driven as a user drives it: the mouse on the canvas, the
// keyboard, the bars, the alerts and the links sheet, on a library that is
// saved as it goes.
class AnnotationEditorTest : public QObject {
    Q_OBJECT

    EditorLibrary *library = nullptr;
    PictureSource *picture = nullptr;
    AnnotationEditor *editor = nullptr;

    void open(bool onDisk = false, const std::optional<QUuid> &highlighted = std::nullopt)
    {
        library = new EditorLibrary(onDisk);
        openEditor(highlighted);
    }
    // Opens a new editor in place of the one open, if any.
    void openEditor(const std::optional<QUuid> &highlighted = std::nullopt)
    {
        delete editor;
        editor = new AnnotationEditor(library->image, picture, highlighted);
        editor->resize(800, 600);
        editor->show();
        editor->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(editor));
    }
    AnnotationEditorModel &model() const { return *editor->model(); }
    QWidget *canvas() const { return editor->canvas(); }
    // The view point of a unit image point (the picture fills the canvas).
    QPoint at(double x, double y) const { return editor->canvas()->geometry().viewPoint({x, y}).toPoint(); }
    void click(QPoint position) { QTest::mouseClick(canvas(), Qt::LeftButton, {}, position); }
    void drag(QPoint from, QPoint to)
    {
        QTest::mousePress(canvas(), Qt::LeftButton, {}, from);
        QTest::mouseMove(canvas(), from + (to - from) / 2);
        QTest::mouseMove(canvas(), to);
        QTest::mouseRelease(canvas(), Qt::LeftButton, {}, to);
    }
    void answer(AlertDialog *alert, const QString &text)
    {
        QVERIFY(alert);
        alert->textField()->selectAll();
        QTest::keyClicks(alert->textField(), text);
        QTest::keyClick(alert->textField(), Qt::Key_Return);
    }
    static QList<Vertex> vertices(const RegionAnnotation *region) { return region->vertices(); }

private slots:
    void initTestCase()
    {
        picture = new PictureSource(this);
        QImage image(400, 300, QImage::Format_RGB32);
        image.fill(QColor(60, 60, 60));
        picture->setImage(image);
    }
    void cleanup()
    {
        delete editor;
        editor = nullptr;
        delete library;
        library = nullptr;
    }

    void toolShortcuts_data()
    {
        QTest::addColumn<Qt::Key>("key");
        QTest::addColumn<EditTool>("tool");
        QTest::newRow("Ctrl+2") << Qt::Key_2 << EditTool::point;
        QTest::newRow("Ctrl+3") << Qt::Key_3 << EditTool::region;
        QTest::newRow("Ctrl+1") << Qt::Key_1 << EditTool::select;
    }
    void toolShortcuts()
    {
        QFETCH(Qt::Key, key);
        QFETCH(EditTool, tool);
        open();
        model().setTool(key == Qt::Key_1 ? EditTool::region : EditTool::select);
        QTest::keyClick(editor, key, Qt::ControlModifier);
        QCOMPARE(model().tool(), tool);
        QVERIFY(editor->toolAction(tool)->isChecked());
        QCOMPARE(editor->toolBar()->showsDraftCommands(), tool == EditTool::region);
    }

    // The tools are one joined control, "Annotations", whose segments are
    // radio buttons: choosing one by a click or by assistive technologies
    // sets the tool, and only the chosen segment is checked.
    void toolPicker_data()
    {
        QTest::addColumn<int>("segment");
        QTest::addColumn<bool>("byClick");
        QTest::addColumn<EditTool>("tool");
        QTest::newRow("Point, pressed") << 1 << false << EditTool::point;
        QTest::newRow("Region, clicked") << 2 << true << EditTool::region;
        QTest::newRow("Select, pressed") << 0 << false << EditTool::select;
    }
    void toolPicker()
    {
        QFETCH(int, segment);
        QFETCH(bool, byClick);
        open();
        model().setTool(segment == 0 ? EditTool::point : EditTool::select);
        SegmentedPicker *picker = editor->toolBar()->toolPicker();
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(picker);
        QCOMPARE(accessible->role(), QAccessible::Grouping);
        QCOMPARE(accessible->text(QAccessible::Name), QStringLiteral("Annotations"));
        QCOMPARE(accessible->childCount(), 3);
        QStringList names;
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(accessible->child(i)->role(), QAccessible::RadioButton);
            names.append(accessible->child(i)->text(QAccessible::Name));
        }
        QCOMPARE(names, QStringList({"Select", "Point", "Region"}));
        // Joined: no gap between the segments.
        const QList<QAbstractButton *> segments = picker->segments();
        for (int i = 1; i < 3; ++i)
            QCOMPARE(segments[i]->geometry().left(), segments[i - 1]->geometry().right() + 1);

        if (byClick)
            QTest::mouseClick(segments[segment], Qt::LeftButton);
        else
            accessible->child(segment)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTEST(model().tool(), "tool");
        QList<bool> checked;
        for (int i = 0; i < 3; ++i)
            checked.append(accessible->child(i)->state().checked);
        QList<bool> expected{false, false, false};
        expected[segment] = true;
        QCOMPARE(checked, expected);
        // The shortcut moves the choice as well.
        QTest::keyClick(editor, Qt::Key_1 + (segment + 1) % 3, Qt::ControlModifier);
        QVERIFY(segments[(segment + 1) % 3]->isChecked() && !segments[segment]->isChecked());
    }

    // The hint on an empty image lets clicks through; a point added is
    // named in its label alert and saved.
    void addPointAndNameIt()
    {
        open();
        QVERIFY(editor->emptyHint()->isVisible());
        QTest::keyClick(editor, Qt::Key_2, Qt::ControlModifier);
        click(at(0.5, 0.5));
        QVERIFY(!editor->emptyHint()->isVisible());
        QCOMPARE(library->image->points().size(), 1);
        answer(editor->renameAlert(), " Aorta ");
        QVERIFY(!editor->renameAlert());
        const PointAnnotation *point = library->image->points().first();
        QCOMPARE(point->label(), QStringLiteral("Aorta"));
        QCOMPARE(QPointF(point->x(), point->y()), QPointF(0.5, 0.5));
        QCOMPARE(editor->selectionBar()->title(), QStringLiteral("Aorta"));
        QVERIFY(!library->context().hasChanges());
    }

    void drawRegion_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<int>("stored"); // corners of the region stored; 0 for none
        QTest::newRow("closed on its first corner") << "first corner" << 5;
        QTest::newRow("closed with Close") << "Close" << 5;
        QTest::newRow("cancelled") << "Cancel" << 0;
    }
    void drawRegion()
    {
        QFETCH(QString, ending);
        open();
        QTest::keyClick(editor, Qt::Key_3, Qt::ControlModifier);
        const QList<QPointF> corners = {{0.2, 0.2}, {0.6, 0.15}, {0.8, 0.5}, {0.5, 0.8}, {0.2, 0.6}};
        for (qsizetype i = 0; i < corners.size(); ++i) {
            QCOMPARE(editor->closeDraftAction()->isEnabled(), i >= 3);
            QCOMPARE(editor->cancelDraftAction()->isEnabled(), i >= 1);
            click(at(corners[i].x(), corners[i].y()));
        }
        // A click on a later corner adds none and closes nothing.
        click(at(corners[2].x(), corners[2].y()));
        QCOMPARE(model().draftVertices().size(), corners.size());
        if (ending == "first corner")
            click(at(0.2, 0.2) + QPoint(6, -5));
        else
            editor->toolBar()->buttonFor(ending == "Close" ? editor->closeDraftAction() : editor->cancelDraftAction())->click();
        QFETCH(int, stored);
        const QList<RegionAnnotation *> regions = library->image->regions();
        QCOMPARE(regions.size(), stored ? 1 : 0);
        if (!stored) {
            QVERIFY(model().draftVertices().isEmpty());
            QCOMPARE(model().tool(), EditTool::region);
            return;
        }
        QCOMPARE(regions.first()->vertices().size(), stored);
        QCOMPARE(regions.first()->vertices().at(1), Vertex({0.6, 0.15}));
        QCOMPARE(model().tool(), EditTool::select);
        QCOMPARE(model().selection(), EditorSelection::region(regions.first()->id()));
        QVERIFY(editor->renameAlert());
    }

    // A click selects and writes nothing; a drag moves by the pointer's
    // movement, keeping where it was grabbed, and saves at the end.
    void clickAndDrag_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QPoint>("movement");
        QTest::newRow("point clicked") << "point" << QPoint();
        QTest::newRow("corner clicked") << "corner" << QPoint();
        QTest::newRow("region clicked") << "region" << QPoint();
        QTest::newRow("point dragged") << "point" << QPoint(80, 60);
        QTest::newRow("point dragged past the edge") << "point" << QPoint(700, 60);
        QTest::newRow("corner dragged") << "corner" << QPoint(-80, 30);
        QTest::newRow("region dragged") << "region" << QPoint(40, -60);
    }
    void clickAndDrag()
    {
        QFETCH(QString, target);
        QFETCH(QPoint, movement);
        open();
        PointAnnotation *point = library->point("Aorta", 0.25, 0.25);
        RegionAnnotation *region = library->region("Liver", EditorLibrary::square(0.6, 0.6, 0.2));
        const QPointF unitMovement(movement.x() / 800.0, movement.y() / 600.0);
        const QList<Vertex> before = vertices(region);
        QPoint grab = at(0.25, 0.25) + QPoint(7, 6);
        std::optional<EditorSelection> selected = EditorSelection::point(point->id());
        if (target == "corner") {
            model().setSelection(EditorSelection::region(region->id()));
            grab = at(0.5, 0.5) + QPoint(-6, 8);
            selected = EditorSelection::vertex(region->id(), 0);
        } else if (target == "region") {
            grab = at(0.62, 0.58);
            selected = EditorSelection::region(region->id());
        }
        QSignalSpy writes(&library->context(), &ModelContext::propertyChanged);
        drag(grab, grab + movement);
        QCOMPARE(model().selection(), selected);
        QCOMPARE(writes.isEmpty(), movement.isNull());
        QVERIFY(!library->context().hasChanges());
        const auto near = [](double a, double b) { return qAbs(a - b) < 1.5e-3; };
        if (target == "point") {
            QVERIFY(near(point->x(), std::min(0.25 + unitMovement.x(), 1.0)));
            QVERIFY(near(point->y(), 0.25 + unitMovement.y()));
            return;
        }
        const QList<Vertex> after = vertices(region);
        for (qsizetype i = 0; i < after.size(); ++i) {
            const bool moves = target == "region" || i == 0;
            QVERIFY(near(after[i].x, before[i].x + (moves ? unitMovement.x() : 0)));
            QVERIFY(near(after[i].y, before[i].y + (moves ? unitMovement.y() : 0)));
        }
    }

    // A drag cancelled (the canvas loses the focus) puts its region back;
    // the next drag moves its own region from where it was.
    void cancelledDragPutsBack()
    {
        open();
        RegionAnnotation *first = library->region("A", EditorLibrary::square(0.3, 0.3, 0.2));
        RegionAnnotation *second = library->region("B", EditorLibrary::square(0.7, 0.7, 0.2));
        const QList<Vertex> firstBefore = vertices(first);
        QTest::mousePress(canvas(), Qt::LeftButton, {}, at(0.3, 0.3));
        QTest::mouseMove(canvas(), at(0.3, 0.3) + QPoint(100, 0));
        QVERIFY(vertices(first) != firstBefore);
        QFocusEvent lost(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
        QApplication::sendEvent(canvas(), &lost);
        QTest::mouseRelease(canvas(), Qt::LeftButton, {}, at(0.3, 0.3) + QPoint(100, 0));
        QCOMPARE(vertices(first), firstBefore);
        QVERIFY(!library->context().hasChanges());

        const QList<Vertex> secondBefore = vertices(second);
        drag(at(0.7, 0.7), at(0.7, 0.7) + QPoint(-80, 0));
        QCOMPARE(vertices(first), firstBefore);
        QVERIFY(qAbs(vertices(second).first().x - (secondBefore.first().x - 0.1)) < 1e-9);
    }

    // Corners inserted at a midpoint, removed down to three, the region
    // deleted from a corner.
    void reshapeAndDelete()
    {
        open(false);
        RegionAnnotation *region = library->region("Liver", EditorLibrary::square(0.5, 0.5, 0.4));
        click(at(0.5, 0.5));
        QCOMPARE(model().selection(), EditorSelection::region(region->id()));
        QVERIFY(!editor->selectionBar()->showsVertexDelete());
        click(at(0.3, 0.5)); // the midpoint of the closing edge
        QCOMPARE(region->vertices().size(), 5);
        QCOMPARE(region->vertices().at(4), Vertex({0.3, 0.5}));
        QCOMPARE(model().selection(), EditorSelection::vertex(region->id(), 4));
        QVERIFY(editor->selectionBar()->showsVertexDelete());
        editor->deleteVertexAction()->trigger();
        QCOMPARE(region->vertices().size(), 4);
        QCOMPARE(model().selection(), EditorSelection::region(region->id()));
        click(at(0.3, 0.3));
        QVERIFY(editor->deleteVertexAction()->isEnabled());
        editor->deleteVertexAction()->trigger();
        QCOMPARE(region->vertices().size(), 3);
        click(at(0.7, 0.7));
        QCOMPARE(model().selection(), EditorSelection::vertex(region->id(), 1));
        QVERIFY(!editor->deleteVertexAction()->isEnabled());
        editor->deleteVertexAction()->trigger();
        QCOMPARE(region->vertices().size(), 3);
        editor->deleteAnnotationAction()->trigger();
        QVERIFY(library->image->regions().isEmpty());
        QVERIFY(!model().selection());
        QVERIFY(editor->selectionBar()->isHidden());
        QVERIFY(!library->context().hasChanges());
    }

    void groupsMenu()
    {
        open();
        library->region("Nerve", EditorLibrary::square(0.2, 0.2, 0.1), "Nerves");
        PointAnnotation *point = library->point("Aorta", 0.6, 0.6, "Vessels");
        click(at(0.6, 0.6));
        QMenu *menu = editor->selectionBar()->groupsMenu();
        emit menu->aboutToShow();
        QStringList shown;
        for (QAction *action : menu->actions())
            shown << (action->isSeparator() ? "|" : action->text() + (action->isChecked() ? "*" : ""));
        QCOMPARE(shown, QStringList({"Nerves", "Vessels*", "|", "New Group…"}));
        menu->actions().at(0)->trigger();
        QCOMPARE(point->group(), QStringLiteral("Vessels, Nerves"));
        menu->actions().at(1)->trigger();
        QCOMPARE(point->group(), QStringLiteral("Nerves"));

        editor->newGroupAction()->trigger();
        AlertDialog *alert = editor->newGroupAlert();
        QVERIFY(alert);
        QTest::keyClicks(alert->textField(), "Ungrouped");
        QVERIFY(!alert->button("Add")->isEnabled());
        QTest::keyClick(alert->textField(), Qt::Key_Backspace);
        answer(alert, "Arteries");
        QCOMPARE(point->group(), QStringLiteral("Nerves, Arteries"));
        QVERIFY(!library->context().hasChanges());
    }

    // Links typed in the sheet are written as typed and saved when it
    // closes, also with Escape, and when the editor goes while it is open.
    void linksSheet_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("closed with Escape") << true;
        QTest::newRow("editor gone meanwhile") << false;
    }
    void linksSheet()
    {
        QFETCH(bool, escape);
        open(true);
        const QUuid id = library->point("Aorta", 0.5, 0.5)->id();
        openEditor(id);
        editor->linksAction()->trigger();
        AnnotationLinksEditor *sheet = editor->linksSheet();
        QVERIFY(sheet && sheet->emptyView()->isVisibleTo(sheet));
        for (const char *address : {"en.wikipedia.org/wiki/Aorta", "radiopaedia.org"}) {
            QTest::mouseClick(sheet->addButton(), Qt::LeftButton);
            QCOMPARE(sheet->focusWidget(), sheet->urlField(sheet->links().last().id));
            QTest::keyClicks(sheet->focusWidget(), address);
        }
        QVERIFY(!sheet->emptyView()->isVisibleTo(sheet));
        const QList<AnnotationLink> typed = sheet->links();
        QTest::keyClicks(sheet->labelField(typed[1].id), " Cases ");
        QCOMPARE(sheet->header(typed[1].id)->text(), QStringLiteral(" Cases "));
        QCOMPARE(sheet->header(typed[0].id)->text(), QStringLiteral("Link"));
        QTest::mouseClick(sheet->removeButton(typed[0].id), Qt::LeftButton);
        QCOMPARE(sheet->links().size(), 1);
        if (escape) {
            QTest::keyClick(sheet, Qt::Key_Escape);
            QTRY_VERIFY(!editor->linksSheet());
            QVERIFY(!library->context().hasChanges());
        }
        // Without Escape, the editor goes with the sheet open.
        delete editor;
        editor = nullptr;
        library->reopen();
        const QList<AnnotationLink> stored = library->image->points().first()->links().value();
        QCOMPARE(stored.size(), 1);
        QCOMPARE(stored.first().urlString, QStringLiteral("radiopaedia.org"));
        QCOMPARE(stored.first().label, QStringLiteral(" Cases "));
    }

    // Rename and Links are off while the selection names nothing, and the
    // sheet of an annotation deleted elsewhere closes.
    void selectionGone()
    {
        open();
        PointAnnotation *point = library->point("Aorta", 0.5, 0.5);
        click(at(0.5, 0.5));
        editor->linksAction()->trigger();
        QVERIFY(editor->linksSheet());
        library->context().deleteObject(point);
        QTRY_VERIFY(!editor->linksSheet());
        QVERIFY(!editor->renameAction()->isEnabled() && !editor->linksAction()->isEnabled());
        QVERIFY(editor->selectionBar()->isVisible());
        QVERIFY(editor->selectionBar()->groupsButton()->isHidden());
        QCOMPARE(editor->selectionBar()->title(), QStringLiteral("Unlabelled"));
    }

    // Another image, or the image gone: the screen drops the editor, whose
    // draft and alert go with it and write nothing; the next editor starts
    // unzoomed with the select tool and nothing drawn or selected.
    void teardown_data()
    {
        QTest::addColumn<QString>("left");
        QTest::newRow("a draft") << "draft";
        QTest::newRow("a label typed") << "label";
        QTest::newRow("a label typed, the image deleted elsewhere") << "deleted";
    }
    void teardown()
    {
        QFETCH(QString, left);
        open(true);
        AtlasImage *first = library->image;
        PointAnnotation *point = library->point("Aorta", 0.5, 0.5);
        editor->canvas()->zoom()->zoomIn();
        if (left == "draft") {
            editor->toolAction(EditTool::region)->trigger();
            for (double x : {0.2, 0.4, 0.6})
                click(at(x, 0.3));
        } else {
            click(at(0.5, 0.5));
            editor->renameAction()->trigger();
            QTest::keyClicks(editor->renameAlert()->textField(), "Vena cava");
        }
        if (left == "deleted") {
            library->context().deleteObject(first);
            library->context().save();
            QTest::keyClick(editor->renameAlert()->textField(), Qt::Key_Return);
            QCOMPARE(point->label(), QStringLiteral("Aorta"));
        }
        delete editor;
        editor = nullptr;
        QVERIFY(!library->context().hasChanges());
        QCOMPARE(library->context().fetch<RegionAnnotation>().size(), 0);
        if (left != "deleted")
            QCOMPARE(first->points().first()->label(), QStringLiteral("Aorta"));

        library->image = library->context().insert(AtlasImage::make(QStringLiteral("Abdomen")));
        openEditor(point->id());
        QCOMPARE(model().tool(), EditTool::select);
        QVERIFY(model().draftVertices().isEmpty() && !model().selection() && !editor->renameAlert());
        QVERIFY(editor->canvas()->zoom()->committed().isIdentity());
    }

    // One alert for failed saves, with the store's message; the drag
    // stays on screen and is stored by the next save.
    void failedSaveAlert()
    {
        open(true);
        library->point("Aorta", 0.5, 0.5);
        {
            FailingWrites failing(library->path);
            failing.set(true);
            drag(at(0.5, 0.5), at(0.5, 0.5) + QPoint(80, 0));
            AlertDialog *alert = editor->saveErrorAlert();
            QVERIFY(alert);
            QCOMPARE(alert->title(), QStringLiteral("Save Failed"));
            QVERIFY(alert->message().contains("could not be saved"));
            model().edits().endDrag();
            QCOMPARE(editor->saveErrorAlert(), alert);
            failing.set(false);
            alert->buttons().first()->click();
            QVERIFY(!editor->saveErrorAlert());
        }
        QVERIFY(library->context().hasChanges());
        delete editor;
        editor = nullptr;
        library->reopen();
        QVERIFY(qAbs(library->image->points().first()->x() - 0.6) < 1e-3);
    }

    // The label prompt is a sheet of the editor's window that leaves the
    // point just placed in sight; Escape cancels it.
    void labelPromptLeavesThePointInSight_data()
    {
        QTest::addColumn<QPointF>("point");
        QTest::newRow("under the sheet's place") << QPointF(0.5, 0.04);
        QTest::newRow("the middle") << QPointF(0.5, 0.5);
        QTest::newRow("top left") << QPointF(0.03, 0.03);
        QTest::newRow("top right") << QPointF(0.7, 0.1);
    }
    void labelPromptLeavesThePointInSight()
    {
        QFETCH(QPointF, point);
        open();
        QTest::keyClick(editor, Qt::Key_2, Qt::ControlModifier);
        click(at(point.x(), point.y()));
        AlertDialog *alert = editor->renameAlert();
        QVERIFY(alert);
        QTRY_VERIFY(alert->isVisible());
        QCOMPARE(alert->windowModality(), Qt::WindowModal);
        QCOMPARE(alert->parentWidget()->window(), editor->window());
        const QPoint placed = canvas()->mapToGlobal(at(point.x(), point.y()));
        QVERIFY(!alert->frameGeometry().adjusted(-10, -10, 10, 10).contains(placed));
        QVERIFY(editor->window()->geometry().contains(alert->frameGeometry()));
        QTest::keyClick(alert->textField(), Qt::Key_Escape);
        QVERIFY(!editor->renameAlert());
        QVERIFY(!model().isRenaming());
    }
};

QTEST_MAIN(AnnotationEditorTest)
#include "tst_annotationeditor.moc"
