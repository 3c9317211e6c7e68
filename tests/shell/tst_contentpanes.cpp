#include "MainWindowTestSupport.h"

#include "browser/LibrarySidebar.h"
#include "support/Fades.h"
#include "support/RowSwipes.h"
#include "support/SpringFrames.h"
#include "ui/AppStyle.h"
#include "viewer/AnnotationLinksOverlay.h"
#include "viewer/CanvasZoom.h"
#include "viewer/ImageDetailView.h"
#include "viewer/MetadataStrip.h"
#include "viewer/ZoomableImage.h"

#include <QAccessible>
#include <QToolButton>

namespace {

// A window on a series of three images whose detail pane a test switches
// between the grid and the second image, step by step.
struct SwitchingPane {
    TestLibrary library;
    Series *brain = library.series(QStringLiteral("Brain"), 1);
    QList<AtlasImage *> slices = library.images(brain, 3);
    bool saved = (library.save(), true);
    WindowHarness harness{library};

    ContentDetail *detail() const { return harness.view().contentDetail(); }
    QWidget *grid() const { return detail()->grid(); }
    ImageDetailView *screen() const { return detail()->imageScreen(); }
    // Shows the series in the grid and takes the steps; answers whether
    // its row was there to click.
    bool go(const QStringList &steps = {}) const
    {
        if (!harness.clickRow(LibraryEntryID::series(brain->id())))
            return false;
        for (const QString &step : steps)
            act(step);
        return true;
    }
    // "open" (the second image), "close", "half" or "end" (of the fades
    // under way), "sidebar" (focused).
    void act(const QString &step) const
    {
        if (step == QLatin1String("open"))
            harness.model().openImage(slices.at(1));
        else if (step == QLatin1String("close"))
            harness.model().returnToGrid();
        else if (step == QLatin1String("sidebar"))
            harness.sidebar().listView()->setFocus(Qt::MouseFocusReason);
        else
            stepFades(detail(), step == QLatin1String("half") ? ContentDetail::switchMilliseconds / 2
                                                              : ContentDetail::switchMilliseconds);
    }
};

} // namespace

class ContentPanesTest : public QObject {
    Q_OBJECT
private slots:
    // The switch between the grid and the image screen cross-fades: the
    // new face comes into view at once, under a picture of the face leaving
    // that fades out over it; the face leaving is out of view at once and
    // the focus, the keys and Tab reach only the new face. A face brought
    // back during the fade appears again as any face does: the grid takes
    // the focus, also from outside the pane.
    void theGridAndTheImageScreenCrossFade_data()
    {
        QTest::addColumn<QStringList>("before"); // "open", "close", "half" (of the fades), "end", "sidebar" (focused)
        QTest::addColumn<QString>("then");       // the switch watched: "open" or "close"
        QTest::newRow("opening an image") << QStringList() << "open";
        QTest::newRow("back to the grid") << QStringList{"open", "end"} << "close";
        QTest::newRow("back during the fade") << QStringList{"open", "half"} << "close";
        QTest::newRow("back during the fade, the sidebar focused") << QStringList{"open", "half", "sidebar"} << "close";
        QTest::newRow("opening again during the fade") << QStringList{"open", "end", "close", "half"} << "open";
    }
    void theGridAndTheImageScreenCrossFade()
    {
        QFETCH(QStringList, before);
        QFETCH(QString, then);
        SwitchingPane pane;
        QVERIFY(pane.go(before));

        const bool opening = then == QLatin1String("open");
        QWidget *coming = opening ? pane.screen() : pane.grid();
        QWidget *leaving = opening ? pane.grid() : pane.screen();
        pane.act(then);
        ContentDetail *detail = pane.detail();
        QCOMPARE(detail->face(), coming);
        QCOMPARE(detail->showsImageScreen(), opening);
        QVERIFY(coming->isVisible() && !leaving->isVisible() && leaving->isEnabled());
        stepFades(detail, ContentDetail::switchMilliseconds / 2);
        const QPoint middle = detail->rect().center();
        QWidget *under = detail->childAt(middle);
        QVERIFY(under == coming || coming->isAncestorOf(under));

        // The focus and the keys are the new face's.
        QVERIFY(holdsFocus(coming));
        WindowHarness &harness = pane.harness;
        QTest::keyClick(harness.window.windowHandle(), Qt::Key_Right);
        if (opening) {
            QCOMPARE(harness.model().openedImage(), pane.slices.at(2));
        } else {
            QCOMPARE(harness.model().openedImage(), nullptr);
            QCOMPARE(harness.model().gridSelection(), pane.slices.at(2));
            // Nor do the shortcuts of the screen leaving ("Edit", Ctrl+E).
            QTest::keyClick(harness.window.windowHandle(), Qt::Key_E, Qt::ControlModifier);
            QVERIFY(!harness.appState.isEditing());
        }
        for (int tab = 0; tab < 40; ++tab) {
            QTest::keyClick(harness.window.windowHandle(), Qt::Key_Tab);
            QVERIFY(!holdsFocus(leaving));
        }

        stepFades(detail, ContentDetail::switchMilliseconds);
        QVERIFY(!leaving->isVisible());
        QCOMPARE(detail->imageScreen()->image(), opening ? pane.slices.at(2) : nullptr);
    }

