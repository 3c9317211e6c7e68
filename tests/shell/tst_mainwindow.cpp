#include "MainWindowTestSupport.h"

#include "shell/OpenedImagePreview.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <QSplitter>
#include <QToolButton>

namespace {

// Counts the paints of the widgets it watches.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

using Write = std::function<void(AtlasImage *, PointAnnotation *, RegionAnnotation *)>;

QStringList menuBarTitles(QMenuBar *bar)
{
    QStringList titles;
    for (QAction *menu : bar->actions()) {
        if (menu->menu()) {
            for (QAction *item : menu->menu()->actions())
                titles << item->text();
        }
    }
    return titles;
}

} // namespace
Q_DECLARE_METATYPE(Write)

// The main window driven as a user would: the file importer and the import
// sheet, search and filters, selection and keys, the rename, delete and
// error alerts, the metadata sheet and dropped files.
class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void newWindowShowsTheEmptyLibrary()
    {
        TestLibrary library;
        WindowHarness harness(library);
        QCOMPARE(harness.window.windowTitle(), QStringLiteral("Veloran"));
        QVERIFY(harness.window.minimumWidth() >= 1000);
        QVERIFY(harness.window.minimumHeight() >= 600);
        QVERIFY(menuBarTitles(harness.window.menuBar()).contains(QStringLiteral("Check for Updates…")));
        QCOMPARE(harness.view().splitter()->count(), 2);

        QCOMPARE(harness.sidebar().emptyStateTitle(), QStringLiteral("No Images"));
        QCOMPARE(harness.grid().content(), LibraryGrid::Content::noImages);
        ContentSidebar *column = harness.view().contentSidebar();
        QVERIFY(!column->filtersButton()->isVisible());
        QVERIFY(column->importButton()->isVisible());
        QCOMPARE(column->importButton()->toolTip(), QStringLiteral("Import images"));
        QVERIFY(!harness.view().contentDetail()->showsImageScreen());
        QCOMPARE(harness.view().contentDetail()->title(), QStringLiteral("Library"));
        QVERIFY(!harness.view().contentDetail()->libraryButton()->isVisible());
        QVERIFY(!harness.model().isLibraryFiltersExpanded());
    }

    void importThroughTheFileImporterAndTheSheet()
    {
        QTemporaryDir folder;
        // Read in file-name order whatever the order picked.
        writeTestFile(folder, QStringLiteral("scan 10.png"), pngBytes(Qt::red));
        writeTestFile(folder, QStringLiteral("scan 2.png"), pngBytes(Qt::green));
        writeTestFile(folder, QStringLiteral("scan 1.png"), pngBytes(Qt::blue));
        TestLibrary library;
        WindowHarness harness(library);

        QTest::mouseClick(harness.view().contentSidebar()->importButton(), Qt::LeftButton);
        QVERIFY(harness.model().isImporting());
        QFileDialog *importer = harness.view().fileImporter();
        QVERIFY(importer);
        QVERIFY(importer->isVisible());
        QCOMPARE(importer->fileMode(), QFileDialog::ExistingFiles);
        QCOMPARE(importer->windowModality(), Qt::WindowModal);
        QVERIFY(importer->nameFilters().first().startsWith(QStringLiteral("Images (")));
        QVERIFY(importer->nameFilters().first().contains(QStringLiteral("*.png")));

        // Type the three names and press Open.
        importer->setDirectory(folder.path());
        auto *name = importer->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        QVERIFY(name);
        name->setText(QStringLiteral("\"scan 10.png\" \"scan 2.png\" \"scan 1.png\""));
        QTest::keyClick(name, Qt::Key_Return);
        QVERIFY(!harness.model().isImporting());
        QTRY_VERIFY(harness.view().importSheet());

        MetadataEditor *sheet = harness.view().importSheet();
        QTRY_VERIFY(sheet->isVisible());
        QCOMPARE(sheet->windowModality(), Qt::WindowModal);
        QCOMPARE(sheet->navigationTitle(), QStringLiteral("Import Series"));
        QCOMPARE(sheet->headerTitle(), QStringLiteral("Series Import"));
        QCOMPARE(sheet->headerSubtitle(), QStringLiteral("Metadata applies to 3 ordered images."));
        QCOMPARE(sheet->actionTitle(), QStringLiteral("Import"));
        QCOMPARE(sheet->titleField()->text(), QStringLiteral("Imported Series"));

        // Name it, pick CT (one down from MR is NM; DX, CT come first).
        sheet->titleField()->selectAll();
        QTest::keyClicks(sheet->titleField(), QStringLiteral("  Knee MRI "));
        QComboBox *modality = sheet->picker(MetadataEditor::Picker::modality);
        QTest::keyClick(modality, Qt::Key_Up);
        QCOMPARE(modality->currentText(), QStringLiteral("CT"));
        QTest::keyClick(sheet, Qt::Key_Return);

        QTRY_VERIFY(!harness.view().importSheet());
        const QList<Series *> series = library.context().fetch<Series>();
        QCOMPARE(series.size(), 1);
        QCOMPARE(series.first()->title(), QStringLiteral("Knee MRI"));
        const QList<AtlasImage *> images = LibraryDerivation::orderedImages(*series.first());
        QCOMPARE(imageTitles(images), (QStringList{"scan 1", "scan 2", "scan 10"}));
        for (const AtlasImage *image : images)
            QCOMPARE(image->modality(), Modality::ct);
        QCOMPARE(images.first()->imageData(), std::optional<QByteArray>(pngBytes(Qt::blue)));

        // The first new image is open on the image screen.
        ContentDetail *detail = harness.view().contentDetail();
        QCOMPARE(harness.model().openedImage(), images.first());
        QVERIFY(detail->showsImageScreen());
        QVERIFY(detail->imageScreen()->hasPicture());
        QCOMPARE(detail->imageScreen()->title(), QStringLiteral("scan 1"));
        QVERIFY(detail->libraryButton()->isVisible());
        QTRY_COMPARE(harness.sidebar().entries().size(), 1);

        // "Library" goes back to the grid, selecting the image.
        QTest::mouseClick(detail->libraryButton(), Qt::LeftButton);
        QVERIFY(!detail->showsImageScreen());
        QCOMPARE(harness.model().gridSelection(), images.first());
        QCOMPARE(harness.model().selectedImageID(), QString());
        QCOMPARE(harness.window.state().selectedImageID, QString());
    }

    void cancellingTheImporterOrTheSheetImportsNothing()
    {
        QTemporaryDir folder;
        writeTestFile(folder, QStringLiteral("knee.png"), pngBytes());
        TestLibrary library;
        WindowHarness harness(library);

        // The empty state's own button starts the importer too; cancel it.
        QPushButton *importImages = harness.grid().emptyStateView()->actionButton();
        QVERIFY(importImages);
        QTest::mouseClick(importImages, Qt::LeftButton);
        QVERIFY(harness.view().fileImporter());
        harness.view().fileImporter()->reject();
        QVERIFY(!harness.model().isImporting());
        QVERIFY(!harness.view().fileImporter());
        QVERIFY(!harness.model().pendingImport());

        // One file: the single-image sheet; Escape cancels it.
        harness.model().beginImport();
        QFileDialog *importer = harness.view().fileImporter();
        QVERIFY(importer);
        importer->setDirectory(folder.path());
        importer->selectFile(QStringLiteral("knee.png"));
        QTest::keyClick(importer->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")), Qt::Key_Return);
        QTRY_VERIFY(harness.view().importSheet());
        MetadataEditor *sheet = harness.view().importSheet();
        QCOMPARE(sheet->navigationTitle(), QStringLiteral("Import Image"));
        QCOMPARE(sheet->headerTitle(), QStringLiteral("Single Image"));
        QCOMPARE(sheet->headerSubtitle(), QStringLiteral("Metadata applies to this image."));
        QCOMPARE(sheet->titleField()->text(), QStringLiteral("knee"));
        QTest::keyClick(sheet, Qt::Key_Escape);
        QVERIFY(!harness.model().pendingImport());
        QTRY_VERIFY(!harness.view().importSheet());
        QVERIFY(library.context().fetch<AtlasImage>().isEmpty());

        // Again, and this time "Cancel"; then once more and "Import".
        harness.model().handleImportResult({QUrl::fromLocalFile(folder.filePath(QStringLiteral("knee.png")))});
        QTRY_VERIFY(harness.view().importSheet());
        QTest::mouseClick(harness.view().importSheet()->cancelButton(), Qt::LeftButton);
        QTRY_VERIFY(!harness.view().importSheet());
        harness.model().handleImportResult({QUrl::fromLocalFile(folder.filePath(QStringLiteral("knee.png")))});
        QTRY_VERIFY(harness.view().importSheet());
        QTest::mouseClick(harness.view().importSheet()->actionButton(), Qt::LeftButton);
        QTRY_VERIFY(!harness.view().importSheet());
        const QList<AtlasImage *> images = library.context().fetch<AtlasImage>();
        QCOMPARE(images.size(), 1);
        QCOMPARE(images.first()->title(), QStringLiteral("knee"));
        QVERIFY(!images.first()->series());
    }

    void unreadableFilesShowTheImportFailedAlert()
    {
        QTemporaryDir folder;
        const QUrl fake = writeTestFile(folder, QStringLiteral("fake.png"), QByteArray("not a picture"));
        TestLibrary library;
        WindowHarness harness(library);
        harness.model().handleImportResult({fake});
        QTRY_VERIFY(harness.view().operationErrorAlert());
        AlertDialog *alert = harness.view().operationErrorAlert();
        QCOMPARE(alert->title(), QStringLiteral("Import Failed"));
        QCOMPARE(alert->message(), QStringLiteral("Unsupported image: fake.png"));
        QCOMPARE(WindowHarness::buttonTitles(*alert), QStringList{QStringLiteral("OK")});
        QVERIFY(!harness.view().importSheet());
        QTest::keyClick(alert, Qt::Key_Return);
        QVERIFY(!harness.model().showsOperationError());
        QTRY_VERIFY(!harness.view().operationErrorAlert());
    }

    void searchFiltersAndTheFiltersButton()
    {
        TestLibrary library;
        Series *brain = library.series(QStringLiteral("Brain"), 1);
        library.image(QStringLiteral("Axial 1"), brain, 0, 1);
        library.image(QStringLiteral("Axial 2"), brain, 1, 2);
        library.image(QStringLiteral("Chest"), nullptr, 0, 3, Modality::ct);
        library.save();
        WindowHarness harness(library);
        QCOMPARE(harness.sidebar().entries().size(), 2);
        ContentSidebar *column = harness.view().contentSidebar();
        QVERIFY(column->filtersButton()->isVisible());
        QCOMPARE(column->filtersButtonValue(), QStringLiteral("Off"));

        // Typing in the search field narrows the list.
        QTest::keyClicks(harness.sidebar().searchField(), QStringLiteral("chest"));
        QCOMPARE(harness.model().librarySearchText(), QStringLiteral("chest"));
        QCOMPARE(harness.sidebar().entries().size(), 1);
        QVERIFY(harness.sidebar().entries().first().isImage());
        harness.sidebar().searchField()->clear();
        QTest::keyClicks(harness.sidebar().searchField(), QStringLiteral("zebra"));
        QCOMPARE(harness.sidebar().emptyStateTitle(), QStringLiteral("No Matches"));
        QVERIFY(!harness.sidebar().emptyStateView()->actionButton());
        harness.sidebar().searchField()->selectAll();
        QTest::keyClick(harness.sidebar().searchField(), Qt::Key_Backspace);
        QCOMPARE(harness.sidebar().entries().size(), 2);

        // The filters button opens the panel; picking CT filters the list.
        QTest::mouseClick(column->filtersButton(), Qt::LeftButton);
        QVERIFY(harness.model().isLibraryFiltersExpanded());
        QTRY_VERIFY(harness.sidebar().isFilterPanelShown());
        QComboBox *modality = harness.sidebar().filterControls()->picker(0);
        QTest::keyClick(modality, Qt::Key_Down); // Any -> DX
        QTest::keyClick(modality, Qt::Key_Down); // DX -> CT
        QCOMPARE(harness.model().modalityFilter(), std::optional<Modality>(Modality::ct));
        QCOMPARE(harness.sidebar().entries().size(), 1);
        QCOMPARE(column->filtersButtonValue(), QStringLiteral("Active"));
        QVERIFY(harness.sidebar().clearFiltersButton()->isVisibleTo(&harness.sidebar()));

        // "Clear Filters" lists everything again; the button goes back. (The
        // panel has finished sliding open first.)
        QTest::qWait(400);
        QTest::mouseClick(harness.sidebar().clearFiltersButton(), Qt::LeftButton);
        QVERIFY(!harness.model().hasActiveFilters());
        QCOMPARE(harness.sidebar().filterControls()->modalityFilter(), std::nullopt);
        QCOMPARE(harness.sidebar().entries().size(), 2);
        QCOMPARE(column->filtersButtonValue(), QStringLiteral("Off"));
        QTest::mouseClick(column->filtersButton(), Qt::LeftButton);
        QVERIFY(!harness.model().isLibraryFiltersExpanded());
    }

    void selectingRowsAndMovingThroughImagesWithTheKeyboard()
    {
        TestLibrary library;
        Series *brain = library.series(QStringLiteral("Brain"), 1);
        AtlasImage *first = library.image(QStringLiteral("Slice 1"), brain, 0, 1);
        AtlasImage *second = library.image(QStringLiteral("Slice 2"), brain, 1, 2);
        AtlasImage *third = library.image(QStringLiteral("Slice 3"), brain, 2, 3);
        AtlasImage *knee = library.image(QStringLiteral("Knee"), nullptr, 0, 4);
        library.save();
        WindowHarness harness(library);
        QCOMPARE(harness.grid().content(), LibraryGrid::Content::noSelection);

        QVERIFY(harness.clickRow(LibraryEntryID::series(brain->id())));
        QCOMPARE(harness.model().sidebarSelection(), QSet<LibraryEntryID>{LibraryEntryID::series(brain->id())});
        QCOMPARE(harness.grid().images(), (QList<AtlasImage *>{first, second, third}));
        QVERIFY(harness.grid().canReorder());

        // In the grid: Right selects the first, Right again the second,
        // Return opens it.
        QWidget *gridKeys = harness.grid().view();
        gridKeys->setFocus();
        QTest::keyClick(gridKeys, Qt::Key_Right);
        QCOMPARE(harness.model().gridSelection(), first);
        QTest::keyClick(gridKeys, Qt::Key_Right);
        QCOMPARE(harness.model().gridSelection(), second);
        QTest::keyClick(gridKeys, Qt::Key_Return);
        QCOMPARE(harness.model().openedImage(), second);
        ContentDetail *detail = harness.view().contentDetail();
        QVERIFY(detail->showsImageScreen());
        QCOMPARE(harness.window.state().selectedImageID, second->id().toString(QUuid::WithoutBraces).toUpper());

        // On the image screen: Down and Right forward, Up and Left back, no
        // wrap-around; Space returns to the grid with the image selected.
        QWidget *screen = detail->imageScreen();
        QTRY_VERIFY(screen->hasFocus());
        QTest::keyClick(screen, Qt::Key_Down);
        QCOMPARE(harness.model().openedImage(), third);
        QTest::keyClick(screen, Qt::Key_Right);
        QCOMPARE(harness.model().openedImage(), third);
        QTest::keyClick(screen, Qt::Key_Up);
        QTest::keyClick(screen, Qt::Key_Left);
        QCOMPARE(harness.model().openedImage(), first);
        QCOMPARE(harness.model().gridSelection(), first);
        QTest::keyClick(screen, Qt::Key_Left);
        QCOMPARE(harness.model().openedImage(), first);

        // Space is ignored while editing.
        harness.appState.setIsEditing(true);
        QTest::keyClick(screen, Qt::Key_Space);
        QVERIFY(detail->showsImageScreen());
        harness.appState.setIsEditing(false);
        QTest::keyClick(screen, Qt::Key_Space);
        QVERIFY(!detail->showsImageScreen());
        QCOMPARE(harness.model().gridSelection(), first);
        QTRY_VERIFY(harness.grid().isFocused());

        // Clicking a tile selects it, clicking it again opens it.
        harness.grid().handleTap(third);
        QCOMPARE(harness.model().gridSelection(), third);
        harness.grid().handleTap(third);
        QCOMPARE(harness.model().openedImage(), third);

        // Another row while an image is open shows that row's first image.
        QVERIFY(harness.clickRow(LibraryEntryID::image(knee->id())));
        QCOMPARE(harness.model().openedImage(), knee);
        QCOMPARE(harness.view().contentDetail()->imageScreen()->image(), knee);
    }

    void listsRedrawForWhatTheyShowOnly_data()
    {
        QTest::addColumn<Write>("write");
        QTest::addColumn<bool>("redraws");
        QTest::newRow("image title") << Write([](AtlasImage *a, auto, auto) { a->setTitle(QStringLiteral("b")); }) << true;
        QTest::newRow("series title") << Write([](AtlasImage *a, auto, auto) { a->series()->setTitle(QStringLiteral("T")); })
                                      << true;
        QTest::newRow("point coordinate") << Write([](auto, PointAnnotation *p, auto) { p->setX(0.9); }) << false;
        QTest::newRow("region vertex") << Write([](auto, auto, RegionAnnotation *r) { r->setVertices({{0.5, 0.5}}); })
                                       << false;
    }

    void listsRedrawForWhatTheyShowOnly()
    {
        QFETCH(Write, write);
        QFETCH(bool, redraws);
        TestLibrary library;
        Series *series = library.series(QStringLiteral("S"));
        AtlasImage *a = library.image(QStringLiteral("a"), series);
        PointAnnotation *point = library.point(a, QStringLiteral("p"));
        RegionAnnotation *region = library.region(a, QStringLiteral("r"));
        library.save();
        WindowHarness harness(library);
        harness.model().setSidebarSelection({LibraryEntryID::series(series->id())});
        QTest::qWait(100);
        PaintCounter counter;
        harness.grid().view()->viewport()->installEventFilter(&counter);
        harness.sidebar().listView()->viewport()->installEventFilter(&counter);

        write(a, point, region);
        QTest::qWait(100);
        QCOMPARE(counter.paints > 0, redraws);
    }

    void renamingASeriesThroughItsAlert()
    {
        TestLibrary library;
        Series *series = library.series(QStringLiteral("Brain"), 1);
        library.image(QStringLiteral("Slice"), series, 0, 1);
        library.save();
        WindowHarness harness(library);
        const LibraryEntry entry = harness.listedEntry(LibraryEntryID::series(series->id()));

        QVERIFY(harness.triggerRowMenu(entry, QStringLiteral("Rename")));
        AlertDialog *alert = harness.view().renameAlert();
        QVERIFY(alert);
        QTRY_VERIFY(alert->isVisible());
        QCOMPARE(alert->title(), QStringLiteral("Rename Series"));
        QCOMPARE(WindowHarness::buttonTitles(*alert), (QStringList{"Cancel", "Rename"}));
        QCOMPARE(alert->defaultButton()->text(), QStringLiteral("Rename"));
        QCOMPARE(alert->textField()->placeholderText(), QStringLiteral("Series title"));
        QCOMPARE(alert->textField()->text(), QStringLiteral("Brain"));

        // Escape cancels: nothing changes.
        QTest::keyClicks(alert->textField(), QStringLiteral("Ignored"));
        QTest::keyClick(alert, Qt::Key_Escape);
        QVERIFY(!harness.model().renamingSeries());
        QTRY_VERIFY(!harness.view().renameAlert());
        QCOMPARE(series->title(), QStringLiteral("Brain"));

        // Typing a title and pressing Return renames (trimmed).
        QVERIFY(harness.triggerRowMenu(entry, QStringLiteral("Rename")));
        alert = harness.view().renameAlert();
        QVERIFY(alert);
        QTest::keyClicks(alert->textField(), QStringLiteral(" Head MRI "));
        QCOMPARE(harness.model().seriesRenameTitle(), QStringLiteral(" Head MRI "));
        QTest::keyClick(alert, Qt::Key_Return);
        QCOMPARE(series->title(), QStringLiteral("Head MRI"));
        QTRY_VERIFY(!harness.view().renameAlert());
        QVERIFY(!library.context().hasChanges());
        QCOMPARE(harness.sidebar().entries().first().title(), QStringLiteral("Head MRI"));
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
