#pragma once

#include "browser/ImportedImage.h"
#include "browser/MetadataDraft.h"
#include "browser/PendingImageImport.h"
#include "model/LibraryEntry.h"
#include "shell/LibraryFilters.h"
#include "shell/LibrarySearchIndex.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <functional>
#include <optional>

class AppState;
class AtlasImage;
class ModelContext;
class ModelObject;
class Series;

// Everything one main window knows and does, without any widget: its state
// (selections, the opened image, search and filters, every sheet, alert and
// dialog), the library lists derived from the store, and the library
// operations (import, edit, rename, delete, duplicate, reorder, navigation).
// The window's widgets show what this holds, call its operations, and follow
// its signals. Main thread only.
//
// Derived lists (entries, visible images) are computed on demand and kept
// until anything they depend on changes: any change of the model context,
// the search text, a filter or the sidebar selection drops them, so every
// read reflects the current model. The images' search texts are kept folded
// in a LibrarySearchIndex, each dropped when its image, series title or
// annotation labels change.
//
// Each operation saves the context once at its end. A failed save rolls the
// context back to the last saved state before the operation-error alert is
// shown, so nothing of a failed operation lingers to be written later.
// Objects that a sheet or dialog waits on are checked again when the user
// confirms; one removed in the meantime gives the operation's alert.
class ContentViewModel : public QObject {
    Q_OBJECT
public:
    enum class SizeClass { compact, regular };
    enum class KeyPress { handled, ignored };

    // What the import sheet shows for a pending import.
    struct ImportSheet {
        QString navigationTitle; // "Import Image" / "Import Series" / "Add Image" / "Add Images"
        QString actionTitle;     // "Import" or "Add"
        qsizetype imageCount = 0;
        QString headerSubtitle;
        MetadataDraft draft;
    };
    // What the metadata sheet of one image shows.
    struct EditSheet {
        QString navigationTitle;  // "Edit"
        QString headerSubtitle;   // "Metadata applies to this image."
        QString actionTitle;      // "Save"
        qsizetype imageCount = 1;
        MetadataDraft draft;
    };

    // Both must outlive this object.
    ContentViewModel(ModelContext &context, AppState &appState, QObject *parent = nullptr);
    ~ContentViewModel() override;

    ModelContext &context() const { return m_context; }
    AppState &appState() const { return m_appState; }

    // --- Window state ------------------------------------------------------

    // The window's restorable selected image: the opened image's id as
    // upper-case UUID text, empty when none is open. Set it once from the
    // restored window state before the window appears.
    QString selectedImageID() const { return m_selectedImageID; }
    void setSelectedImageID(const QString &text);

    std::optional<SizeClass> horizontalSizeClass() const { return m_sizeClass; }
    void setHorizontalSizeClass(std::optional<SizeClass> sizeClass) { m_sizeClass = sizeClass; }

    // The window's content appeared: reopens the saved image soon after
    // (on the event loop, as an appearance task would).
    void contentDidAppear();

    // --- Library -----------------------------------------------------------

    // Every image and every series, oldest first.
    const QList<AtlasImage *> &images();
    const QList<Series *> &allSeries();
    bool hasContent();      // an image or a series exists
    bool hasImages();       // an image exists

    // --- Search, filters and derived lists ---------------------------------

    QString librarySearchText() const { return m_filters.searchText; }
    void setLibrarySearchText(const QString &text);
    std::optional<Modality> modalityFilter() const { return m_filters.modality; }
    void setModalityFilter(std::optional<Modality> value);
    std::optional<Region> regionFilter() const { return m_filters.region; }
    void setRegionFilter(std::optional<Region> value);
    std::optional<Plane> planeFilter() const { return m_filters.plane; }
    void setPlaneFilter(std::optional<Plane> value);
    std::optional<AgeSpec::Kind> ageKindFilter() const { return m_filters.ageKind; }
    void setAgeKindFilter(std::optional<AgeSpec::Kind> value);
    std::optional<Sex> sexFilter() const { return m_filters.sex; }
    void setSexFilter(std::optional<Sex> value);
    const LibraryFilters &filters() const { return m_filters; }
    // All at once (one change).
    void setFilters(const LibraryFilters &filters);
    bool hasActiveFilters() const { return m_filters.hasActiveFilters(); }
    // The five filters become absent; the search text and selection stay.
    void clearFilters();
    QList<std::optional<QString>> searchAndFilterSignature() const { return m_filters.signature(); }

    bool isLibraryFiltersExpanded() const { return m_filtersExpanded; }
    void setLibraryFiltersExpanded(bool expanded);

    // The sidebar's entries: searched, filtered, ordered.
    const QList<LibraryEntry> &libraryEntries();
    // The grid's images: the listed images of the selected entries.
    const QList<AtlasImage *> &visibleImages();
    // Exactly one listed entry selected: where "Add Images" and drops go.
    std::optional<PendingImageImport::Destination> importDestinationForSelection();
    bool isSingleSeriesSelected() const;
    bool canAddImages() { return importDestinationForSelection().has_value(); }
    bool canReorder() const { return isSingleSeriesSelected(); }
    bool hasSelection() const { return !m_sidebarSelection.isEmpty(); }
    static LibraryEntryID entryID(const AtlasImage &image);
    static QList<AtlasImage *> orderedImages(const Series &series);