    // What the switch paints: halfway, the picture in view before it (the
    // face leaving, or the mix of a fade it turns round) and the face
    // coming mixed evenly, each drawn as at rest, neither greyed.
    void theSwitchShowsBothFaces_data() { theGridAndTheImageScreenCrossFade_data(); }
    void theSwitchShowsBothFaces()
    {
        QFETCH(QStringList, before);
        QFETCH(QString, then);
        SwitchingPane pane;
        QVERIFY(pane.go(before));
        const QString fault = crossFadeFault(pane.detail(), pane.grid()->parentWidget(),
                                             ContentDetail::switchMilliseconds, [&] { pane.act(then); });
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
    }

    // A screen that comes back appears as a new one: unzoomed, its
    // metadata drawn as before, also when it comes back before its fade-out
    // has ended, and with the image it had as well as another.
    void theScreenAppearsAfresh_data()
    {
        QTest::addColumn<int>("fadedFor"); // milliseconds of the fade-out before it comes back
        QTest::addColumn<int>("reopened");
        QTest::newRow("after the fade, the same image") << ContentDetail::switchMilliseconds << 1;
        QTest::newRow("during the fade, the same image") << ContentDetail::switchMilliseconds / 2 << 1;
        QTest::newRow("during the fade, another image") << ContentDetail::switchMilliseconds / 2 << 2;
        QTest::newRow("at once, the same image") << 0 << 1;
    }
    void theScreenAppearsAfresh()
    {
        QFETCH(int, fadedFor);
        QFETCH(int, reopened);
        SwitchingPane pane;
        QVERIFY(pane.go({"open", "end"}));
        ImageDetailView *screen = pane.screen();
        screen->canvas()->zoom()->zoomIn();
        QVERIFY(screen->canvas()->zoom()->committed().scale > 1);
        const QImage metadata = inWindow(screen->metadataStrip());

        pane.act(QStringLiteral("close"));
        stepFades(pane.detail(), fadedFor);
        pane.harness.model().openImage(pane.slices.at(reopened));
        QCOMPARE(screen->image(), pane.slices.at(reopened));
        QCOMPARE(screen->canvas()->zoom()->committed().scale, 1.0);
        // The metadata are drawn as before, their titles in their colour.
        pane.act(QStringLiteral("end"));
        QCOMPARE(pictureDistance(inWindow(screen->metadataStrip()), metadata), 0);
    }

