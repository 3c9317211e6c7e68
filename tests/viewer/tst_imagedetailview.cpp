#include "model/AtlasImage.h"
#include "model/PointAnnotation.h"
#include "model/StoreTestSupport.h"
#include "support/CanvasGestures.h"
#include "support/Fades.h"
#include "support/FocusRings.h"
#include "support/StubPrograms.h"
#include "support/TestPictures.h"
#include "ui/ContentUnavailableView.h"
#include "ui/ProminentButton.h"
#include "ui/Spring.h"
#include "viewer/AnnotationInspector.h"
#include "viewer/AnnotationLayer.h"
#include "viewer/AnnotationLinkRow.h"
#include "viewer/AnnotationLinksOverlay.h"
#include "viewer/AnnotationList.h"
#include "viewer/AnnotationViewState.h"
#include "viewer/CanvasZoom.h"
#include "viewer/DetailDrawer.h"
#include "ui/FrameClock.h"
#include "viewer/ImageDetailView.h"
#include "viewer/ImageEditorFactory.h"
#include "viewer/MetadataStrip.h"
#include "viewer/OpenedPicture.h"
#include "viewer/SharedImageScreenState.h"
#include "viewer/ZoomControls.h"
#include "viewer/ZoomableImage.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QGraphicsOpacityEffect>
#include <QKeyEvent>
#include <QPointer>
#include <QVariantAnimation>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QTest>
#include <QVBoxLayout>

namespace {

// Records the requests it gets and makes for each a bare canvas on the
// picture, as the editor's, with its zoom keys.
class RecordingEditorFactory : public ImageEditorFactory {
public:
    QWidget *createEditor(const ImageEditorRequest &request, QWidget *parent) override
    {
        requests.append(request);
        auto *canvas = new ZoomableImage(parent);
        canvas->setPicture(request.picture);
        made.append(canvas);
        return canvas;
    }
    QList<ImageEditorRequest> requests;
    QList<QPointer<ZoomableImage>> made;
};

// The screen's surroundings: sees the keys the screen lets travel on.
class Pane : public QWidget {
public:
    QList<int> keys;

protected:
    void keyPressEvent(QKeyEvent *event) override { keys.append(event->key()); }
};

using Classes = std::optional<SizeClass>;

} // namespace

// The image screen driven as a user would, offscreen.
class ImageDetailViewTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ModelContainer> container;
    SharedImageScreenState *shared = nullptr;
    Pane *pane = nullptr;
    ImageDetailView *screen = nullptr;

    AtlasImage *image(const QString &title, const std::optional<QByteArray> &bytes = pngBytes(Qt::blue, {400, 300}),
                      Modality modality = Modality::ct)
    {
        return container->mainContext().insert(
            AtlasImage::make(title, modality, Region::upperLimb, Plane::coronal, AgeSpec{5, 1}, Sex::male, bytes));
    }
    AtlasImage *open(AtlasImage *opened)
    {
        screen->setImage(opened);
        return opened;
    }
    PointAnnotation *point(AtlasImage *on, const QString &label, const QString &group,
                           const QList<AnnotationLink> &links = {})
    {
        PointAnnotation *point =
            container->mainContext().insert(PointAnnotation::make(label, group, links, 0.5, 0.5));
        point->setImage(on);
        return point;
    }
    // "edit" or "done" (edit mode on or off), "half" or "end" (of the
    // cross-fade under way).
    void act(const QString &step) const
    {
        if (step == QLatin1String("edit") || step == QLatin1String("done"))
            shared->setIsEditing(step == QLatin1String("edit"));
        else
            stepFades(screen, step == QLatin1String("half") ? ImageDetailView::crossFadeMilliseconds / 2
                                                            : ImageDetailView::crossFadeMilliseconds);
    }
    // Steps the links panel's fade frame by frame until it rests.
    static void settle(AnnotationLinksOverlay *panel)
    {
        for (int frame = 0; panel && panel->frameClock()->isRunning() && frame < 600; ++frame)
            panel->frameClock()->step(1 / 60.0);
    }
    // What the focused widget is, seen from the links panel.
    static QString nameInPanel(AnnotationLinksOverlay *panel, QWidget *focused)
    {
        if (!focused || !(focused == panel || panel->isAncestorOf(focused)))
            return QStringLiteral("behind the panel");
        if (auto *row = qobject_cast<AnnotationLinkRow *>(focused))
            return row->title();
        if (focused == panel->closeButton())
            return QStringLiteral("Close");
        return QStringLiteral("the panel");
    }