    // --- Selection and the opened image ------------------------------------

    QSet<LibraryEntryID> sidebarSelection() const { return m_sidebarSelection; }
    void setSidebarSelection(const QSet<LibraryEntryID> &selection);
    AtlasImage *gridSelection() const { return m_gridSelection; }
    void setGridSelection(AtlasImage *image);
    AtlasImage *openedImage() const { return m_openedImage; }
    // Whether the grid takes keyboard focus the next time it appears.
    bool focusGridOnAppear() const { return m_focusGridOnAppear; }
    void setFocusGridOnAppear(bool focus);

    // The grid's open command: selects the image in the grid and opens it.
    void openImage(AtlasImage *image);
    // Back to the grid, selecting the image that was open.
    void returnToGrid();
    // The same from the space key; ignored while editing.
    KeyPress returnToGridFromKeyboard();
    // The arrow keys: opens the visible image `offset` places away.
    KeyPress advanceOpenedImage(int offset);

    // Reopens the saved image (not in the compact size class, not while one
    // is open) and selects its sidebar row.
    void restoreOpenedImage();
    // Closes the opened image when it left the library, ending edit mode.
    void closeDeletedOpenedImage();
    void clearHiddenGridSelection();
    void closeHiddenOpenedImage();
    void keepOpenedImageVisible();

    // --- Import ------------------------------------------------------------

    bool isImporting() const { return m_isImporting; }
    // The file importer closed (or opened).
    void setIsImporting(bool importing);
    PendingImageImport::Destination importDestination() const { return m_importDestination; }
    // "Import images": a new entry, then the file importer.
    void beginImport();
    // "Add Images": the selection's destination, then the file importer;
    // nothing without a destination.
    void beginAddImages();
    // Files dropped on the grid: taken (true) only with an add destination
    // and at least one importable file.
    bool handleDrop(const QList<QUrl> &urls);
    // The importer's pick: reads the files on a worker thread, then parks
    // them as the pending import (or reports "Import Failed").
    void handleImportResult(const QList<QUrl> &urls);
    // The importer failed with the given description.
    void handleImportFailure(const QString &errorDescription);
    // Files are being read for an import.
    bool isReadingImport() const { return m_readingImports > 0; }

    const std::optional<PendingImageImport> &pendingImport() const { return m_pendingImport; }
    ImportSheet importSheet(const PendingImageImport &pending) const;
    void cancelImport();
    // The import sheet's confirmation, with the normalised draft.
    void commitImport(const PendingImageImport &pending, const MetadataDraft &draft);

    // --- Metadata sheet of one image ---------------------------------------

    AtlasImage *editingImage() const { return m_editingImage; }
    void beginEditImage(AtlasImage *image);
    void cancelEditImage();
    EditSheet editSheet(const AtlasImage &image) const;
    void saveEditedImage(AtlasImage *image, const MetadataDraft &draft);

    // --- Rename ------------------------------------------------------------

    Series *renamingSeries() const { return m_renamingSeries; }
    QString seriesRenameTitle() const { return m_seriesRenameTitle; }
    void setSeriesRenameTitle(const QString &title);
    void beginRename(Series *series);
    // The alert closed (by either button).
    void dismissRename();
    void renameSeries(Series *series, const QString &text);

    // --- Deletion ----------------------------------------------------------

    // Two or more entries ask first; fewer are removed at once.
    void requestDeletion(const QList<LibraryEntry> &entries);
    const QList<LibraryEntry> &pendingDeletion() const { return m_pendingDeletion; }
    bool isConfirmingDeletion() const { return !m_pendingDeletion.isEmpty(); }
    // "Delete N Series?" or "Delete N Items?".
    QString deletionConfirmationTitle() const;
    // "This will delete N images."
    QString deletionConfirmationMessage() const;
    void confirmDeletion();
    void cancelDeletion();
    void removeEntries(const QList<LibraryEntry> &entries);
    void deleteImages(const QList<AtlasImage *> &images);

    // --- Duplicate and reorder ---------------------------------------------

    void duplicateImage(AtlasImage *image);
    void duplicateSeries(Series *series);
    bool canMoveImage(AtlasImage *image, int offset) const;
    void moveImage(AtlasImage *image, int offset);
    void reorderImages(const QList<AtlasImage *> &images);

    // A copy of the image with its points and regions, inserted into the
    // context, in no series; not saved. Title and sort index default to the
    // source's.
    static AtlasImage *deepCopy(ModelContext &context, AtlasImage &source,
                                const std::optional<QString> &title = std::nullopt,
                                std::optional<qint64> sortIndex = std::nullopt);

    // --- Operation-error alert ---------------------------------------------

    QString operationErrorTitle() const { return m_operationErrorTitle; }
    QString operationErrorMessage() const { return m_operationErrorMessage; }
    bool showsOperationError() const { return m_showsOperationError; }
    void dismissOperationError();

