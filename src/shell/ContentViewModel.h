#pragma once

#include "browser/ImportedImage.h"
#include "browser/MetadataDraft.h"
#include "browser/PendingImageImport.h"
#include "model/LibraryEntry.h"
#include "shell/LibraryArchiveExport.h"
#include "shell/LibraryArchiveShare.h"
#include "shell/LibraryFilters.h"
#include "shell/LibraryOperations.h"
#include "shell/LibraryQuery.h"

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
class Series;
class ThumbnailCache;

// The state of one main window, without any widget: its selections, the
// opened image, search and filters, and every sheet, alert and dialog. It
// reads the library through its LibraryQuery and changes it through its
// LibraryOperations, and keeps its own state in step with both: what an
// operation made is selected or opened, what left the library is closed.
// The window's widgets show what this holds, call its intents, and follow
// its signals. Main thread only.
//
// An operation's failure shows the operation-error alert. Objects that a
// sheet or dialog waits on are checked again when the user confirms; one
// removed in the meantime gives the operation's alert.
class ContentViewModel : public QObject {
    Q_OBJECT
public:
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

    AppState &appState() const { return m_appState; }
    // The library as this window reads it, and the operations that change it.
    LibraryQuery &library() { return m_library; }
    LibraryOperations &operations() { return m_operations; }

    // --- Window state ------------------------------------------------------

    // The window's restorable selected image: the opened image's id as
    // upper-case UUID text, empty when none is open. Set it once from the
    // restored window state before the window appears.
    QString selectedImageID() const { return m_selectedImageID; }
    void setSelectedImageID(const QString &text);

    // The window's content appeared: reopens the saved image soon after
    // (on the event loop, as an appearance task would).
    void contentDidAppear();

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

    bool isLibraryFiltersExpanded() const { return m_filtersExpanded; }
    void setLibraryFiltersExpanded(bool expanded);

    // The sidebar's entries: searched, filtered, ordered.
    const QList<LibraryEntry> &libraryEntries();
    // The grid's images: the listed images of the selected entries.
    const QList<AtlasImage *> &visibleImages();
    // The search runs in the background (a large library; see
    // LibraryQuery): until its results are in, both lists are empty, so
    // nothing is added, dropped, opened or stepped through, and the handlers
    // that keep the grid selection and the opened image visible after a
    // search, filter or selection change wait for the results to act on.
    bool isSearching();
    // Exactly one listed entry selected: where "Add Images" and drops go.
    std::optional<PendingImageImport::Destination> importDestinationForSelection();
    bool canAddImages() { return importDestinationForSelection().has_value(); }
    // Exactly one series selected.
    bool canReorder() const;
    bool hasSelection() const { return !m_sidebarSelection.isEmpty(); }

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
    // The same from the space key, which edit mode keeps for itself.
    bool canReturnToGridFromKeyboard() const;
    void returnToGridFromKeyboard();
    // The arrow keys: opens the visible image `offset` places away.
    bool canAdvanceOpenedImage(int offset);
    void advanceOpenedImage(int offset);

    // Reopens the saved image (not while one is open) and selects its
    // sidebar row.
    void restoreOpenedImage();

    // --- Import ------------------------------------------------------------

    bool isImporting() const { return m_isImporting; }
    // The file importer closed (or opened).
    void setIsImporting(bool importing);
    PendingImageImport::Destination importDestination() const { return m_importDestination; }
    // One import at a time: while picked files are read (isReadingImport()),
    // the window is busy and the three below, and another pick, are not
    // taken.
    //
    // "Import images": a new entry, then the file importer.
    void beginImport();
    // "Add Images": the selection's destination, then the file importer;
    // nothing without a destination.
    void beginAddImages();
    // Files dropped on the grid: taken (true) only with an add destination
    // and at least one importable file.
    bool handleDrop(const QList<QUrl> &urls);
    // The importer's pick: reads the files on a worker thread, then parks
    // them as the pending import (or reports "Import Failed"; nothing of a
    // failed read is kept).
    void handleImportResult(const QList<QUrl> &urls);
    // The importer failed with the given description.
    void handleImportFailure(const QString &errorDescription);
    // Files are being read for an import.
    bool isReadingImport() const { return m_readingImport; }
    // Where the thumbnails made while reading go once the images are
    // imported: ThumbnailCache::shared() unless set. Must outlive this object.
    void setThumbnailCache(ThumbnailCache *cache) { m_thumbnails = cache; }

    const std::optional<PendingImageImport> &pendingImport() const { return m_pendingImport; }
    ImportSheet importSheet(const PendingImageImport &pending) const;
    // Closes the sheet; a commit still writing its files is dropped.
    void cancelImport();
    // The import sheet's confirmation, with the normalised draft. Large
    // pictures are first written to the library's files on a worker thread
    // (isCommittingImport() meanwhile, the sheet still up); then, when the
    // sheet is still the one confirmed, the images are made and saved, the
    // sheet closes and the first new image opens; the sidebar's selection
    // changes only for a standalone image, whose row becomes its series'.
    // A failure leaves the sheet up behind the alert, its staged files
    // kept until it is confirmed again, cancelled or the window closes.
    void commitImport(const PendingImageImport &pending, const MetadataDraft &draft);
    bool isCommittingImport() const { return m_committingImport.has_value(); }

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
    void removeEntries(QList<LibraryEntry> entries);
    void deleteImages(QList<AtlasImage *> images);

