#include "MainWindowTestSupport.h"

#include <QComboBox>
#include <QDragEnterEvent>
#include <QLineEdit>
#include <QMimeData>

namespace {

// An outside application's drag of the files over the widget, then the
// drop; answers whether the drop was accepted.
bool dropFiles(QWidget *target, const QList<QUrl> &urls)
{
    QMimeData data;
    data.setUrls(urls);
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    drop.setAccepted(false);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

} // namespace

// The window's operations that ask, or tell, through a dialog: deleting
// with confirmation, the metadata sheet of one image, failures shown in the
// operation-error alert, and image files dropped on the grid.
class MainWindowOperationsTest : public QObject {
    Q_OBJECT
private slots:
    void deletingSeveralEntriesAsksFirst()
    {
        TestLibrary library;
        Series *brain = library.series(QStringLiteral("Brain"), 1);
        library.image(QStringLiteral("Slice 1"), brain, 0, 1);
        library.image(QStringLiteral("Slice 2"), brain, 1, 2);
        AtlasImage *knee = library.image(QStringLiteral("Knee"), nullptr, 0, 3);
        AtlasImage *hand = library.image(QStringLiteral("Hand"), nullptr, 0, 4);
        library.save();
        WindowHarness harness(library);

        // One entry goes at once.
        QVERIFY(harness.triggerRowMenu(harness.listedEntry(LibraryEntryID::image(hand->id())),
                                       QStringLiteral("Delete")));
        QVERIFY(!harness.view().deleteConfirmation());
        QCOMPARE(library.context().fetch<AtlasImage>().size(), 3);

        // Two selected rows: the menu acts on both, and asks.
        QVERIFY(harness.clickRow(LibraryEntryID::series(brain->id())));
        QVERIFY(harness.clickRow(LibraryEntryID::image(knee->id()), Qt::ControlModifier));
        QCOMPARE(harness.model().sidebarSelection().size(), 2);
        const LibraryEntry kneeEntry = harness.listedEntry(LibraryEntryID::image(knee->id()));
        QVERIFY(harness.triggerRowMenu(kneeEntry, QStringLiteral("Delete 2 Items")));
        AlertDialog *confirmation = harness.view().deleteConfirmation();
        QVERIFY(confirmation);
        QTRY_VERIFY(confirmation->isVisible());
        QCOMPARE(confirmation->windowModality(), Qt::WindowModal);
        QCOMPARE(confirmation->title(), QStringLiteral("Delete 2 Items?"));
        QCOMPARE(confirmation->message(), QStringLiteral("This will delete 3 images."));
        QCOMPARE(WindowHarness::buttonTitles(*confirmation), (QStringList{"Delete", "Cancel"}));

        // "Cancel" keeps everything.
        QTest::mouseClick(confirmation->button(QStringLiteral("Cancel")), Qt::LeftButton);
        QVERIFY(!harness.model().isConfirmingDeletion());
        QTRY_VERIFY(!harness.view().deleteConfirmation());
        QCOMPARE(library.context().fetch<AtlasImage>().size(), 3);

        // "Delete" deletes both entries.
        QVERIFY(harness.triggerRowMenu(kneeEntry, QStringLiteral("Delete 2 Items")));
        confirmation = harness.view().deleteConfirmation();
        QVERIFY(confirmation);
        QTest::mouseClick(confirmation->button(QStringLiteral("Delete")), Qt::LeftButton);
        QTRY_VERIFY(!harness.view().deleteConfirmation());
        QVERIFY(library.context().fetch<AtlasImage>().isEmpty());
        QVERIFY(library.context().fetch<Series>().isEmpty());
        QTRY_COMPARE(harness.sidebar().emptyStateTitle(), QStringLiteral("No Images"));
        QVERIFY(harness.model().sidebarSelection().isEmpty());
    }

    void twoSeriesAskWithTheSeriesTitle()
    {
        TestLibrary library;
        Series *a = library.series(QStringLiteral("A"), 1);
        Series *b = library.series(QStringLiteral("B"), 2);
        library.image(QStringLiteral("a"), a, 0, 1);
        library.save();
        WindowHarness harness(library);
        harness.model().setSidebarSelection({LibraryEntryID::series(a->id()), LibraryEntryID::series(b->id())});
        QVERIFY(harness.triggerRowMenu(harness.listedEntry(LibraryEntryID::series(b->id())),
                                       QStringLiteral("Delete 2 Items")));
        AlertDialog *confirmation = harness.view().deleteConfirmation();
        QVERIFY(confirmation);
        QCOMPARE(confirmation->title(), QStringLiteral("Delete 2 Series?"));
        QCOMPARE(confirmation->message(), QStringLiteral("This will delete 1 images."));
        // Escape is "Cancel".
        QTest::keyClick(confirmation, Qt::Key_Escape);
        QVERIFY(!harness.model().isConfirmingDeletion());
        QCOMPARE(library.context().fetch<Series>().size(), 2);
    }