    // Leaving the screen, edit mode coming or going and another image close
    // the links panel at once, with no fade of its own.
    void theLinksPanelGoesAtOnce_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("back to the grid") << "library";
        QTest::newRow("edit mode entered") << "edit";
        QTest::newRow("edit mode left") << "done";
        QTest::newRow("another image") << "next";
    }
    void theLinksPanelGoesAtOnce()
    {
        QFETCH(QString, how);
        SwitchingPane pane;
        const QUuid femur = pane.library.point(pane.slices.at(1), QStringLiteral("Femur"))->id();
        pane.library.save();
        QVERIFY(pane.go({"open", "end"}));
        pane.harness.appState.setIsEditing(how == QLatin1String("done"));
        pane.screen()->showLinks(femur);
        AnnotationLinksOverlay *panel = pane.screen()->linksPanel();
        QVERIFY(panel);
        stepToRest(*panel->frameClock(), [panel] { return panel->opacity(); }, 0, 1);
        QCOMPARE(panel->opacity(), 1.0);
        QWindow *window = pane.harness.window.windowHandle();
        if (how == QLatin1String("library"))
            QTest::mouseClick(pane.detail()->libraryButton(), Qt::LeftButton);
        else if (how == QLatin1String("next"))
            QTest::keyClick(window, Qt::Key_Right);
        else
            QTest::keyClick(window, Qt::Key_E, Qt::ControlModifier);
        QCOMPARE(pane.harness.appState.isEditing(), how == QLatin1String("edit"));
        QCOMPARE(pane.harness.model().openedImage(), how == QLatin1String("library") ? nullptr
                                                     : how == QLatin1String("next")  ? pane.slices.at(2)
                                                                                     : pane.slices.at(1));
        QVERIFY(!pane.harness.appState.linkedAnnotationID());
        QVERIFY(panel->isHidden() && !panel->isLeaving());
    }

    // The window's buttons keep the arrow, as the desktop's own do: the
    // bars' buttons, "Clear Filters" and a row's swipe actions.
    void noButtonShowsThePointingHand()
    {
        TestLibrary library;
        Series *brain = library.series(QStringLiteral("Brain"), 1);
        const QList<AtlasImage *> slices = library.images(brain, 2);
        library.save();
        WindowHarness harness(library);
        QVERIFY(harness.clickRow(LibraryEntryID::series(brain->id())));
        harness.model().openImage(slices.at(0));
        LibrarySidebar *sidebar = harness.view().contentSidebar()->sidebar();
        sidebar->setFiltersExpanded(true);
        swipeRow(sidebar->listView(), sidebar->rowSwipe(), 0, 1.0);
        QVERIFY(!sidebar->rowSwipe()->buttons().isEmpty());
        const QList<QAbstractButton *> buttons = harness.window.findChildren<QAbstractButton *>();
        QVERIFY(buttons.contains(sidebar->clearFiltersButton()));
        QVERIFY(buttons.contains(sidebar->rowSwipe()->buttons().constFirst()));
        for (QAbstractButton *button : buttons)
            QVERIFY2(button->cursor().shape() != Qt::PointingHandCursor,
                     qPrintable(button->accessibleName() + button->text()));
    }

    // The filters button says whether a filter is active as its accessible
    // value ("Active" or "Off"), whether the panel is shown or not, and is
    // pressed as a button. Active, it is drawn tinted with the one orange.
    void theFiltersButtonSaysWhetherFiltersAreActive_data()
    {
        QTest::addColumn<QList<bool>>("activeFilters"); // in turn
        QTest::addColumn<bool>("expanded");
        QTest::addColumn<QString>("value");
        QTest::newRow("no filter") << QList<bool>{false} << false << "Off";
        QTest::newRow("a filter") << QList<bool>{true} << false << "Active";
        QTest::newRow("a filter, the panel shown") << QList<bool>{true} << true << "Active";
        QTest::newRow("the last filter cleared") << QList<bool>{true, false} << false << "Off";
        QTest::newRow("the last filter cleared, the panel shown") << QList<bool>{true, false} << true << "Off";
    }
    void theFiltersButtonSaysWhetherFiltersAreActive()
    {
        QFETCH(QList<bool>, activeFilters);
        QFETCH(bool, expanded);
        QFETCH(QString, value);
        UserDefaults defaults;
        FakeCloudAccountService accounts;
        AppState appState(defaults, accounts);
        ContentSidebar column(appState, defaults);
        column.setHasContent(true);
        column.sidebar()->setFiltersExpanded(expanded);
        column.show();
        QAccessibleInterface *button = QAccessible::queryAccessibleInterface(column.filtersButton());
        QVERIFY(button && button->valueInterface() && button->actionInterface());
        for (bool active : activeFilters)
            column.setHasActiveFilters(active);
        QCOMPARE(button->valueInterface()->currentValue().toString(), value);
        QCOMPARE(button->text(QAccessible::Value), value);
        QVERIFY(button->text(QAccessible::Description) != value);
        const QImage drawn = column.filtersButton()->grab().toImage();
        int orange = 0;
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 0; x < drawn.width(); ++x)
                orange += drawn.pixel(x, y) == AppStyle::orange().rgb() ? 1 : 0;
        QVERIFY2((orange > 20) == (value == "Active"), qPrintable(QString::number(orange)));
        QCOMPARE(button->text(QAccessible::Name), QStringLiteral("Filters"));
        // Pressed as a button: the panel opens or closes.
        button->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(column.sidebar()->isFiltersExpanded(), !expanded);
    }
};

QTEST_MAIN(ContentPanesTest)
#include "tst_contentpanes.moc"
