#include "EditorLibrary.h"

#include "editor/AnnotationEditor.h"
#include "editor/AnnotationEditorModel.h"
#include "editor/AnnotationEdits.h"
#include "editor/EditorCanvasLayer.h"
#include "editor/EditorSelectionBar.h"
#include "editor/EditorToolBar.h"
#include "ui/ContentUnavailableView.h"
#include "ui/ProminentButton.h"
#include "support/CanvasGestures.h"
#include "ui/SegmentedPicker.h"
#include "viewer/CanvasZoom.h"
#include "viewer/PictureSource.h"
#include "viewer/ZoomableImage.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QWindow>
#include <qtestspontaneevent.h>

#include <algorithm>
#include <memory>
#include <tuple>

Q_DECLARE_METATYPE(EditTool)

namespace {

// A paint device that keeps, in order, the images and the outlined or
// filled shapes painted on it.
class PaintRecorder : public QPaintDevice {
public:
    struct Drawn {
        QRectF target;
        QImage image; // null for a shape
        QRectF source;
        QPen pen;
        QBrush brush;
    };
    explicit PaintRecorder(const QSize &size) : m_size(size) {}
    QPaintEngine *paintEngine() const override { return &m_engine; }
    const QList<Drawn> &drawn() const { return m_engine.drawn; }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth: return m_size.width();
        case PdmHeight: return m_size.height();
        case PdmDpiX: case PdmDpiY: case PdmPhysicalDpiX: case PdmPhysicalDpiY: return 96;
        case PdmDepth: return 32;
        case PdmDevicePixelRatio: return 1;
        case PdmDevicePixelRatioScaled: return int(devicePixelRatioFScale());
        default: return QPaintDevice::metric(metric);
        }
    }

private:
    struct Engine : QPaintEngine {
        Engine() : QPaintEngine(AllFeatures) {}
        QList<Drawn> drawn;
        QPen pen;
        QBrush brush;
        bool begin(QPaintDevice *) override { return true; }
        bool end() override { return true; }
        Type type() const override { return User; }
        void updateState(const QPaintEngineState &state) override
        {
            if (state.state() & DirtyPen)
                pen = state.pen();
            if (state.state() & DirtyBrush)
                brush = state.brush();
        }
        void drawPath(const QPainterPath &path) override { drawn.append({path.boundingRect(), {}, {}, pen, brush}); }
        void drawPolygon(const QPointF *points, int count, PolygonDrawMode) override
        {
            drawn.append({QPolygonF(QList<QPointF>(points, points + count)).boundingRect(), {}, {}, pen, brush});
        }
        void drawImage(const QRectF &target, const QImage &image, const QRectF &source,
                       Qt::ImageConversionFlags) override
        {
            drawn.append({target, image, source, pen, brush});
        }
        void drawPixmap(const QRectF &target, const QPixmap &pixmap, const QRectF &source) override
        {
            drawImage(target, pixmap.toImage(), source, {});
        }
    };
    QSize m_size;
    mutable Engine m_engine;
};

