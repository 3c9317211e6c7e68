// Writes pictures of the annotation editor as PNG files, to look at it as a
// user would, while it is driven with the mouse and the keyboard on a chest
// scan: the empty canvas with its hint, a point being named, a region being
// drawn, a region selected with a corner, the groups menu, the links sheet,
// the canvas zoomed in, and a save that failed.
//
//   QT_QPA_PLATFORM=offscreen build/bench/editor/preview_editor [folder]
//   xvfb-run -a -s "-screen 0 1600x1000x24" build/bench/editor/preview_editor [folder]
//
// The folder defaults to /tmp/veloran-preview.

#include "support/ChestScan.h"

#include "editor/AnnotationEditor.h"
#include "editor/AnnotationEditorModel.h"
#include "editor/EditorSelectionBar.h"
#include "model/AtlasImage.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "model/VeloranSchemaV1.h"
#include "platform/objectstore/ModelContainer.h"
#include "viewer/CanvasZoom.h"
#include "viewer/PictureSource.h"
#include "viewer/ZoomableImage.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <cstdio>

namespace {

QString folder;

void save(QWidget *widget, const QString &name)
{
    QCoreApplication::processEvents();
    const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
    widget->grab().save(path);
    std::printf("%s\n", qPrintable(path));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/veloran-preview");
    QDir().mkpath(folder);

    ModelConfiguration configuration;
    configuration.schema = Schema(VeloranSchemaV1::versionedSchema());
    configuration.isStoredInMemoryOnly = true;
    ModelContainer container(configuration.schema, VeloranMigrationPlan::plan(), {configuration});
    ModelContext &context = container.mainContext();
    AtlasImage *image = context.insert(AtlasImage::make(QStringLiteral("Chest, axial")));
    context.save();

    PictureSource picture;
    picture.setImage(chestScan());
    AnnotationEditor editor(image, &picture, std::nullopt);
    editor.resize(1280, 820);
    editor.show();
    if (!QTest::qWaitForWindowExposed(&editor))
        return 1;
    QWidget *canvas = editor.canvas();
    const auto at = [&](double x, double y) { return editor.canvas()->geometry().viewPoint({x, y}).toPoint(); };
    const auto click = [&](double x, double y) { QTest::mouseClick(canvas, Qt::LeftButton, {}, at(x, y)); };
    const auto name = [&](AlertDialog *alert, const QString &label) {
        alert->textField()->setText(label);
        alert->textField()->textEdited(label);
        alert->button(QStringLiteral("Save"))->click();
    };
    save(&editor, QStringLiteral("editor-1-empty"));

    // A point, named in its alert.
    editor.toolAction(EditTool::point)->trigger();
    click(0.54, 0.52);
    save(editor.renameAlert(), QStringLiteral("editor-2-label-alert"));
    name(editor.renameAlert(), QStringLiteral("Heart"));
    click(0.5, 0.17);
    name(editor.renameAlert(), QStringLiteral("Trachea"));
    save(&editor, QStringLiteral("editor-3-points"));

    // A region being drawn, then closed on its first corner.
    editor.toolAction(EditTool::region)->trigger();
    for (const QPointF &corner : {QPointF(0.2, 0.3), QPointF(0.36, 0.25), QPointF(0.42, 0.5), QPointF(0.38, 0.72),
                                  QPointF(0.22, 0.7)})
        click(corner.x(), corner.y());
    save(&editor, QStringLiteral("editor-4-drawing"));
    click(0.2, 0.3);
    name(editor.renameAlert(), QStringLiteral("Right lung"));

    // A corner of it selected: handles, midpoints and the selection bar.
    click(0.36, 0.25);
    save(&editor, QStringLiteral("editor-5-corner-selected"));

    // The groups menu and the new group alert.
    editor.model()->setSelectedAnnotationGroup(QStringLiteral("Lungs"), true);
    editor.model()->setSelection(EditorSelection::point(image->points().first()->id()));
    editor.model()->setSelectedAnnotationGroup(QStringLiteral("Mediastinum"), true);
    QMenu *menu = editor.selectionBar()->groupsMenu();
    menu->popup(editor.selectionBar()->mapToGlobal(QPoint(0, 0)));
    save(menu, QStringLiteral("editor-6-groups-menu"));
    menu->hide();
    save(&editor, QStringLiteral("editor-7-point-selected"));

    // The links sheet with two links.
    editor.linksAction()->trigger();
    AnnotationLinksEditor *sheet = editor.linksSheet();
    sheet->addLink();
    QTest::keyClicks(sheet->focusWidget(), QStringLiteral("en.wikipedia.org/wiki/Heart"));
    sheet->addLink();
    QTest::keyClicks(sheet->focusWidget(), QStringLiteral("radiopaedia.org/articles/heart"));
    QTest::keyClicks(sheet->labelField(sheet->links().last().id), QStringLiteral("Radiopaedia"));
    save(sheet, QStringLiteral("editor-8-links-sheet"));
    sheet->accept();
    QCoreApplication::processEvents();
    editor.linksAction()->trigger();
    editor.linksSheet()->removeLink(editor.linksSheet()->links().first().id);
    editor.linksSheet()->removeLink(editor.linksSheet()->links().first().id);
    save(editor.linksSheet(), QStringLiteral("editor-9-links-sheet-empty"));
    editor.linksSheet()->reject();

    // A corner and then the whole region dragged: what the screen shows
    // (only the changed parts are painted again).
    editor.model()->setSelection(EditorSelection::region(image->regions().first()->id()));
    const QPoint corner = at(0.42, 0.5);
    QTest::mousePress(canvas, Qt::LeftButton, {}, corner);
    for (int step = 1; step <= 12; ++step)
        QTest::mouseMove(canvas, corner + QPoint(step * 6, step * 2));
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, corner + QPoint(72, 24));
    const QPoint inside = at(0.3, 0.5);
    QTest::mousePress(canvas, Qt::LeftButton, {}, inside);
    for (int step = 1; step <= 12; ++step)
        QTest::mouseMove(canvas, inside + QPoint(step * 5, -step * 4));
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, inside + QPoint(60, -48));
    QCoreApplication::processEvents();
    if (QScreen *screen = editor.screen()) {
        const QString path = QDir(folder).filePath(QStringLiteral("editor-11-after-drags.png"));
        screen->grabWindow(editor.winId()).save(path);
        std::printf("%s\n", qPrintable(path));
    }

    // Zoomed in: handles keep their size.
    editor.model()->setSelection(EditorSelection::region(image->regions().first()->id()));
    editor.canvas()->zoom()->zoomBy(2.25);
    for (int i = 0; i < 60; ++i)
        QTest::qWait(8);
    save(&editor, QStringLiteral("editor-10-zoomed"));
    return 0;
}