    // --- Duplicate ---------------------------------------------------------

    // The copy is selected in the grid; a standalone image that became a
    // series keeps its row selected as that series.
    void duplicateImage(AtlasImage *image);
    // The copy's row is selected.
    void duplicateSeries(Series *series);

    // --- Export of rows ----------------------------------------------------

    // This window's export: its save dialog and its "Export Failed" alert.
    LibraryArchiveExport &archiveExport() { return m_archiveExport; }
    // The rows' "Export…": an archive of the entries (an image with its
    // series' record, a series with all its images), proposed under their
    // default archive name. Nothing without entries.
    void exportEntries(const QList<LibraryEntry> &entries);

    // --- Sharing of rows ---------------------------------------------------

    // This window's shares; their failures show as "Share Failed".
    LibraryArchiveShare &archiveShare() { return m_archiveShare; }
    // The rows' "Share" items: an archive of the entries, built as for an
    // export under the same name, written and handed to `target`. Nothing
    // without entries.
    void shareEntries(const QList<LibraryEntry> &entries, SharingService::Target target);

    // --- Operation-error alert ---------------------------------------------

    QString operationErrorTitle() const { return m_operationErrorTitle; }
    QString operationErrorMessage() const { return m_operationErrorMessage; }
    bool showsOperationError() const { return m_showsOperationError; }
    // Shows the alert, replacing one still shown: the failures of the
    // model's operations and of what the window's image screen was asked.
    void reportOperationError(const QString &title, const QString &message);
    void dismissOperationError();

signals:
    // The sidebar's entries may have changed: read libraryEntries() again.
    // Model changes are announced once per turn of the event loop; search
    // and filter changes at once, and again when a search that ran in the
    // background gets its results. Always followed by visibleImagesChanged.
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
    void isCommittingImportChanged(bool committing);
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

    // Sets the selection and tells of it; its handlers are the caller's to
    // run (sidebarSelectionDidChange). Whether it changed.
    bool assignSidebarSelection(const QSet<LibraryEntryID> &selection);
    void sidebarSelectionDidChange();
    void searchAndFiltersDidChange();
    // Runs the change handlers that wait for a search running in the
    // background, once it has its results.
    void runWaitingHandlers();
    void libraryDidChange(bool imagesChanged);
    void searchResultsDidArrive();
    void setOpenedImage(AtlasImage *image);
    // Lets go of the grid selection and of the opened image once they have
    // left the library; closing the opened image ends edit mode.
    void forgetDeletedImages();
    // The grid selection and the opened image hidden from `visible` (the
    // grid's images for the selection as it is, or as it was) go.
    void clearHiddenGridSelection();
    void clearHiddenGridSelection(const QList<AtlasImage *> &visible);
    void closeHiddenOpenedImage(const QList<AtlasImage *> &visible);
    void keepOpenedImageVisible();
    // The read's result; none when the read failed in a way of its own.
    void applyImportRead(const std::optional<ImportedImagesResult> &result,
                         const PendingImageImport::Destination &destination);
    void setCommittingImport(const std::optional<QUuid> &id);
    void finishImport(const PendingImageImport &pending, const MetadataDraft &draft);
    void changeFilters(const std::function<void(LibraryFilters &)> &change);

    AppState &m_appState;
    LibraryQuery m_library;
    LibraryOperations m_operations;
    LibraryArchiveExport m_archiveExport;
    LibraryArchiveShare m_archiveShare;

    QString m_selectedImageID;
    QSet<LibraryEntryID> m_sidebarSelection;
    int m_operationDepth = 0;
    bool m_selectionChangedInOperation = false;
    // Change handlers waiting for a search's results: those of the last
    // search and filter change, with the sidebar selection as it was then,
    // and those of a sidebar selection change.
    std::optional<QSet<LibraryEntryID>> m_searchChangeWaits;
    bool m_selectionChangeWaits = false;
    AtlasImage *m_gridSelection = nullptr;
    bool m_focusGridOnAppear = true;
    AtlasImage *m_openedImage = nullptr;
    bool m_isImporting = false;
    PendingImageImport::Destination m_importDestination = PendingImageImport::Destination::newEntry();
    std::optional<PendingImageImport> m_pendingImport;
    bool m_readingImport = false;
    ThumbnailCache *m_thumbnails = nullptr;
    std::optional<QUuid> m_committingImport; // the pending import whose files are written
    AtlasImage *m_editingImage = nullptr;
    Series *m_renamingSeries = nullptr;
    QString m_seriesRenameTitle;
    QList<LibraryEntry> m_pendingDeletion; // while the confirmation is shown
    QString m_operationErrorTitle;
    QString m_operationErrorMessage;
    bool m_showsOperationError = false;
    LibraryFilters m_filters;
    bool m_filtersExpanded = false;
};