// Whether `drawn` is an image that covers `at` with a pixel that is not
// clear.
bool paintsAt(const PaintRecorder::Drawn &drawn, const QPointF &at)
{
    if (drawn.image.isNull() || !drawn.target.contains(at))
        return false;
    const QPointF pixel = drawn.source.topLeft()
        + QPointF((at.x() - drawn.target.x()) * drawn.source.width() / drawn.target.width(),
                  (at.y() - drawn.target.y()) * drawn.source.height() / drawn.target.height());
    return qAlpha(drawn.image.pixel(pixel.toPoint())) > 0;
}

} // namespace

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
    // Opens the links sheet of a new point that has `count` links, and
    // waits for the sheet to take the keys.
    AnnotationLinksEditor *openLinksSheet(int count)
    {
        open();
        PointAnnotation *point = library->point("Aorta", 0.5, 0.5);
        QList<AnnotationLink> links;
        for (int i = 0; i < count; ++i)
            links.append({QUuid::createUuid(), QString(), QString()});
        point->setLinks(links);
        openEditor(point->id());
        editor->linksAction()->trigger();
        AnnotationLinksEditor *sheet = editor->linksSheet();
        if (!sheet)
            return nullptr;
        // As the window manager gives a new window the keys.
        sheet->activateWindow();
        return QTest::qWaitFor([sheet] { return QApplication::activeWindow() == sheet; }) ? sheet : nullptr;
    }

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
        // A click on a later corner adds none and closes nothing: it only
        // moves that corner to the spot clicked.
        for (const int corner : {1, 2}) {
            const QPoint spot = at(corners[corner].x(), corners[corner].y()) + QPoint(5, 4 * corner);
            click(spot);
            QCOMPARE(model().draftVertices().size(), corners.size());
            const QPointF clicked = editor->canvas()->geometry().imagePoint(spot);
            QCOMPARE(model().draftVertices().at(corner), Vertex({clicked.x(), clicked.y()}));
            QCOMPARE(model().tool(), EditTool::region);
        }
        // The first corner, clicked off its centre, goes to the spot
        // clicked as it closes the region.
        const QPoint firstSpot = at(0.2, 0.2) + QPoint(6, -5);
        const QPointF first = editor->canvas()->geometry().imagePoint(firstSpot);
        if (ending == "first corner")
            click(firstSpot);
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
        QCOMPARE(regions.first()->vertices().at(0),
                 ending == "first corner" ? Vertex({first.x(), first.y()}) : Vertex({0.2, 0.2}));
        QCOMPARE(regions.first()->vertices().at(3), Vertex({0.5, 0.8}));
        QCOMPARE(model().tool(), EditTool::select);
        QCOMPARE(model().selection(), EditorSelection::region(regions.first()->id()));
        QVERIFY(editor->renameAlert());
    }

    // A press on a point, a corner or a region takes it at once: a click
    // is a drag of no length. A point or a corner goes under the pointer
    // (wherever in its hit circle it was taken); a region moves by the
    // pointer's movement, in image units at the zoom in effect, stopped at
    // the image's edges. The drag selects what it took, writes it (a click
    // too) and saves at the release.
    void clickAndDrag_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QPoint>("grab"); // from the point, the corner, or a place inside the region
        QTest::addColumn<QPoint>("movement");
        QTest::addColumn<double>("zoom");
        QTest::addColumn<QPointF>("shift"); // the region's, in image units
        QTest::newRow("point clicked 8 points right of its centre")
            << "point" << QPoint(8, 0) << QPoint() << 1.0 << QPointF();
        QTest::newRow("point clicked at the rim of its hit circle")
            << "point" << QPoint(-10, 10) << QPoint() << 1.0 << QPointF();
        QTest::newRow("point nudged less than the drag distance")
            << "point" << QPoint() << QPoint(2, 1) << 1.0 << QPointF();
        QTest::newRow("point grabbed 8 points off centre, dragged 50")
            << "point" << QPoint(8, 0) << QPoint(50, 0) << 1.0 << QPointF();
        QTest::newRow("point dragged past the edge") << "point" << QPoint(7, 6) << QPoint(700, 60) << 1.0 << QPointF();
        QTest::newRow("point dragged at 1.5x") << "point" << QPoint(-5, 3) << QPoint(60, -40) << 1.5 << QPointF();
        QTest::newRow("corner clicked off centre") << "corner" << QPoint(-6, 8) << QPoint() << 1.0 << QPointF();
        QTest::newRow("corner dragged") << "corner" << QPoint(-6, 8) << QPoint(-80, 30) << 1.0 << QPointF();
        QTest::newRow("region clicked: written back unchanged") << "region" << QPoint() << QPoint() << 1.0 << QPointF();
        QTest::newRow("region dragged") << "region" << QPoint() << QPoint(40, -60) << 1.0 << QPointF(0.05, -0.1);
        QTest::newRow("region dragged 0.9 right stops at the edge")
            << "region" << QPoint() << QPoint(720, 0) << 1.0 << QPointF(0.3, 0);
        QTest::newRow("region dragged at 1.5x")
            << "region" << QPoint() << QPoint(-120, 90) << 1.5 << QPointF(-0.1, 0.1);
    }
    void clickAndDrag()
    {
        QFETCH(QString, target);
        QFETCH(QPoint, grab);
        QFETCH(QPoint, movement);
        QFETCH(double, zoom);
        open();
        PointAnnotation *point = library->point("Aorta", 0.25, 0.25);
        RegionAnnotation *region = library->region("Liver", EditorLibrary::square(0.6, 0.6, 0.2));
        if (zoom != 1) {
            editor->canvas()->zoom()->zoomIn();
            QTRY_VERIFY(editor->canvas()->isResting());
            QCOMPARE(editor->canvas()->geometry().transform.scale, zoom);
        }
        const QList<Vertex> before = vertices(region);
        std::optional<EditorSelection> selected = EditorSelection::point(point->id());
        if (target == "point") {
            grab += at(0.25, 0.25);
        } else if (target == "corner") {
            model().setSelection(EditorSelection::region(region->id()));
            grab += at(0.5, 0.5);
            selected = EditorSelection::vertex(region->id(), 0);
        } else {
            grab += at(0.62, 0.58);
            selected = EditorSelection::region(region->id());
        }
        // Where the pointer is let go, in image units.
        const QPointF released = editor->canvas()->geometry().imagePoint(grab + movement);
        QSignalSpy writes(&library->context(), &ModelContext::propertyChanged);
        QSignalSpy saves(&library->context(), &ModelContext::didSave);
        if (movement.isNull())
            click(grab);
        else
            drag(grab, grab + movement);
        QCOMPARE(model().selection(), selected);
        QVERIFY(!writes.isEmpty());
        QCOMPARE(saves.size(), 1);
        QVERIFY(!library->context().hasChanges());
        const auto near = [](double a, double b) { return qAbs(a - b) < 1e-9; };
        if (target == "point") {
            QVERIFY2(near(point->x(), released.x()) && near(point->y(), released.y()),
                     qPrintable(QStringLiteral("(%1, %2)").arg(point->x()).arg(point->y())));
            QCOMPARE(vertices(region), before);
            return;
        }
        QCOMPARE(QPointF(point->x(), point->y()), QPointF(0.25, 0.25));
        QFETCH(QPointF, shift);
        const QList<Vertex> after = vertices(region);
        for (qsizetype i = 0; i < after.size(); ++i) {
            const QPointF expected = target == "region" ? QPointF(before[i].x, before[i].y) + shift
                : i == 0                                ? released
                                                        : QPointF(before[i].x, before[i].y);
            QVERIFY2(qAbs(after[i].x - expected.x()) < 1e-9 && qAbs(after[i].y - expected.y()) < 1e-9,
                     qPrintable(QStringLiteral("corner %1 at (%2, %3)").arg(i).arg(after[i].x).arg(after[i].y)));
        }
    }

    // The pointer keeps its arrow over everything on the canvas, under
    // every tool.
    void pointerKeepsItsArrow_data()
    {
        QTest::addColumn<QString>("over");
        QTest::addColumn<EditTool>("tool");
        QTest::newRow("a point") << "point" << EditTool::select;
        QTest::newRow("a corner") << "corner" << EditTool::select;
        QTest::newRow("a midpoint") << "midpoint" << EditTool::select;
        QTest::newRow("a region") << "region" << EditTool::select;
        QTest::newRow("empty space, point tool") << "space" << EditTool::point;
        QTest::newRow("empty space, region tool") << "space" << EditTool::region;
    }
    void pointerKeepsItsArrow()
    {
        QFETCH(QString, over);
        QFETCH(EditTool, tool);
        open();
        library->point("Aorta", 0.25, 0.25);
        RegionAnnotation *region = library->region("Liver", EditorLibrary::square(0.6, 0.6, 0.2));
        model().setTool(tool);
        if (tool == EditTool::select)
            model().setSelection(EditorSelection::region(region->id()));
        const QPoint place = over == "point" ? at(0.25, 0.25)
            : over == "corner"               ? at(0.5, 0.5)
            : over == "midpoint"             ? at(0.6, 0.5)
            : over == "region"               ? at(0.62, 0.58)
                                             : at(0.9, 0.15);
        QTest::mouseMove(canvas(), place + QPoint(40, 40));
        QTest::mouseMove(canvas(), place);
        QCOMPARE(canvas()->cursor().shape(), Qt::ArrowCursor);
    }

    // A drag from what takes no press pans the zoomed picture and writes
    // nothing: empty space, or a region under the point and region tools.
    void panByDragging_data()
    {
        QTest::addColumn<EditTool>("tool");
        QTest::addColumn<QPointF>("from");
        QTest::newRow("empty space, select tool") << EditTool::select << QPointF(0.2, 0.8);
        QTest::newRow("inside a region, point tool") << EditTool::point << QPointF(0.6, 0.6);
        QTest::newRow("inside a region, region tool") << EditTool::region << QPointF(0.6, 0.6);
    }
    void panByDragging()
    {
        QFETCH(EditTool, tool);
        QFETCH(QPointF, from);
        open();
        RegionAnnotation *region = library->region("Liver", EditorLibrary::square(0.6, 0.6, 0.2));
        const QList<Vertex> before = vertices(region);
        model().setTool(tool);
        editor->canvas()->zoom()->zoomIn();
        QTRY_VERIFY(editor->canvas()->isResting());
        QSignalSpy writes(&library->context(), &ModelContext::propertyChanged);
        const QPoint start = at(from.x(), from.y());
        drag(start, start + QPoint(-60, -40));
        QTRY_VERIFY(editor->canvas()->isResting());
        QCOMPARE(editor->canvas()->zoom()->committed().offset, QSizeF(-60, -40));
        QVERIFY(writes.isEmpty());
        QCOMPARE(vertices(region), before);
        QVERIFY(library->image->points().isEmpty());
        QVERIFY(model().draftVertices().isEmpty() && !model().selection());
    }

    // A pan or a pinch on the editing canvas glides there on the springs,
    // and each frame of the way draws the marks where the picture is.
    void gesturesGlideWithTheMarks_data()
    {
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<double>("scale"); // committed at the end
        QTest::addColumn<QSizeF>("offset");
        // From 1.5×.
        QTest::newRow("pan") << "pan" << 1.5 << QSizeF(-60, -40);
        QTest::newRow("pinch") << "pinch" << 3.0 << QSizeF(0, 0);
    }
    void gesturesGlideWithTheMarks()
    {
        QFETCH(QString, gesture);
        open();
        library->point("Aorta", 0.25, 0.25);
        ZoomableImage *view = editor->canvas();
        view->zoom()->zoomIn();
        QVERIFY(settleZoom(view));
        const ZoomPanTransform before = view->geometry().transform;
        const QPoint from = at(0.6, 0.8); // empty space
        if (gesture == "pan") {
            QTest::mousePress(canvas(), Qt::LeftButton, {}, from);
            QTest::mouseMove(canvas(), from + QPoint(-60, -40));
        } else {
            sendPinch(view, Qt::BeginNativeGesture);
            sendPinch(view, Qt::ZoomNativeGesture, 1);
        }
        QCOMPARE(view->geometry().transform, before);
        view->frameClock()->step(1 / 60.0);
        const CanvasGeometry moving = view->geometry();
        QVERIFY(moving.transform != before && moving.transform != view->zoom()->transform());

        // One pass draws the picture and the point's marker with the same
        // transform, the one on the way.
        PaintRecorder recorder(canvas()->size());
        canvas()->render(&recorder, {}, {}, QWidget::DrawWindowBackground);
        std::optional<QRectF> pictureRect;
        std::optional<QPointF> marker;
        for (const PaintRecorder::Drawn &drawn : recorder.drawn()) {
            if (drawn.image.isNull())
                continue;
            if (drawn.target.width() > 100) {
                // The picture comes first, then the overlay's own images.
                if (pictureRect)
                    continue;
                // The part of the picture in sight: where the whole lies.
                const double x = drawn.target.width() / drawn.source.width();
                const double y = drawn.target.height() / drawn.source.height();
                pictureRect = QRectF(drawn.target.left() - drawn.source.left() * x,
                                     drawn.target.top() - drawn.source.top() * y, drawn.image.width() * x,
                                     drawn.image.height() * y);
            } else {
                marker = drawn.target.center();
            }
        }
        QVERIFY(pictureRect && marker);
        const QPointF onPicture = pictureRect->topLeft() + QPointF(pictureRect->width(), pictureRect->height()) / 4;
        const QPointF expected = moving.viewPoint({0.25, 0.25});
        QVERIFY2((*marker - expected).manhattanLength() <= 1 && (onPicture - expected).manhattanLength() < 1e-6,
                 qPrintable(QStringLiteral("marker (%1, %2), picture (%3, %4), expected (%5, %6)")
                                .arg(marker->x()).arg(marker->y()).arg(onPicture.x()).arg(onPicture.y())
                                .arg(expected.x()).arg(expected.y())));

        if (gesture == "pan")
            QTest::mouseRelease(canvas(), Qt::LeftButton, {}, from + QPoint(-60, -40));
        else
            sendPinch(view, Qt::EndNativeGesture);
        QVERIFY(settleZoom(view));
        QTEST(view->zoom()->committed().scale, "scale");
        QTEST(view->zoom()->committed().offset, "offset");
        QCOMPARE(view->geometry().transform, view->zoom()->transform());
        QVERIFY(library->image->points().size() == 1 && !model().selection());
    }

    // Regions lie in their stored order, the selected one in its place
    // among them, not raised: a later region is drawn over it and takes
    // the clicks where the two overlap.
    void regionsInStoredOrder_data()
    {
        QTest::addColumn<int>("selected");
        QTest::newRow("the first selected") << 0;
        QTest::newRow("the middle one selected") << 1;
        QTest::newRow("the last selected") << 2;
    }
    void regionsInStoredOrder()
    {
        QFETCH(int, selected);
        open();
        // Three in a row, each overlapping the next.
        QList<RegionAnnotation *> regions;
        for (double x : {0.3, 0.5, 0.7})
            regions.append(library->region(QString(), EditorLibrary::square(x, 0.5, 0.3)));
        const QList<QPointF> alone = {{0.2, 0.5}, {0.5, 0.45}, {0.8, 0.5}}; // inside one region only
        model().setSelection(EditorSelection::region(regions[selected]->id()));

        PaintRecorder recorder(canvas()->size());
        {
            QPainter painter(&recorder);
            editor->layer()->paint(painter, editor->canvas()->geometry());
        }
        const QList<PaintRecorder::Drawn> &drawn = recorder.drawn();
        // The selected one's outline: 2 points wide, opaque.
        qsizetype outline = -1;
        for (qsizetype i = 0; i < drawn.size(); ++i) {
            if (drawn[i].image.isNull() && drawn[i].pen.style() != Qt::NoPen && drawn[i].pen.widthF() == 2
                && drawn[i].pen.color().alpha() == 255)
                outline = i;
        }
        QVERIFY(outline >= 0);
        for (int i = 0; i < 3; ++i) {
            if (i == selected)
                continue;
            const QPointF place = editor->canvas()->geometry().viewPoint(alone[i]);
            QList<bool> sides; // false under the selected one's outline, true over it
            for (qsizetype j = 0; j < drawn.size(); ++j) {
                if (paintsAt(drawn[j], place))
                    sides.append(j > outline);
            }
            QCOMPARE(sides, QList<bool>({i > selected}));
        }

        // Where two overlap, the later one takes the click.
        click(at(0.4, 0.5));
        QCOMPARE(model().selection(), EditorSelection::region(regions[1]->id()));
        click(at(0.6, 0.5));
        QCOMPARE(model().selection(), EditorSelection::region(regions[2]->id()));
    }

    // A drag given up without a release (the canvas loses the focus, the
    // mouse grab, its window or its place on screen) keeps what it wrote
    // last, also when the pointer has not moved since the press, and saves
    // it, so the library holds what the canvas shows; the next drag moves
    // its own region from where it is.
    void cancelledDragKeepsWhatItWrote_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QPoint>("movement");
        QTest::addColumn<QString>("cancel");
        const QList<std::tuple<const char *, const char *, QPoint>> drags{
            {"region dragged", "region", QPoint(100, 0)},
            {"region pressed", "region", QPoint()},
            {"point dragged", "point", QPoint(40, 30)},
            {"point stored beyond the edge, dragged", "far point", QPoint(-60, 20)},
            {"corner dragged", "corner", QPoint(30, -40)},
            {"draft corner dragged", "draft", QPoint(-50, 50)},
        };
        for (const char *cancel : {"focus lost", "grab lost", "window deactivated", "canvas hidden", "editor disabled"}) {
            for (const auto &[name, target, movement] : drags)
                QTest::addRow("%s, %s", name, cancel) << target << movement << cancel;
        }
    }
    void cancelledDragKeepsWhatItWrote()
    {
        QFETCH(QString, target);
        QFETCH(QPoint, movement);
        QFETCH(QString, cancel);
        open(true);
        RegionAnnotation *first = library->region("A", EditorLibrary::square(0.3, 0.3, 0.2));
        RegionAnnotation *second = library->region("B", EditorLibrary::square(0.7, 0.7, 0.2));
        PointAnnotation *point = library->point("Aorta", 0.8, 0.2);
        PointAnnotation *far = library->point("Beyond", 1.25, 0.4);
        const QList<Vertex> firstBefore = vertices(first);
        const QList<Vertex> draft = {{0.1, 0.8}, {0.3, 0.9}, {0.2, 0.95}};
        QPoint press = at(0.3, 0.3);
        PointAnnotation *dragged = nullptr;
        if (target == "point") {
            press = at(0.8, 0.2) + QPoint(6, 6);
            dragged = point;
        } else if (target == "far point") {
            press = at(1, 0.4) + QPoint(-4, 0);
            dragged = far;
        } else if (target == "corner") {
            model().setSelection(EditorSelection::region(first->id()));
            press = at(0.2, 0.2) + QPoint(3, 3);
        } else if (target == "draft") {
            model().setTool(EditTool::region);
            for (const Vertex &corner : draft)
                click(at(corner.x, corner.y));
            press = at(0.3, 0.9) + QPoint(-5, 2);
        }
        // Where each is as the drag has written it last.
        const auto where = [&] {
            return target == "draft" ? model().draftVertices()
                : dragged            ? QList<Vertex>{{dragged->x(), dragged->y()}}
                                     : vertices(first);
        };
        const QList<Vertex> before = where();
        QSignalSpy saves(&library->context(), &ModelContext::didSave);
        QTest::mousePress(canvas(), Qt::LeftButton, {}, press);
        if (!movement.isNull())
            QTest::mouseMove(canvas(), press + movement);
        const QList<Vertex> written = where();
        QCOMPARE(written != before, !movement.isNull());
        QCOMPARE(saves.size(), 0);

        std::unique_ptr<QWidget> other;
        if (cancel == "focus lost") {
            QFocusEvent lost(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
            QApplication::sendEvent(canvas(), &lost);
        } else if (cancel == "grab lost") {
            // The button went up outside: the next move comes without it.
            const QPointF at = press + movement;
            QMouseEvent stray(QEvent::MouseMove, at, canvas()->mapToGlobal(at), Qt::NoButton, Qt::NoButton, {});
            QApplication::sendEvent(canvas(), &stray);
        } else if (cancel == "window deactivated") {
            other = std::make_unique<QWidget>();
            other->resize(100, 100);
            other->show();
            other->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(other.get()));
        } else if (cancel == "canvas hidden") {
            editor->hide();
        } else {
            editor->setEnabled(false);
        }
        QVERIFY(!editor->layer()->isGestureRunning());
        QCOMPARE(where(), written);
        QCOMPARE(saves.size(), target == "draft" ? 0 : 1);
        QVERIFY(!library->context().hasChanges());
        if (!editor->isVisible())
            editor->show();
        editor->setEnabled(true);
        editor->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(editor));
        // The release comes too late: it neither writes nor taps.
        QTest::mouseRelease(canvas(), Qt::LeftButton, {}, press + movement);
        QCOMPARE(where(), written);
        QCOMPARE(model().draftVertices(), target == "draft" ? written : QList<Vertex>());
        if (target == "draft")
            return;

        const QList<Vertex> secondBefore = vertices(second);
        drag(at(0.7, 0.7), at(0.7, 0.7) + QPoint(-80, 0));
        QCOMPARE(where(), written);
        for (qsizetype i = 0; i < secondBefore.size(); ++i) {
            QVERIFY(qAbs(vertices(second)[i].x - (secondBefore[i].x - 0.1)) < 1e-9);
            QCOMPARE(vertices(second)[i].y, secondBefore[i].y);
        }
        // The library, read again, holds what the canvas showed.
        const QList<Vertex> secondAfter = vertices(second);
        const QString label = dragged ? dragged->label() : first->label();
        delete editor;
        editor = nullptr;
        library->reopen();
        const auto stored = [&](const QString &label) {
            for (const PointAnnotation *found : library->image->points()) {
                if (found->label() == label)
                    return QList<Vertex>{{found->x(), found->y()}};
            }
            for (const RegionAnnotation *found : library->image->regions()) {
                if (found->label() == label)
                    return found->vertices();
            }
            return QList<Vertex>();
        };
        QCOMPARE(stored(label), written);
        QCOMPARE(stored(QStringLiteral("B")), secondAfter);
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
    // closes with Return, and when the editor goes while it is open.
    void linksSheet_data()
    {
        QTest::addColumn<QString>("ending"); // "return", "gone", "disabled"
        QTest::newRow("closed with Return") << "return";
        QTest::newRow("editor gone meanwhile") << "gone";
        QTest::newRow("editor disabled meanwhile") << "disabled";
    }
    void linksSheet()
    {
        QFETCH(QString, ending);
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
        if (ending == "return") {
            QTest::keyClick(sheet->labelField(typed[1].id), Qt::Key_Return);
            QTRY_VERIFY(!editor->linksSheet());
            QVERIFY(!library->context().hasChanges());
        } else if (ending == "disabled") {
            // As the editor fades out: the sheet closes at once, what was
            // typed is saved.
            editor->setEnabled(false);
            QVERIFY(!editor->linksSheet() && !sheet->isVisible() && !model().isEditingLinks());
            QVERIFY(!library->context().hasChanges());
        }
        // Without Return, the editor goes with the sheet open.
        delete editor;
        editor = nullptr;
        library->reopen();
        const QList<AnnotationLink> stored = library->image->points().first()->links().value();
        QCOMPARE(stored.size(), 1);
        QCOMPARE(stored.first().urlString, QStringLiteral("radiopaedia.org"));
        QCOMPARE(stored.first().label, QStringLiteral(" Cases "));
    }

    // Only Done and Return end the sheet: Escape, on the sheet or in a
    // field, and the window manager's close leave it open, with what was
    // typed kept either way.
    void linksSheetEnds_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("ends");
        QTest::newRow("Escape") << "escape" << false;
        QTest::newRow("Escape in a field") << "escape in field" << false;
        QTest::newRow("window manager's close") << "close" << false;
        QTest::newRow("Return in a field") << "return in field" << true;
        QTest::newRow("Done") << "done" << true;
    }
    void linksSheetEnds()
    {
        QFETCH(QString, how);
        QFETCH(bool, ends);
        open();
        PointAnnotation *point = library->point("Aorta", 0.5, 0.5);
        openEditor(point->id());
        editor->linksAction()->trigger();
        AnnotationLinksEditor *sheet = editor->linksSheet();
        QVERIFY(sheet);
        QTRY_VERIFY(sheet->isVisible());
        QVERIFY(!(sheet->windowFlags() & Qt::WindowCloseButtonHint));
        sheet->addLink();
        QLineEdit *field = sheet->urlField(sheet->links().last().id);
        QTest::keyClicks(field, "radiopaedia.org");
        if (how == "escape") {
            QTest::keyClick(sheet, Qt::Key_Escape);
        } else if (how == "escape in field") {
            QTest::keyClick(field, Qt::Key_Escape);
        } else if (how == "close") {
            QCloseEvent close;
            QSpontaneKeyEvent::setSpontaneous(&close); // as the window manager's
            QVERIFY(!qApp->notify(sheet, &close) || !close.isAccepted());
        } else if (how == "return in field") {
            QTest::keyClick(field, Qt::Key_Return);
        } else {
            QTest::mouseClick(sheet->doneButton(), Qt::LeftButton);
        }
        QCoreApplication::processEvents();
        QCOMPARE(!editor->linksSheet(), ends);
        QCOMPARE(sheet->isVisible(), !ends);
        QCOMPARE(model().isEditingLinks(), !ends);
        QCOMPARE(point->links().value().size(), 1);
        QCOMPARE(point->links().value().first().urlString, QStringLiteral("radiopaedia.org"));
    }

    // Removing a link leaves the caret where it was: in the field being
    // typed in, with its selection. When that field goes with its link, the
    // focus goes to "Add Link", in the sheet.
    void removingALinkKeepsTheCaret_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("typedIn"); // the link whose field has the caret
        QTest::addColumn<bool>("inLabel"); // its Label field, else its URL field
        QTest::addColumn<int>("removed");
        QTest::addColumn<bool>("byKeyboard"); // the remove button reached with Shift+Tab, pressed with Space
        QTest::newRow("the one before, caret in a URL field") << 3 << 1 << false << 0 << false;
        QTest::newRow("the one after, caret in a Label field") << 3 << 1 << true << 2 << false;
        QTest::newRow("the one typed in") << 3 << 1 << false << 1 << false;
        QTest::newRow("the one typed in, caret in its Label field") << 3 << 1 << true << 1 << false;
        QTest::newRow("the only one") << 1 << 0 << false << 0 << false;
        QTest::newRow("the one typed in, with the keyboard") << 3 << 1 << false << 1 << true;
    }
    void removingALinkKeepsTheCaret()
    {
        QFETCH(int, count);
        QFETCH(int, typedIn);
        QFETCH(bool, inLabel);
        QFETCH(int, removed);
        QFETCH(bool, byKeyboard);
        AnnotationLinksEditor *sheet = openLinksSheet(count);
        QVERIFY(sheet);
        const QList<AnnotationLink> links = sheet->links();
        const QUuid id = links[typedIn].id;
        QLineEdit *field = inLabel ? sheet->labelField(id) : sheet->urlField(id);
        QTest::mouseClick(field, Qt::LeftButton);
        QTest::keyClicks(field, "radiopaedia.org");
        field->setSelection(3, 4);
        QCOMPARE(QApplication::focusWidget(), field);
        if (byKeyboard) {
            QTest::keyClick(field, Qt::Key_Backtab);
            QCOMPARE(QApplication::focusWidget(), sheet->removeButton(links[removed].id));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        } else {
            QTest::mouseClick(sheet->removeButton(links[removed].id), Qt::LeftButton);
        }
        QCOMPARE(sheet->links().size(), count - 1);
        QCOMPARE(editor->model()->selectedLinks(), sheet->links());
        QCoreApplication::processEvents();
        if (removed == typedIn) {
            QCOMPARE(QApplication::focusWidget(), sheet->addButton());
            QCOMPARE(sheet->emptyView()->isVisibleTo(sheet), count == 1);
            return;
        }
        QCOMPARE(inLabel ? sheet->labelField(id) : sheet->urlField(id), field);
        QCOMPARE(QApplication::focusWidget(), field);
        QCOMPARE(field->selectionStart(), 3);
        QCOMPARE(field->selectedText(), QStringLiteral("iopa"));
        // Typing goes on where it left off.
        QTest::keyClicks(field, "X");
        const AnnotationLink stored = editor->model()->selectedLinks().at(typedIn - (removed < typedIn ? 1 : 0));
        QCOMPARE(inLabel ? stored.label : stored.urlString, QStringLiteral("radXedia.org"));
    }

    // Tab goes through the sheet as it reads, top to bottom: each link's
    // remove button, URL and Label, then "Add Link" and "Done", and round;
    // Shift+Tab goes back. The sheet opens with the focus on "Done", not on
    // a link, so the first Tab goes to the top. The control reached is
    // scrolled into sight.
    void tabGoesTopToBottom_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("change");
        QTest::newRow("no links") << 0 << "";
        QTest::newRow("one link") << 1 << "";
        QTest::newRow("more links than the sheet shows") << 5 << "";
        QTest::newRow("the middle one of three removed") << 3 << "remove";
        QTest::newRow("one added to two") << 2 << "add";
        QTest::newRow("one added to five") << 5 << "add";
        QTest::newRow("three reordered elsewhere") << 3 << "reorder";
    }
    void tabGoesTopToBottom()
    {
        QFETCH(int, count);
        QFETCH(QString, change);
        AnnotationLinksEditor *sheet = openLinksSheet(count);
        QVERIFY(sheet);
        QCOMPARE(QApplication::focusWidget(), sheet->doneButton());
        if (change == "remove") {
            QTest::mouseClick(sheet->removeButton(sheet->links().at(1).id), Qt::LeftButton);
        } else if (change == "add") {
            QTest::mouseClick(sheet->addButton(), Qt::LeftButton);
        } else if (change == "reorder") {
            PointAnnotation *point = library->image->points().first();
            QList<AnnotationLink> reordered = point->links().value();
            std::reverse(reordered.begin(), reordered.end());
            point->setLinks(reordered);
            QTRY_COMPARE(sheet->links(), reordered);
        }
        QList<QWidget *> order;
        for (const AnnotationLink &link : sheet->links())
            order << sheet->removeButton(link.id) << sheet->urlField(link.id) << sheet->labelField(link.id);
        order << sheet->addButton() << sheet->doneButton();
        const auto *scroll = sheet->findChild<QScrollArea *>();
        QVERIFY(scroll);
        const auto inSight = [scroll](QWidget *control) {
            if (!scroll->widget()->isAncestorOf(control))
                return true;
            const QRect shown(control->mapTo(scroll->viewport(), QPoint(0, 0)), control->size());
            return scroll->viewport()->rect().contains(shown);
        };
        QCoreApplication::processEvents(); // the sections laid out
        qsizetype at = order.indexOf(QApplication::focusWidget());
        QVERIFY(at >= 0 && inSight(order.at(at)));
        // Twice round, so that Tab goes from the bottom to the top, then back.
        for (const Qt::Key key : {Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Backtab}) {
            for (qsizetype step = 0; step < order.size(); ++step) {
                QTest::keyClick(QApplication::focusWidget(), key);
                at = (at + (key == Qt::Key_Tab ? 1 : order.size() - 1)) % order.size();
                QCOMPARE(QApplication::focusWidget(), order.at(at));
                QVERIFY(inSight(order.at(at)));
            }
        }
    }

    // The sheet belongs to the editor's window: window-modal, held over it,
    // with a title bar but no button or menu to minimise, maximise or close
    // it.
    void linksSheetIsASheetOfItsWindow()
    {
        AnnotationLinksEditor *sheet = openLinksSheet(0);
        QVERIFY(sheet);
        QCOMPARE(sheet->windowModality(), Qt::WindowModal);
        QCOMPARE(sheet->windowType(), Qt::Dialog);
        const Qt::WindowFlags flags = sheet->windowFlags();
        QVERIFY(flags.testFlags(Qt::CustomizeWindowHint | Qt::WindowTitleHint));
        QVERIFY(!(flags & (Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint)));
        QVERIFY(sheet->windowHandle());
        QCOMPARE(sheet->windowHandle()->transientParent(), editor->window()->windowHandle());
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
    // unzoomed with the select tool and nothing drawn or selected. An
    // editor disabled (fading out as edit mode ends) closes its alert at
    // once.
    void teardown_data()
    {
        QTest::addColumn<QString>("left");
        QTest::addColumn<bool>("disabledFirst");
        for (const bool disabled : {false, true}) {
            const char *how = disabled ? ", disabled first" : "";
            QTest::addRow("a draft%s", how) << "draft" << disabled;
            QTest::addRow("a label typed%s", how) << "label" << disabled;
            QTest::addRow("a label typed, the image deleted elsewhere%s", how) << "deleted" << disabled;
        }
    }
    void teardown()
    {
        QFETCH(QString, left);
        QFETCH(bool, disabledFirst);
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
        if (disabledFirst) {
            QPointer<AlertDialog> alert = editor->renameAlert();
            editor->setEnabled(false);
            QVERIFY(!editor->renameAlert() && !model().isRenaming());
            QVERIFY(!alert || !alert->isVisible());
            QVERIFY(!library->context().hasChanges());
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
    // stays on screen and is stored by the next save. An editor disabled
    // (fading out as edit mode ends) closes the alert at once; it is told
    // again, in its window, once the editor has gone.
    void failedSaveAlert_data()
    {
        QTest::addColumn<bool>("disabled");
        QTest::newRow("answered") << false;
        QTest::newRow("the editor disabled") << true;
    }
    void failedSaveAlert()
    {
        QFETCH(bool, disabled);
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
            if (disabled) {
                editor->setEnabled(false);
                QVERIFY(!editor->saveErrorAlert() && !alert->isVisible());
                failing.set(false);
            } else {
                failing.set(false);
                alert->buttons().first()->click();
                QVERIFY(!editor->saveErrorAlert());
            }
        }
        QVERIFY(library->context().hasChanges());
        delete editor;
        editor = nullptr;
        if (disabled) {
            QCoreApplication::processEvents();
            auto *told = qobject_cast<AlertDialog *>(QApplication::activeModalWidget());
            QVERIFY(told);
            QCOMPARE(told->title(), QStringLiteral("Save Failed"));
            told->buttons().first()->click();
        }
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