    void editingAnImageThroughItsSheet()
    {
        TestLibrary library;
        AtlasImage *knee = library.image(QStringLiteral("Knee"), nullptr, 0, 1);
        knee->setAge(AgeSpec{5, 60});
        library.save();
        WindowHarness harness(library);
        harness.model().setSidebarSelection({LibraryEntryID::image(knee->id())});

        // The grid's menu opens the sheet.
        std::unique_ptr<QMenu> menu(harness.grid().contextMenu(knee));
        for (QAction *action : menu->actions()) {
            if (action->text() == QStringLiteral("Edit"))
                action->trigger();
        }
        MetadataEditor *sheet = harness.view().metadataSheet();
        QVERIFY(sheet);
        QTRY_VERIFY(sheet->isVisible());
        QCOMPARE(sheet->navigationTitle(), QStringLiteral("Edit"));
        QCOMPARE(sheet->headerSubtitle(), QStringLiteral("Metadata applies to this image."));
        QCOMPARE(sheet->actionTitle(), QStringLiteral("Save"));
        QCOMPARE(sheet->headerTitle(), QStringLiteral("Single Image"));
        QCOMPARE(sheet->ageValueField()->text(), QStringLiteral("60"));
        QCOMPARE(sheet->ageValueCaption()->text(), QStringLiteral("Years"));

        // A blank title cannot be saved; Return does nothing then.
        sheet->titleField()->selectAll();
        QTest::keyClicks(sheet->titleField(), QStringLiteral("   "));
        QVERIFY(!sheet->actionButton()->isEnabled());
        QTest::keyClick(sheet, Qt::Key_Return);
        QCOMPARE(harness.view().metadataSheet(), sheet);
        QCOMPARE(knee->title(), QStringLiteral("Knee"));

        // A new title and Months: the value is clamped to 17.
        sheet->titleField()->selectAll();
        QTest::keyClicks(sheet->titleField(), QStringLiteral("Left knee"));
        QComboBox *age = sheet->picker(MetadataEditor::Picker::ageKind);
        QTest::keyClick(age, Qt::Key_Up); // Years -> Months
        QCOMPARE(age->currentText(), QStringLiteral("Months"));
        QCOMPARE(sheet->ageValueField()->text(), QStringLiteral("17"));
        QTest::mouseClick(sheet->actionButton(), Qt::LeftButton);
        QTRY_VERIFY(!harness.view().metadataSheet());
        QCOMPARE(knee->title(), QStringLiteral("Left knee"));
        QCOMPARE(knee->age(), (AgeSpec{4, 17}));
        QVERIFY(!library.context().hasChanges());
        QCOMPARE(harness.sidebar().entries().first().title(), QStringLiteral("Left knee"));
    }

