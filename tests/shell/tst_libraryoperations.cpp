#include "ShellTestSupport.h"

#include "platform/UserDefaults.h"
#include "shell/AppState.h"
#include "shell/ContentViewModel.h"

#include <QSignalSpy>
#include <QTest>

#include <limits>

namespace {

QList<qint64> sortIndices(const QList<AtlasImage *> &images)
{
    QList<qint64> indices;
    for (const AtlasImage *image : images)
        indices << image->sortIndex();
    return indices;
}

QStringList orderedTitles(const Series &series)
{
    return imageTitles(ContentViewModel::orderedImages(series));
}

QList<qint64> orderedSortIndices(const Series &series)
{
    return sortIndices(ContentViewModel::orderedImages(series));
}

LibraryEntry seriesEntry(Series *series, const QList<AtlasImage *> &images)
{
    return LibraryEntry::series(LibrarySeriesGroup{series, images});
}

} // namespace

// The library operations of a main window: import, edit, rename, delete,
// duplicate and reorder, each saved once, with failures reported and rolled
// back.
class LibraryOperationsTest : public QObject {
    Q_OBJECT
private:
    UserDefaults m_defaults;
    SilentCloudAccountService m_accounts;
    QTemporaryDir m_files;

    // A library, in memory or on disk, and a main window over it.
    struct Window {
        Window(UserDefaults &defaults, CloudAccountService &accounts, bool onDisk)
            : library(onDisk)
            , state(defaults, accounts)
            , model(library.context(), state)
        {
        }
        TestLibrary library;
        AppState state;
        ContentViewModel model;
    };

    Window openWindow(bool onDisk = false) { return Window(m_defaults, m_accounts, onDisk); }

    QUrl file(const QString &name, const QByteArray &bytes = pngBytes()) { return writeTestFile(m_files, name, bytes); }

    // Picks files and waits for the import sheet.
    static void pick(ContentViewModel &model, const QList<QUrl> &urls)
    {
        model.handleImportResult(urls);
        QTRY_VERIFY(!model.isReadingImport());
        QVERIFY(model.pendingImport().has_value());
    }

private slots:
    void initTestCase() { QVERIFY(m_files.isValid()); }

    void importsOneFileAsAStandaloneImage()
    {
        auto &&[library, state, model] = openWindow();

        QSignalSpy importer(&model, &ContentViewModel::isImportingChanged);
        model.beginImport();
        QVERIFY(model.isImporting());
        QCOMPARE(importer.count(), 1);
        model.setIsImporting(false);
        pick(model, {file(QStringLiteral("knee.mri.png"))});

        const PendingImageImport pending = *model.pendingImport();
        const ContentViewModel::ImportSheet sheet = model.importSheet(pending);
        QCOMPARE(sheet.navigationTitle, QStringLiteral("Import Image"));
        QCOMPARE(sheet.actionTitle, QStringLiteral("Import"));
        QCOMPARE(sheet.headerSubtitle, QStringLiteral("Metadata applies to this image."));
        QCOMPARE(sheet.draft.title, QStringLiteral("knee.mri"));

        MetadataDraft draft = sheet.draft;
        draft.title = QStringLiteral("Knee");
        draft.modality = Modality::ct;
        draft.ageKind = AgeSpec::Kind::neonate;
        draft.ageValue = 30;
        model.commitImport(pending, draft);

        QVERIFY(!model.pendingImport());
        QVERIFY(!model.showsOperationError());
        const QList<AtlasImage *> images = model.images();
        QCOMPARE(images.size(), 1);
        AtlasImage *image = images.first();
        QCOMPARE(image->title(), QStringLiteral("Knee"));
        QCOMPARE(image->series(), nullptr);
        QCOMPARE(image->sortIndex(), 0);
        QCOMPARE(image->modality(), Modality::ct);
        QCOMPARE(image->age().kindRaw, 3);
        QCOMPARE(image->age().value, std::nullopt);
        QCOMPARE(image->imageData(), std::optional<QByteArray>(pngBytes()));
        QVERIFY(!library.context().hasChanges());
        QCOMPARE(model.openedImage(), image);
        QCOMPARE(model.selectedImageID(), image->id().toString(QUuid::WithoutBraces).toUpper());
    }

