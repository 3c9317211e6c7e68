#include "MainWindowTestSupport.h"

#include "archive/LibraryArchiveFile.h"
#include "browser/LibraryThumbnail.h"
#include "support/AlertButtons.h"
#include "support/Fades.h"
#include "support/RowSwipes.h"
#include "support/SpringFrames.h"
#include "support/FocusRings.h"
#include "support/StubPrograms.h"
#include "editor/AnnotationEditor.h"
#include "editor/EditorCanvasLayer.h"
#include "platform/ContextMenuKeys.h"
#include "model/PointAnnotation.h"
#include "platform/MemoryBudget.h"
#include "platform/WorkerPools.h"
#include "ui/FocusRingStyle.h"
#include "ui/SpringAnimation.h"
#include "viewer/AnnotationInspector.h"
#include "viewer/AnnotationLinkRow.h"
#include "viewer/AnnotationLinksOverlay.h"
#include "viewer/AnnotationViewState.h"
#include "viewer/ImageDetailView.h"
#include "viewer/MetadataStrip.h"
#include "viewer/OpenedPicture.h"
#include "viewer/PictureSource.h"
#include "viewer/ZoomableImage.h"

#include <QAbstractButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QMimeData>
#include <QPointer>
#include <QScopeGuard>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QToolButton>

#include <functional>

namespace {

// An outside application's drag of the files over the widget, then the
// drop (after `meanwhile`, when given); answers whether the drop was
// accepted.
bool dropFiles(QWidget *target, const QList<QUrl> &urls, const std::function<void()> &meanwhile = {})
{
    QMimeData data;
    data.setUrls(urls);
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    if (meanwhile)
        meanwhile();
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    drop.setAccepted(false);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

// Whether the widget looks otherwise with the focus than without it.
bool showsItsFocus(QWidget *stop)
{
    const FocusLook look(stop);
    return look.focused != look.unfocused;
}

// Whether the widget shows the accent ring, near its edges, while it has
// the focus.
bool showsTheRing(QWidget *stop)
{
    return FocusLook(stop).ringed(stop->rect(), AppStyle::accent(stop->palette()), 6);
}

// Whether the list's selected row is filled with the accent colour while
// the list has the focus, and only then.
bool selectedRowTurnsAccent(QListView *list)
{
    const QModelIndexList selected = list->selectionModel()->selectedIndexes();
    if (selected.size() != 1)
        return false;
    const QRect row = list->visualRect(selected.first()).translated(list->viewport()->pos());
    const FocusLook look(list);
    const QColor accent = AppStyle::accent(list->palette());
    int focused = 0;
    int unfocused = 0;
    for (int y = row.top(); y <= row.bottom(); ++y) {
        for (int x = row.left(); x <= row.right(); ++x) {
            focused += FocusLook::isAccent(look.focused.pixel(x, y), accent) ? 1 : 0;
            unfocused += FocusLook::isAccent(look.unfocused.pixel(x, y), accent) ? 1 : 0;
        }
    }
    return focused > row.width() * row.height() / 2 && unfocused == 0;
}

QString describe(const QWidget *widget)
{
    return QStringLiteral("%1 \"%2\"").arg(QString::fromLatin1(widget->metaObject()->className()),
                                            widget->accessibleName().isEmpty() ? widget->objectName()
                                                                               : widget->accessibleName());
}

// The menu key's press, as the desktop hands it to the window.
void pressMenuKey(QWidget &window)
{
    QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(), QPoint());
    QApplication::sendEvent(window.windowHandle(), &event);
}

// The menu open now, closed once its item with the title is triggered.
bool triggerOpenMenu(const QString &title)
{
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    if (!menu)
        return false;
    for (QAction *action : menu->actions()) {
        if (action->text() == title) {
            menu->close();
            action->trigger();
            return true;
        }
    }
    return false;
}

// Where the focus is on the image screen when a key comes (the links
// panel up for the last three).
enum class KeyTarget { screen, canvas, strip, groupSwitch, linkRow, screenUnderPanel, closeButton };

// Records the addresses the desktop is asked to open.
} // namespace

