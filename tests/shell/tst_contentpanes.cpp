#include "MainWindowTestSupport.h"

#include "browser/LibrarySidebar.h"
#include "support/Fades.h"
#include "support/RowSwipes.h"
#include "ui/AppStyle.h"
#include "viewer/CanvasZoom.h"
#include "viewer/ImageDetailView.h"
#include "viewer/ZoomableImage.h"

#include <QAccessible>
#include <QToolButton>

class ContentPanesTest : public QObject {
    Q_OBJECT
private slots:
    // The switch between the grid and the image screen cross-fades: the
    // face leaving stays in view under the new one and fades out from where
    // it was as the new one fades in, then goes; meanwhile the focus, the
    // keys and Tab reach only the new face.
    void theGridAndTheImageScreenCrossFade_data()
    {
        QTest::addColumn<QStringList>("before"); // "open", "close", "half" (of the fades), "end"
        QTest::addColumn<QString>("then");       // the switch watched: "open" or "close"
        QTest::newRow("opening an image") << QStringList() << "open";
        QTest::newRow("back to the grid") << QStringList{"open", "end"} << "close";
        QTest::newRow("back during the fade") << QStringList{"open", "half"} << "close";
        QTest::newRow("opening again during the fade") << QStringList{"open", "end", "close", "half"} << "open";
    }
    void theGridAndTheImageScreenCrossFade()
    {
        QFETCH(QStringList, before);
        QFETCH(QString, then);
        TestLibrary library;
        Series *brain = library.series(QStringLiteral("Brain"), 1);
        const QList<AtlasImage *> slices = library.images(brain, 3);
        library.save();
        WindowHarness harness(library);
        QVERIFY(harness.clickRow(LibraryEntryID::series(brain->id())));
        ContentDetail *detail = harness.view().contentDetail();
        QWidget *grid = detail->grid();
        QWidget *screen = detail->imageScreen();
        const QList<QWidget *> faces{grid, screen};
        const int half = ContentDetail::switchMilliseconds / 2;
        const auto act = [&](const QString &step) {
            if (step == QLatin1String("open"))
                harness.model().openImage(slices.at(1));
            else if (step == QLatin1String("close"))
                harness.model().returnToGrid();
            else
                stepFades(faces, step == QLatin1String("half") ? half : ContentDetail::switchMilliseconds);
        };
        for (const QString &step : before)
            act(step);

        const bool opening = then == QLatin1String("open");
        QWidget *coming = opening ? screen : grid;
        QWidget *leaving = opening ? grid : screen;
        const double comingFrom = opacity(coming);
        const double leavingFrom = opacity(leaving);
        act(then);
        QCOMPARE(detail->face(), coming);
        QCOMPARE(detail->showsImageScreen(), opening);
        // No jump: each face goes on from where it was.
        QCOMPARE(opacity(coming), comingFrom);
        QCOMPARE(opacity(leaving), leavingFrom);
        stepFades(faces, half);
        QVERIFY(coming->isVisible() && leaving->isVisible());
        QVERIFY(opacity(coming) > comingFrom && opacity(coming) < 1);
        QVERIFY(opacity(leaving) > 0 && opacity(leaving) < leavingFrom);
        // The new face lies on top; the screen fading out still shows its image.
        const QPoint middle = detail->rect().center();
        QWidget *under = detail->childAt(middle);
        QVERIFY(under == coming || coming->isAncestorOf(under));
        QCOMPARE(detail->imageScreen()->image(), slices.at(1));

        // The focus and the keys are the new face's.
        QVERIFY(holdsFocus(coming));
        QTest::keyClick(harness.window.windowHandle(), Qt::Key_Right);
        if (opening) {
            QCOMPARE(harness.model().openedImage(), slices.at(2));
        } else {
            QCOMPARE(harness.model().openedImage(), nullptr);
            QCOMPARE(harness.model().gridSelection(), slices.at(2));
            // Nor do the shortcuts of the screen leaving ("Edit", Ctrl+E).
            QTest::keyClick(harness.window.windowHandle(), Qt::Key_E, Qt::ControlModifier);
            QVERIFY(!harness.appState.isEditing());
        }
        for (int tab = 0; tab < 40; ++tab) {
            QTest::keyClick(harness.window.windowHandle(), Qt::Key_Tab);
            QVERIFY(!holdsFocus(leaving));
        }

        stepFades(faces, ContentDetail::switchMilliseconds);
        QVERIFY(!leaving->isVisible());
        QCOMPARE(opacity(coming), 1.0);
        QVERIFY(leaving->isEnabled());
        QCOMPARE(detail->imageScreen()->image(), opening ? slices.at(2) : nullptr);
    }

    // A screen that comes back appears as a new one: unzoomed, also when
    // it comes back before its fade-out has ended, and with the image it
    // had as well as another.
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
        TestLibrary library;
        Series *brain = library.series(QStringLiteral("Brain"), 1);
        const QList<AtlasImage *> slices = library.images(brain, 3);
        library.save();
        WindowHarness harness(library);
        QVERIFY(harness.clickRow(LibraryEntryID::series(brain->id())));
        ContentDetail *detail = harness.view().contentDetail();
        ImageDetailView *screen = detail->imageScreen();
        harness.model().openImage(slices.at(1));
        stepFades({detail->grid(), screen}, ContentDetail::switchMilliseconds);
        screen->canvas()->zoom()->zoomIn();
        QVERIFY(screen->canvas()->zoom()->committed().scale > 1);

        harness.model().returnToGrid();
        stepFades({detail->grid(), screen}, fadedFor);
        harness.model().openImage(slices.at(reopened));
        QCOMPARE(screen->image(), slices.at(reopened));
        QCOMPARE(screen->canvas()->zoom()->committed().scale, 1.0);
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