    void importsSeveralFilesAsASeriesInFileNameOrder()
    {
        auto &&[library, state, model] = openWindow();
        pick(model, {file(QStringLiteral("img10.png")), file(QStringLiteral("img2.png")), file(QStringLiteral("img1.png"))});

        const PendingImageImport pending = *model.pendingImport();
        const ContentViewModel::ImportSheet sheet = model.importSheet(pending);
        QCOMPARE(sheet.navigationTitle, QStringLiteral("Import Series"));
        QCOMPARE(sheet.headerSubtitle, QStringLiteral("Metadata applies to 3 ordered images."));
        MetadataDraft draft = sheet.draft;
        QCOMPARE(draft.title, QStringLiteral("Imported Series"));
        draft.ageKind = AgeSpec::Kind::fetal;
        draft.ageValue = 12;
        model.commitImport(pending, draft);

        QCOMPARE(model.allSeries().size(), 1);
        Series *series = model.allSeries().first();
        QCOMPARE(series->title(), QStringLiteral("Imported Series"));
        const QList<AtlasImage *> ordered = ContentViewModel::orderedImages(*series);
        QCOMPARE(imageTitles(ordered), (QStringList{"img1", "img2", "img10"}));
        QCOMPARE(sortIndices(ordered), (QList<qint64>{0, 1, 2}));
        for (const AtlasImage *image : ordered)
            QCOMPARE(image->age(), (AgeSpec{2, 12}));
        QCOMPARE(model.openedImage(), ordered.first());
    }

    void addsToASeriesAfterItsLastSortIndex()
    {
        auto &&[library, state, model] = openWindow();
        Series *series = library.series(QStringLiteral("Spine"));
        AtlasImage *a = library.image(QStringLiteral("a"), series, 0);
        library.image(QStringLiteral("b"), series, 1);
        library.image(QStringLiteral("c"), series, 5);
        library.save();

        model.setSidebarSelection({LibraryEntryID::series(series->id())});
        QVERIFY(model.handleDrop({QUrl(QStringLiteral("https://example.org/x.png")), file(QStringLiteral("n1.png")),
                                  file(QStringLiteral("n2.png"))}));
        QTRY_VERIFY(model.pendingImport().has_value());
        const PendingImageImport pending = *model.pendingImport();
        QCOMPARE(pending.destination, PendingImageImport::Destination::series(series));
        const ContentViewModel::ImportSheet sheet = model.importSheet(pending);
        QCOMPARE(sheet.navigationTitle, QStringLiteral("Add Images"));
        QCOMPARE(sheet.actionTitle, QStringLiteral("Add"));
        QCOMPARE(sheet.imageCount, 5);
        QCOMPARE(sheet.headerSubtitle, QStringLiteral("Metadata applies to the 2 images being added."));
        QCOMPARE(sheet.draft.title, QStringLiteral("Spine"));
        // The drop's destination was used once; the next pick is a new entry.
        QCOMPARE(model.importDestination(), PendingImageImport::Destination::newEntry());

        MetadataDraft draft = sheet.draft;
        draft.title = QStringLiteral("Lumbar spine");
        draft.modality = Modality::us;
        model.commitImport(pending, draft);
        QCOMPARE(series->title(), QStringLiteral("Lumbar spine"));
        const QList<AtlasImage *> ordered = ContentViewModel::orderedImages(*series);
        QCOMPARE(imageTitles(ordered), (QStringList{"a", "b", "c", "n1", "n2"}));
        QCOMPARE(sortIndices(ordered), (QList<qint64>{0, 1, 5, 6, 7}));
        QCOMPARE(a->modality(), Modality::mr);
        QCOMPARE(ordered.at(3)->modality(), Modality::us);
    }

    void addingAfterTheLargestSortIndexRenumbersFirst()
    {
        auto &&[library, state, model] = openWindow();
        Series *series = library.series(QStringLiteral("Archive"));
        library.image(QStringLiteral("low"), series, -7);
        library.image(QStringLiteral("top"), series, std::numeric_limits<qint64>::max());
        library.save();

        model.setSidebarSelection({LibraryEntryID::series(series->id())});
        model.beginAddImages();
        QCOMPARE(model.importDestination(), PendingImageImport::Destination::series(series));
        pick(model, {file(QStringLiteral("new.png"))});
        model.commitImport(*model.pendingImport(), MetadataDraft(QStringLiteral("Archive")));
        QVERIFY(!model.showsOperationError());
        const QList<AtlasImage *> ordered = ContentViewModel::orderedImages(*series);
        QCOMPARE(imageTitles(ordered), (QStringList{"low", "top", "new"}));
        QCOMPARE(sortIndices(ordered), (QList<qint64>{0, 1, 2}));
    }