// The main window driven as a user would.
class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void importThroughTheFileImporterAndTheSheet()
    {
        QTemporaryDir folder;
        writeTestFile(folder, QStringLiteral("scan 10.png"), pngBytes(Qt::red));
        writeTestFile(folder, QStringLiteral("scan 2.png"), pngBytes(Qt::green));
        writeTestFile(folder, QStringLiteral("scan 1.png"), pngBytes(Qt::blue));
        TestLibrary library;
        WindowHarness harness(library);
        QCOMPARE(harness.window.windowTitle(), QStringLiteral("Library"));
        QVERIFY(!harness.view().contentSidebar()->filtersButton()->isVisible());
        QCOMPARE(harness.view().contentSidebar()->importButton()->toolTip(), QStringLiteral("Import images"));
        QCOMPARE(harness.view().contentDetail()->title(), QStringLiteral("Library"));
        QVERIFY(!harness.view().contentDetail()->libraryButton()->isVisible());
        // The empty state's button opens the importer too; cancelled, nothing.
        QTest::mouseClick(harness.grid().emptyStateView()->actionButton(), Qt::LeftButton);
        QVERIFY(harness.view().fileImporter());
        harness.view().fileImporter()->reject();
        QVERIFY(!harness.model().isImporting());
        QVERIFY(!harness.view().fileImporter());
        // Pick three files twice: Escape cancels the first sheet, the second imports.
        const auto pickThree = [&] {
            QTest::mouseClick(harness.view().contentSidebar()->importButton(), Qt::LeftButton);
            QFileDialog *importer = harness.view().fileImporter();
            QVERIFY(importer && importer->isVisible());
            QCOMPARE(importer->fileMode(), QFileDialog::ExistingFiles);
            QCOMPARE(importer->windowModality(), Qt::WindowModal);
            QVERIFY(importer->nameFilters().first().contains(QStringLiteral("*.png")));
            importer->setDirectory(folder.path());
            typeFileName(importer, QStringLiteral("\"scan 10.png\" \"scan 2.png\" \"scan 1.png\""));
            QVERIFY(!harness.model().isImporting());
            QTRY_VERIFY(harness.view().importSheet() && harness.view().importSheet()->isVisible());
        };
        pickThree();
        QTest::keyClick(harness.view().importSheet(), Qt::Key_Escape);
        QTRY_VERIFY(!harness.view().importSheet());
        pickThree();
        MetadataEditor *sheet = harness.view().importSheet();
        QCOMPARE(sheet->windowModality(), Qt::WindowModal);
        QCOMPARE(sheet->navigationTitle(), QStringLiteral("Import Series"));
        sheet->titleField()->selectAll();
        QTest::keyClicks(sheet->titleField(), QStringLiteral("  Knee MRI "));
        QComboBox *modality = sheet->picker(MetadataEditor::Picker::modality);
        QTest::keyClick(modality, Qt::Key_Up); // MR -> CT
        QTest::keyClick(sheet, Qt::Key_Return);
        QTRY_VERIFY(!harness.view().importSheet());
        const QList<Series *> series = library.context().fetch<Series>();
        QCOMPARE(series.size(), 1);
        QCOMPARE(series.first()->title(), QStringLiteral("Knee MRI"));
        const QList<AtlasImage *> images = LibraryDerivation::orderedImages(*series.first());
        QCOMPARE(imageTitles(images), (QStringList{"scan 1", "scan 2", "scan 10"}));
        QCOMPARE(images.first()->modality(), Modality::ct);
        // The first new image is open; "Library" goes back to the grid, selecting it.
        ContentDetail *detail = harness.view().contentDetail();
        QVERIFY(detail->showsImageScreen());
        QTRY_COMPARE(detail->imageScreen()->picture()->status(), OpenedPicture::Status::ready);
        QCOMPARE(detail->imageScreen()->title(), QStringLiteral("scan 1"));
        QCOMPARE(detail->title(), QStringLiteral("scan 1"));
        // The header's Edit turns edit mode on and becomes Done, which
        // turns it off; meanwhile the annotation editor takes the viewer's place.
        QVERIFY(detail->editButton()->isVisible() && !detail->doneButton()->isVisible());
        QTest::mouseClick(detail->editButton(), Qt::LeftButton);
        QVERIFY(harness.appState.isEditing());
        QVERIFY(!detail->editButton()->isVisible() && detail->doneButton()->isVisible());
        auto *editor = detail->imageScreen()->findChild<AnnotationEditor *>();
        QVERIFY(editor);
        QTRY_VERIFY(editor->isVisible());
        const QPointer<AnnotationEditor> editing = editor;
        QTest::mouseClick(detail->doneButton(), Qt::LeftButton);
        QVERIFY(!harness.appState.isEditing());
        QTRY_VERIFY(!editing || !editing->isVisible());
        QTRY_COMPARE(harness.sidebar().entries().size(), 1);
        QTest::mouseClick(detail->libraryButton(), Qt::LeftButton);
        QVERIFY(!detail->showsImageScreen());
        QCOMPARE(harness.model().gridSelection(), images.first());
        QCOMPARE(harness.window.state().selectedImageID, QString());
    }

    void searchFiltersAndTheFiltersButton()
    {
        TestLibrary library;
        Series *brain = library.series(QStringLiteral("Brain"), 1);
        library.image(QStringLiteral("Axial 1"), brain, 0, 1);
        library.image(QStringLiteral("Chest"), nullptr, 0, 3, Modality::ct);
        library.save();
        WindowHarness harness(library);
        ContentSidebar *column = harness.view().contentSidebar();
        QVERIFY(column->filtersButton()->isVisible());
        QCOMPARE(column->filtersButtonValue(), QStringLiteral("Off"));
        QTest::keyClicks(harness.sidebar().searchField(), QStringLiteral("zebra"));
        QCOMPARE(harness.model().librarySearchText(), QStringLiteral("zebra"));
        QTRY_COMPARE(harness.sidebar().emptyStateTitle(), QStringLiteral("No Matches"));
        harness.sidebar().searchField()->clear();
        // The filters button opens the panel; picking CT filters the list.
        QTest::mouseClick(column->filtersButton(), Qt::LeftButton);
        QVERIFY(harness.model().isLibraryFiltersExpanded());
        QTRY_VERIFY(harness.sidebar().isFilterPanelShown());
        QComboBox *modality = harness.sidebar().filterControls()->picker(0);
        QTest::keyClick(modality, Qt::Key_Down); // Any -> DX
        QTest::keyClick(modality, Qt::Key_Down); // DX -> CT
        QCOMPARE(harness.model().modalityFilter(), std::optional<Modality>(Modality::ct));
        QCOMPARE(column->filtersButtonValue(), QStringLiteral("Active"));
        // "Clear Filters" (once the panel has finished sliding open).
        SpringAnimation *panel = harness.sidebar().filterPanelOpening();
        stepToRest(*panel->frameClock(), [panel] { return panel->value(); }, 0, 1);
        QApplication::processEvents(); // laid out
        QTest::mouseClick(harness.sidebar().clearFiltersButton(), Qt::LeftButton);
        QVERIFY(!harness.model().hasActiveFilters());
        QCOMPARE(harness.sidebar().filterControls()->modalityFilter(), std::nullopt);
        QCOMPARE(column->filtersButtonValue(), QStringLiteral("Off"));
        QTest::mouseClick(column->filtersButton(), Qt::LeftButton);
        QVERIFY(!harness.model().isLibraryFiltersExpanded());
    }

    // A search of a large library runs in the background: the window shows
    // no rows of the search before, says it is searching, takes no drop,
    // and shows the results once they are in.
    void aSearchInTheBackgroundShowsNoEarlierRows()
    {
        TestLibrary library;
        Series *brain = library.series(QStringLiteral("Brain"), 1);
        AtlasImage *axial = library.image(QStringLiteral("Axial 1"), brain, 0, 1);
        library.point(axial, QStringLiteral("Thalamus"));
        library.image(QStringLiteral("Coronal 2"), brain, 1, 2);
        library.image(QStringLiteral("Chest"), nullptr, 0, 3, Modality::ct);
        library.save();
        const qsizetype limit = LibraryQuery::scanOffThreadFrom();
        LibraryQuery::setScanOffThreadFrom(0);
        const auto restore = qScopeGuard([limit] { LibraryQuery::setScanOffThreadFrom(limit); });
        WindowHarness harness(library);
        QTRY_VERIFY(harness.model().library().isSearchIndexReady());
        harness.model().setSidebarSelection({LibraryEntryID::series(brain->id())});
        QTRY_COMPARE(harness.grid().images().size(), 2);
        QVERIFY(harness.grid().canAddImages());
        QSignalSpy arrived(&harness.model().library(), &LibraryQuery::searchResultsArrived);
        QTest::keyClicks(harness.sidebar().searchField(), QStringLiteral("thalamus"));
        QVERIFY(harness.model().isSearching());
        QVERIFY(harness.sidebar().entries().isEmpty());
        QCOMPARE(harness.sidebar().emptyStateTitle(), QStringLiteral("Searching\u2026"));
        QVERIFY(harness.grid().images().isEmpty());
        QCOMPARE(harness.grid().content(), LibraryGrid::Content::searching);
        QVERIFY(!harness.grid().canAddImages());
        QTRY_VERIFY(arrived.count() >= 1);
        QTRY_COMPARE(harness.sidebar().entries().size(), 1);
        QCOMPARE(harness.sidebar().emptyStateTitle(), QString());
        QCOMPARE(harness.grid().images(), QList<AtlasImage *>{axial});
        QCOMPARE(harness.grid().content(), LibraryGrid::Content::grid);
        QVERIFY(harness.grid().canAddImages());
    }

    void selectingRowsAndMovingThroughImagesWithTheKeyboard()
    {
        TestLibrary library;
        Series *brain = library.series(QStringLiteral("Brain"), 1);
        const QList<AtlasImage *> slices = library.images(brain, 3);
        library.save();
        WindowHarness harness(library);
        QCOMPARE(harness.grid().content(), LibraryGrid::Content::noSelection);
        QVERIFY(harness.clickRow(LibraryEntryID::series(brain->id())));
        QCOMPARE(harness.grid().images(), slices);
        QVERIFY(harness.grid().canReorder());
        // Right, Right, Return opens the second image.
        QWidget *gridKeys = harness.grid().view();
        gridKeys->setFocus();
        QTest::keyClick(gridKeys, Qt::Key_Right);
        QTest::keyClick(gridKeys, Qt::Key_Right);
        QTest::keyClick(gridKeys, Qt::Key_Return);
        QCOMPARE(harness.model().openedImage(), slices.at(1));
        ContentDetail *detail = harness.view().contentDetail();
        QVERIFY(detail->showsImageScreen());
        QCOMPARE(harness.window.state().selectedImageID, slices.at(1)->id().toString(QUuid::WithoutBraces).toUpper());
        // On the image screen: Down and Right forward, Up and Left back
        // (also from the canvas, once clicked); Space returns to the grid.
        QWidget *screen = detail->imageScreen();
        QTRY_VERIFY(screen->hasFocus());
        QTest::keyClick(screen, Qt::Key_Down);
        QWidget *canvas = detail->imageScreen()->canvas();
        QTest::mouseClick(canvas, Qt::LeftButton);
        QTRY_VERIFY(canvas->hasFocus());
        QTest::keyClick(canvas, Qt::Key_Up);
        QTest::keyClick(screen, Qt::Key_Left);
        QCOMPARE(harness.model().openedImage(), slices.at(0));
        QTest::keyClick(screen, Qt::Key_Right);
        QCOMPARE(harness.model().openedImage(), slices.at(1));
        QTest::keyClick(screen, Qt::Key_Space);
        QVERIFY(!detail->showsImageScreen());
        QCOMPARE(harness.model().gridSelection(), slices.at(1));
        QTRY_VERIFY(harness.grid().isFocused());
        // A double tap opens too.
        harness.grid().handleTap(slices.at(2));
        harness.grid().handleTap(slices.at(2));
        QCOMPARE(harness.model().openedImage(), slices.at(2));
    }

    // Clicking another row while an image is open opens that row's first
    // image and leaves the focus in the sidebar: Down then goes on to the
    // next row.
    void theSidebarKeepsTheFocusAsTheOpenedImageFollowsIt()
    {
        TestLibrary library;
        QList<Series *> series;
        QList<AtlasImage *> firsts;
        for (int i = 0; i < 3; ++i) {
            series << library.series(QStringLiteral("Series %1").arg(i), i);
            firsts << library.images(series.last(), 2).constFirst();
        }
        library.save();
        WindowHarness harness(library);
        QVERIFY(harness.clickRow(LibraryEntryID::series(series.at(0)->id())));
        harness.model().openImage(firsts.at(0));
        ContentDetail *detail = harness.view().contentDetail();
        QTRY_VERIFY(detail->imageScreen()->hasFocus());
        QVERIFY(harness.clickRow(LibraryEntryID::series(series.at(1)->id())));
        QCOMPARE(harness.model().openedImage(), firsts.at(1));
        QVERIFY(harness.sidebar().listView()->hasFocus());
        QTest::keyClick(harness.window.windowHandle(), Qt::Key_Down);
        QCOMPARE(harness.model().sidebarSelection(),
                 (QSet<LibraryEntryID>{LibraryEntryID::series(series.at(2)->id())}));
        QCOMPARE(harness.model().openedImage(), firsts.at(2));
        QVERIFY(harness.sidebar().listView()->hasFocus());
    }

    // A control of the screen that goes with its image, as the window opens
    // another (a step, or the first image of a committed import), leaves
    // the focus to the screen, not to the next control of the window.
    void aControlThatGoesWithItsImageLeavesTheFocusToTheScreen()
    {
        TestLibrary library;
        Series *brain = library.series(QStringLiteral("Brain"), 1);
        const QList<AtlasImage *> slices = library.images(brain, 2);
        library.point(slices.at(0), QStringLiteral("Pons"))->setGroup(QStringLiteral("Brainstem"));
        library.save();
        WindowHarness harness(library);
        QVERIFY(harness.clickRow(LibraryEntryID::series(brain->id())));
        harness.model().openImage(slices.at(0));
        ImageDetailView *screen = harness.view().contentDetail()->imageScreen();
        QTRY_VERIFY(screen->hasFocus());
        QPointer<QAbstractButton> groupSwitch = screen->stripInspector()->chip(QStringLiteral("Brainstem"));
        QVERIFY(groupSwitch);
        groupSwitch->setFocus(Qt::TabFocusReason);
        harness.model().advanceOpenedImage(1);
        QCOMPARE(harness.model().openedImage(), slices.at(1));
        QVERIFY(!groupSwitch || !groupSwitch->isVisible());
        QVERIFY(screen->hasFocus());
    }

    // The image screen's keys go first to the control that has the focus;
    // only what it leaves steps through the images or goes back.
    void keysReachTheFocusedControlFirst_data()
    {
        QTest::addColumn<int>("target"); // a KeyTarget
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("opened"); // the slice open afterwards; -1 the grid
        QTest::newRow("screen, Right") << int(KeyTarget::screen) << int(Qt::Key_Right) << 2;
        QTest::newRow("screen, Up") << int(KeyTarget::screen) << int(Qt::Key_Up) << 0;
        QTest::newRow("screen, Space") << int(KeyTarget::screen) << int(Qt::Key_Space) << -1;
        QTest::newRow("canvas, Down") << int(KeyTarget::canvas) << int(Qt::Key_Down) << 2;
        QTest::newRow("strip, Right scrolls it") << int(KeyTarget::strip) << int(Qt::Key_Right) << 1;
        QTest::newRow("strip, Left scrolls it") << int(KeyTarget::strip) << int(Qt::Key_Left) << 1;
        QTest::newRow("strip, Down") << int(KeyTarget::strip) << int(Qt::Key_Down) << 2;
        QTest::newRow("strip, Space") << int(KeyTarget::strip) << int(Qt::Key_Space) << -1;
        QTest::newRow("group switch, Space switches") << int(KeyTarget::groupSwitch) << int(Qt::Key_Space) << 1;

        QTest::newRow("link row, Space opens it") << int(KeyTarget::linkRow) << int(Qt::Key_Space) << 1;
        // The links panel leaves the screen's keys to it; another image or
        // the grid closes the panel.
        QTest::newRow("link row, Return opens it") << int(KeyTarget::linkRow) << int(Qt::Key_Return) << 1;
        QTest::newRow("link row, Right") << int(KeyTarget::linkRow) << int(Qt::Key_Right) << 2;
        QTest::newRow("link row, Up") << int(KeyTarget::linkRow) << int(Qt::Key_Up) << 0;
        QTest::newRow("under the links panel, Right") << int(KeyTarget::screenUnderPanel) << int(Qt::Key_Right) << 2;
        QTest::newRow("under the links panel, Down") << int(KeyTarget::screenUnderPanel) << int(Qt::Key_Down) << 2;
        QTest::newRow("under the links panel, Left") << int(KeyTarget::screenUnderPanel) << int(Qt::Key_Left) << 0;
        QTest::newRow("under the links panel, Up") << int(KeyTarget::screenUnderPanel) << int(Qt::Key_Up) << 0;
        QTest::newRow("under the links panel, Space") << int(KeyTarget::screenUnderPanel) << int(Qt::Key_Space) << -1;
        QTest::newRow("Close, Left") << int(KeyTarget::closeButton) << int(Qt::Key_Left) << 0;
        QTest::newRow("Close, Space closes the panel") << int(KeyTarget::closeButton) << int(Qt::Key_Space) << 1;
    }
    void keysReachTheFocusedControlFirst()
    {
        QFETCH(int, target);
        QFETCH(int, key);
        QFETCH(int, opened);
        TestLibrary library;
        Series *brain = library.series(QStringLiteral("Brain"), 1);
        const QList<AtlasImage *> slices = library.images(brain, 3);
        PointAnnotation *pons = library.point(slices.at(1), QStringLiteral("Pons"));
        pons->setGroup(QStringLiteral("Brainstem"));
        pons->setLinks(QList<AnnotationLink>{
            {QUuid::createUuid(), QStringLiteral("Atlas"), QStringLiteral("https://atlas.example.org/pons")}});
        library.save();
        WindowHarness harness(library);
        StubPrograms programs;
        QVERIFY(programs.add(QStringLiteral("xdg-open")));
        QVERIFY(harness.clickRow(LibraryEntryID::series(brain->id())));
        harness.model().openImage(slices.at(1));
        ContentDetail *detail = harness.view().contentDetail();
        ImageDetailView *screen = detail->imageScreen();
        QTRY_VERIFY(screen->hasFocus());
        QScrollBar *stripBar = screen->metadataStrip()->summary()->horizontalScrollBar();

        QPointer<QWidget> focus = screen;
        switch (KeyTarget(target)) {
        case KeyTarget::screen:
            break;
        case KeyTarget::canvas:
            focus = screen->canvas();
            break;
        case KeyTarget::strip:
            // Narrow enough for the columns to scroll (a wide sidebar), half-way along.
            if (auto *columns = harness.view().findChild<QSplitter *>())
                columns->setSizes({harness.window.width() - 420, 420});
            QTRY_VERIFY(screen->metadataStrip()->isScrollable());
            stripBar->setValue(stripBar->maximum() / 2);
            focus = screen->metadataStrip()->summary();
            break;
        case KeyTarget::groupSwitch:
            focus = screen->stripInspector()->chip(QStringLiteral("Brainstem"));
            break;
        case KeyTarget::linkRow:
            screen->showLinks(pons->id());
            QVERIFY(screen->linksPanel() && screen->linksPanel()->rows().size() == 1);
            focus = screen->linksPanel()->rows().constFirst();
            break;
        case KeyTarget::screenUnderPanel:
            screen->showLinks(pons->id());
            QVERIFY(screen->linksPanel());
            // Opening the panel leaves the focus on the screen.
            QVERIFY(screen->hasFocus());
            break;
        case KeyTarget::closeButton:
            screen->showLinks(pons->id());
            QVERIFY(screen->linksPanel());
            focus = screen->linksPanel()->closeButton();
            break;
        }
        const bool panelUp = screen->linksPanel() != nullptr;
        QVERIFY(focus);
        focus->setFocus(Qt::TabFocusReason);
        QVERIFY(focus->hasFocus());
        const int scrolled = stripBar->value();
        QTest::keyClick(harness.window.windowHandle(), Qt::Key(key));

        QCOMPARE(harness.model().openedImage(), opened < 0 ? nullptr : slices.at(opened));
        QCOMPARE(detail->showsImageScreen(), opened >= 0);
        const bool stripScrolls =
            KeyTarget(target) == KeyTarget::strip && (key == Qt::Key_Left || key == Qt::Key_Right);
        if (stripScrolls)
            QVERIFY(key == Qt::Key_Right ? stripBar->value() > scrolled : stripBar->value() < scrolled);
        // The focus stays on its control, also as the screen steps to
        // another image; when the control went with the old image, or with
        // the links panel, the screen has it.
        const bool panelStays = panelUp && opened == 1 && KeyTarget(target) != KeyTarget::closeButton;
        QCOMPARE(harness.appState.linkedAnnotationID().has_value(), panelStays);
        if (opened >= 0) {
            QWidget *now = QApplication::focusWidget();
            QVERIFY(now == screen || screen->isAncestorOf(now));
            if (focus && focus->isVisible() && (panelStays || !panelUp))
                QCOMPARE(now, focus.data());
        }
        const bool switched = KeyTarget(target) == KeyTarget::groupSwitch && key == Qt::Key_Space;
        QCOMPARE(screen->annotationState()->disabledGroups(),
                 switched ? QSet<QString>{QStringLiteral("Brainstem")} : QSet<QString>());
        QTRY_COMPARE(StubPrograms::running(), 0);
        const bool opensLink =
            KeyTarget(target) == KeyTarget::linkRow && (key == Qt::Key_Space || key == Qt::Key_Return);
        QCOMPARE(programs.argumentsOf(QStringLiteral("xdg-open")),
                 opensLink ? QStringList{"https://atlas.example.org/pons"} : QStringList());
    }

    // A key whose command is disabled (no image beyond the end, no way back
    // while editing) is not taken: it travels on to the window.
    void keysOfDisabledCommandsTravelOn_data()
    {
        QTest::addColumn<int>("opened");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("editing");
        QTest::addColumn<int>("openedAfter");
        QTest::newRow("Right on the last image") << 1 << int(Qt::Key_Right) << false << 1;
        QTest::newRow("Up on the first image") << 0 << int(Qt::Key_Up) << false << 0;
        QTest::newRow("Space while editing") << 0 << int(Qt::Key_Space) << true << 0;
        QTest::newRow("Down, enabled, is taken") << 0 << int(Qt::Key_Down) << false << 1;
    }
    void keysOfDisabledCommandsTravelOn()
    {
        QFETCH(int, opened);
        QFETCH(int, key);
        QFETCH(bool, editing);
        QFETCH(int, openedAfter);
        TestLibrary library;
        Series *brain = library.series(QStringLiteral("Brain"), 1);
        const QList<AtlasImage *> slices = library.images(brain, 2);
        library.save();
        WindowHarness harness(library);
        QVERIFY(harness.clickRow(LibraryEntryID::series(brain->id())));
        harness.model().openImage(slices.at(opened));
        harness.appState.setIsEditing(editing);
        QWidget *screen = harness.view().contentDetail()->imageScreen();
        screen->setFocus(Qt::OtherFocusReason);
        QTRY_VERIFY(screen->hasFocus());
        EventCounter reached(QEvent::KeyPress);
        harness.window.installEventFilter(&reached);
        QTest::keyClick(harness.window.windowHandle(), Qt::Key(key));
        QCOMPARE(harness.model().openedImage(), slices.at(openedAfter));
        QCOMPARE(reached.count, opened == openedAfter ? 1 : 0);
    }

    // A full swipe over a row of the selection deletes that row alone, at
    // once; a swipe's Edit opens the image's sheet.
    void swipesOverRowsDeleteAndEdit()
    {
        TestLibrary library;
        AtlasImage *knee = library.image(QStringLiteral("Knee"));
        AtlasImage *hand = library.image(QStringLiteral("Hand"), nullptr, 0, 1);
        library.save();
        WindowHarness harness(library);
        QVERIFY(harness.clickRow(LibraryEntryID::image(knee->id())));
        QVERIFY(harness.clickRow(LibraryEntryID::image(hand->id()), Qt::ControlModifier));
        QCOMPARE(harness.model().sidebarSelection().size(), 2);
        QListView *list = harness.sidebar().listView();
        RowSwipeActions *swipes = harness.sidebar().rowSwipe();
        const auto swipe = [&](int row, double fraction, bool ofFullSwipe) {
            swipeRow(list, swipes, row, fraction, ofFullSwipe);
        };
        swipe(0, 1.1, true);
        QVERIFY(!harness.view().deleteConfirmation());
        QCOMPARE(imageTitles(library.context().fetch<AtlasImage>()), QStringList{"Hand"});
        QTRY_COMPARE(harness.sidebar().entries().size(), 1);
        QCOMPARE(harness.model().sidebarSelection(), QSet<LibraryEntryID>{LibraryEntryID::image(hand->id())});
        swipe(0, 1, false);
        QTRY_COMPARE(swipes->reveal(), swipes->actionsWidth());
        QTest::mouseClick(swipes->buttons().at(1), Qt::LeftButton);
        QTRY_VERIFY(harness.view().metadataSheet());
        QCOMPARE(harness.model().editingImage(), hand);
    }

    // Done gives the keys back to the image screen: Space then goes back to
    // the grid. From the header's Edit the focus goes on to Done.
    void leavingTheEditorGivesTheKeysBackToTheScreen()
    {
        TestLibrary library;
        AtlasImage *knee = library.image(QStringLiteral("Knee"));
        knee->setImageData(pngBytes(Qt::gray, QSize(400, 300)));
        library.save();
        WindowHarness harness(library);
        QWindow *keys = harness.window.windowHandle();
        QVERIFY(harness.clickRow(LibraryEntryID::image(knee->id())));
        harness.model().openImage(knee);
        ContentDetail *detail = harness.view().contentDetail();
        ImageDetailView *screen = detail->imageScreen();
        QTRY_COMPARE(screen->picture()->status(), OpenedPicture::Status::ready);
        QTRY_VERIFY(screen->hasFocus());

        // Ctrl+E, a drag on the picture, Ctrl+E, Space.
        QTest::keyClick(keys, Qt::Key_E, Qt::ControlModifier);
        auto *editor = qobject_cast<AnnotationEditor *>(screen->editor());
        QVERIFY(editor);
        QTRY_VERIFY(editor->isVisible());
        ZoomableImage *canvas = editor->canvas();
        const QPoint from = canvas->rect().center();
        QTest::mousePress(canvas, Qt::LeftButton, {}, from);
        QTest::mouseMove(canvas, from + QPoint(40, 30));
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, from + QPoint(40, 30));
        QVERIFY(canvas->hasFocus());
        QTest::keyClick(keys, Qt::Key_E, Qt::ControlModifier);
        QVERIFY(!harness.appState.isEditing());
        QVERIFY(screen->hasFocus());
        QTest::keyClick(keys, Qt::Key_Space);
        QVERIFY(!detail->showsImageScreen());
        QVERIFY(!harness.model().isLibraryFiltersExpanded());

        // The header's buttons, pressed with Space.
        harness.model().openImage(knee);
        QTRY_COMPARE(screen->picture()->status(), OpenedPicture::Status::ready);
        detail->editButton()->setFocus(Qt::TabFocusReason);
        QTest::keyClick(keys, Qt::Key_Space);
        QVERIFY(harness.appState.isEditing());
        QVERIFY(detail->doneButton()->hasFocus());
        QTest::keyClick(keys, Qt::Key_Space);
        QVERIFY(!harness.appState.isEditing());
        QVERIFY(screen->hasFocus());
        QTest::keyClick(keys, Qt::Key_Space);
        QVERIFY(!detail->showsImageScreen());
        QVERIFY(!harness.model().isLibraryFiltersExpanded());
    }

    // Edit mode ending in the middle of a drag, by Done or from another
    // window: the drag ends as a release ends it, what it wrote stays and
    // is saved; the editor, out of view at once as its picture fades out,
    // takes nothing more, not even the release, and goes.
    void editModeEndingMidDragKeepsWhatTheDragWrote_data()
    {
        QTest::addColumn<bool>("byDone");
        QTest::newRow("Done") << true;
        QTest::newRow("another window") << false;
    }
    void editModeEndingMidDragKeepsWhatTheDragWrote()
    {
        QFETCH(bool, byDone);
        TestLibrary library;
        AtlasImage *knee = library.image(QStringLiteral("Knee"));
        knee->setImageData(pngBytes(Qt::gray, QSize(400, 300)));
        PointAnnotation *patella = library.point(knee, QStringLiteral("Patella"));
        library.save();
        WindowHarness harness(library);
        QVERIFY(harness.clickRow(LibraryEntryID::image(knee->id())));
        harness.model().openImage(knee);
        ImageDetailView *screen = harness.view().contentDetail()->imageScreen();
        QTRY_COMPARE(screen->picture()->status(), OpenedPicture::Status::ready);
        harness.appState.setIsEditing(true);
        const QPointer<AnnotationEditor> editor = qobject_cast<AnnotationEditor *>(screen->editor());
        QVERIFY(editor);
        QTRY_VERIFY(editor->isVisible());
        ZoomableImage *canvas = editor->canvas();
        const QPoint from = canvas->geometry().viewPoint({patella->x(), patella->y()}).toPoint();
        QSignalSpy saves(&library.context(), &ModelContext::didSave);
        QTest::mousePress(canvas, Qt::LeftButton, {}, from);
        QTest::mouseMove(canvas, from + QPoint(40, 0));
        const double written = patella->x();
        QVERIFY(written > 0.3);
        QCOMPARE(saves.size(), 0);
        const QPoint released = canvas->mapTo(&harness.window, from + QPoint(80, 0));

        // The editor's fade-out ends where the test steps it, however long
        // a paint waits for its workers meanwhile.
        const HeldAnimationClock held;
        if (byDone)
            QTest::keyClick(harness.window.windowHandle(), Qt::Key_E, Qt::ControlModifier);
        else
            harness.appState.setIsEditing(false);
        QVERIFY(!harness.appState.isEditing());
        // The editor gone, or out of view with its drag ended.
        QVERIFY(!editor || (!editor->isVisible() && !editor->layer()->isGestureRunning()));
        QCOMPARE(saves.size(), 1);
        QVERIFY(!library.context().hasChanges());
        QTest::mouseMove(harness.window.windowHandle(), released);
        QTest::mouseRelease(harness.window.windowHandle(), Qt::LeftButton, {}, released);
        QCOMPARE(patella->x(), written);

        stepFades(screen, ImageDetailView::crossFadeMilliseconds);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!editor);
        QCOMPARE(patella->x(), written);
        QVERIFY(!library.context().hasChanges());
    }

    // Every place Tab stops at shows the accent ring while the focus is
    // there: over the grid, on the image screen, in the editor once a point
    // has been labelled, in the links panel and in the metadata sheet; but
    // for the grid itself, the image screen and its canvas in either mode,
    // which show no ring, and the sidebar's list, whose selected row turns
    // to the accent colour.
    void everyTabStopShowsWhereTheFocusIs_data()
    {
        QTest::addColumn<int>("screen"); // 0 the grid, 1 the image screen, 2 the editor, 3 links, 4 the sheet
        QTest::newRow("grid") << 0;
        QTest::newRow("image screen") << 1;
        QTest::newRow("editor") << 2;
        QTest::newRow("links panel") << 3;
        QTest::newRow("metadata sheet") << 4;
    }
    void everyTabStopShowsWhereTheFocusIs()
    {
        QFETCH(int, screen);
        FocusRingStyle::install();
        TestLibrary library;
        Series *brain = library.series(QStringLiteral("Brain"), 1);
        const QList<AtlasImage *> slices = library.images(brain, 2);
        slices.first()->setImageData(pngBytes(Qt::gray, QSize(400, 300)));
        PointAnnotation *pons = library.point(slices.first(), QStringLiteral("Pons"));
        pons->setLinks(QList<AnnotationLink>{{QUuid::createUuid(), QStringLiteral("Atlas"), "en.anatomy.org/pons"},
                                             {QUuid::createUuid(), QStringLiteral("Cases"), "cases.example/pons"}});
        library.save();
        WindowHarness harness(library);
        QVERIFY(harness.clickRow(LibraryEntryID::series(brain->id())));
        ContentDetail *detail = harness.view().contentDetail();
        ImageDetailView *imageScreen = detail->imageScreen();
        QWidget *start = harness.sidebar().searchField();
        QList<QWidget *> expected{harness.view().contentSidebar()->filtersButton(),
                                  harness.view().contentSidebar()->importButton()};
        QList<QWidget *> ringless;
        if (screen == 0) {
            harness.model().setGridSelection(slices.first());
            expected << harness.grid().view() << harness.grid().view()->addImagesButton();
            ringless << harness.grid().view();
            // The selected tile grows and the thumbnails fade in: still
            // again afterwards.
            harness.cache.waitForIdle();
            QTest::qWait(2 * LibraryThumbnail::fadeMilliseconds);
        } else if (screen == 4) {
            QVERIFY(WindowHarness::trigger(harness.grid().contextMenu(slices.first()), QStringLiteral("Edit")));
            MetadataEditor *sheet = harness.view().metadataSheet();
            QVERIFY(sheet);
            QTRY_VERIFY(sheet->isVisible());
            sheet->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(sheet));
            start = sheet->titleField();
            start->setFocus(Qt::TabFocusReason);
            QTRY_COMPARE(QApplication::focusWidget(), start);
            expected = {sheet->picker(MetadataEditor::Picker::modality), sheet->actionButton()};
        } else {
            harness.model().openImage(slices.first());
            QTRY_COMPARE(imageScreen->picture()->status(), OpenedPicture::Status::ready);
            QTRY_VERIFY(!imageScreen->graphicsEffect()); // faded in
            expected << imageScreen << detail->libraryButton();
            ringless << imageScreen << imageScreen->canvas();
            if (screen == 1) {
                expected << imageScreen->canvas() << detail->editButton();
            } else if (screen == 2) {
                harness.appState.setIsEditing(true);
                auto *editor = qobject_cast<AnnotationEditor *>(imageScreen->editor());
                QVERIFY(editor);
                QTRY_VERIFY(editor->isVisible());
                // A point placed and labelled: the keys go back to the canvas.
                QTest::keyClick(editor, Qt::Key_2, Qt::ControlModifier);
                QTest::mouseClick(editor->canvas(), Qt::LeftButton, {}, editor->canvas()->rect().center());
                QTRY_VERIFY(editor->renameAlert());
                QTest::keyClicks(editor->renameAlert()->textField(), QStringLiteral("Aorta"));
                QTest::keyClick(editor->renameAlert()->textField(), Qt::Key_Return);
                QTRY_VERIFY(!editor->renameAlert());
                // (The offscreen desktop gives the window back its focus only when asked.)
                harness.window.activateWindow();
                QVERIFY(QTest::qWaitForWindowActive(&harness.window));
                QTRY_VERIFY(editor->canvas()->hasFocus());
                QTRY_VERIFY(!showsItsFocus(editor->canvas()));
                expected << editor->canvas() << detail->doneButton();
                ringless << editor->canvas();
            } else {
                imageScreen->showLinks(pons->id());
                AnnotationLinksOverlay *panel = imageScreen->linksPanel();
                QVERIFY(panel);
                QTRY_VERIFY(!panel->graphicsEffect()); // faded in
                // The panel's own controls, whichever way Tab goes through it.
                QList<QWidget *> controls{panel->findChild<QToolButton *>()};
                for (AnnotationLinkRow *row : panel->rows())
                    controls << row;
                QCOMPARE(controls.size(), 3);
                for (QWidget *control : controls)
                    QVERIFY2(showsTheRing(control), qPrintable(describe(control)));
                return;
            }
        }
        const QList<QWidget *> stops = tabStops(start);
        for (QWidget *stop : expected)
            QVERIFY2(stops.contains(stop), qPrintable(describe(stop)));
        QListView *list = harness.sidebar().listView();
        for (QWidget *stop : stops) {
            if (ringless.contains(stop))
                QTRY_VERIFY2(!showsItsFocus(stop), qPrintable(describe(stop)));
            else if (stop == list)
                QVERIFY(selectedRowTurnsAccent(list));
            else
                QVERIFY2(showsTheRing(stop), qPrintable(describe(stop)));
        }
    }

    // Among all the window's controls, Tab goes from the links panel's
    // Close down its links, also when the panel opens again after the
    // screen has made controls of its own (the next image's group
    // switches). Each row: the image the panel opens on last.
    void tabFromCloseReachesTheLinks_data()
    {
        QTest::addColumn<int>("last");
        QTest::newRow("first opening") << 0;
        QTest::newRow("again, on the next image") << 1;
    }
    void tabFromCloseReachesTheLinks()
    {
        QFETCH(int, last);
        TestLibrary library;
        Series *brain = library.series(QStringLiteral("Brain"), 1);
        const QList<AtlasImage *> slices = library.images(brain, 2);
        QList<PointAnnotation *> points;
        for (const QString &name : {QStringLiteral("Pons"), QStringLiteral("Vermis")}) {
            points << library.point(slices.at(points.size()), name);
            points.last()->setGroup(name);
            points.last()->setLinks(QList<AnnotationLink>{{QUuid::createUuid(), QStringLiteral("Atlas"), "atlas.example"},
                                                          {QUuid::createUuid(), QStringLiteral("Cases"), "cases.example"}});
        }
        library.save();
        WindowHarness harness(library);
        QVERIFY(harness.clickRow(LibraryEntryID::series(brain->id())));
        ImageDetailView *screen = harness.view().contentDetail()->imageScreen();
        for (int shown = 0; shown <= last; ++shown) {
            harness.appState.setLinkedAnnotationID(std::nullopt);
            harness.model().openImage(slices.at(shown));
            // Once its group switches show: the next image's are made after
            // the panel, and come after it in the window's focus chain.
            QTRY_VERIFY(screen->stripInspector()->chip(points.at(shown)->group())
                        && screen->stripInspector()->chip(points.at(shown)->group())->isVisible());
            screen->showLinks(points.at(shown)->id());
        }
        AnnotationLinksOverlay *panel = screen->linksPanel();
        QVERIFY(panel && panel->rows().size() == 2);
        QCOMPARE(tabStops(panel->closeButton()).mid(0, 3),
                 (QList<QWidget *>{panel->closeButton(), panel->rows().at(0), panel->rows().at(1)}));
    }

    // The menu key and Shift+F10 open the menu of the focused row or tile;
    // its items work from the keyboard.
    void menusFromTheKeyboard()
    {
        installContextMenuKeys();
        TestLibrary library;
        Series *brain = library.series(QStringLiteral("Brain"), 1);
        const QList<AtlasImage *> slices = library.images(brain, 3);
        library.save();
        WindowHarness harness(library);
        QWindow *keys = harness.window.windowHandle();
        QVERIFY(harness.clickRow(LibraryEntryID::series(brain->id())));
        // A sidebar row: Shift+F10.
        harness.sidebar().listView()->setFocus(Qt::TabFocusReason);
        QTest::keyClick(keys, Qt::Key_F10, Qt::ShiftModifier);
        QTRY_VERIFY(QApplication::activePopupWidget());
        QVERIFY(triggerOpenMenu(QStringLiteral("Rename")));
        QTRY_VERIFY(harness.view().renameAlert());
        QTest::keyClick(harness.view().renameAlert(), Qt::Key_Escape);
        QTRY_VERIFY(!harness.view().renameAlert());

        // A thumbnail: the selected one's menu, by either key.
        LibraryGridView *grid = harness.grid().view();
        grid->setFocus(Qt::TabFocusReason);
        QTest::keyClick(keys, Qt::Key_Right);
        QTest::keyClick(keys, Qt::Key_Right);
        QCOMPARE(harness.model().gridSelection(), slices.at(1));
        pressMenuKey(harness.window);
        QTRY_VERIFY(QApplication::activePopupWidget());
        const QRect tile = grid->visualRect(grid->model()->index(1, 0));
        QVERIFY(QRect(grid->viewport()->mapToGlobal(tile.topLeft()), tile.size())
                    .contains(QApplication::activePopupWidget()->pos()));
        QVERIFY(triggerOpenMenu(QStringLiteral("Move Later")));
        QTRY_COMPARE(LibraryDerivation::orderedImages(*brain).at(2), slices.at(1));
        // (The offscreen desktop gives the window back its focus only when asked.)
        harness.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&harness.window));
        QVERIFY(grid->hasFocus());
        QTest::keyClick(keys, Qt::Key_F10, Qt::ShiftModifier);
        QTRY_VERIFY(QApplication::activePopupWidget());
        QVERIFY(triggerOpenMenu(QStringLiteral("Open")));
        QCOMPARE(harness.model().openedImage(), slices.at(1));
    }

    // The grid's thumbnail shows at once, the picture once decoded.
    void openedImageShowsItsThumbnailFirst()
    {
        TestLibrary library;
        AtlasImage *knee = library.image(QStringLiteral("Knee"));
        knee->setImageData(pngBytes(Qt::gray, QSize(1200, 900)));
        library.save();
        WindowHarness harness(library);
        QVERIFY(!harness.cache.requestThumbnail(knee));
        harness.cache.waitForIdle();
        harness.model().openImage(knee);
        ImageDetailView *screen = harness.view().contentDetail()->imageScreen();
        QCOMPARE(screen->picture()->status(), OpenedPicture::Status::loading);
        QCOMPARE(screen->picture()->source()->size(), QSize(500, 375));
        QTRY_COMPARE(screen->picture()->status(), OpenedPicture::Status::ready);
        QCOMPARE(screen->picture()->source()->size(), QSize(1200, 900));
    }

    void droppedFilesGoToTheSelectedEntry()
    {
        QTemporaryDir folder;
        const QUrl one = writeTestFile(folder, QStringLiteral("one.png"), pngBytes(Qt::red));
        const QUrl text = writeTestFile(folder, QStringLiteral("notes.txt"), QByteArray("notes"));
        TestLibrary library;
        AtlasImage *knee = library.image(QStringLiteral("Knee"), nullptr, 0, 1);
        library.save();
        WindowHarness harness(library);
        QWidget *target = harness.grid().view()->viewport();
        QVERIFY(!dropFiles(target, {one})); // no row selected
        QVERIFY(harness.clickRow(LibraryEntryID::image(knee->id())));
        {
            // Picked files begin to be read while a drag is over the grid:
            // the window refuses its drop, and the drag source is told so.
            MemoryBudget &budget = WorkerPools::decodingMemory();
            std::optional<MemoryBudget::Grant> all;
            QVERIFY(!dropFiles(target, {one}, [&] {
                all = budget.acquire(budget.total());
                harness.model().handleImportResult({one});
            }));
            QVERIFY(harness.model().isReadingImport());
        }
        QTRY_VERIFY(harness.view().importSheet());
        QCOMPARE(harness.view().importSheet()->navigationTitle(), QStringLiteral("Import Image"));
        harness.model().cancelImport();
        QTRY_VERIFY(!harness.view().importSheet());
        QVERIFY(dropFiles(target, {one, text}));
        QTRY_VERIFY(harness.view().importSheet());
        QCOMPARE(harness.view().importSheet()->navigationTitle(), QStringLiteral("Add Image"));
        QTest::keyClick(harness.view().importSheet(), Qt::Key_Return);
        QTRY_VERIFY(!harness.view().importSheet());
        QTRY_COMPARE(harness.grid().images().size(), 2);
    }

    // Edit, Rename, Export (one row writes that row alone), and the confirmed Delete.
    void sheetsAndAlertsFromTheMenus()
    {
        QTemporaryDir folder;
        TestLibrary library(true);
        Series *brain = library.series(QStringLiteral("Brain"), 1);
        library.images(brain, 2);
        AtlasImage *knee = library.image(QStringLiteral("Knee"), nullptr, 0, 3);
        knee->setAge(AgeSpec{5, 60});
        library.save();
        WindowHarness harness(library);
        const LibraryEntryID brainRow = LibraryEntryID::series(brain->id());
        const LibraryEntryID kneeRow = LibraryEntryID::image(knee->id());
        harness.model().setSidebarSelection({kneeRow});
        QVERIFY(WindowHarness::trigger(harness.grid().contextMenu(knee), QStringLiteral("Edit")));
        MetadataEditor *sheet = harness.view().metadataSheet();
        QVERIFY(sheet);
        QTRY_VERIFY(sheet->isVisible());
        QCOMPARE(sheet->navigationTitle(), QStringLiteral("Edit"));
        QCOMPARE(sheet->ageValueField()->text(), QStringLiteral("60"));
        sheet->titleField()->selectAll();
        QTest::keyClicks(sheet->titleField(), QStringLiteral("Left knee"));
        QTest::keyClick(sheet->picker(MetadataEditor::Picker::ageKind), Qt::Key_Up); // Years -> Months
        QTest::mouseClick(sheet->actionButton(), Qt::LeftButton);
        QTRY_VERIFY(!harness.view().metadataSheet());
        QCOMPARE(knee->title(), QStringLiteral("Left knee"));
        QCOMPARE(knee->age(), (AgeSpec{4, 17}));
        QTRY_COMPARE(harness.listedEntry(kneeRow).title(), QStringLiteral("Left knee"));
        QVERIFY(harness.triggerRowMenu(brainRow, QStringLiteral("Rename")));
        AlertDialog *alert = harness.view().renameAlert();
        QVERIFY(alert);
        QTRY_VERIFY(alert->isVisible());
        QCOMPARE(alert->title(), QStringLiteral("Rename Series"));
        QCOMPARE(WindowHarness::buttonTitles(*alert), (QStringList{"Cancel", "Rename"}));
        QCOMPARE(alert->textField()->placeholderText(), QStringLiteral("Series title"));
        QCOMPARE(alert->textField()->text(), QStringLiteral("Brain"));
        // Escape cancels; the typed title and Return rename.
        QTest::keyClicks(alert->textField(), QStringLiteral("Ignored"));
        QTest::keyClick(alert, Qt::Key_Escape);
        QTRY_VERIFY(!harness.view().renameAlert());
        QCOMPARE(brain->title(), QStringLiteral("Brain"));
        QVERIFY(harness.triggerRowMenu(brainRow, QStringLiteral("Rename")));
        QTest::keyClicks(harness.view().renameAlert()->textField(), QStringLiteral("Head MRI"));
        QTest::keyClick(harness.view().renameAlert(), Qt::Key_Return);
        QTRY_VERIFY(!harness.view().renameAlert());
        QTRY_COMPARE(harness.listedEntry(brainRow).title(), QStringLiteral("Head MRI"));
        QVERIFY(harness.clickRow(kneeRow));
        QVERIFY(harness.triggerRowMenu(kneeRow, QStringLiteral("Export…")));
        QTRY_VERIFY(harness.view().exporter());
        QCOMPARE(harness.view().exporter()->windowModality(), Qt::WindowModal);
        harness.view().exporter()->setDirectory(folder.path());
        typeFileName(harness.view().exporter(), QStringLiteral("Knee"));
        QTRY_VERIFY(!harness.model().archiveExport().hasDocument());
        const auto read = LibraryArchiveFile::read(folder.filePath(QStringLiteral("Knee.veloran")));
        const LibraryArchiveContents contents = LibraryArchiveContents::fromArchiveData(read.value()).value();
        QCOMPARE(contents.manifest.images.size(), 1);
        QVERIFY(contents.manifest.series.isEmpty());
        QVERIFY(!harness.view().exportErrorAlert());
        QVERIFY(harness.clickRow(brainRow));
        QVERIFY(harness.clickRow(kneeRow, Qt::ControlModifier));
        QVERIFY(harness.triggerRowMenu(kneeRow, QStringLiteral("Export 2 Items…")));
        QTRY_VERIFY(harness.view().exporter());
        QCOMPARE(proposedFileName(harness.view().exporter()), QStringLiteral("Veloran Selection.veloran"));
        harness.view().exporter()->reject();
        QVERIFY(!harness.model().archiveExport().hasDocument());
        QVERIFY(harness.triggerRowMenu(kneeRow, QStringLiteral("Delete 2 Items")));
        AlertDialog *confirmation = harness.view().deleteConfirmation();
        QVERIFY(confirmation);
        QTRY_VERIFY(confirmation->isVisible());
        QCOMPARE(confirmation->windowModality(), Qt::WindowModal);
        QCOMPARE(confirmation->title(), harness.model().deletionConfirmationTitle());
        QCOMPARE(WindowHarness::buttonTitles(*confirmation), (QStringList{"Delete", "Cancel"}));
        QTest::mouseClick(confirmation->button(QStringLiteral("Cancel")), Qt::LeftButton);
        QTRY_VERIFY(!harness.view().deleteConfirmation());
        QCOMPARE(library.context().fetch<AtlasImage>().size(), 3);
        QVERIFY(harness.triggerRowMenu(kneeRow, QStringLiteral("Delete 2 Items")));
        QTest::mouseClick(harness.view().deleteConfirmation()->button(QStringLiteral("Delete")), Qt::LeftButton);
        QTRY_VERIFY(!harness.view().deleteConfirmation());
        QVERIFY(library.context().fetch<AtlasImage>().isEmpty());
        QTRY_COMPARE(harness.sidebar().emptyStateTitle(), QStringLiteral("No Images"));
        QVERIFY(harness.model().sidebarSelection().isEmpty());
    }

    void anExportThatFailsAfterItsWindowClosedShowsNothing()
    {
        TestLibrary library(true);
        AtlasImage *large = library.largeImage(QStringLiteral("Large"));
        library.save();
        library.removeImageFiles();
        {
            WindowHarness harness(library);
            const LibraryEntry entry = harness.listedEntry(LibraryEntryID::image(large->id()));
            QVERIFY(harness.triggerRowMenu(entry, QStringLiteral("Export…")));
            QVERIFY(harness.model().archiveExport().isPreparing());
            // While it is open, the failure shows over the window.
            QTRY_VERIFY(harness.view().exportErrorAlert());
            QCOMPARE(harness.view().exportErrorAlert()->message(), harness.model().archiveExport().errorMessage());
            QTest::mouseClick(harness.view().exportErrorAlert()->button(QStringLiteral("OK")), Qt::LeftButton);
            QVERIFY(!harness.model().archiveExport().showsError());
            QVERIFY(harness.triggerRowMenu(entry, QStringLiteral("Export…")));
        }
        // Closed while preparing: the failure reaches no window.
        QTest::qWait(200);
        for (QWidget *widget : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<AlertDialog *>(widget));
    }

    // While picked files are read the window is busy: its cursor says so,
    // the import command opens no importer and the grid takes no drop.
    void whileFilesAreReadTheWindowTakesNoOtherImport()
    {
        QTemporaryDir folder;
        const QUrl picked = writeTestFile(folder, QStringLiteral("picked.png"), pngBytes(Qt::red));
        TestLibrary library;
        WindowHarness harness(library);
        LibraryGridView *grid = harness.grid().view();
        QVERIFY(grid->acceptDrops() && grid->viewport()->acceptDrops());
        // The read waits for the decoding memory that this holds.
        MemoryBudget &budget = WorkerPools::decodingMemory();
        std::optional<MemoryBudget::Grant> all = budget.acquire(budget.total());
        harness.model().handleImportResult({picked});
        QVERIFY(harness.model().isReadingImport());
        QCOMPARE(harness.view().cursor().shape(), Qt::BusyCursor);
        QVERIFY(!grid->acceptDrops() && !grid->viewport()->acceptDrops());
        QTest::mouseClick(harness.view().contentSidebar()->importButton(), Qt::LeftButton);
        QVERIFY(!harness.view().fileImporter());
        QVERIFY(!harness.model().isImporting());
        all.reset();
        QTRY_VERIFY(harness.view().importSheet());
        QCOMPARE(harness.model().pendingImport()->images.first().title, QStringLiteral("picked"));
        QVERIFY(grid->acceptDrops() && grid->viewport()->acceptDrops());
    }

    void aFailedOperationShowsItsAlertOverTheSheet()
    {
        QTemporaryDir folder;
        const QUrl file = writeTestFile(folder, QStringLiteral("new.png"), pngBytes());
        TestLibrary library(true);
        WindowHarness harness(library);
        library.failWrites(true);
        harness.model().handleImportResult({file});
        QTRY_VERIFY(harness.view().importSheet());
        MetadataEditor *sheet = harness.view().importSheet();
        QTest::keyClick(sheet, Qt::Key_Return);
        QTRY_VERIFY(harness.view().operationErrorAlert());
        AlertDialog *alert = harness.view().operationErrorAlert();
        QTRY_VERIFY(alert->isVisible());
        QCOMPARE(alert->title(), QStringLiteral("Import Failed"));
        QVERIFY(alert->message().startsWith(QStringLiteral("The library could not be saved")));
        QCOMPARE(WindowHarness::buttonTitles(*alert), QStringList{QStringLiteral("OK")});
        QCOMPARE(alert->parentWidget(), sheet);
        QTest::mouseClick(alert->button(QStringLiteral("OK")), Qt::LeftButton);
        QVERIFY(!harness.model().showsOperationError());
        QTRY_VERIFY(!harness.view().operationErrorAlert());
        QCOMPARE(harness.view().importSheet(), sheet);
    }

    // A link the desktop has no browser for: "Open Failed" over the window,
    // naming it, as a failed share does.
    void aLinkThatOpensNothingSaysSo()
    {
        StubPrograms programs;
        QVERIFY(programs.add(QStringLiteral("xdg-open"), true));
        TestLibrary library;
        AtlasImage *knee = library.image(QStringLiteral("Knee"));
        PointAnnotation *patella = library.point(knee, QStringLiteral("Patella"));
        patella->setLinks(QList<AnnotationLink>{{QUuid::createUuid(), QStringLiteral("Kneecap"), "en.anatomy.org/knee"}});
        library.save();
        WindowHarness harness(library);
        harness.model().openImage(knee);
        ImageDetailView *screen = harness.view().contentDetail()->imageScreen();
        screen->showLinks(patella->id());
        QVERIFY(screen->linksPanel());
        QTRY_VERIFY(!screen->linksPanel()->graphicsEffect()); // faded in
        QTest::mouseClick(screen->linksPanel()->rows().first(), Qt::LeftButton);
        QTRY_VERIFY(harness.view().operationErrorAlert());
        AlertDialog *alert = harness.view().operationErrorAlert();
        QCOMPARE(alert->title(), QStringLiteral("Open Failed"));
        QCOMPARE(alert->message(), QStringLiteral("No browser could open \u201CKneecap\u201D. Its address is "
                                                  "\u201Chttps://en.anatomy.org/knee\u201D."));
        QCOMPARE(WindowHarness::buttonTitles(*alert), QStringList{QStringLiteral("OK")});
        QTest::mouseClick(alert->button(QStringLiteral("OK")), Qt::LeftButton);
        QVERIFY(!harness.model().showsOperationError());
        QCOMPARE(StubPrograms::running(), 0);
    }

    // Return does not delete, Escape cancels; the prompts put their
    // confirming button last.
    void theDeleteConfirmationAndTheRenamePromptKeys_data()
    {
        QTest::addColumn<QString>("menuItem");
        QTest::addColumn<int>("key");
        QTest::addColumn<QStringList>("laidOut");
        QTest::newRow("delete, Return") << "Delete 2 Items" << int(Qt::Key_Return) << QStringList{"Cancel", "Delete"};
        QTest::newRow("delete, Escape") << "Delete 2 Items" << int(Qt::Key_Escape) << QStringList{"Cancel", "Delete"};
        QTest::newRow("rename, Escape") << "Rename" << int(Qt::Key_Escape) << QStringList{"Cancel", "Rename"};
    }
    void theDeleteConfirmationAndTheRenamePromptKeys()
    {
        QFETCH(QString, menuItem);
        QFETCH(int, key);
        TestLibrary library;
        Series *brain = library.series(QStringLiteral("Brain"));
        library.images(brain, 2);
        AtlasImage *knee = library.image(QStringLiteral("knee"));
        library.save();
        WindowHarness harness(library);
        const LibraryEntryID row = LibraryEntryID::series(brain->id());
        QTRY_COMPARE(harness.sidebar().entries().size(), 2);
        QVERIFY(harness.clickRow(row));
        QVERIFY(harness.clickRow(LibraryEntryID::image(knee->id()), Qt::ControlModifier));
        QVERIFY(harness.triggerRowMenu(row, menuItem));
        const bool deleting = menuItem.startsWith(QLatin1String("Delete"));
        AlertDialog *alert = deleting ? harness.view().deleteConfirmation() : harness.view().renameAlert();
        QVERIFY(alert);
        QTRY_VERIFY(alert->isVisible());
        QCOMPARE(alert->windowModality(), Qt::WindowModal);
        QCOMPARE(alert->parentWidget()->window(), &harness.window);
        QTEST(laidOutButtonTitles(*alert), "laidOut");
        if (!deleting)
            QTest::keyClicks(alert->textField(), QStringLiteral("Ignored"));
        QTest::keyClick(alert, Qt::Key(key));
        QTRY_VERIFY(!(deleting ? harness.view().deleteConfirmation() : harness.view().renameAlert()));
        QCOMPARE(library.context().fetch<AtlasImage>().size(), 3);
        QCOMPARE(brain->title(), QStringLiteral("Brain"));
        QVERIFY(!harness.model().isConfirmingDeletion());
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