    void failedOperationsShowTheirAlert()
    {
        TestLibrary library(true);
        Series *series = library.series(QStringLiteral("Brain"), 1);
        library.image(QStringLiteral("Slice"), series, 0, 1);
        library.save();
        WindowHarness harness(library);
        library.failWrites(true);

        harness.model().beginRename(series);
        AlertDialog *rename = harness.view().renameAlert();
        QVERIFY(rename);
        rename->textField()->selectAll();
        QTest::keyClicks(rename->textField(), QStringLiteral("Head"));
        QTest::mouseClick(rename->button(QStringLiteral("Rename")), Qt::LeftButton);
        QTRY_VERIFY(harness.view().operationErrorAlert());
        AlertDialog *alert = harness.view().operationErrorAlert();
        QTRY_VERIFY(alert->isVisible());
        QCOMPARE(alert->title(), QStringLiteral("Rename Failed"));
        QVERIFY(!alert->message().isEmpty());
        QCOMPARE(WindowHarness::buttonTitles(*alert), QStringList{QStringLiteral("OK")});
        QTest::mouseClick(alert->button(QStringLiteral("OK")), Qt::LeftButton);
        QVERIFY(!harness.model().showsOperationError());
        QTRY_VERIFY(!harness.view().operationErrorAlert());
        QCOMPARE(series->title(), QStringLiteral("Brain"));

        // A failed import commit: the alert shows over the sheet, which stays.
        QTemporaryDir folder;
        const QUrl file = writeTestFile(folder, QStringLiteral("new.png"), pngBytes());
        harness.model().handleImportResult({file});
        QTRY_VERIFY(harness.view().importSheet());
        MetadataEditor *sheet = harness.view().importSheet();
        QTest::keyClick(sheet, Qt::Key_Return);
        QTRY_VERIFY(harness.view().operationErrorAlert());
        alert = harness.view().operationErrorAlert();
        QCOMPARE(alert->title(), QStringLiteral("Import Failed"));
        QCOMPARE(alert->parentWidget(), sheet);
        QCOMPARE(harness.view().importSheet(), sheet);
        QTest::keyClick(alert, Qt::Key_Escape);
        QTRY_VERIFY(!harness.view().operationErrorAlert());
        QVERIFY(harness.view().importSheet());

        // With writes back, the same sheet imports.
        library.failWrites(false);
        QTest::keyClick(sheet, Qt::Key_Return);
        QTRY_VERIFY(!harness.view().importSheet());
        QCOMPARE(library.context().fetch<AtlasImage>().size(), 2);
    }

    void droppedFilesGoToTheSelectedEntry()
    {
        QTemporaryDir folder;
        const QUrl one = writeTestFile(folder, QStringLiteral("one.png"), pngBytes(Qt::red));
        const QUrl two = writeTestFile(folder, QStringLiteral("two.png"), pngBytes(Qt::green));
        const QUrl text = writeTestFile(folder, QStringLiteral("notes.txt"), QByteArray("notes"));
        TestLibrary library;
        AtlasImage *knee = library.image(QStringLiteral("Knee"), nullptr, 0, 1);
        AtlasImage *hand = library.image(QStringLiteral("Hand"), nullptr, 0, 2);
        library.save();
        WindowHarness harness(library);
        QWidget *target = harness.grid().view()->viewport();

        // Nothing selected, or two rows: refused.
        QVERIFY(!dropFiles(target, {one}));
        harness.model().setSidebarSelection({LibraryEntryID::image(knee->id()), LibraryEntryID::image(hand->id())});
        QVERIFY(!dropFiles(target, {one}));
        QVERIFY(!harness.model().isReadingImport());

        // One standalone image selected: only image files are taken.
        QVERIFY(harness.clickRow(LibraryEntryID::image(knee->id())));
        QVERIFY(!dropFiles(target, {text}));
        QVERIFY(dropFiles(target, {one, text}));
        QTRY_VERIFY(harness.view().importSheet());
        MetadataEditor *sheet = harness.view().importSheet();
        QCOMPARE(sheet->navigationTitle(), QStringLiteral("Add Image"));
        QCOMPARE(sheet->actionTitle(), QStringLiteral("Add"));
        QCOMPARE(sheet->headerTitle(), QStringLiteral("Series Import"));
        QCOMPARE(sheet->headerSubtitle(), QStringLiteral("Metadata applies to the image being added."));
        QCOMPARE(sheet->titleField()->text(), QStringLiteral("Knee"));
        QTest::keyClick(sheet, Qt::Key_Return);
        QTRY_VERIFY(!harness.view().importSheet());

        // The image became a series holding both; its row stays selected.
        Series *series = knee->series();
        QVERIFY(series);
        QCOMPARE(LibraryDerivation::orderedImages(*series).size(), 2);
        QCOMPARE(harness.model().sidebarSelection(), QSet<LibraryEntryID>{LibraryEntryID::series(series->id())});

        // Two more files onto the series: "Add Images".
        QVERIFY(dropFiles(target, {one, two}));
        QTRY_VERIFY(harness.view().importSheet());
        QCOMPARE(harness.view().importSheet()->navigationTitle(), QStringLiteral("Add Images"));
        QCOMPARE(harness.view().importSheet()->headerSubtitle(),
                 QStringLiteral("Metadata applies to the 2 images being added."));
        QTest::mouseClick(harness.view().importSheet()->cancelButton(), Qt::LeftButton);
        QTRY_VERIFY(!harness.view().importSheet());
        QCOMPARE(LibraryDerivation::orderedImages(*series).size(), 2);
    }
};

QTEST_MAIN(MainWindowOperationsTest)
#include "tst_mainwindowoperations.moc"