    void addingToAStandaloneImageMakesASeries()
    {
        auto &&[library, state, model] = openWindow();
        AtlasImage *hand = library.image(QStringLiteral("Hand"));
        AtlasImage *other = library.image(QStringLiteral("Other"), nullptr, 0, 1);
        library.save();

        model.setSidebarSelection({LibraryEntryID::image(hand->id())});
        QVERIFY(model.canAddImages());
        model.beginAddImages();
        pick(model, {file(QStringLiteral("wrist.png"))});
        PendingImageImport pending = *model.pendingImport();
        const ContentViewModel::ImportSheet sheet = model.importSheet(pending);
        QCOMPARE(sheet.navigationTitle, QStringLiteral("Add Image"));
        QCOMPARE(sheet.imageCount, 2);
        QCOMPARE(sheet.headerSubtitle, QStringLiteral("Metadata applies to the image being added."));
        QCOMPARE(sheet.draft, MetadataDraft::fromImage(*hand));
        model.commitImport(pending, sheet.draft);

        Series *series = hand->series();
        QVERIFY(series);
        QCOMPARE(series->title(), QStringLiteral("Hand"));
        QCOMPARE(orderedTitles(*series), (QStringList{"Hand", "wrist"}));
        QCOMPARE(orderedSortIndices(*series), (QList<qint64>{0, 1}));
        QCOMPARE(model.sidebarSelection(), (QSet<LibraryEntryID>{LibraryEntryID::series(series->id())}));

        // With another row selected too, the selection stays as it was.
        model.setSidebarSelection({LibraryEntryID::image(other->id()), LibraryEntryID::series(series->id())});
        QVERIFY(!model.canAddImages());
        QVERIFY(!model.handleDrop({file(QStringLiteral("more.png"))}));
        model.setSidebarSelection({});
        QVERIFY(!model.handleDrop({file(QStringLiteral("more.png"))}));
        model.setSidebarSelection({LibraryEntryID::image(other->id())});
        QVERIFY(!model.handleDrop({file(QStringLiteral("notes.txt"), "text")}));
    }

    void importFailuresAreReported()
    {
        auto &&[library, state, model] = openWindow();

        model.handleImportResult({file(QStringLiteral("a1.png")), file(QStringLiteral("a2.png"), "not a picture"),
                                  file(QStringLiteral("a3.png"))});
        QTRY_VERIFY(model.showsOperationError());
        QCOMPARE(model.operationErrorTitle(), QStringLiteral("Import Failed"));
        QCOMPARE(model.operationErrorMessage(), QStringLiteral("Unsupported image: a2.png"));
        QVERIFY(!model.pendingImport());
        model.dismissOperationError();

        model.handleImportFailure(QStringLiteral("The folder cannot be read."));
        QCOMPARE(model.operationErrorMessage(), QStringLiteral("The folder cannot be read."));
        QVERIFY(model.showsOperationError());

        QSignalSpy pendingChanges(&model, &ContentViewModel::pendingImportChanged);
        model.handleImportResult({});
        QVERIFY(!model.isReadingImport());
        QCOMPARE(pendingChanges.count(), 0);
        QVERIFY(model.images().isEmpty());
    }

    void failedImportSaveRollsBackAndRetriesCleanly()
    {
        auto &&[library, state, model] = openWindow(true);
        AtlasImage *hand = library.image(QStringLiteral("Hand"));
        library.save();
        model.setSidebarSelection({LibraryEntryID::image(hand->id())});
        model.beginAddImages();
        pick(model, {file(QStringLiteral("f1.png")), file(QStringLiteral("f2.png"))});
        const PendingImageImport pending = *model.pendingImport();

        library.failWrites(true);
        model.commitImport(pending, MetadataDraft(QStringLiteral("Hand series")));
        QVERIFY(model.showsOperationError());
        QCOMPARE(model.operationErrorTitle(), QStringLiteral("Import Failed"));
        QVERIFY(model.operationErrorMessage().startsWith(QStringLiteral("The library could not be saved")));
        // The sheet stays, nothing was opened, and the context is back where
        // it was: the image is standalone again and no new object lingers.
        QVERIFY(model.pendingImport().has_value());
        QCOMPARE(model.openedImage(), nullptr);
        QVERIFY(!library.context().hasChanges());
        QCOMPARE(hand->series(), nullptr);
        QCOMPARE(model.images().size(), 1);
        QVERIFY(model.allSeries().isEmpty());
        QCOMPARE(model.sidebarSelection(), (QSet<LibraryEntryID>{LibraryEntryID::image(hand->id())}));

        library.failWrites(false);
        model.dismissOperationError();
        model.commitImport(pending, MetadataDraft(QStringLiteral("Hand series")));
        QVERIFY(!model.showsOperationError());
        QCOMPARE(model.images().size(), 3);
        QCOMPARE(model.allSeries().size(), 1);
        auto stored = library.reopen();
        QCOMPARE(stored->mainContext().fetch<AtlasImage>().size(), 3);
        QCOMPARE(stored->mainContext().fetch<Series>().size(), 1);
    }