    // The message when an object an operation waited on left the library.
    static QString missingObjectMessage();

    // Whether the library's search texts are all made, so that the next
    // search only scans them. They are made while the event loop is idle,
    // a slice at a time, after the window is made and after model changes.
    bool isSearchIndexReady() { return m_searchIndex.isReady(images()); }

signals:
    // The sidebar's entries may have changed: read libraryEntries() again.
    // Model changes are announced once per turn of the event loop; search
    // and filter changes at once. Always followed by visibleImagesChanged.
    void entriesChanged();
    // The grid's images may have changed (entries or sidebar selection).
    void visibleImagesChanged();
    void searchAndFiltersChanged();
    void filtersExpandedChanged(bool expanded);
    // Followed by visibleImagesChanged, at the end of the operation when
    // inside one.
    void sidebarSelectionChanged();
    void gridSelectionChanged(AtlasImage *image);
    void openedImageChanged(AtlasImage *image);
    void selectedImageIDChanged(const QString &text);
    void focusGridOnAppearChanged(bool focus);
    // Show or hide the file importer.
    void isImportingChanged(bool importing);
    void isReadingImportChanged(bool reading);
    // The import sheet opens (a pending import is set) or closes.
    void pendingImportChanged();
    void editingImageChanged(AtlasImage *image);
    void renamingSeriesChanged(Series *series);
    void seriesRenameTitleChanged(const QString &title);
    void deletionConfirmationChanged(bool confirming);
    void operationErrorChanged(bool shows);

private:
    // Marks one user operation; sidebar-selection handlers run at its end.
    class OperationScope {
    public:
        explicit OperationScope(ContentViewModel &model);
        ~OperationScope();
        OperationScope(const OperationScope &) = delete;
        OperationScope &operator=(const OperationScope &) = delete;

    private:
        ContentViewModel &m_model;
    };

    void sidebarSelectionDidChange();
    void setOpenedImage(AtlasImage *image);
    void applyImportRead(const ImportedImagesResult &result, const PendingImageImport::Destination &destination);
    void reportOperationError(const QString &title, const QString &message);
    // Saves; on failure rolls back and reports under `title`.
    bool saveOrReport(const QString &title);
    // All objects still in the library; otherwise reports under `title`.
    bool requireInLibrary(std::initializer_list<const ModelObject *> objects, const QString &title);

    void changeFilters(const std::function<void(LibraryFilters &)> &change);
    void invalidateDerived();
    void modelDidChange(bool imageSetMayHaveChanged, bool queryOrderMayHaveChanged);
    void libraryCheck();
    void scheduleSearchIndexPreparation();
    QList<QUuid> imageIdentifiers();

    AtlasImage *makeImage(const ImportedImage &file, const QString &title, const MetadataDraft &draft,
                          qint64 sortIndex);
    AtlasImage *importAsNewEntry(const QList<ImportedImage> &files, const MetadataDraft &draft);
    AtlasImage *addImages(const QList<ImportedImage> &files, Series &series, const MetadataDraft &draft);
    AtlasImage *addImages(AtlasImage &standalone, const QList<ImportedImage> &files, const MetadataDraft &draft,
                          Series *&newSeries);
    void duplicateStandaloneImage(AtlasImage *image);
    static void renumberImages(const QList<AtlasImage *> &images);

    ModelContext &m_context;
    AppState &m_appState;

    QString m_selectedImageID;
    std::optional<SizeClass> m_sizeClass;
    QSet<LibraryEntryID> m_sidebarSelection;
    int m_operationDepth = 0;
    bool m_selectionChangedInOperation = false;
    AtlasImage *m_gridSelection = nullptr;
    bool m_focusGridOnAppear = true;
    AtlasImage *m_openedImage = nullptr;
    bool m_isImporting = false;
    PendingImageImport::Destination m_importDestination = PendingImageImport::Destination::newEntry();
    std::optional<PendingImageImport> m_pendingImport;
    int m_readingImports = 0;
    AtlasImage *m_editingImage = nullptr;
    Series *m_renamingSeries = nullptr;
    QString m_seriesRenameTitle;
    QList<LibraryEntry> m_pendingDeletion; // while the confirmation is shown
    QString m_operationErrorTitle;
    QString m_operationErrorMessage;
    bool m_showsOperationError = false;
    LibraryFilters m_filters;
    bool m_filtersExpanded = false;

    // Caches, dropped on every change they depend on.
    LibrarySearchIndex m_searchIndex;
    bool m_queriesValid = false;
    QList<AtlasImage *> m_images;
    QList<Series *> m_allSeries;
    bool m_searchIndexPreparationQueued = false;
    std::optional<QList<LibraryEntry>> m_entries;
    // The entries with no search and no filter, kept until the model changes.
    std::optional<QList<LibraryEntry>> m_unfilteredEntries;
    std::optional<QList<AtlasImage *>> m_visibleImages;

    // Model changes are looked at once per turn of the event loop.
    bool m_libraryCheckQueued = false;
    bool m_imageSetMayHaveChanged = false;
    QList<QUuid> m_knownImageIDs;
};
