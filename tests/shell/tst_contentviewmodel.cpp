#include "ShellTestSupport.h"

#include "browser/ThumbnailCache.h"
#include "platform/UserDefaults.h"
#include "platform/WorkerPools.h"
#include "shell/AppState.h"
#include "shell/ContentViewModel.h"
#include "shell/LibraryDerivation.h"
#include "support/PoolHold.h"

#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>
#include <QTimer>

#include <atomic>

namespace {

QString idText(const AtlasImage *image)
{
    return image->id().toString(QUuid::WithoutBraces).toUpper();
}

QSet<LibraryEntryID> rowOf(const AtlasImage *image)
{
    return {LibraryDerivation::entryID(*image)};
}

QStringList entryTitles(const QList<LibraryEntry> &entries)
{
    QStringList titles;
    for (const LibraryEntry &entry : entries)
        titles << entry.title();
    return titles;
}

// One of the library query's limits, set while it lives.
class QueryLimit {
public:
    QueryLimit(qsizetype (*get)(), void (*set)(qsizetype), qsizetype value)
        : m_set(set)
        , m_before(get())
    {
        set(value);
    }
    ~QueryLimit() { m_set(m_before); }

private:
    void (*m_set)(qsizetype);
    qsizetype m_before;
};

} // namespace

// A window's own state (opened image, selections, sheets) kept in step with the library.
class ContentViewModelTest : public QObject {
    Q_OBJECT
public:
    static void initMain() { s_privateMounts = enterPrivateMounts(); }

private:
    static inline bool s_privateMounts = false;
    UserDefaults m_defaults;
    FakeCloudAccountService m_accounts;
    QTemporaryDir m_files;

    // A library, in memory or on disk, and a window's model over it.
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
    std::unique_ptr<Window> m_window;
    Window &openWindow(bool onDisk = false)
    {
        m_window = std::make_unique<Window>(m_defaults, m_accounts, onDisk);
        return *m_window;
    }

    QUrl file(const QString &name, const QByteArray &bytes = pngBytes()) { return writeTestFile(m_files, name, bytes); }

    // Picks files and waits for the import sheet.
    static void pick(ContentViewModel &model, const QList<QUrl> &urls)
    {
        model.handleImportResult(urls);
        QTRY_VERIFY(!model.isReadingImport());
        QVERIFY(model.pendingImport().has_value());
    }

private slots:
    void cleanup() { m_window.reset(); }

    void restoresTheSavedImage()
    {
        auto &[library, state, model] = openWindow();
        Series *series = library.series(QStringLiteral("S"));
        AtlasImage *image = library.image(QStringLiteral("a"), series);
        library.save();
        model.setSelectedImageID(idText(image));
        model.contentDidAppear();
        QCOMPARE(model.openedImage(), nullptr); // the appearance task runs later
        QTRY_COMPARE(model.openedImage(), image);
        QCOMPARE(model.sidebarSelection(), (QSet<LibraryEntryID>{LibraryEntryID::series(series->id())}));
        // Malformed or empty text opens nothing.
        for (const QString &text : {QString(), QStringLiteral("not-a-uuid")}) {
            ContentViewModel other(library.context(), state);
            other.setSelectedImageID(text);
            other.restoreOpenedImage();
            QCOMPARE(other.openedImage(), nullptr);
        }
        // A saved image that arrives later opens then.
        ContentViewModel later(library.context(), state);
        const QUuid id = QUuid::createUuid();
        later.setSelectedImageID(id.toString(QUuid::WithoutBraces).toUpper());
        later.restoreOpenedImage();
        QCOMPARE(later.openedImage(), nullptr);
        AtlasImage *arrived = library.image(QStringLiteral("late"));
        arrived->setId(id);
        library.save();
        QTRY_COMPARE(later.openedImage(), arrived);
        QCOMPARE(later.sidebarSelection(), (QSet<LibraryEntryID>{LibraryEntryID::image(id)}));
    }