    void importIntoADestinationRemovedMeanwhileFails()
    {
        auto &&[library, state, model] = openWindow();
        Series *series = library.series(QStringLiteral("Gone"));
        library.image(QStringLiteral("x"), series);
        AtlasImage *standalone = library.image(QStringLiteral("Alone"), nullptr, 0, 2);
        library.save();

        model.setSidebarSelection({LibraryEntryID::series(series->id())});
        model.beginAddImages();
        pick(model, {file(QStringLiteral("late.png"))});
        const PendingImageImport toSeries = *model.pendingImport();
        library.context().deleteObject(series);
        library.save();
        model.commitImport(toSeries, MetadataDraft(QStringLiteral("Gone")));
        QVERIFY(model.showsOperationError());
        QCOMPARE(model.operationErrorTitle(), QStringLiteral("Import Failed"));
        QCOMPARE(model.operationErrorMessage(), ContentViewModel::missingObjectMessage());
        QCOMPARE(model.images().size(), 1);
        QVERIFY(model.allSeries().isEmpty());

        // Gone while the files were being read: no sheet at all.
        model.dismissOperationError();
        model.cancelImport();
        Series *brief = library.series(QStringLiteral("Brief"), 3);
        library.save();
        model.setSidebarSelection({LibraryEntryID::series(brief->id())});
        model.beginAddImages();
        model.handleImportResult({file(QStringLiteral("late.png"))});
        library.context().deleteObject(brief);
        library.save();
        QTRY_VERIFY(!model.isReadingImport());
        QVERIFY(!model.pendingImport());
        QCOMPARE(model.operationErrorMessage(), ContentViewModel::missingObjectMessage());

        // A standalone image that became part of a series is no longer a
        // place to add to.
        model.dismissOperationError();
        model.cancelImport();
        model.setSidebarSelection({LibraryEntryID::image(standalone->id())});
        model.beginAddImages();
        pick(model, {file(QStringLiteral("late.png"))});
        const PendingImageImport toImage = *model.pendingImport();
        standalone->setSeries(library.series(QStringLiteral("Elsewhere")));
        library.save();
        model.commitImport(toImage, MetadataDraft(QStringLiteral("Alone")));
        QVERIFY(model.showsOperationError());
        QCOMPARE(model.images().size(), 1);
        QCOMPARE(model.allSeries().size(), 1);
    }

    void savesEditedMetadata()
    {
        auto &&[library, state, model] = openWindow(true);
        AtlasImage *image = library.image(QStringLiteral("Skull"));
        library.save();

        model.beginEditImage(image);
        const ContentViewModel::EditSheet sheet = model.editSheet(*image);
        QCOMPARE(sheet.navigationTitle, QStringLiteral("Edit"));
        QCOMPARE(sheet.headerSubtitle, QStringLiteral("Metadata applies to this image."));
        QCOMPARE(sheet.actionTitle, QStringLiteral("Save"));
        MetadataDraft draft = sheet.draft;
        draft.title = QStringLiteral("Cranium");
        draft.sex = Sex::male;

        library.failWrites(true);
        model.saveEditedImage(image, draft);
        QCOMPARE(model.operationErrorTitle(), QStringLiteral("Save Failed"));
        QCOMPARE(model.editingImage(), image);
        QCOMPARE(image->title(), QStringLiteral("Skull"));
        QVERIFY(!library.context().hasChanges());

        library.failWrites(false);
        model.dismissOperationError();
        model.saveEditedImage(image, draft);
        QVERIFY(!model.showsOperationError());
        QCOMPARE(model.editingImage(), nullptr);
        QCOMPARE(image->title(), QStringLiteral("Cranium"));
        QCOMPARE(image->sex(), Sex::male);
        QVERIFY(!library.context().hasChanges());

        // The sheet of an image deleted meanwhile cannot save it.
        model.beginEditImage(image);
        library.context().deleteObject(image);
        library.save();
        model.saveEditedImage(image, draft);
        QCOMPARE(model.operationErrorTitle(), QStringLiteral("Save Failed"));
        QCOMPARE(model.operationErrorMessage(), ContentViewModel::missingObjectMessage());
    }