private slots:
    void init()
    {
        container = makeTestContainer();
        shared = new SharedImageScreenState;
        pane = new Pane;
        screen = new ImageDetailView(*shared, pane);
        (new QVBoxLayout(pane))->addWidget(screen);
        pane->resize(1000, 700);
        pane->show();
        pane->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(pane));
    }
    void cleanup()
    {
        delete pane;
        delete shared;
        container.reset();
    }

    void pictureArea_data()
    {
        QTest::addColumn<std::optional<QByteArray>>("bytes");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("description");
        QTest::newRow("picture") << std::optional(pngBytes()) << QString() << QString();
        QTest::newRow("no bytes") << std::optional<QByteArray>() << "Downloading Image"
                                  << "This image hasn't finished syncing from iCloud yet.";
        QTest::newRow("empty bytes") << std::optional(QByteArray("", 0)) << "Image Unavailable" << QString();
        QTest::newRow("not a picture") << std::optional(QByteArray("%PDF")) << "Image Unavailable" << QString();
    }
    void pictureArea()
    {
        QFETCH(std::optional<QByteArray>, bytes);
        QFETCH(QString, title);
        open(image(QStringLiteral("scan"), bytes));
        QTRY_VERIFY(screen->picture()->status() != OpenedPicture::Status::loading);
        const bool placeholder = !title.isEmpty();
        QCOMPARE(screen->shownPicturePage(), placeholder ? static_cast<QWidget *>(screen->placeholder()) : screen->canvas());
        if (placeholder) {
            QCOMPARE(screen->placeholder()->title(), title);
            QTEST(screen->placeholder()->description(), "description");
        }
        // Edit mode needs a picture: without one the placeholder stays.
        shared->setIsEditing(true);
        QCOMPARE(screen->shownPicturePage() == screen->placeholder(), placeholder);
    }

    // A picture without a thumbnail: its marks are drawn where they belong
    // while it decodes, and stay there when it arrives.
    void marksStayPutWhileThePictureLoads()
    {
        AtlasImage *scan = image(QStringLiteral("scan"), pngBytes(Qt::blue, {1000, 100}));
        point(scan, QStringLiteral("Nerve"), QString());
        open(scan);
        QCOMPARE(screen->picture()->status(), OpenedPicture::Status::loading);
        const CanvasGeometry loading = screen->canvas()->geometry();
        const QSizeF view = screen->canvas()->size();
        QCOMPARE(loading.fitted.rect.size(), QSizeF(view.width(), view.width() / 10));
        const QList<AnnotationCallout> marks = screen->annotationLayer()->frame(loading).callouts;
        QCOMPARE(marks.size(), 1);
        QTRY_COMPARE(screen->picture()->status(), OpenedPicture::Status::ready);
        const CanvasGeometry ready = screen->canvas()->geometry();
        QCOMPARE(ready.fitted.rect, loading.fitted.rect);
        QCOMPARE(screen->annotationLayer()->frame(ready).callouts.constFirst().anchor, marks.constFirst().anchor);
    }

    void titleAndMetadataFollowTheImage()
    {
        AtlasImage *scan = open(image(QString(), pngBytes(), Modality::unknown));
        QCOMPARE(screen->title(), QStringLiteral("Untitled"));
        const QList<MetadataEntry> expected{{"Modality", "—"},
                                            {"Region", "Upper limb"},
                                            {"Plane", "Coronal"},
                                            {"Age", "1 year"},
                                            {"Sex", "Male"}};
        QCOMPARE(screen->metadataStrip()->entries(), expected);
        QCOMPARE(screen->drawer()->entries(), expected);
        scan->setTitle(QStringLiteral("<b>Knee</b> & leg"));
        QCOMPARE(screen->title(), QStringLiteral("<b>Knee</b> & leg"));
        scan->setPlaneRaw(99);
        QCOMPARE(screen->metadataStrip()->entries().at(2).value, QStringLiteral("Unknown"));
    }

    void metadataScrollsSidewaysWhenNarrow()
    {
        open(image(QStringLiteral("scan")));
        QTRY_VERIFY(!screen->metadataStrip()->isScrollable());
        QCOMPARE(screen->metadataStrip()->height(), MetadataStrip::stripHeight);
        pane->resize(360, 700);
        QTRY_VERIFY(screen->metadataStrip()->isScrollable());
    }

    void editAndDone()
    {
        RecordingEditorFactory factory;
        screen->setEditorFactory(&factory);
        open(image(QStringLiteral("scan")));
        QTRY_COMPARE(screen->picture()->status(), OpenedPicture::Status::ready);
        screen->canvas()->zoom()->zoomIn();

        QCOMPARE(screen->editAction()->text(), QStringLiteral("Edit"));
        QTest::keyClick(screen, Qt::Key_E, Qt::ControlModifier);
        QVERIFY(shared->isEditing());
        QCOMPARE(screen->editAction()->text(), QStringLiteral("Done"));
        QVERIFY(screen->editor() && screen->editor()->isVisible());
        QCOMPARE(factory.requests.size(), 1);
        QCOMPARE(factory.requests.first().pictureSize, QSize(400, 300));

        // Done (the same command) returns to the viewer, unzoomed; the
        // next entry makes a new editor.
        screen->editAction()->trigger();
        QVERIFY(!shared->isEditing() && !screen->editor());
        QCOMPARE(screen->shownPicturePage(), screen->canvas());
        QVERIFY(screen->canvas()->zoom()->committed().isIdentity());
        shared->setIsEditing(true);
        QCOMPARE(factory.requests.size(), 2);
    }

    // The switch between viewer and editor cross-fades: the new page comes
    // into view at once, under a picture of the page leaving that fades out
    // over it; the page leaving is out of view at once, an editor leaving
    // gone with it. The keys stay with the screen, and Tab and the zoom keys
    // reach only the new page. Each entry into edit mode makes a new editor,
    // also during the fade.
    void viewerAndEditorCrossFade_data()
    {
        QTest::addColumn<QStringList>("before"); // "edit", "done", "half" (of the fades), "end"
        QTest::addColumn<QString>("then");       // the switch watched: "edit" or "done"
        QTest::newRow("entering edit mode") << QStringList() << "edit";
        QTest::newRow("leaving edit mode") << QStringList{"edit", "end"} << "done";
        QTest::newRow("leaving during the fade") << QStringList{"edit", "half"} << "done";
        QTest::newRow("entering again during the fade") << QStringList{"edit", "end", "done", "half"} << "edit";
    }
    void viewerAndEditorCrossFade()
    {
        QFETCH(QStringList, before);
        QFETCH(QString, then);
        RecordingEditorFactory factory;
        screen->setEditorFactory(&factory);
        open(image(QStringLiteral("scan")));
        QTRY_COMPARE(screen->picture()->status(), OpenedPicture::Status::ready);
        screen->setFocus();
        QTRY_VERIFY(screen->hasFocus());
        ZoomableImage *viewer = screen->canvas();
        QWidget *editorPage = screen->editorPage();
        for (const QString &step : before)
            act(step);

        const bool entering = then == QLatin1String("edit");
        QWidget *coming = entering ? editorPage : static_cast<QWidget *>(viewer);
        QWidget *leaving = entering ? static_cast<QWidget *>(viewer) : editorPage;
        act(then);
        QCOMPARE(screen->shownPicturePage(), coming);
        QAbstractAnimation *fade = runningFade(screen);
        QVERIFY(fade);
        QCOMPARE(fade->duration(), ImageDetailView::crossFadeMilliseconds);
        QCOMPARE(qobject_cast<QVariantAnimation *>(fade)->easingCurve(), QEasingCurve::InOutQuad);
        QVERIFY(coming->isVisible() && !leaving->isVisible() && leaving->isEnabled());
        // Each entry makes a new editor; the one leaving goes at once.
        QCOMPARE(factory.made.size(), before.count(QStringLiteral("edit")) + (entering ? 1 : 0));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const QPointer<ZoomableImage> editor = factory.made.last();
        QCOMPARE(screen->editor(), entering ? editor.data() : nullptr);
        QCOMPARE(std::count_if(factory.made.cbegin(), factory.made.cend(), [](const auto &made) { return !made.isNull(); }),
                 entering ? 1 : 0);

        stepFades(screen, ImageDetailView::crossFadeMilliseconds / 2);
        // The new page takes the clicks.
        QWidget *area = viewer->parentWidget();
        QWidget *under = area->childAt(area->rect().center());
        QVERIFY(under == coming || coming->isAncestorOf(under));

        // The screen keeps the keys; Tab goes through the new page only,
        // and the zoom keys are the new page's.
        QVERIFY(screen->hasFocus());
        bool reached = false;
        for (int tab = 0; tab < 30; ++tab) {
            QTest::keyClick(pane, Qt::Key_Tab);
            QVERIFY(!holdsFocus(leaving));
            reached = reached || holdsFocus(coming);
        }
        QVERIFY(reached);
        screen->setFocus();
        QTest::keyClick(pane, Qt::Key_Plus, Qt::ControlModifier);
        QCOMPARE(viewer->zoom()->committed().scale, entering ? 1.0 : 1.5);
        if (entering)
            QCOMPARE(editor->zoom()->committed().scale, 1.5);

        stepFades(screen, ImageDetailView::crossFadeMilliseconds);
        QVERIFY(!runningFade(screen));
        QVERIFY(!leaving->isVisible());
        QCOMPARE(screen->shownPicturePage(), coming);
    }

    // What the switch paints: halfway, the picture in view before it (the
    // page leaving, or the mix of a fade it turns round) and the page
    // coming mixed evenly, each drawn as at rest, neither greyed.
    void viewerAndEditorShowBothPages_data() { viewerAndEditorCrossFade_data(); }
    void viewerAndEditorShowBothPages()
    {
        QFETCH(QStringList, before);
        QFETCH(QString, then);
        // An editor that looks like none of the viewer.
        struct : ImageEditorFactory {
            QWidget *createEditor(const ImageEditorRequest &, QWidget *parent) override
            {
                auto *editor = new QWidget(parent);
                editor->setAutoFillBackground(true);
                editor->setPalette(QPalette(QColor(40, 200, 90)));
                return editor;
            }
        } factory;
        screen->setEditorFactory(&factory);
        open(image(QStringLiteral("scan")));
        QTRY_COMPARE(screen->picture()->status(), OpenedPicture::Status::ready);
        for (const QString &step : before)
            act(step);
        const QString fault = crossFadeFault(screen, screen->canvas()->parentWidget(),
                                             ImageDetailView::crossFadeMilliseconds, [&] { act(then); });
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
    }

    // A placeholder comes and goes at once, also in the middle of the
    // cross-fade: the pages it replaces go out of view with it (the editor
    // with them), and the page after it shows whole.
    void placeholderComesAndGoesAtOnce_data()
    {
        QTest::addColumn<bool>("editing");
        QTest::addColumn<int>("faded"); // milliseconds into the fade to edit mode
        QTest::newRow("from the viewer") << false << 0;
        QTest::newRow("from the editor") << true << ImageDetailView::crossFadeMilliseconds;
        QTest::newRow("from the editor fading in") << true << ImageDetailView::crossFadeMilliseconds / 2;
    }
    void placeholderComesAndGoesAtOnce()
    {
        QFETCH(bool, editing);
        QFETCH(int, faded);
        RecordingEditorFactory factory;
        screen->setEditorFactory(&factory);
        AtlasImage *scan = open(image(QStringLiteral("scan")));
        QTRY_COMPARE(screen->picture()->status(), OpenedPicture::Status::ready);
        const QList<QWidget *> pages{screen->canvas(), screen->editorPage(), screen->placeholder()};
        const auto showsOnly = [&](QWidget *page) {
            for (QWidget *other : pages) {
                if (other->isVisible() != (other == page) || !other->isEnabled())
                    return false;
            }
            return screen->shownPicturePage() == page && !runningFade(screen);
        };
        shared->setIsEditing(editing);
        stepFades(screen, faded);

        scan->setImageData(QByteArray("", 0));
        QTRY_COMPARE(screen->picture()->status(), OpenedPicture::Status::unavailable);
        QVERIFY(showsOnly(screen->placeholder()));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(factory.made.size(), editing ? 1 : 0);
        QVERIFY(!screen->editor() && (!editing || !factory.made.first()));

        scan->setImageData(pngBytes());
        QTRY_COMPARE(screen->picture()->status(), OpenedPicture::Status::ready);
        stepFades(screen, ImageDetailView::crossFadeMilliseconds);
        QVERIFY(showsOnly(editing ? screen->editorPage() : screen->canvas()));
    }

    void layoutFollowsTheSizeClasses_data()
    {
        QTest::addColumn<Classes>("horizontal");
        QTest::addColumn<Classes>("vertical");
        QTest::addColumn<DetailLayout>("layout");
        QTest::newRow("desktop") << Classes() << Classes() << DetailLayout::regular;
        QTest::newRow("regular") << Classes(SizeClass::regular) << Classes(SizeClass::regular) << DetailLayout::regular;
        QTest::newRow("compact width") << Classes(SizeClass::compact) << Classes(SizeClass::regular)
                                       << DetailLayout::drawerBelow;
        QTest::newRow("compact height") << Classes() << Classes(SizeClass::compact) << DetailLayout::drawerBeside;
    }
    void layoutFollowsTheSizeClasses()
    {
        QFETCH(Classes, horizontal);
        QFETCH(Classes, vertical);
        QFETCH(DetailLayout, layout);
        open(image(QStringLiteral("scan")));
        shared->setIsEditing(true);
        screen->setSizeClasses({horizontal, vertical});
        QCOMPARE(screen->sizeClasses().layout(), layout);
        const bool compact = layout != DetailLayout::regular;
        // Entering the compact layout ends edit mode; it hides the command.
        QCOMPARE(shared->isEditing(), !compact);
        QCOMPARE(screen->editAction()->isVisible(), !compact);
        QTRY_COMPARE(screen->metadataStrip()->isVisible(), !compact);
        QCOMPARE(screen->drawer()->isVisible(), compact);
        const auto drawer = [this] { return screen->drawer()->geometry(); };
        const auto picture = [this] { return screen->canvas()->parentWidget()->geometry(); };
        if (layout == DetailLayout::drawerBeside) {
            QTRY_COMPARE(drawer().width(), DetailDrawer::drawerExtent);
            QTRY_VERIFY(drawer().right() < picture().left());
        } else if (layout == DetailLayout::drawerBelow) {
            QTRY_COMPARE(drawer().height(), DetailDrawer::drawerExtent);
            QTRY_VERIFY(drawer().top() > picture().bottom());
        }
        // A double tap only highlights in the compact layout.
        screen->editAnnotation(QUuid::createUuid());
        QCOMPARE(shared->isEditing(), !compact);
    }

    void drawerPages()
    {
        screen->setSizeClasses({SizeClass::compact, std::nullopt});
        open(image(QStringLiteral("scan")));
        const QList<QWidget *> dots = screen->drawer()->pageDots();
        QTest::mouseClick(dots.at(1), Qt::LeftButton);
        QCOMPARE(screen->drawerPage(), int(DetailDrawer::metadataPage));
        QCOMPARE(screen->drawer()->page(), int(DetailDrawer::metadataPage));
        // A background tap clears the highlight and leaves the page; a
        // selection turns to the annotations.
        screen->selectAnnotation(std::nullopt);
        QCOMPARE(screen->drawerPage(), int(DetailDrawer::metadataPage));
        const QUuid id = QUuid::createUuid();
        screen->selectAnnotation(id);
        QCOMPARE(screen->drawerPage(), int(DetailDrawer::annotationsPage));
        QCOMPARE(screen->annotationState()->highlightedID(), std::optional(id));
        // The page scrolls a row of its list to its middle.
        auto *list = new QWidget;
        list->setFixedHeight(3000);
        auto *row = new QWidget(list);
        row->setGeometry(0, 2000, 100, 40);
        screen->drawer()->annotationsSlot()->layout()->addWidget(list);
        // (once the page has laid the list out)
        const auto centredRow = [&] {
            screen->drawer()->centreInAnnotations(row);
            return row->mapTo(screen->drawer(), row->rect().center()).y();
        };
        QTRY_VERIFY2(std::abs(centredRow() - screen->drawer()->height() / 2) < 40,
                     qPrintable(QString::number(centredRow())));
    }

    // A highlight from the picture brings its row to the middle of the drawer.
    void highlightScrollsItsRowToTheMiddle()
    {
        screen->setSizeClasses({SizeClass::compact, std::nullopt});
        AtlasImage *scan = open(image(QStringLiteral("scan")));
        QList<QUuid> ids;
        for (int i = 0; i < 80; ++i)
            ids << point(scan, QStringLiteral("Point %1").arg(i, 2, 10, QLatin1Char('0')), QString())->id();
        QTRY_COMPARE(screen->annotationList()->rows().size(), 80);
        screen->setDrawerPage(DetailDrawer::annotationsPage);
        AnnotationList *list = screen->annotationList();
        const auto rowCentre = [&] { return list->mapTo(screen->drawer(), list->rowRect(ids[70])->center()).y(); };
        QTRY_VERIFY(list->rowRect(ids[70]).has_value());
        QScrollArea *scroll = nullptr;
        for (QWidget *w = list; w && !scroll; w = w->parentWidget())
            scroll = qobject_cast<QScrollArea *>(w);
        QVERIFY(scroll);
        // (once the page has laid the whole list out)
        QTRY_VERIFY(scroll->verticalScrollBar()->maximum() > 1000);
        QVERIFY2(rowCentre() > screen->drawer()->height(), qPrintable(QString::number(rowCentre())));
        screen->annotationState()->setHighlightedID(ids[70]);
        QTRY_VERIFY2(std::abs(rowCentre() - screen->drawer()->height() / 2) < 60,
                     qPrintable(QString("%1 in %2").arg(rowCentre()).arg(screen->drawer()->height())));
    }

    // A highlight glides its row to the middle of the drawer's list on the
    // spring, turning the drawer to the list first when it shows the
    // metadata (from the picture); a new highlight on the way heads on
    // from where the list is; none moves nothing.
    void highlightGlidesToItsRow_data()
    {
        QTest::addColumn<int>("startPage");
        QTest::newRow("from the metadata page") << int(DetailDrawer::metadataPage);
        QTest::newRow("on the list's page") << int(DetailDrawer::annotationsPage);
    }
    void highlightGlidesToItsRow()
    {
        QFETCH(int, startPage);
        screen->setSizeClasses({SizeClass::compact, std::nullopt});
        AtlasImage *scan = open(image(QStringLiteral("scan")));
        DetailDrawer *drawer = screen->drawer();
        QScrollArea *scroll = drawer->annotationsScrollArea();
        QScrollBar *bar = scroll->verticalScrollBar();
        // (the list filled while its page may be out of view)
        screen->setDrawerPage(startPage);
        QCOMPARE(drawer->pagePosition(), double(startPage));
        QList<QUuid> ids;
        for (int i = 0; i < 80; ++i)
            ids << point(scan, QStringLiteral("Point %1").arg(i, 2, 10, QLatin1Char('0')), QString())->id();
        QTRY_COMPARE(screen->annotationList()->rows().size(), 80);
        if (startPage == DetailDrawer::annotationsPage)
            QTRY_VERIFY(bar->maximum() > 1000); // the whole list laid out
        QCOMPARE(scroll->isVisible(), startPage == DetailDrawer::annotationsPage);
        FrameClock *clock = drawer->frameClock();
        QVERIFY(!clock->isRunning());

        AnnotationList *list = screen->annotationList();
        const auto offCentre = [&](const QUuid &id) {
            const int middle = scroll->viewport()->mapTo(drawer, scroll->viewport()->rect().center()).y();
            return list->mapTo(drawer, list->rowRect(id)->center()).y() - middle;
        };
        if (startPage == DetailDrawer::metadataPage)
            screen->selectAnnotation(ids[70]);
        else
            screen->annotationState()->setHighlightedID(ids[70]);
        QCOMPARE(screen->drawerPage(), int(DetailDrawer::annotationsPage));
        // Nothing has jumped: the pages and the list are where they were,
        // both pages show while the drawer turns.
        QCOMPARE(drawer->pagePosition(), double(startPage));
        QCOMPARE(bar->value(), 0);
        QVERIFY(clock->isRunning() && scroll->isVisible());
        const int target = bar->value() + offCentre(ids[70]);
        QVERIFY2(target > 500, qPrintable(QString::number(target)));

        // Frame by frame: the pages slide and the list scrolls towards
        // their places, overshooting them a little at most.
        double position = drawer->pagePosition();
        int scrolled = bar->value();
        int frames = 0;
        for (; clock->isRunning() && frames < 240; ++frames) {
            clock->step(1 / 60.0);
            if (position > 0)
                QVERIFY(drawer->pagePosition() <= position);
            if (scrolled < target)
                QVERIFY(bar->value() >= scrolled);
            position = drawer->pagePosition();
            scrolled = bar->value();
            QVERIFY(position > -0.01);
            QVERIFY2(scrolled < target + 0.01 * target, qPrintable(QString::number(scrolled)));
            if (frames == 3) {
                QVERIFY2(scrolled > 0 && scrolled < target, qPrintable(QString::number(scrolled)));
                if (startPage == DetailDrawer::metadataPage)
                    QVERIFY2(position > 0 && position < 1, qPrintable(QString::number(position)));
            }
        }
        QVERIFY2(frames > 5 && frames < 120, qPrintable(QString::number(frames)));
        QCOMPARE(drawer->pagePosition(), 0.0);
        QVERIFY(std::abs(offCentre(ids[70])) <= 1);
        QVERIFY(std::abs(bar->value() - target) <= 1);
        QVERIFY(scroll->isVisible());

        // A new highlight on the way heads on from where the list is.
        screen->selectAnnotation(ids[30]);
        clock->step(1 / 60.0);
        const int onTheWay = bar->value();
        QVERIFY(onTheWay < target);
        screen->selectAnnotation(ids[50]);
        QCOMPARE(bar->value(), onTheWay);
        for (int frame = 0; clock->isRunning() && frame < 240; ++frame)
            clock->step(1 / 60.0);
        QVERIFY(std::abs(offCentre(ids[50])) <= 1);
        // The user's own scroll on the way ends the glide.
        screen->selectAnnotation(ids[10]);
        clock->step(1 / 60.0);
        bar->setValue(bar->value() + 40);
        const int taken = bar->value();
        clock->step(1 / 60.0);
        QCOMPARE(bar->value(), taken);
        QVERIFY(!clock->isRunning());

        // No highlight: nothing moves.
        bar->setValue(bar->value() - 100);
        const int left = bar->value();
        screen->selectAnnotation(std::nullopt);
        QVERIFY(!screen->annotationState()->highlightedID());
        QVERIFY(!clock->isRunning());
        clock->step(1 / 60.0);
        QCOMPARE(bar->value(), left);
        QCOMPARE(screen->drawerPage(), int(DetailDrawer::annotationsPage));
    }

    // Tab through the drawer's list keeps the row in focus in view.
    void drawerFollowsTheKeyboard()
    {
        screen->setSizeClasses({SizeClass::compact, std::nullopt});
        AtlasImage *scan = open(image(QStringLiteral("scan")));
        for (int i = 0; i < 40; ++i)
            point(scan, QStringLiteral("Rib %1").arg(i, 2, 10, QLatin1Char('0')), QString());
        AnnotationList *list = screen->annotationList();
        QTRY_VERIFY(list->height() >= list->sizeHint().height());
        list->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(list->hasFocus());
        for (int i = 0; i < 30; ++i)
            QTest::keyClick(list, Qt::Key_Tab);
        QCOMPARE(list->focusStop()->id, list->rows().at(30).id);
        const QRect row = *list->rowRect(list->focusStop()->id);
        const QRect shown(list->mapTo(screen->drawer(), row.topLeft()), row.size());
        QVERIFY2(screen->drawer()->rect().contains(shown), qPrintable(QString::number(shown.top())));
    }

    void anotherImageStartsAfresh()
    {
        open(image(QStringLiteral("a")));
        screen->annotationState()->setDisabledGroups({QStringLiteral("Bones")});
        screen->setDrawerPage(DetailDrawer::metadataPage);
        shared->setIsEditing(true);
        screen->showLinks(QUuid::createUuid());
        QVERIFY(shared->linkedAnnotationID() && screen->annotationState()->highlightedID());

        open(image(QStringLiteral("b")));
        QVERIFY(screen->annotationState()->disabledGroups().isEmpty());
        QVERIFY(!screen->annotationState()->highlightedID());
        QVERIFY(!shared->linkedAnnotationID());
        QCOMPARE(screen->drawerPage(), 0);
        QVERIFY(shared->isEditing()); // left as it was
    }

    // The viewer keeps its zoom for the next image, shown within the
    // limits of the viewport it has then; it starts unzoomed when the
    // screen appears and when the editor or a placeholder gives way to it.
    void zoomAcrossImages_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<bool>("kept");
        QTest::newRow("the next image") << "next" << true;
        QTest::newRow("the next image, in a narrower window") << "narrower" << true;
        QTest::newRow("back to the library, then an image") << "library" << false;
        QTest::newRow("through an image that can't be shown") << "unavailable" << false;
        QTest::newRow("another image while editing, then Done") << "editing" << false;
    }
    void zoomAcrossImages()
    {
        QFETCH(QString, way);
        QFETCH(bool, kept);
        open(image(QStringLiteral("a")));
        QTRY_COMPARE(screen->picture()->status(), OpenedPicture::Status::ready);
        ZoomableImage *canvas = screen->canvas();
        canvas->zoom()->zoomBy(2);
        canvas->zoom()->scroll({300, 100});
        const ZoomPan zoomed = canvas->zoom()->committed();
        QCOMPARE(zoomed.offset, QSizeF(300, 100));
        QVERIFY(settleZoom(canvas));

        if (way == "narrower") {
            pane->resize(400, 700);
        } else if (way == "library") {
            open(nullptr);
        } else if (way == "unavailable") {
            open(image(QStringLiteral("empty"), QByteArray("", 0)));
            QTRY_COMPARE(screen->picture()->status(), OpenedPicture::Status::unavailable);
        } else if (way == "editing") {
            shared->setIsEditing(true);
        }
        open(image(QStringLiteral("b")));
        QTRY_COMPARE(screen->picture()->status(), OpenedPicture::Status::ready);
        shared->setIsEditing(false);
        QCOMPARE(screen->shownPicturePage(), canvas);

        QCOMPARE(canvas->zoom()->committed(), kept ? zoomed : ZoomPan());
        // Shown as it is, without a glide, limited for the viewport.
        QVERIFY(canvas->isResting());
        const ZoomPanTransform shown = canvas->geometry().transform;
        QCOMPARE(shown.scale, kept ? 2.0 : 1.0);
        const QSizeF limit = ZoomPan::panLimit(shown.scale, canvas->size());
        QCOMPARE(shown.offset, kept ? QSizeF(std::min(zoomed.offset.width(), limit.width()),
                                             std::min(zoomed.offset.height(), limit.height()))
                                    : QSizeF(0, 0));
        if (way == "narrower")
            QVERIFY(shown.offset.width() < zoomed.offset.width());
    }

    // Escape closes the links; otherwise it goes on to the surroundings,
    // as do the keys the screen does not use. The zoom keys reach the
    // canvas from the screen.
    void keys()
    {
        open(image(QStringLiteral("scan")));
        screen->setFocus();
        QTRY_VERIFY(screen->hasFocus());
        const QUuid id = QUuid::createUuid();
        screen->showLinks(id);
        QCOMPARE(shared->linkedAnnotationID(), std::optional(id));
        QTest::keyClick(screen, Qt::Key_Escape);
        QVERIFY(!shared->linkedAnnotationID());
        QVERIFY(pane->keys.isEmpty());
        QTest::keyClick(screen, Qt::Key_Escape);
        QTest::keyClick(screen, Qt::Key_Right);
        QCOMPARE(pane->keys, QList<int>({Qt::Key_Escape, Qt::Key_Right}));
        QTest::keyClick(screen, Qt::Key_Plus, Qt::ControlModifier);
        QCOMPARE(screen->canvas()->zoom()->committed().scale, 1.5);
        QTest::keyClick(screen, Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(screen->canvas()->zoom()->committed().scale, 1.0);
    }

    void annotationsButton()
    {
        open(image(QStringLiteral("scan")));
        ProminentButton *button = screen->annotationsButton();
        QCOMPARE(button->pos(), QPoint(10, 10));
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(!shared->showAnnotations() && !screen->annotationLayer()->showAnnotations());
        QCOMPARE(button->accessibleName(), QStringLiteral("Show annotations"));
    }

    // The road of one event: a double tap on an annotation highlights it
    // and, in the regular layout, opens the editor with it selected.
    void doubleTapOnAnAnnotation_data()
    {
        QTest::addColumn<bool>("compact");
        QTest::newRow("regular") << false;
        QTest::newRow("compact") << true;
    }
    void doubleTapOnAnAnnotation()
    {
        QFETCH(bool, compact);
        RecordingEditorFactory factory;
        screen->setEditorFactory(&factory);
        if (compact)
            screen->setSizeClasses({SizeClass::compact, std::nullopt});
        AtlasImage *scan = open(image(QStringLiteral("scan")));
        const QUuid femur = point(scan, QStringLiteral("Femur"), QStringLiteral("Bones"))->id();
        QTRY_COMPARE(screen->picture()->status(), OpenedPicture::Status::ready);
        QCOMPARE(screen->annotationLayer()->showsCallouts(), !compact);
        screen->setDrawerPage(DetailDrawer::metadataPage);
        ZoomableImage *canvas = screen->canvas();
        canvas->repaint();
        const QPoint at = canvas->geometry().viewPoint({0.5, 0.5}).toPoint();
        QTest::mouseClick(canvas, Qt::LeftButton, {}, at);
        QCOMPARE(screen->annotationState()->highlightedID(), std::optional(femur));
        QCOMPARE(screen->drawerPage(), int(compact ? DetailDrawer::annotationsPage : DetailDrawer::metadataPage));
        QTest::mouseDClick(canvas, Qt::LeftButton, {}, at);
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, at);
        QCOMPARE(shared->isEditing(), !compact);
        QCOMPARE(factory.requests.size(), compact ? 0 : 1);
        if (!compact)
            QCOMPARE(factory.requests.first().highlightedID, std::optional(femur));
    }

    void groupSwitchesAndTheList()
    {
        screen->setSizeClasses({SizeClass::compact, std::nullopt});
        AtlasImage *scan = open(image(QStringLiteral("scan")));
        point(scan, QStringLiteral("Femur"), QStringLiteral("Bones"));
        point(scan, QStringLiteral("Aorta"), QStringLiteral("Vessels"));
        QCOMPARE(screen->annotationList()->rows().size(), 2);
        // Either inspector switches the one set of groups.
        QTest::mouseClick(screen->drawerInspector()->chip(QStringLiteral("Bones")), Qt::LeftButton);
        QCOMPARE(screen->annotationState()->disabledGroups(), QSet<QString>{QStringLiteral("Bones")});
        QCOMPARE(screen->annotationList()->rows().size(), 1);
        screen->setSizeClasses({});
        QTest::mouseClick(screen->stripInspector()->chip(QStringLiteral("Bones")), Qt::LeftButton);
        QVERIFY(screen->annotationState()->disabledGroups().isEmpty());
    }

    // The panel shows for this image's annotation, even without links (the
    // link of another image's annotation brings none: see keys()).
    void linksPanel()
    {
        AtlasImage *scan = open(image(QStringLiteral("scan")));
        const QUuid unlabelled = point(scan, QString(), QString())->id();
        screen->setFocus();
        QTRY_VERIFY(screen->hasFocus());
        screen->showLinks(unlabelled);
        QVERIFY(screen->linksPanel());
        QCOMPARE(screen->linksPanel()->title(), QStringLiteral("Unlabelled"));
        QCOMPARE(screen->annotationState()->highlightedID(), std::optional(unlabelled));
        QVERIFY(!screen->dismissLinksAction()->isEnabled());
        // The screen keeps the keys; Escape there is the panel's Close.
        QVERIFY(screen->hasFocus());
        QTest::keyClick(screen, Qt::Key_Escape);
        QVERIFY(!shared->linkedAnnotationID());
        settle(screen->linksPanel());
        QVERIFY(!screen->linksPanel());
    }

    // With the links panel up, Tab from the screen reaches Close and then
    // the links, in order, and goes on past them; Shift+Tab from Close
    // goes back behind the panel. Each row: the links, and the panel's
    // controls that Tab goes through.
    void tabReachesThePanel_data()
    {
        QTest::addColumn<int>("links");
        QTest::addColumn<QStringList>("stops");
        QTest::newRow("no links") << 0 << QStringList{"Close"};
        QTest::newRow("two links") << 2 << QStringList{"Close", "Gray's", "Cases"};
    }
    void tabReachesThePanel()
    {
        QFETCH(int, links);
        QFETCH(QStringList, stops);
        const QList<AnnotationLink> offered{{QUuid::createUuid(), QStringLiteral("Gray's"), "en.wikipedia.org/wiki/Gray"},
                                            {QUuid::createUuid(), QStringLiteral("Cases"), "radiopaedia.org"}};
        AtlasImage *scan = open(image(QStringLiteral("scan")));
        point(scan, QStringLiteral("Aorta"), QStringLiteral("Vessels"));
        const QUuid femur = point(scan, QStringLiteral("Femur"), QStringLiteral("Bones"), offered.mid(0, links))->id();
        QTRY_COMPARE(screen->picture()->status(), OpenedPicture::Status::ready);
        screen->setFocus();
        QTRY_VERIFY(screen->hasFocus());
        screen->showLinks(femur);
        AnnotationLinksOverlay *panel = screen->linksPanel();
        QVERIFY(panel);
        QVERIFY(screen->hasFocus());
        // Round the window once, noting the panel's controls on the way.
        QStringList passed;
        QString last;
        for (int tab = 0; tab < 60 && !(passed.size() && last == "behind the panel"); ++tab) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            last = nameInPanel(panel, QApplication::focusWidget());
            if (last != "behind the panel")
                passed.append(last);
        }
        QCOMPARE(passed, stops);
        panel->closeButton()->setFocus(Qt::TabFocusReason);
        QTest::keyClick(panel->closeButton(), Qt::Key_Tab, Qt::ShiftModifier);
        QCOMPARE(nameInPanel(panel, QApplication::focusWidget()), QStringLiteral("behind the panel"));
        // (Shift itself goes on, as any key nothing takes.)
        QVERIFY(!pane->keys.contains(Qt::Key_Tab));
        QCOMPARE(shared->linkedAnnotationID(), std::optional(femur));
    }

    // The links panel leaves the screen's keys to the screen: opening it
    // leaves the focus on the screen, and the arrows and Space travel on
    // to the surroundings (the detail pane steps through the images and
    // goes back to the library with them), from the screen and from the
    // panel's controls alike; Space on Close closes the panel, Space and
    // Return on a link open it. Each row: the focus, the key, and what
    // comes of it.
    void keysGoOnPastThePanel_data()
    {
        QTest::addColumn<QString>("focus"); // "screen", "Close" or "link"
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("outcome"); // "travels on", "closes" or "opens"
        QTest::newRow("screen, Right") << "screen" << int(Qt::Key_Right) << "travels on";
        QTest::newRow("screen, Down") << "screen" << int(Qt::Key_Down) << "travels on";
        QTest::newRow("screen, Left") << "screen" << int(Qt::Key_Left) << "travels on";
        QTest::newRow("screen, Up") << "screen" << int(Qt::Key_Up) << "travels on";
        QTest::newRow("screen, Space") << "screen" << int(Qt::Key_Space) << "travels on";
        QTest::newRow("Close, Right") << "Close" << int(Qt::Key_Right) << "travels on";
        QTest::newRow("Close, Up") << "Close" << int(Qt::Key_Up) << "travels on";
        QTest::newRow("link, Left") << "link" << int(Qt::Key_Left) << "travels on";
        QTest::newRow("link, Down") << "link" << int(Qt::Key_Down) << "travels on";
        QTest::newRow("Close, Space") << "Close" << int(Qt::Key_Space) << "closes";
        QTest::newRow("link, Space") << "link" << int(Qt::Key_Space) << "opens";
        QTest::newRow("link, Return") << "link" << int(Qt::Key_Return) << "opens";
    }
    void keysGoOnPastThePanel()
    {
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(QString, outcome);
        StubPrograms programs;
        QVERIFY(programs.add(QStringLiteral("xdg-open")));
        AtlasImage *scan = open(image(QStringLiteral("scan")));
        const QUuid femur =
            point(scan, QStringLiteral("Femur"), QStringLiteral("Bones"),
                  {{QUuid::createUuid(), QStringLiteral("Gray's"), "en.wikipedia.org/wiki/Gray"}})->id();
        QTRY_COMPARE(screen->picture()->status(), OpenedPicture::Status::ready);
        screen->setFocus();
        QTRY_VERIFY(screen->hasFocus());
        screen->showLinks(femur);
        AnnotationLinksOverlay *panel = screen->linksPanel();
        QVERIFY(panel && panel->rows().size() == 1);
        QVERIFY(screen->hasFocus());
        QWidget *focused = focus == "Close" ? panel->closeButton()
            : focus == "link"               ? static_cast<QWidget *>(panel->rows().constFirst())
                                            : screen;
        focused->setFocus(Qt::TabFocusReason);
        QVERIFY(focused->hasFocus());
        QTest::keyClick(focused, Qt::Key(key));

        QCOMPARE(pane->keys, outcome == "travels on" ? QList<int>{key} : QList<int>());
        QCOMPARE(shared->linkedAnnotationID().has_value(), outcome != "closes");
        QTRY_COMPARE(StubPrograms::running(), 0);
        QCOMPARE(programs.argumentsOf(QStringLiteral("xdg-open")),
                 outcome == "opens" ? QStringList{"https://en.wikipedia.org/wiki/Gray"} : QStringList());
        // Closed, the panel gives the keys back to the screen.
        if (outcome == "closes")
            QVERIFY(screen->hasFocus());
    }

    // The panel fades in on the screen's spring (response 0.2 s, damping
    // fraction 0.85), frame by frame. Close, Escape and a click on the
    // backdrop, here or in another window's screen, fade it out on the
    // same spring: partway it still shows, partly see-through and taking
    // no input, with the keys on the screen; then it is gone. Opened
    // again, it comes back whole and takes input.
    void linksPanelFades_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Close") << "close";
        QTest::newRow("Escape") << "escape";
        QTest::newRow("backdrop") << "backdrop";
        QTest::newRow("another screen") << "other";
    }
    void linksPanelFades()
    {
        QFETCH(QString, how);
        AtlasImage *scan = open(image(QStringLiteral("scan")));
        const QUuid femur = point(scan, QStringLiteral("Femur"), QString())->id();
        ImageDetailView other(*shared);
        screen->setFocus();
        QTRY_VERIFY(screen->hasFocus());
        // Steps the fade one frame at a time beside the spring it should
        // follow, while it moves; answers how many frames it took.
        const auto follow = [](AnnotationLinksOverlay *panel, double from, double to) {
            Spring expected(0.2, 0.85, from);
            expected.setTarget(to);
            int frames = 0;
            for (; panel->frameClock()->isRunning() && frames < 120; ++frames) {
                panel->frameClock()->step(1 / 60.0);
                expected.advance(1 / 60.0);
                if (std::abs(panel->opacity() - std::clamp(expected.value(), 0.0, 1.0)) > 1e-9)
                    return -1;
            }
            return frames;
        };
        screen->showLinks(femur);
        AnnotationLinksOverlay *panel = screen->linksPanel();
        QVERIFY(panel && panel->isVisible());
        QCOMPARE(panel->opacity(), 0.0);
        const int inFrames = follow(panel, 0, 1);
        QVERIFY2(inFrames > 5 && inFrames < 60, qPrintable(QString::number(inFrames)));
        QCOMPARE(panel->opacity(), 1.0);
        QVERIFY(!panel->graphicsEffect());

        if (how == "close")
            QTest::mouseClick(panel->closeButton(), Qt::LeftButton);
        else if (how == "escape")
            QTest::keyClick(screen, Qt::Key_Escape);
        else if (how == "backdrop")
            QTest::mouseClick(panel, Qt::LeftButton, {}, QPoint(5, 5));
        else
            other.dismissLinks();
        QVERIFY(!shared->linkedAnnotationID());
        QCOMPARE(screen->linksPanel(), panel);
        QVERIFY(panel->isVisible() && panel->isLeaving());
        for (int frame = 0; frame < 3; ++frame)
            panel->frameClock()->step(1 / 60.0);
        auto *effect = qobject_cast<QGraphicsOpacityEffect *>(panel->graphicsEffect());
        QVERIFY(effect);
        QVERIFY2(effect->opacity() > 0.1 && effect->opacity() < 0.9, qPrintable(QString::number(effect->opacity())));
        QCOMPARE(effect->opacity(), panel->opacity());
        QVERIFY(panel->isVisible());
        QVERIFY(panel->testAttribute(Qt::WA_TransparentForMouseEvents) && !panel->closeAction()->isEnabled());
        QVERIFY(screen->hasFocus());
        settle(panel);
        QVERIFY(!screen->linksPanel());
        QVERIFY(panel->isHidden() && !panel->graphicsEffect());

        // Out on the spring from whole to nothing.
        screen->showLinks(femur);
        settle(panel);
        screen->dismissLinks();
        const int outFrames = follow(panel, 1, 0);
        QVERIFY2(outFrames > 5 && outFrames < 60, qPrintable(QString::number(outFrames)));
        QVERIFY(!screen->linksPanel());

        screen->showLinks(femur);
        QCOMPARE(screen->linksPanel(), panel);
        QVERIFY(!panel->isLeaving() && !panel->testAttribute(Qt::WA_TransparentForMouseEvents));
        settle(panel);
        QVERIFY(!panel->graphicsEffect());
        QTest::mouseClick(panel->closeButton(), Qt::LeftButton);
        QVERIFY(!shared->linkedAnnotationID() && panel->isLeaving());
    }

    // Edit mode coming or going, the screen leaving and another image close
    // the panel at once, also right after a panel has faded out.
    void linksPanelHidesAtOnce_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("edit mode entered") << "edit";
        QTest::newRow("edit mode left") << "done";
        QTest::newRow("screen left") << "hide";
        QTest::newRow("another image") << "image";
    }
    void linksPanelHidesAtOnce()
    {
        QFETCH(QString, how);
        AtlasImage *scan = open(image(QStringLiteral("scan")));
        QTRY_COMPARE(screen->picture()->status(), OpenedPicture::Status::ready);
        const QUuid femur = point(scan, QStringLiteral("Femur"), QString())->id();
        shared->setIsEditing(how == "done");
        screen->showLinks(femur);
        screen->dismissLinks();
        settle(screen->linksPanel());
        QVERIFY(!screen->linksPanel());
        screen->showLinks(femur);
        settle(screen->linksPanel());
        QCOMPARE(screen->linksPanel()->opacity(), 1.0);
        if (how == "edit" || how == "done")
            shared->setIsEditing(how == "edit");
        else if (how == "hide")
            screen->hide();
        else
            open(image(QStringLiteral("other")));
        QVERIFY(!shared->linkedAnnotationID());
        QVERIFY(!screen->linksPanel());
    }

    // To assistive technologies the viewer is one element: neither its zoom
    // bar nor the link button of a highlighted label is its child; the
    // annotations button over it, the screen's, is.
    void viewerIsOneAccessibleElement()
    {
        AtlasImage *scan = open(image(QStringLiteral("scan")));
        const QUuid femur =
            point(scan, QStringLiteral("Femur"), QString(), {{QUuid::createUuid(), QString(), "en.anatomy.org"}})->id();
        QTRY_COMPARE(screen->picture()->status(), OpenedPicture::Status::ready);
        screen->annotationState()->setHighlightedID(femur);
        ZoomableImage *canvas = screen->canvas();
        QCOMPARE(screen->annotationLayer()->controls(canvas->geometry()).size(), 1); // the link button is drawn
        QAccessibleInterface *viewer = QAccessible::queryAccessibleInterface(canvas);
        QCOMPARE(viewer->text(QAccessible::Name), QStringLiteral("Atlas image viewer"));
        QCOMPARE(viewer->text(QAccessible::Value), QStringLiteral("Zoom 1 times"));
        QStringList children;
        for (int i = 0; i < viewer->childCount(); ++i)
            children.append(viewer->child(i)->text(QAccessible::Name));
        QCOMPARE(children, QStringList{"Hide annotations"});
        const QPoint bar = canvas->controls()->mapToGlobal(canvas->controls()->rect().center());
        QVERIFY(!viewer->childAt(bar.x(), bar.y()));
    }

    // The pointing hand shows over the links panel's links alone: the
    // link button of a callout, the link-count button of the drawer's list
    // and the drawer's page dots keep the arrow.
    void pointerShapes_data()
    {
        QTest::addColumn<QString>("over");
        QTest::addColumn<int>("shape"); // a Qt::CursorShape
        QTest::newRow("a callout's link button") << "callout" << int(Qt::ArrowCursor);
        QTest::newRow("the list's link-count button") << "list" << int(Qt::ArrowCursor);
        QTest::newRow("a page dot") << "dot" << int(Qt::ArrowCursor);
        QTest::newRow("a link in the panel") << "panel" << int(Qt::PointingHandCursor);
    }
    void pointerShapes()
    {
        QFETCH(QString, over);
        if (over == "list" || over == "dot")
            screen->setSizeClasses({SizeClass::compact, std::nullopt});
        AtlasImage *scan = open(image(QStringLiteral("scan")));
        const QUuid femur =
            point(scan, QStringLiteral("Femur"), QString(), {{QUuid::createUuid(), QString(), "en.anatomy.org"}})->id();
        QTRY_COMPARE(screen->picture()->status(), OpenedPicture::Status::ready);
        QWidget *widget = nullptr;
        QPoint place;
        if (over == "callout") {
            screen->annotationState()->setHighlightedID(femur);
            widget = screen->canvas();
            const QList<OverlayControl> controls = screen->annotationLayer()->controls(screen->canvas()->geometry());
            QCOMPARE(controls.size(), 1);
            place = controls.first().area.center().toPoint();
        } else if (over == "list") {
            widget = screen->annotationList();
            QTRY_VERIFY(screen->annotationList()->linkButtonRect(femur));
            place = screen->annotationList()->linkButtonRect(femur)->center();
        } else if (over == "dot") {
            widget = screen->drawer()->pageDots().at(1);
            place = widget->rect().center();
        } else {
            screen->showLinks(femur);
            QVERIFY(screen->linksPanel());
            settle(screen->linksPanel());
            widget = screen->linksPanel()->rows().constFirst();
            place = widget->rect().center();
        }
        QTest::mouseMove(widget, place - QPoint(3, 0));
        QTest::mouseMove(widget, place);
        QTEST(int(widget->cursor().shape()), "shape");
    }

    // However the panel went, opened again its rows span the list: the
    // title shows whole, the focus ring is drawn round the whole row, and
    // a click at 90% of the row's width opens its link. Each row: how the
    // panel went before it came back.
    void linkRowsSpanThePanel_data()
    {
        QTest::addColumn<QString>("gone");
        QTest::newRow("first opening") << "";
        QTest::newRow("faded out") << "faded";
        QTest::newRow("back mid-fade") << "mid-fade";
        QTest::newRow("hidden at once") << "hidden";
    }
    void linkRowsSpanThePanel()
    {
        QFETCH(QString, gone);
        StubPrograms programs;
        QVERIFY(programs.add(QStringLiteral("xdg-open")));
        AtlasImage *scan = open(image(QStringLiteral("scan")));
        const QUuid apex = point(scan, QStringLiteral("Apex"), QString(),
                                 {{QUuid::createUuid(), QStringLiteral("Apex (Wikipedia)"),
                                   "en.wikipedia.org/wiki/Apex"}})->id();
        QTRY_COMPARE(screen->picture()->status(), OpenedPicture::Status::ready);
        screen->showLinks(apex);
        settle(screen->linksPanel());
        if (gone == "faded" || gone == "mid-fade") {
            screen->dismissLinks();
            if (gone == "faded")
                settle(screen->linksPanel());
            else
                screen->linksPanel()->frameClock()->step(1 / 60.0);
        } else if (gone == "hidden") {
            shared->setLinkedAnnotationID(std::nullopt);
        }
        screen->showLinks(apex);
        AnnotationLinksOverlay *panel = screen->linksPanel();
        QVERIFY(panel);
        settle(panel);
        QCOMPARE(panel->rows().size(), 1);
        AnnotationLinkRow *row = panel->rows().constFirst();

        const QRect spanned(8, row->mapTo(panel->panel(), QPoint()).y(), panel->panel()->width() - 16, row->height());
        QCOMPARE(QRect(row->mapTo(panel->panel(), QPoint()), row->size()), spanned);
        QVERIFY(row->width() >= row->sizeHint().width());
        // What the focus changes on the panel is the ring round the row.
        const QRect ring = FocusLook(row, panel->panel()).changedArea();
        QVERIFY2(ring.left() <= spanned.left() + 2 && ring.right() >= spanned.right() - 2,
                 qPrintable(QStringLiteral("ring %1..%2").arg(ring.left()).arg(ring.right())));

        const QPoint click = panel->panel()->mapTo(pane, spanned.topLeft())
            + QPoint(spanned.width() * 9 / 10, spanned.height() / 2);
        QTest::mouseClick(pane->windowHandle(), Qt::LeftButton, {}, click);
        QTRY_COMPARE(StubPrograms::running(), 0);
        QCOMPARE(programs.argumentsOf(QStringLiteral("xdg-open")), QStringList{"https://en.wikipedia.org/wiki/Apex"});
        QCOMPARE(shared->linkedAnnotationID(), std::optional(apex));
    }

    void linksCloseWhenTheScreenGoesOrEditModeChanges()
    {
        open(image(QStringLiteral("scan")));
        QTRY_COMPARE(screen->picture()->status(), OpenedPicture::Status::ready);
        screen->showLinks(QUuid::createUuid());
        shared->setIsEditing(true);
        QVERIFY(!shared->linkedAnnotationID());
        screen->showLinks(QUuid::createUuid());
        screen->hide();
        QVERIFY(!shared->linkedAnnotationID());
    }
};

QTEST_MAIN(ImageDetailViewTest)
#include "tst_imagedetailview.moc"