    // The saved identifier reopens its image only in its 36-character form,
    // in either letter case.
    void theSavedImageOpensOnlyFromItsStandardText_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<bool>("opens");
        QTest::newRow("upper case") << "upper" << true;
        QTest::newRow("lower case") << "lower" << true;
        QTest::newRow("braced") << "braced" << false;
        QTest::newRow("text after it") << "trailing" << false;
        QTest::newRow("a space before it") << "leading space" << false;
        QTest::newRow("no hyphens") << "no hyphens" << false;
        QTest::newRow("empty") << "empty" << false;
        QTest::newRow("no identifier") << "garbage" << false;
    }
    void theSavedImageOpensOnlyFromItsStandardText()
    {
        QFETCH(QString, form);
        QFETCH(bool, opens);
        auto &[library, state, model] = openWindow();
        AtlasImage *image = library.image(QStringLiteral("a"));
        library.save();
        const QString upper = idText(image);
        const QMap<QString, QString> texts{
            {QStringLiteral("upper"), upper},
            {QStringLiteral("lower"), upper.toLower()},
            {QStringLiteral("braced"), QLatin1Char('{') + upper + QLatin1Char('}')},
            {QStringLiteral("trailing"), upper + QStringLiteral("-tail")},
            {QStringLiteral("leading space"), QLatin1Char(' ') + upper},
            {QStringLiteral("no hyphens"), image->id().toString(QUuid::Id128)},
            {QStringLiteral("empty"), QString()},
            {QStringLiteral("garbage"), QStringLiteral("not-a-uuid")},
        };
        model.setSelectedImageID(texts.value(form));
        model.restoreOpenedImage();
        QCOMPARE(model.openedImage(), opens ? image : nullptr);
    }

    void closesImagesThatLeaveTheLibrary()
    {
        auto &[library, state, model] = openWindow();
        AtlasImage *a = library.image(QStringLiteral("a"));
        AtlasImage *b = library.image(QStringLiteral("b"), nullptr, 0, 1);
        AtlasImage *c = library.image(QStringLiteral("c"), nullptr, 0, 2);
        library.save();
        ContentViewModel otherWindow(library.context(), state);
        model.openImage(a);
        QCOMPARE(model.selectedImageID(), idText(a));
        state.setIsEditing(true);
        otherWindow.deleteImages({b});
        QCoreApplication::processEvents();
        QCOMPARE(model.openedImage(), a);
        QVERIFY(state.isEditing());
        // Deleted in another window, or in this one: closed, edit mode ends.
        QSignalSpy entries(&model, &ContentViewModel::entriesChanged);
        otherWindow.deleteImages({a});
        QTRY_COMPARE(model.openedImage(), nullptr);
        QVERIFY(!state.isEditing());
        QCOMPARE(model.selectedImageID(), QString());
        QCOMPARE(model.gridSelection(), nullptr);
        QVERIFY(entries.count() >= 1);
        model.openImage(c);
        state.setIsEditing(true);
        model.deleteImages({c});
        QCOMPARE(model.openedImage(), nullptr);
        QCOMPARE(model.gridSelection(), nullptr);
        QVERIFY(!state.isEditing());
        // A menu or a tile that still shows a deleted image opens nothing.
        model.openImage(c);
        QCOMPARE(model.openedImage(), nullptr);
        QCOMPARE(model.gridSelection(), nullptr);
    }

    void searchAndFiltersHideTheOpenedImage()
    {
        auto &[library, state, model] = openWindow();
        AtlasImage *knee = library.image(QStringLiteral("Knee"));
        AtlasImage *hip = library.image(QStringLiteral("Hip"), nullptr, 0, 1, Modality::ct);
        library.save();
        QTRY_VERIFY(model.library().isSearchIndexReady());
        QVERIFY(model.focusGridOnAppear() && !model.isLibraryFiltersExpanded());
        model.setSidebarSelection({LibraryEntryID::image(knee->id()), LibraryEntryID::image(hip->id())});
        model.setGridSelection(hip);
        model.openImage(knee);
        QCOMPARE(model.gridSelection(), knee);
        model.setGridSelection(hip);
        model.setLibrarySearchText(QStringLiteral("kne"));
        QCOMPARE(model.gridSelection(), nullptr);
        QCOMPARE(model.openedImage(), knee);
        model.setLibrarySearchText(QStringLiteral("knee"));
        QCOMPARE(model.openedImage(), knee);
        model.setModalityFilter(Modality::ct);
        QCOMPARE(model.openedImage(), nullptr);
        QVERIFY(!model.focusGridOnAppear());
        QVERIFY(model.hasActiveFilters());
        model.clearFilters();
        QVERIFY(!model.hasActiveFilters());
        QCOMPARE(model.librarySearchText(), QStringLiteral("knee"));
    }

    void followsTheSidebarSelection()
    {
        auto &[library, state, model] = openWindow();
        Series *s1 = library.series(QStringLiteral("One"));
        AtlasImage *a = library.image(QStringLiteral("a"), s1, 0);
        AtlasImage *b = library.image(QStringLiteral("b"), s1, 1);
        Series *s2 = library.series(QStringLiteral("Two"), 1);
        AtlasImage *c = library.image(QStringLiteral("c"), s2, 1);
        AtlasImage *d = library.image(QStringLiteral("d"), s2, 0);
        Series *empty = library.series(QStringLiteral("Empty"), 2);
        library.save();
        model.setSidebarSelection({LibraryEntryID::series(s1->id())});
        model.openImage(b);
        model.setSidebarSelection({LibraryEntryID::series(s1->id()), LibraryEntryID::series(s2->id())});
        QCOMPARE(model.openedImage(), b);
        model.setSidebarSelection({LibraryEntryID::series(s2->id())});
        QCOMPARE(model.visibleImages(), (QList<AtlasImage *>{d, c}));
        QCOMPARE(model.openedImage(), d);
        QCOMPARE(model.gridSelection(), d);
        model.setSidebarSelection({LibraryEntryID::series(empty->id())});
        QCOMPARE(model.openedImage(), nullptr);
        QCOMPARE(model.gridSelection(), nullptr);
        // Removing the opened image's row closes it rather than moving on.
        model.setSidebarSelection({LibraryEntryID::series(s1->id()), LibraryEntryID::series(s2->id())});
        model.openImage(a);
        state.setIsEditing(true);
        model.removeEntries({model.libraryEntries().first()});
        QVERIFY(s1->isDeleted());
        QCOMPARE(model.openedImage(), nullptr);
        QVERIFY(!state.isEditing());
        QCOMPARE(model.sidebarSelection(), (QSet<LibraryEntryID>{LibraryEntryID::series(s2->id())}));
        QCOMPARE(model.visibleImages(), (QList<AtlasImage *>{d, c}));
    }

    // Removing the opened image's row: the rows leave the selection, the
    // deletion is saved (on a worker for a library on disk), the image
    // closes, and only then does the window follow the selection, so the
    // image screen closes rather than moving on to a row still selected.
    // A deletion that fails still lets the window follow the selection.
    void removingTheOpenedRowClosesTheImage_data()
    {
        QTest::addColumn<bool>("onDisk");
        QTest::addColumn<bool>("failing");
        QTest::newRow("library in memory") << false << false;
        QTest::newRow("library on disk") << true << false;
        QTest::newRow("library on disk, the deletion failing") << true << true;
    }

    void removingTheOpenedRowClosesTheImage()
    {
        QFETCH(bool, onDisk);
        QFETCH(bool, failing);
        auto &[library, state, model] = openWindow(onDisk);
        AtlasImage *a = library.image(QStringLiteral("a"));
        AtlasImage *b = library.image(QStringLiteral("b"), nullptr, 0, 1);
        library.save();
        model.setSidebarSelection(rowOf(a) + rowOf(b));
        model.openImage(a);
        state.setIsEditing(true);
        QSignalSpy opened(&model, &ContentViewModel::openedImageChanged);
        QSignalSpy visible(&model, &ContentViewModel::visibleImagesChanged);
        if (failing)
            library.failWrites(true);
        model.removeEntries({model.libraryEntries().first()});
        QCOMPARE(model.sidebarSelection(), rowOf(b));
        QTRY_VERIFY(!library.context().isSavingInBackground());
        QVERIFY(!visible.isEmpty());
        if (failing) {
            QCOMPARE(model.operationErrorTitle(), QStringLiteral("Delete Failed"));
            QVERIFY(isInLibrary(a));
            QVERIFY(!model.openedImage() || model.visibleImages().contains(model.openedImage()));
            return;
        }
        QVERIFY(a->isDeleted());
        QCOMPARE(model.openedImage(), nullptr);
        QVERIFY(!state.isEditing());
        for (const QList<QVariant> &change : std::as_const(opened))
            QCOMPARE(change.first().value<AtlasImage *>(), nullptr);
        QCOMPARE(model.visibleImages(), QList<AtlasImage *>{b});
        QCOMPARE(model.sidebarSelection(), rowOf(b));
    }

    void arrowKeysStepThroughTheVisibleImages()
    {
        auto &[library, state, model] = openWindow();
        Series *series = library.series(QStringLiteral("S"));
        const QList<AtlasImage *> images = library.images(series, 5);
        library.save();
        QVERIFY(!model.canAdvanceOpenedImage(1));
        model.setSidebarSelection({LibraryEntryID::series(series->id())});
        model.openImage(images.at(3));
        QVERIFY(model.canAdvanceOpenedImage(1));
        model.advanceOpenedImage(1);
        QCOMPARE(model.openedImage(), images.at(4));
        QCOMPARE(model.gridSelection(), images.at(4));
        QVERIFY(!model.canAdvanceOpenedImage(1));
        model.advanceOpenedImage(1);
        QCOMPARE(model.openedImage(), images.at(4));
        model.openImage(images.at(0));
        QVERIFY(!model.canAdvanceOpenedImage(-1));
        model.advanceOpenedImage(1);
        // Space returns to the grid, except in edit mode.
        state.setIsEditing(true);
        QVERIFY(!model.canReturnToGridFromKeyboard());
        model.returnToGridFromKeyboard();
        QCOMPARE(model.openedImage(), images.at(1));
        state.setIsEditing(false);
        QVERIFY(model.canReturnToGridFromKeyboard());
        model.returnToGridFromKeyboard();
        QCOMPARE(model.openedImage(), nullptr);
        QCOMPARE(model.gridSelection(), images.at(1));
        QCOMPARE(model.selectedImageID(), QString());
        QVERIFY(!model.canReturnToGridFromKeyboard());
    }

    void theImportSheetNamesItsDestination_data()
    {
        QTest::addColumn<int>("selected"); // 0 nothing (a new entry), 1 a series, 2 a standalone image
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("navigationTitle");
        QTest::addColumn<QString>("actionTitle");
        QTest::addColumn<int>("imageCount");
        QTest::addColumn<QString>("subtitle");
        QTest::addColumn<QString>("draftTitle");
        QTest::newRow("one file") << 0 << QStringList{"knee.mri.png"} << "Import Image" << "Import" << 1
                                  << "Metadata applies to this image." << "knee.mri";
        QTest::newRow("several files") << 0 << QStringList{"img10.png", "img2.png", "img1.png"} << "Import Series"
                                       << "Import" << 3 << "Metadata applies to 3 ordered images."
                                       << "Imported Series";
        QTest::newRow("into a series") << 1 << QStringList{"n1.png", "n2.png"} << "Add Images" << "Add" << 4
                                       << "Metadata applies to the 2 images being added." << "Spine";
        QTest::newRow("into a standalone image") << 2 << QStringList{"wrist.png"} << "Add Image" << "Add" << 2
                                                 << "Metadata applies to the image being added." << "Hand";
    }

    void theImportSheetNamesItsDestination()
    {
        QFETCH(int, selected);
        QFETCH(QStringList, files);
        auto &[library, state, model] = openWindow();
        Series *spine = library.series(QStringLiteral("Spine"));
        library.images(spine, 2);
        AtlasImage *hand = library.image(QStringLiteral("Hand"), nullptr, 0, 1);
        library.save();
        if (selected == 1)
            model.setSidebarSelection({LibraryEntryID::series(spine->id())});
        else if (selected == 2)
            model.setSidebarSelection({LibraryEntryID::image(hand->id())});
        QSignalSpy importer(&model, &ContentViewModel::isImportingChanged);
        selected == 0 ? model.beginImport() : model.beginAddImages();
        QVERIFY(model.isImporting());
        QCOMPARE(importer.count(), 1);
        model.setIsImporting(false);
        QList<QUrl> urls;
        for (const QString &name : std::as_const(files))
            urls << file(name);
        pick(model, urls);
        // The importer's destination serves one pick.
        QCOMPARE(model.importDestination(), PendingImageImport::Destination::newEntry());
        const ContentViewModel::ImportSheet sheet = model.importSheet(*model.pendingImport());
        QTEST(sheet.navigationTitle, "navigationTitle");
        QTEST(sheet.actionTitle, "actionTitle");
        QTEST(int(sheet.imageCount), "imageCount");
        QTEST(sheet.headerSubtitle, "subtitle");
        QTEST(sheet.draft.title, "draftTitle");
        // Confirmed: the first new image opens; only a standalone image's
        // row changes, into its series' row.
        const QSet<LibraryEntryID> before = model.sidebarSelection();
        model.commitImport(*model.pendingImport(), sheet.draft);
        QVERIFY(!model.pendingImport());
        QVERIFY(model.openedImage());
        QCOMPARE(model.selectedImageID(), idText(model.openedImage()));
        const QSet<LibraryEntryID> after = selected == 2 ? rowOf(hand) : before;
        QCOMPARE(model.sidebarSelection(), after);
        if (selected == 0 && files.size() > 1)
            QCOMPARE(model.openedImage()->title(), QStringLiteral("img1"));
    }

    void dropsNeedOneSelectedRowAndImageFiles()
    {
        auto &[library, state, model] = openWindow();
        AtlasImage *hand = library.image(QStringLiteral("Hand"));
        AtlasImage *other = library.image(QStringLiteral("Other"), nullptr, 0, 1);
        library.save();
        QVERIFY(!model.handleDrop({file(QStringLiteral("more.png"))}));
        model.setSidebarSelection({LibraryEntryID::image(other->id()), LibraryEntryID::image(hand->id())});
        QVERIFY(!model.canAddImages());
        QVERIFY(!model.handleDrop({file(QStringLiteral("more.png"))}));
        model.setSidebarSelection({LibraryEntryID::image(other->id())});
        QVERIFY(!model.handleDrop({file(QStringLiteral("notes.txt"), "text")}));
        QVERIFY(!model.isReadingImport());
        QVERIFY(model.handleDrop({QUrl(QStringLiteral("https://example.org/x.png")), file(QStringLiteral("n1.png"))}));
        QTRY_VERIFY(model.pendingImport().has_value());
        QCOMPARE(model.pendingImport()->images.size(), 1);
        QCOMPARE(model.pendingImport()->destination, PendingImageImport::Destination::standaloneImage(other));
    }

    void importFailuresAreReported()
    {
        auto &[library, state, model] = openWindow();
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
        // The series to add to went while the files were read: no sheet.
        model.dismissOperationError();
        Series *brief = library.series(QStringLiteral("Brief"));
        library.save();
        model.setSidebarSelection({LibraryEntryID::series(brief->id())});
        model.beginAddImages();
        model.handleImportResult({file(QStringLiteral("late.png"))});
        library.context().deleteObject(brief);
        library.save();
        QTRY_VERIFY(!model.isReadingImport());
        QVERIFY(!model.pendingImport());
        QCOMPARE(model.operationErrorMessage(), QStringLiteral("The item is no longer in the library."));
    }

    // A file too large for memory, or one whose reading fails in any other
    // way, ends in the alert; the window goes on.
    void readsThatCannotFinishEndInTheAlert()
    {
        auto &[library, state, model] = openWindow();
        QFile huge(m_files.filePath(QStringLiteral("huge.png")));
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.write(pngBytes()) > 0);
        if (!huge.resize(qint64(40) * 1024 * 1024 * 1024))
            QSKIP("This file system has no room for sparse files of this size.");
        huge.close();
        model.handleImportResult({QUrl::fromLocalFile(huge.fileName()), file(QStringLiteral("small.png"))});
        QTRY_VERIFY(!model.isReadingImport());
        QVERIFY(model.showsOperationError());
        QCOMPARE(model.operationErrorTitle(), QStringLiteral("Import Failed"));
        QCOMPARE(model.operationErrorMessage(), QStringLiteral("\u201Chuge.png\u201D is too large to be an image of at "
                                                              "most 16,384 \u00D7 16,384 pixels."));
        QVERIFY(!model.pendingImport());
        QVERIFY(huge.remove());
    }

    // The thumbnails made while the files were checked are the window's
    // cache's once the images are in the library: none is decoded again.
    void importedImagesHaveTheirThumbnailsAtOnce()
    {
        auto &[library, state, model] = openWindow();
        std::atomic<int> decodes{0};
        ThumbnailCache cache([&decodes](const EncodedImage &, int) {
            ++decodes;
            return QImage();
        }, 1, ThumbnailCache::defaultMaxBytes);
        model.setThumbnailCache(&cache);
        pick(model, {file(QStringLiteral("t2.png"), pngBytes(Qt::green, QSize(900, 600))),
                     file(QStringLiteral("t1.png"), pngBytes(Qt::red, QSize(30, 20)))});
        model.commitImport(*model.pendingImport(), model.pendingImport()->initialDraft());
        QTRY_VERIFY(!model.pendingImport());
        const QList<AtlasImage *> images = model.library().images();
        QCOMPARE(images.size(), 2);
        QCOMPARE(cache.count(), 2);
        for (AtlasImage *image : images) {
            const std::optional<QImage> thumbnail = cache.requestThumbnail(image);
            QVERIFY(thumbnail);
            const bool first = image->title() == QStringLiteral("t1");
            QCOMPARE(thumbnail->size(), first ? QSize(30, 20) : QSize(ThumbnailCache::defaultMaxPixelSize, 333));
            QCOMPARE(thumbnail->pixelColor(10, 10), first ? QColor(Qt::red) : QColor(Qt::green));
        }
        QCOMPARE(decodes.load(), 0);
    }

    void failedOperationsLeaveTheWindowAsItWas()
    {
        auto &[library, state, model] = openWindow(true);
        AtlasImage *hand = library.image(QStringLiteral("Hand"));
        Series *series = library.series(QStringLiteral("S"), 1);
        AtlasImage *a = library.image(QStringLiteral("a"), series, 0, 2);
        library.save();
        model.setSidebarSelection(rowOf(hand));
        model.beginAddImages();
        pick(model, {file(QStringLiteral("f1.png"))});
        const PendingImageImport pending = *model.pendingImport();
        model.beginEditImage(a);
        // The sheets and selections stay; the alert names the operation.
        library.failWrites(true);
        model.commitImport(pending, MetadataDraft(QStringLiteral("Hand series")));
        QCOMPARE(model.operationErrorTitle(), QStringLiteral("Import Failed"));
        QVERIFY(model.pendingImport().has_value());
        QCOMPARE(model.openedImage(), nullptr);
        QCOMPARE(model.sidebarSelection(), rowOf(hand));
        model.saveEditedImage(a, MetadataDraft(QStringLiteral("b")));
        QCOMPARE(model.operationErrorTitle(), QStringLiteral("Save Failed"));
        QCOMPARE(model.editingImage(), a);
        // The rename alert closes whatever the rename gives.
        model.beginRename(series);
        QCOMPARE(model.seriesRenameTitle(), QStringLiteral("S"));
        QCOMPARE(model.renamingSeries(), series);
        model.renameSeries(series, QStringLiteral("Hip"));
        QCOMPARE(model.operationErrorTitle(), QStringLiteral("Rename Failed"));
        QCOMPARE(model.renamingSeries(), nullptr);
        model.setSidebarSelection({LibraryEntryID::series(series->id())});
        model.setGridSelection(a);
        // A deletion is saved on a worker, and its failure told once it ends.
        model.deleteImages({a});
        QTRY_COMPARE(model.operationErrorTitle(), QStringLiteral("Delete Failed"));
        QCOMPARE(model.gridSelection(), a);
        QVERIFY(isInLibrary(a));
        // The rows leave the selection before the deletion, failed or not.
        model.dismissOperationError();
        model.removeEntries(model.libraryEntries());
        QVERIFY(model.sidebarSelection().isEmpty());
        QTRY_VERIFY(model.showsOperationError());
        QCOMPARE(model.operationErrorTitle(), QStringLiteral("Delete Failed"));
        QVERIFY(isInLibrary(hand));
        // With writes back, the same sheets save and close.
        library.failWrites(false);
        model.dismissOperationError();
        model.saveEditedImage(a, MetadataDraft(QStringLiteral("b")));
        QCOMPARE(model.editingImage(), nullptr);
        model.setSidebarSelection(rowOf(hand));
        model.commitImport(pending, MetadataDraft(QStringLiteral("Hand series")));
        QVERIFY(!model.showsOperationError());
        QVERIFY(!model.pendingImport());
        QCOMPARE(model.sidebarSelection(), rowOf(hand));
        // The window's own list, which the deletion makes stale, serves.
        model.setSidebarSelection({rowOf(hand) + QSet<LibraryEntryID>{LibraryEntryID::series(series->id())}});
        model.removeEntries(model.libraryEntries());
        QVERIFY(library.context().fetch<AtlasImage>().isEmpty());
        QVERIFY(model.sidebarSelection().isEmpty());
    }

    void asksBeforeDeletingSeveralEntries()
    {
        auto &[library, state, model] = openWindow();
        Series *s1 = library.series(QStringLiteral("One"));
        library.images(s1, 2);
        Series *s2 = library.series(QStringLiteral("Two"), 1);
        library.image(QStringLiteral("c"), s2);
        AtlasImage *lone = library.image(QStringLiteral("lone"), nullptr, 0, 2);
        library.save();
        const QList<LibraryEntry> entries = model.libraryEntries();
        QCOMPARE(entries.size(), 3);
        model.requestDeletion({entries.at(0), entries.at(1)});
        QVERIFY(model.isConfirmingDeletion());
        QCOMPARE(model.deletionConfirmationTitle(), QStringLiteral("Delete 2 Series?"));
        QCOMPARE(model.deletionConfirmationMessage(), QStringLiteral("This will delete 3 images."));
        model.cancelDeletion();
        QVERIFY(!model.isConfirmingDeletion());
        QVERIFY(model.pendingDeletion().isEmpty());
        QCOMPARE(library.context().fetch<AtlasImage>().size(), 4);
        model.requestDeletion({entries.at(1), entries.at(2)});
        QCOMPARE(model.deletionConfirmationTitle(), QStringLiteral("Delete 2 Items?"));
        QCOMPARE(model.deletionConfirmationMessage(), QStringLiteral("This will delete 2 images."));
        model.confirmDeletion();
        QVERIFY(!model.isConfirmingDeletion());
        QVERIFY(lone->isDeleted());
        QVERIFY(s2->isDeleted());
        // One entry goes at once.
        model.requestDeletion({model.libraryEntries().first()});
        QVERIFY(!model.isConfirmingDeletion());
        QVERIFY(s1->isDeleted());
    }

    void largeImportsCommitWhileTheLoopTurns_data()
    {
        QTest::addColumn<int>("meanwhile"); // what happens between the pick and the commit
        QTest::addColumn<int>("added");     // images the commit adds
        QTest::addColumn<QString>("error");
        QTest::newRow("nothing") << 0 << 3 << QString();
        QTest::newRow("the sheet is cancelled") << 1 << 0 << QString();
        QTest::newRow("the window closes") << 2 << 0 << QString();
        QTest::newRow("another window deletes the series") << 3 << 0 << QStringLiteral("The item is no longer in the library.");
        QTest::newRow("the store can't be written") << 4 << 0
                                                    << QStringLiteral("The library could not be saved (adding to AtlasImage). Disk I/O error.");
    }

    // Large files are copied into staged files of the library's folder as
    // they are read, and the commit's save takes them over; whatever
    // happens meanwhile, no file is left that the library doesn't name.
    // A failed commit keeps them with its sheet, which goes once cancelled.
    void largeImportsCommitWhileTheLoopTurns()
    {
        QFETCH(int, meanwhile);
        TestLibrary library(true);
        AppState state(m_defaults, m_accounts);
        auto model = std::make_unique<ContentViewModel>(library.context(), state);
        Series *series = library.series(QStringLiteral("Spine"));
        library.save();
        if (meanwhile == 3) {
            model->setSidebarSelection({LibraryEntryID::series(series->id())});
            model->beginAddImages();
        }
        const QByteArray padding(ExternalStorage::fileThreshold, 'x');
        pick(*model, {file(QStringLiteral("c1.png"), pngBytes() + padding),
                      file(QStringLiteral("c2.png"), pngBytes(Qt::red) + padding),
                      file(QStringLiteral("c3.png"), pngBytes(Qt::green) + padding)});
        const QString filesFolder = externalFolderOf(library.folder());
        // Staged while read: nothing but the files in the folder, nothing in memory.
        QCOMPARE(externalFileNames(library.folder()).size(), 3);
        for (const ImportedImage &image : model->pendingImport()->images) {
            QVERIFY(image.data.isEmpty());
            QVERIFY(QFile::exists(QDir(filesFolder).filePath(image.stagedFile)));
        }
        if (meanwhile == 1) {
            model->cancelImport();
        } else if (meanwhile == 2) {
            model.reset();
        } else if (meanwhile == 3) {
            library.context().deleteObject(series);
            library.save();
        } else if (meanwhile == 4) {
            library.failWrites(true);
        }
        if (model && model->pendingImport())
            model->commitImport(*model->pendingImport(), model->pendingImport()->initialDraft());
        if (meanwhile == 4)
            library.failWrites(false);
        if (model)
            QTRY_VERIFY(!model->isCommittingImport());
        // The failed commit's sheet stays up behind its alert, with its files.
        if (meanwhile >= 3) {
            QVERIFY(model->pendingImport());
            QCOMPARE(externalFileNames(library.folder()).size(), 3);
            model->cancelImport();
        }
        WorkerPools::files().waitForDone();
        QCoreApplication::sendPostedEvents();
        WorkerPools::files().waitForDone();
        QTEST(int(library.context().fetch<AtlasImage>().size()), "added");
        QFETCH(QString, error);
        if (model) {
            QCOMPARE(model->operationErrorMessage(), error);
            QVERIFY(!model->pendingImport());
            QCOMPARE(model->openedImage() != nullptr, meanwhile == 0);
        }
        QCOMPARE(externalFileNames(library.folder()), storedFileNames(library.folder()));
        QCOMPARE(externalFileNames(library.folder()).size(), meanwhile == 0 ? 3 : 0);
    }

    void aFailedConfirmKeepsTheSheet_data()
    {
        QTest::addColumn<int>("padding"); // 0: small files, in memory; else staged files
        QTest::addColumn<int>("then");    // 0 confirmed again, 1 cancelled, 2 the window closes
        const int staged = int(ExternalStorage::fileThreshold);
        QTest::newRow("in memory, confirmed again") << 0 << 0;
        QTest::newRow("staged, confirmed again") << staged << 0;
        QTest::newRow("staged, cancelled") << staged << 1;
        QTest::newRow("staged, the window closes") << staged << 2;
    }

    // The save fails once: the sheet stays up behind the alert with what
    // was typed and the pictures read, and Confirm stores them all; once
    // cancelled or closed, nothing of it is left on the disk.
    void aFailedConfirmKeepsTheSheet()
    {
        QFETCH(int, padding);
        QFETCH(int, then);
        TestLibrary library(true);
        AppState state(m_defaults, m_accounts);
        auto model = std::make_unique<ContentViewModel>(library.context(), state);
        QList<QByteArray> bytes;
        QList<QUrl> urls;
        for (const QColor colour : {QColor(Qt::red), QColor(Qt::green), QColor(Qt::blue)}) {
            bytes << pngBytes(colour) + QByteArray(padding, 'p');
            urls << file(QStringLiteral("f%1.png").arg(bytes.size()), bytes.last());
        }
        pick(*model, urls);
        const QUuid sheet = model->pendingImport()->id;
        MetadataDraft typed(QStringLiteral("Typed"));
        typed.modality = Modality::ct;
        library.failWrites(true);
        model->commitImport(*model->pendingImport(), typed);
        QTRY_VERIFY(!model->isCommittingImport());
        library.failWrites(false);
        QVERIFY(model->showsOperationError());
        QCOMPARE(model->operationErrorTitle(), QStringLiteral("Import Failed"));
        QVERIFY(model->pendingImport());
        QCOMPARE(model->pendingImport()->id, sheet);
        QCOMPARE(model->openedImage(), nullptr);
        QVERIFY(library.context().fetch<AtlasImage>().isEmpty());
        QCOMPARE(externalFileNames(library.folder()).size(), padding ? 3 : 0);
        if (then == 0) {
            model->dismissOperationError();
            model->commitImport(*model->pendingImport(), typed);
            QTRY_VERIFY(!model->pendingImport());
            QVERIFY(!model->showsOperationError());
            QCOMPARE(model->openedImage()->title(), QStringLiteral("f1"));
        } else if (then == 1) {
            model->cancelImport();
        } else {
            model.reset();
        }
        QCOMPARE(externalFileNames(library.folder()), storedFileNames(library.folder()));
        // What the store holds, read afresh.
        const std::unique_ptr<ModelContainer> reopened = library.reopen();
        const QList<AtlasImage *> stored = reopened->mainContext().fetch<AtlasImage>(&AtlasImage::sortIndex);
        QCOMPARE(stored.size(), then == 0 ? 3 : 0);
        for (qsizetype i = 0; i < stored.size(); ++i) {
            QCOMPARE(stored.at(i)->imageData(), std::optional<QByteArray>(bytes.at(i)));
            QCOMPARE(stored.at(i)->modality(), Modality::ct);
            QCOMPARE(stored.at(i)->series()->title(), QStringLiteral("Typed"));
        }
    }

    void aConfirmedImportKeepsTheSidebarSelection_data()
    {
        QTest::addColumn<int>("listing"); // 0 as it is, 1 searched for "Knee", 2 CT only
        QTest::addColumn<QString>("picked");
        QTest::newRow("series Knee selected") << 0 << "new1.png";
        QTest::newRow("search Knee") << 1 << "brain.png";
        QTest::newRow("CT filter, an MR file") << 2 << "mr scan.png";
    }

    // A new entry opens its first image and leaves the sidebar's selection
    // as it was, also when the search or a filter doesn't list the image.
    void aConfirmedImportKeepsTheSidebarSelection()
    {
        QFETCH(int, listing);
        QFETCH(QString, picked);
        auto &[library, state, model] = openWindow();
        Series *knee = library.series(QStringLiteral("Knee"));
        library.image(QStringLiteral("Left"), knee, 0, 0, Modality::ct);
        library.save();
        QTRY_VERIFY(model.library().isSearchIndexReady());
        model.setSidebarSelection({LibraryEntryID::series(knee->id())});
        if (listing == 1)
            model.setLibrarySearchText(QStringLiteral("Knee"));
        else if (listing == 2)
            model.setModalityFilter(Modality::ct);
        const QSet<LibraryEntryID> selected = model.sidebarSelection();
        model.beginImport();
        model.setIsImporting(false);
        pick(model, {file(picked)});
        QSignalSpy entries(&model, &ContentViewModel::entriesChanged);
        model.commitImport(*model.pendingImport(), model.pendingImport()->initialDraft());
        QVERIFY(!model.pendingImport());
        AtlasImage *imported = model.openedImage();
        QVERIFY(imported);
        QCOMPARE(imported->title(), QFileInfo(picked).completeBaseName());
        QCOMPARE(model.sidebarSelection(), selected);
        // Still so once the window has heard of the new image.
        QTRY_VERIFY(entries.count() > 0);
        QCOMPARE(model.openedImage(), imported);
        QCOMPARE(model.selectedImageID(), idText(imported));
        QCOMPARE(model.sidebarSelection(), selected);
    }

    // While picked files are read the window takes no other import: the
    // import commands and drops are refused, and the read's sheet comes
    // with every file read.
    void oneImportIsReadAtATime()
    {
        auto &[library, state, model] = openWindow();
        AtlasImage *hand = library.image(QStringLiteral("Hand"));
        library.save();
        model.setSidebarSelection(rowOf(hand));
        QList<QUrl> forty;
        for (int i = 1; i <= 40; ++i)
            forty << file(QStringLiteral("s%1.png").arg(i));
        QSignalSpy sheets(&model, &ContentViewModel::pendingImportChanged);
        {
            PoolHold held(WorkerPools::files());
            QVERIFY(held.holding());
            model.handleImportResult(forty);
            QVERIFY(model.isReadingImport());
            model.beginImport();
            QVERIFY(!model.isImporting());
            model.beginAddImages();
            QVERIFY(!model.isImporting());
            QVERIFY(!model.handleDrop({file(QStringLiteral("dropped.png"))}));
            model.handleImportResult({file(QStringLiteral("one.png"))});
            QCOMPARE(model.importDestination(), PendingImageImport::Destination::newEntry());
            held.release();
        }
        QTRY_VERIFY(!model.isReadingImport());
        WorkerPools::files().waitForDone();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(sheets.count(), 1);
        QCOMPARE(model.pendingImport()->images.size(), 40);
        QCOMPARE(model.pendingImport()->destination, PendingImageImport::Destination::newEntry());
        QCOMPARE(model.pendingImport()->images.first().title, QStringLiteral("s1"));
        // Read, the commands are taken again.
        model.cancelImport();
        model.beginAddImages();
        QVERIFY(model.isImporting());
    }

    void aFailedReadSaysWhyAndKeepsNothing_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QList<int>>("kinds"); // 0 a large picture, 1 no picture, 2 no such file
        QTest::addColumn<int>("barrier");      // 0 none, 1 the files can't grow, 2 the disk is full
        QTest::addColumn<QString>("message");
        QTest::newRow("several files fail")
            << QStringList{"b 20.png", "b 1.png", "b 10.png", "b 3.png", "b 2.png"} << QList<int>{1, 0, 1, 2, 0} << 0
            << QStringLiteral("The file \u201Cb 3.png\u201D couldn\u2019t be opened because there is no such file.");
        QTest::newRow("a staged copy can't grow") << QStringList{"c1.png", "c2.png"} << QList<int>{0, 0} << 1
                                                  << QStringLiteral("The library could not be saved. File too large.");
        QTest::newRow("the disk is full") << QStringList{"d1.png", "d2.png"} << QList<int>{0, 0} << 2
                                          << QStringLiteral("The library could not be saved. There isn\u2019t enough "
                                                            "space on the disk.");
    }

    // The first failure in file-name order is told, in the user's words,
    // and nothing of the read is kept: no sheet, no staged file, no record.
    void aFailedReadSaysWhyAndKeepsNothing()
    {
        QFETCH(QStringList, names);
        QFETCH(QList<int>, kinds);
        QFETCH(int, barrier);
        if (barrier == 2 && !s_privateMounts)
            QSKIP("a small disk needs the privilege to mount, which this process lacks");
        auto &[library, state, model] = openWindow(true);
        const QString filesFolder = externalFolderOf(library.folder());
        QVERIFY(QDir().mkpath(filesFolder));
        QList<QUrl> urls;
        for (qsizetype i = 0; i < names.size(); ++i) {
            if (kinds.at(i) == 2)
                urls << QUrl::fromLocalFile(m_files.filePath(names.at(i)));
            else
                urls << file(names.at(i), kinds.at(i) == 0 ? pngBytes() + QByteArray(ExternalStorage::fileThreshold, 'x')
                                                           : QByteArray("plain text"));
        }
        std::optional<SmallDisk> disk;
        std::optional<FileSizeLimit> limit;
        if (barrier == 2) {
            disk.emplace(filesFolder, ExternalStorage::fileThreshold);
            QVERIFY(disk->isMounted());
        } else if (barrier == 1) {
            limit.emplace(ExternalStorage::fileThreshold / 4);
        }
        model.handleImportResult(urls);
        QTRY_VERIFY(!model.isReadingImport());
        limit.reset();
        QVERIFY(model.showsOperationError());
        QCOMPARE(model.operationErrorTitle(), QStringLiteral("Import Failed"));
        QTEST(model.operationErrorMessage(), "message");
        QVERIFY(!model.pendingImport());
        QCOMPARE(externalFileNames(library.folder()), QStringList());
        QCOMPARE(QDir(filesFolder + QStringLiteral("/.staged")).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // Small files stay in memory, those of a library in memory too.
    void smallFilesAndLibrariesInMemoryKeepTheBytes_data()
    {
        QTest::addColumn<bool>("onDisk");
        QTest::addColumn<int>("padding");
        QTest::addColumn<bool>("staged");
        QTest::newRow("small, on disk") << true << 0 << false;
        QTest::newRow("large, on disk") << true << int(ExternalStorage::fileThreshold) << true;
        QTest::newRow("large, in memory") << false << int(ExternalStorage::fileThreshold) << false;
    }

    void smallFilesAndLibrariesInMemoryKeepTheBytes()
    {
        QFETCH(bool, onDisk);
        QFETCH(int, padding);
        QFETCH(bool, staged);
        auto &[library, state, model] = openWindow(onDisk);
        const QByteArray bytes = pngBytes(Qt::blue) + QByteArray(padding, 'y');
        pick(model, {file(QStringLiteral("k.png"), bytes)});
        const ImportedImage image = model.pendingImport()->images.first();
        QCOMPARE(image.stagedFile.isEmpty(), !staged);
        QCOMPARE(image.data, staged ? QByteArray() : bytes);
        model.commitImport(*model.pendingImport(), model.pendingImport()->initialDraft());
        QTRY_VERIFY(!model.pendingImport());
        QCOMPARE(library.context().fetch<AtlasImage>().first()->imageData(), std::optional<QByteArray>(bytes));
    }

    void searchesTypedBeforeTheIndexIsRead_data()
    {
        QTest::addColumn<bool>("onDisk");
        QTest::addColumn<bool>("changedMeanwhile"); // an image comes while the index is read
        QTest::addColumn<bool>("atOnce");           // a library small enough to wait for the read
        QTest::newRow("in memory") << false << false << false;
        QTest::newRow("on disk") << true << false << false;
        QTest::newRow("on disk, changed meanwhile") << true << true << false;
        QTest::newRow("in memory, changed meanwhile") << false << true << false;
        QTest::newRow("in memory, small") << false << false << true;
        QTest::newRow("on disk, small") << true << false << true;
    }

    // The index's read is held back. A small library's search waits for it
    // and is answered at once. A large one's runs in the background while
    // the event loop turns: no lists meanwhile (none of the search before),
    // then what the plain search finds once the read is in, and only then
    // does the search close the opened image it hides.
    void searchesTypedBeforeTheIndexIsRead()
    {
        QFETCH(bool, onDisk);
        QFETCH(bool, changedMeanwhile);
        QFETCH(bool, atOnce);
        TestLibrary library(onDisk);
        Series *knee = library.series(QStringLiteral("Knee"));
        AtlasImage *left = library.image(QStringLiteral("Left"), knee);
        library.point(left, QStringLiteral("Meniscus"));
        AtlasImage *hip = library.image(QStringLiteral("Hip"), nullptr, 0, 1);
        library.region(library.image(QStringLiteral("Ankle"), nullptr, 0, 2), QStringLiteral("Menisc talus"));
        library.image(QStringLiteral("Meniscal CT"), nullptr, 0, 3, Modality::ct);
        library.save();
        const QueryLimit reading(&LibraryQuery::answersAtOnceUpTo, &LibraryQuery::setAnswersAtOnceUpTo,
                                 atOnce ? LibraryQuery::answersAtOnceUpTo() : 0);
        PoolHold held(WorkerPools::computing());
        QVERIFY(held.holding());
        AppState state(m_defaults, m_accounts);
        ContentViewModel model(library.context(), state);
        model.setModalityFilter(Modality::mr);
        const QStringList shown = entryTitles(model.libraryEntries());
        QCOMPARE(shown, QStringList({"Knee", "Hip", "Ankle"}));
        model.setSidebarSelection({LibraryDerivation::entryID(*hip), LibraryEntryID::series(knee->id())});
        model.openImage(hip);
        QSignalSpy entriesChanged(&model, &ContentViewModel::entriesChanged);
        QSignalSpy arrived(&model.library(), &LibraryQuery::searchResultsArrived);
        for (const char *typed : {"m", "me", "menisc"})
            model.setLibrarySearchText(QString::fromLatin1(typed));
        QCOMPARE(entriesChanged.count(), 3);
        const auto plainSearch = [&] {
            const LibraryDerivation plain(model.filters());
            return entryTitles(plain.libraryEntries(library.context().fetch<AtlasImage>(&AtlasImage::createdAt),
                                                    library.context().fetch<Series>(&Series::createdAt)));
        };
        if (atOnce) {
            QVERIFY(model.library().isSearchIndexReady());
            QVERIFY(!model.isSearching());
            QCOMPARE(entryTitles(model.libraryEntries()), plainSearch());
            QCOMPARE(imageTitles(model.visibleImages()), QStringList{"Left"});
            QCOMPARE(model.openedImage(), nullptr);
            held.release();
            QCOMPARE(arrived.count(), 0);
            return;
        }
        int turns = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&] { ++turns; });
        ticker.start(1);
        QTRY_VERIFY(turns >= 20);
        if (changedMeanwhile) {
            library.image(QStringLiteral("Menisc new"), nullptr, 0, 4);
            library.save();
            QTRY_COMPARE(entriesChanged.count(), 4);
        }
        QVERIFY(!model.library().isSearchIndexReady());
        QCOMPARE(arrived.count(), 0);
        QVERIFY(model.isSearching());
        QVERIFY(model.libraryEntries().isEmpty());
        QVERIFY(model.visibleImages().isEmpty());
        QCOMPARE(model.openedImage(), hip);
        held.release();
        QTRY_COMPARE(arrived.count(), 1);
        QVERIFY(!model.isSearching());
        QCOMPARE(entryTitles(model.libraryEntries()), plainSearch());
        QCOMPARE(entryTitles(model.libraryEntries()).size(), changedMeanwhile ? 3 : 2);
        QCOMPARE(imageTitles(model.visibleImages()), QStringList{"Left"});
        // The search hid the opened image.
        QCOMPARE(model.openedImage(), nullptr);
        QVERIFY(!model.focusGridOnAppear());
        QCOMPARE(entriesChanged.count(), changedMeanwhile ? 5 : 4);
    }

    // While a search runs in the background (the index still being read, or
    // its texts too long to scan at once) its lists are empty and nothing
    // acts on the lists of the search before: the grid selection and the
    // opened image stay until the results say they are hidden, nothing can
    // be added or dropped, the arrow keys step nowhere. Once the results
    // are in, the changes made meanwhile act on them as they would have at
    // once.
    void aSearchInTheBackgroundActsOnlyOnItsResults_data()
    {
        QTest::addColumn<bool>("indexRead"); // false: typed before the index is read
        QTest::addColumn<QString>("action");
        for (const bool indexRead : {false, true}) {
            const char *cause = indexRead ? "scanned" : "read";
            for (const char *action : {"close", "keep", "hide", "add", "drop", "select", "step"})
                QTest::addRow("%s: %s", cause, action) << indexRead << QString::fromLatin1(action);
        }
    }
    void aSearchInTheBackgroundActsOnlyOnItsResults()
    {
        QFETCH(bool, indexRead);
        QFETCH(QString, action);
        const QueryLimit reading(&LibraryQuery::answersAtOnceUpTo, &LibraryQuery::setAnswersAtOnceUpTo, 0);
        const QueryLimit scanning(&LibraryQuery::scanOffThreadFrom, &LibraryQuery::setScanOffThreadFrom,
                                  indexRead ? 0 : LibraryQuery::scanOffThreadFrom());
        TestLibrary library;
        Series *knee = library.series(QStringLiteral("Knee"));
        AtlasImage *left = library.image(QStringLiteral("Left"), knee);
        library.point(left, QStringLiteral("Tibia"));
        AtlasImage *right = library.image(QStringLiteral("Right"), knee, 1);
        AtlasImage *hip = library.image(QStringLiteral("Hip"), nullptr, 0, 1);
        library.region(hip, QStringLiteral("Tibial head"));
        AtlasImage *alpha = library.image(QStringLiteral("Alpha"), nullptr, 0, 2);
        library.save();
        AppState state(m_defaults, m_accounts);
        ContentViewModel model(library.context(), state);
        if (indexRead)
            QTRY_VERIFY(model.library().isSearchIndexReady());
        const LibraryEntryID kneeRow = LibraryEntryID::series(knee->id());
        model.setSidebarSelection({kneeRow});
        model.openImage(action == QLatin1String("keep") || action == QLatin1String("select") ? left : right);
        if (action == QLatin1String("hide"))
            model.returnToGrid();
        QCOMPARE(imageTitles(model.visibleImages()), QStringList({"Left", "Right"}));
        QVERIFY(model.canAddImages());

        QSignalSpy arrived(&model.library(), &LibraryQuery::searchResultsArrived);
        model.setLibrarySearchText(QStringLiteral("tibia"));
        QVERIFY(model.library().isSearchIndexReady() == indexRead);
        QVERIFY(model.isSearching());
        QVERIFY(model.libraryEntries().isEmpty());
        QVERIFY(model.visibleImages().isEmpty());
        QVERIFY(!model.canAddImages());
        AtlasImage *const opened = model.openedImage();
        AtlasImage *const gridSelected = model.gridSelection();
        if (action == QLatin1String("add")) {
            model.beginAddImages();
            QVERIFY(!model.isImporting());
        } else if (action == QLatin1String("drop")) {
            QVERIFY(!model.handleDrop({file(QStringLiteral("dropped.png"))}));
            QVERIFY(!model.isReadingImport());
        } else if (action == QLatin1String("select")) {
            model.setSidebarSelection({LibraryDerivation::entryID(*hip)});
        } else if (action == QLatin1String("step")) {
            QVERIFY(!model.canAdvanceOpenedImage(-1));
            model.advanceOpenedImage(-1);
        }
        QCOMPARE(model.openedImage(), opened);
        QCOMPARE(model.gridSelection(), gridSelected);
        QVERIFY(model.focusGridOnAppear());

        QVERIFY(arrived.wait());
        QVERIFY(!model.isSearching());
        QCOMPARE(entryTitles(model.libraryEntries()), QStringList({"Knee", "Hip"}));
        if (action == QLatin1String("close") || action == QLatin1String("step")) {
            // The search hid it: back to the grid, the focus left alone.
            QCOMPARE(model.openedImage(), nullptr);
            QVERIFY(!model.focusGridOnAppear());
        } else if (action == QLatin1String("keep")) {
            QCOMPARE(model.openedImage(), left);
            QCOMPARE(model.gridSelection(), left);
        } else if (action == QLatin1String("hide")) {
            QCOMPARE(model.gridSelection(), nullptr);
        } else if (action == QLatin1String("add") || action == QLatin1String("drop")) {
            QVERIFY(model.canAddImages());
            QCOMPARE(model.importDestinationForSelection()->seriesValue(), knee);
        } else if (action == QLatin1String("select")) {
            // The search left Left open; the new row then opened its first image.
            QCOMPARE(model.openedImage(), hip);
            QCOMPARE(model.gridSelection(), hip);
        }
        QCOMPARE(arrived.count(), 1);
        // Each waiting handler ran once: a later change of the library (which
        // runs none of them) leaves an image the search hides open.
        model.setSidebarSelection({kneeRow});
        model.openImage(right);
        QSignalSpy changed(&model, &ContentViewModel::entriesChanged);
        alpha->setTitle(QStringLiteral("Alpha 2"));
        QTRY_VERIFY(changed.count() >= 1 && !model.isSearching());
        QCoreApplication::processEvents();
        QCOMPARE(model.openedImage(), right);
    }

    void duplicatesAreSelected()
    {
        auto &[library, state, model] = openWindow();
        Series *series = library.series(QStringLiteral("S"));
        AtlasImage *a = library.image(QStringLiteral("a"), series);
        AtlasImage *foot = library.image(QStringLiteral("Foot"), nullptr, 0, 1);
        library.save();
        model.duplicateImage(a);
        QCOMPARE(model.gridSelection()->title(), QStringLiteral("a Copy"));
        model.setSidebarSelection({LibraryEntryID::image(foot->id())});
        model.duplicateImage(foot);
        QVERIFY(foot->series());
        QCOMPARE(model.sidebarSelection(), rowOf(foot));
        QCOMPARE(model.gridSelection()->series(), foot->series());
        QVERIFY(model.gridSelection() != foot);
        model.duplicateSeries(series);
        const QList<Series *> all = library.context().fetch<Series>();
        const auto copy = std::find_if(all.cbegin(), all.cend(),
                                       [](const Series *s) { return s->title() == QStringLiteral("S Copy"); });
        QVERIFY(copy != all.cend());
        QCOMPARE(model.sidebarSelection(), (QSet<LibraryEntryID>{LibraryEntryID::series((*copy)->id())}));
    }
};

QTEST_GUILESS_MAIN(ContentViewModelTest)
#include "tst_contentviewmodel.moc"