    void renamesASeries()
    {
        auto &&[library, state, model] = openWindow(true);
        Series *series = library.series(QStringLiteral("Knee"));
        Series *other = library.series(QStringLiteral("Hip"), 1);
        library.save();

        model.beginRename(series);
        QCOMPARE(model.seriesRenameTitle(), QStringLiteral("Knee"));
        QCOMPARE(model.renamingSeries(), series);
        model.renameSeries(series, QStringLiteral("  "));
        QCOMPARE(model.renamingSeries(), nullptr);
        QCOMPARE(series->title(), QStringLiteral("Knee"));
        QVERIFY(!library.context().hasChanges());
        model.renameSeries(series, QStringLiteral(" Knee\t"));
        QVERIFY(!library.context().hasChanges());
        model.renameSeries(series, QStringLiteral("Left knee\n"));
        QCOMPARE(series->title(), QStringLiteral("Left knee"));
        QVERIFY(!library.context().hasChanges());

        // A rename that cannot be saved is undone and never written later.
        library.failWrites(true);
        model.renameSeries(series, QStringLiteral("Right knee"));
        QCOMPARE(model.operationErrorTitle(), QStringLiteral("Rename Failed"));
        QCOMPARE(series->title(), QStringLiteral("Left knee"));
        library.failWrites(false);
        model.dismissOperationError();
        model.renameSeries(other, QStringLiteral("Pelvis"));
        QVERIFY(!model.showsOperationError());
        auto stored = library.reopen();
        QStringList storedTitles;
        for (const Series *s : stored->mainContext().fetch<Series>(&Series::createdAt))
            storedTitles << s->title();
        QCOMPARE(storedTitles, (QStringList{"Left knee", "Pelvis"}));

        // A series deleted while its rename alert was up.
        model.beginRename(other);
        library.context().deleteObject(other);
        library.save();
        model.renameSeries(other, QStringLiteral("Sacrum"));
        QCOMPARE(model.operationErrorTitle(), QStringLiteral("Rename Failed"));
        QCOMPARE(model.operationErrorMessage(), ContentViewModel::missingObjectMessage());
    }

    void asksBeforeDeletingSeveralEntries()
    {
        auto &&[library, state, model] = openWindow();
        Series *s1 = library.series(QStringLiteral("One"));
        AtlasImage *a = library.image(QStringLiteral("a"), s1, 0);
        AtlasImage *b = library.image(QStringLiteral("b"), s1, 1);
        Series *s2 = library.series(QStringLiteral("Two"), 1);
        AtlasImage *c = library.image(QStringLiteral("c"), s2, 0);
        AtlasImage *lone = library.image(QStringLiteral("lone"), nullptr, 0, 2);
        library.save();

        model.requestDeletion({seriesEntry(s1, {a, b}), seriesEntry(s2, {c})});
        QVERIFY(model.isConfirmingDeletion());
        QCOMPARE(model.deletionConfirmationTitle(), QStringLiteral("Delete 2 Series?"));
        QCOMPARE(model.deletionConfirmationMessage(), QStringLiteral("This will delete 3 images."));
        model.cancelDeletion();
        QVERIFY(!model.isConfirmingDeletion());
        QVERIFY(model.pendingDeletion().isEmpty());
        QCOMPARE(model.images().size(), 4);

        model.requestDeletion({seriesEntry(s2, {c}), LibraryEntry::image(lone)});
        QCOMPARE(model.deletionConfirmationTitle(), QStringLiteral("Delete 2 Items?"));
        QCOMPARE(model.deletionConfirmationMessage(), QStringLiteral("This will delete 2 images."));
        model.confirmDeletion();
        QVERIFY(!model.isConfirmingDeletion());
        QCOMPARE(imageTitles(model.images()), (QStringList{"a", "b"}));
        QCOMPARE(model.allSeries(), (QList<Series *>{s1}));

        // One entry goes at once.
        model.requestDeletion({LibraryEntry::image(a)});
        QVERIFY(!model.isConfirmingDeletion());
        QCOMPARE(imageTitles(model.images()), (QStringList{"b"}));
        QCOMPARE(b->sortIndex(), 0);
    }

    void deletingRenumbersAndRemovesEmptiedSeries()
    {
        auto &&[library, state, model] = openWindow();
        Series *five = library.series(QStringLiteral("Five"));
        const QList<AtlasImage *> images = library.images(five, 5);
        library.point(images.at(1), QStringLiteral("Apex"));
        Series *single = library.series(QStringLiteral("Single"), 1);
        AtlasImage *only = library.image(QStringLiteral("only"), single);
        library.save();

        model.deleteImages({images.at(1), images.at(3)});
        QCOMPARE(orderedTitles(*five), (QStringList{"i0", "i2", "i4"}));
        QCOMPARE(orderedSortIndices(*five), (QList<qint64>{0, 1, 2}));
        QVERIFY(library.context().fetch<PointAnnotation>().isEmpty());

        model.setSidebarSelection({LibraryEntryID::series(single->id())});
        model.deleteImages({only});
        QVERIFY(single->isDeleted());
        QCOMPARE(model.allSeries(), (QList<Series *>{five}));

        // A search that lists part of a series removes only what it lists.
        model.setLibrarySearchText(QStringLiteral("i2"));
        model.setSidebarSelection({LibraryEntryID::series(five->id())});
        QCOMPARE(model.libraryEntries().size(), 1);
        model.requestDeletion({model.libraryEntries().first()});
        QVERIFY(model.sidebarSelection().isEmpty());
        QVERIFY(!five->isDeleted());
        QCOMPARE(orderedTitles(*five), (QStringList{"i0", "i4"}));
        QCOMPARE(orderedSortIndices(*five), (QList<qint64>{0, 1}));

        // An empty series listed as a row is deleted as a whole.
        model.setLibrarySearchText(QString());
        Series *empty = library.series(QStringLiteral("Empty"), 3);
        library.save();
        model.removeEntries({seriesEntry(empty, {})});
        QVERIFY(empty->isDeleted());
        QVERIFY(!library.context().hasChanges());
    }

    void deletingTheOpenedImageClosesItAndEndsEditing()
    {
        auto &&[library, state, model] = openWindow();
        AtlasImage *a = library.image(QStringLiteral("a"));
        AtlasImage *b = library.image(QStringLiteral("b"), nullptr, 0, 1);
        library.save();

        model.openImage(a);
        state.setIsEditing(true);
        model.deleteImages({b});
        QCOMPARE(model.openedImage(), a);
        QVERIFY(state.isEditing());
        model.deleteImages({a});
        QCOMPARE(model.openedImage(), nullptr);
        QCOMPARE(model.gridSelection(), nullptr);
        QCOMPARE(model.selectedImageID(), QString());
        QVERIFY(!state.isEditing());

        // A menu or a tile that still shows an image deleted meanwhile
        // opens nothing.
        AtlasImage *c = library.image(QStringLiteral("c"), nullptr, 0, 2);
        library.save();
        library.context().deleteObject(c);
        library.save();
        model.openImage(c);
        QCOMPARE(model.openedImage(), nullptr);
        QCOMPARE(model.gridSelection(), nullptr);
        QCOMPARE(model.selectedImageID(), QString());
    }

    void failedDeletionIsUndoneAndNeverWrittenLater()
    {
        auto &&[library, state, model] = openWindow(true);
        Series *series = library.series(QStringLiteral("S"));
        AtlasImage *a = library.image(QStringLiteral("a"), series, 0);
        AtlasImage *b = library.image(QStringLiteral("b"), series, 1);
        AtlasImage *c = library.image(QStringLiteral("c"), series, 2);
        AtlasImage *lone = library.image(QStringLiteral("lone"), nullptr, 0, 1);
        library.save();
        model.setSidebarSelection({LibraryEntryID::series(series->id())});
        model.setGridSelection(a);

        library.failWrites(true);
        model.deleteImages({a});
        QCOMPARE(model.operationErrorTitle(), QStringLiteral("Delete Failed"));
        QVERIFY(!a->isDeleted());
        QCOMPARE(model.gridSelection(), a);
        QCOMPARE(orderedTitles(*series), (QStringList{"a", "b", "c"}));
        QCOMPARE(orderedSortIndices(*series), (QList<qint64>{0, 1, 2}));

        library.failWrites(false);
        model.dismissOperationError();
        model.beginRename(series);
        model.renameSeries(series, QStringLiteral("Renamed"));
        auto stored = library.reopen();
        QCOMPARE(stored->mainContext().fetch<AtlasImage>().size(), 4);

        // Entries that waited in the confirmation while one of them was
        // deleted elsewhere: nothing is deleted.
        model.requestDeletion({LibraryEntry::image(lone), LibraryEntry::image(c)});
        library.context().deleteObject(lone);
        library.save();
        model.confirmDeletion();
        QCOMPARE(model.operationErrorTitle(), QStringLiteral("Delete Failed"));
        QCOMPARE(model.operationErrorMessage(), ContentViewModel::missingObjectMessage());
        QVERIFY(!c->isDeleted());
        Q_UNUSED(b);
    }

    void aSeriesListedEmptyKeepsImagesAddedBeforeTheConfirmation()
    {
        auto &&[library, state, model] = openWindow();
        Series *empty = library.series(QStringLiteral("Empty"));
        AtlasImage *lone = library.image(QStringLiteral("lone"), nullptr, 0, 1);
        library.save();

        model.requestDeletion({seriesEntry(empty, {}), LibraryEntry::image(lone)});
        QVERIFY(model.isConfirmingDeletion());
        // Another window adds an image to the series meanwhile.
        AtlasImage *added = library.image(QStringLiteral("added"), empty, 0, 2);
        library.save();
        model.confirmDeletion();
        QVERIFY(lone->isDeleted());
        QVERIFY(!added->isDeleted());
        QVERIFY(!empty->isDeleted());
        QCOMPARE(added->series(), empty);
        QVERIFY(!library.context().hasChanges());
    }

    void duplicatesAnImageInItsSeries()
    {
        auto &&[library, state, model] = openWindow();
        Series *series = library.series(QStringLiteral("S"));
        const QList<AtlasImage *> images = library.images(series, 5);
        images.at(2)->setModalityRaw(42);
        library.point(images.at(2), QStringLiteral("Apex"));
        library.save();

        model.duplicateImage(images.at(2));
        const QList<AtlasImage *> ordered = ContentViewModel::orderedImages(*series);
        QCOMPARE(imageTitles(ordered), (QStringList{"i0", "i1", "i2", "i2 Copy", "i3", "i4"}));
        QCOMPARE(sortIndices(ordered), (QList<qint64>{0, 1, 2, 3, 4, 5}));
        AtlasImage *copy = ordered.at(3);
        QCOMPARE(model.gridSelection(), copy);
        QCOMPARE(copy->modalityRaw(), 0);
        QVERIFY(copy->id() != images.at(2)->id());
        QCOMPARE(copy->points().size(), 1);
        QCOMPARE(copy->points().first()->label(), QStringLiteral("Apex"));
        QVERIFY(!library.context().hasChanges());

        images.at(0)->setTitle(QString());
        model.duplicateImage(images.at(0));
        QCOMPARE(ContentViewModel::orderedImages(*series).at(1)->title(), QString());
    }

    void duplicatesAStandaloneImageIntoASeries()
    {
        auto &&[library, state, model] = openWindow();
        AtlasImage *image = library.image(QStringLiteral("Foot"));
        library.save();
        model.setSidebarSelection({LibraryEntryID::image(image->id())});

        model.duplicateImage(image);
        Series *series = image->series();
        QVERIFY(series);
        QCOMPARE(series->title(), QStringLiteral("Foot"));
        const QList<AtlasImage *> ordered = ContentViewModel::orderedImages(*series);
        QCOMPARE(imageTitles(ordered), (QStringList{"Foot", "Foot"}));
        QCOMPARE(sortIndices(ordered), (QList<qint64>{0, 1}));
        QCOMPARE(model.gridSelection(), ordered.at(1));
        QCOMPARE(model.sidebarSelection(), (QSet<LibraryEntryID>{LibraryEntryID::series(series->id())}));
    }

    void duplicatesASeriesWithItsAnnotations()
    {
        auto &&[library, state, model] = openWindow(true);
        Series *series = library.series(QStringLiteral("Brain"));
        AtlasImage *a = library.image(QStringLiteral("a"), series, 3);
        library.image(QStringLiteral("b"), series, 7);
        PointAnnotation *point = library.point(a, QStringLiteral("Pons"));
        const QList<AnnotationLink> links{{QUuid::createUuid(), QStringLiteral("Atlas"), QStringLiteral("https://example.org")}};
        point->setLinks(links);
        point->setGroup(QStringLiteral("Brainstem"));
        RegionAnnotation *region = library.region(a, QStringLiteral("Cerebellum"));
        region->setVertices({{0.1, 0.2}, {0.3, 0.4}, {0.5, 0.1}});
        library.save();

        library.failWrites(true);
        model.duplicateSeries(series);
        QCOMPARE(model.operationErrorTitle(), QStringLiteral("Duplicate Failed"));
        QCOMPARE(model.allSeries().size(), 1);
        QCOMPARE(model.images().size(), 2);
        QVERIFY(!library.context().hasChanges());
        library.failWrites(false);
        model.dismissOperationError();

        model.duplicateSeries(series);
        QCOMPARE(model.allSeries().size(), 2);
        Series *copy = model.allSeries().last();
        QCOMPARE(copy->title(), QStringLiteral("Brain Copy"));
        QCOMPARE(model.sidebarSelection(), (QSet<LibraryEntryID>{LibraryEntryID::series(copy->id())}));
        const QList<AtlasImage *> copies = ContentViewModel::orderedImages(*copy);
        QCOMPARE(imageTitles(copies), (QStringList{"a", "b"}));
        QCOMPARE(sortIndices(copies), (QList<qint64>{3, 7}));
        QVERIFY(copies.first()->id() != a->id());
        QCOMPARE(copies.first()->imageData(), a->imageData());
        QCOMPARE(copies.first()->points().size(), 1);
        PointAnnotation *copiedPoint = copies.first()->points().first();
        QVERIFY(copiedPoint->id() != point->id());
        QCOMPARE(copiedPoint->links(), std::optional<QList<AnnotationLink>>(links));
        QCOMPARE(copiedPoint->group(), QStringLiteral("Brainstem"));
        QCOMPARE(copies.first()->regions().first()->vertices(), region->vertices());
        auto stored = library.reopen();
        QCOMPARE(stored->mainContext().fetch<PointAnnotation>().size(), 2);
        QCOMPARE(stored->mainContext().fetch<RegionAnnotation>().size(), 2);
    }

    void movesAndReordersImages()
    {
        auto &&[library, state, model] = openWindow(true);
        Series *series = library.series(QStringLiteral("S"));
        AtlasImage *a = library.image(QStringLiteral("a"), series, 0);
        AtlasImage *b = library.image(QStringLiteral("b"), series, 1);
        AtlasImage *c = library.image(QStringLiteral("c"), series, 2);
        Series *other = library.series(QStringLiteral("Other"), 1);
        AtlasImage *foreign = library.image(QStringLiteral("foreign"), other, 0);
        AtlasImage *lone = library.image(QStringLiteral("lone"), nullptr, 0, 2);
        library.save();

        QVERIFY(!model.canMoveImage(a, -1));
        QVERIFY(model.canMoveImage(a, 1));
        QVERIFY(!model.canMoveImage(c, 1));
        QVERIFY(!model.canMoveImage(lone, 1));
        model.moveImage(b, -1);
        QCOMPARE(orderedTitles(*series), (QStringList{"b", "a", "c"}));
        model.moveImage(c, 1);
        QCOMPARE(orderedTitles(*series), (QStringList{"b", "a", "c"}));

        model.reorderImages({a, b, c});
        model.reorderImages({c, a});
        QCOMPARE(orderedTitles(*series), (QStringList{"c", "b", "a"}));
        QCOMPARE(orderedSortIndices(*series), (QList<qint64>{0, 1, 2}));

        // Images of other series, and repeats, take no part.
        model.reorderImages({a, foreign, lone, a, c});
        QCOMPARE(orderedTitles(*series), (QStringList{"a", "b", "c"}));
        QCOMPARE(orderedSortIndices(*series), (QList<qint64>{0, 1, 2}));
        QCOMPARE(foreign->series(), other);
        QCOMPARE(foreign->sortIndex(), 0);

        library.failWrites(true);
        model.moveImage(a, 1);
        QCOMPARE(model.operationErrorTitle(), QStringLiteral("Reorder Failed"));
        QCOMPARE(orderedTitles(*series), (QStringList{"a", "b", "c"}));
        QVERIFY(!library.context().hasChanges());
    }
};

QTEST_GUILESS_MAIN(LibraryOperationsTest)
#include "tst_libraryoperations.moc"
