#include "shell/ContentViewModel.h"

#include "browser/ThumbnailCache.h"
#include "model/AtlasImage.h"
#include "model/JsonCoding.h"
#include "model/SaveOrRollBack.h"
#include "model/Series.h"
#include "platform/LocalizedText.h"
#include "platform/objectstore/ModelContext.h"
#include "shell/AppState.h"
#include "shell/LibraryDerivation.h"

#include <QFutureWatcher>
#include <QMetaObject>

#include <utility>

namespace {

const QString importFailed = QStringLiteral("Import Failed");

} // namespace

ContentViewModel::ContentViewModel(ModelContext &context, AppState &appState, QObject *parent)
    : QObject(parent)
    , m_appState(appState)
    , m_library(context)
    , m_operations(context)
{
    connect(&m_library, &LibraryQuery::libraryChanged, this, &ContentViewModel::libraryDidChange);
    connect(&m_library, &LibraryQuery::searchResultsArrived, this, &ContentViewModel::searchResultsDidArrive);
    connect(&m_operations, &LibraryOperations::operationFailed, this, &ContentViewModel::reportOperationError);
    connect(&m_archiveShare, &LibraryArchiveShare::shareFailed, this, &ContentViewModel::reportOperationError);
}

ContentViewModel::~ContentViewModel() = default;

// Window state

void ContentViewModel::setSelectedImageID(const QString &text)
{
    if (m_selectedImageID == text)
        return;
    m_selectedImageID = text;
    emit selectedImageIDChanged(text);
}

void ContentViewModel::contentDidAppear()
{
    QMetaObject::invokeMethod(this, &ContentViewModel::restoreOpenedImage, Qt::QueuedConnection);
}

// The library

void ContentViewModel::libraryDidChange(bool imagesChanged)
{
    // A saved image that arrives opens; images that left close.
    if (imagesChanged)
        restoreOpenedImage();
    forgetDeletedImages();
    runWaitingHandlers();
    emit entriesChanged();
    emit visibleImagesChanged();
}

void ContentViewModel::searchResultsDidArrive()
{
    // The changes made while the search ran act now on its results, as they
    // would have at once.
    runWaitingHandlers();
    emit entriesChanged();
    emit visibleImagesChanged();
}

void ContentViewModel::runWaitingHandlers()
{
    if ((!m_searchChangeWaits && !m_selectionChangeWaits) || isSearching())
        return;
    // In the order they would have run at once: the search's handlers on
    // its results for the selection of the time, then the selection's.
    if (const std::optional<QSet<LibraryEntryID>> selection = std::exchange(m_searchChangeWaits, std::nullopt)) {
        const QList<AtlasImage *> visible = LibraryDerivation::visibleImages(libraryEntries(), *selection);
        clearHiddenGridSelection(visible);
        closeHiddenOpenedImage(visible);
    }
    if (std::exchange(m_selectionChangeWaits, false)) {
        clearHiddenGridSelection();
        keepOpenedImageVisible();
    }
}

const QList<LibraryEntry> &ContentViewModel::libraryEntries()
{
    return m_library.entries(m_filters);
}

const QList<AtlasImage *> &ContentViewModel::visibleImages()
{
    return m_library.visibleImages(m_filters, m_sidebarSelection);
}

bool ContentViewModel::isSearching()
{
    return m_library.isSearching(m_filters);
}

std::optional<PendingImageImport::Destination> ContentViewModel::importDestinationForSelection()
{
    return LibraryDerivation::importDestination(libraryEntries(), m_sidebarSelection);
}

bool ContentViewModel::canReorder() const
{
    return LibraryDerivation::isSingleSeriesSelected(m_sidebarSelection);
}

// Search and filters

void ContentViewModel::changeFilters(const std::function<void(LibraryFilters &)> &change)
{
    const LibraryFilters old = m_filters;
    change(m_filters);
    if (old == m_filters)
        return;
    emit searchAndFiltersChanged();
    if (old.signature() != m_filters.signature())
        searchAndFiltersDidChange();
    emit entriesChanged();
    emit visibleImagesChanged();
}

void ContentViewModel::searchAndFiltersDidChange()
{
    m_searchChangeWaits = m_sidebarSelection;
    runWaitingHandlers();
}

void ContentViewModel::setLibrarySearchText(const QString &text)
{
    changeFilters([&](LibraryFilters &filters) { filters.searchText = text; });
}

void ContentViewModel::setModalityFilter(std::optional<Modality> value)
{
    changeFilters([&](LibraryFilters &filters) { filters.modality = value; });
}

void ContentViewModel::setRegionFilter(std::optional<Region> value)
{
    changeFilters([&](LibraryFilters &filters) { filters.region = value; });
}

void ContentViewModel::setPlaneFilter(std::optional<Plane> value)
{
    changeFilters([&](LibraryFilters &filters) { filters.plane = value; });
}

void ContentViewModel::setAgeKindFilter(std::optional<AgeSpec::Kind> value)
{
    changeFilters([&](LibraryFilters &filters) { filters.ageKind = value; });
}

void ContentViewModel::setSexFilter(std::optional<Sex> value)
{
    changeFilters([&](LibraryFilters &filters) { filters.sex = value; });
}

void ContentViewModel::setFilters(const LibraryFilters &filters)
{
    changeFilters([&](LibraryFilters &current) { current = filters; });
}

void ContentViewModel::clearFilters()
{
    changeFilters([](LibraryFilters &filters) { filters.clearFilters(); });
}

void ContentViewModel::setLibraryFiltersExpanded(bool expanded)
{
    if (m_filtersExpanded == expanded)
        return;
    m_filtersExpanded = expanded;
    emit filtersExpandedChanged(expanded);
}

// Selection and the opened image

void ContentViewModel::setSidebarSelection(const QSet<LibraryEntryID> &selection)
{
    if (!assignSidebarSelection(selection))
        return;
    // Inside an operation the selection's handlers wait for its end, so they
    // see the operation's outcome.
    if (m_operationDepth > 0) {
        m_selectionChangedInOperation = true;
        return;
    }
    sidebarSelectionDidChange();
}

bool ContentViewModel::assignSidebarSelection(const QSet<LibraryEntryID> &selection)
{
    if (m_sidebarSelection == selection)
        return false;
    m_sidebarSelection = selection;
    emit sidebarSelectionChanged();
    return true;
}

void ContentViewModel::sidebarSelectionDidChange()
{
    m_selectionChangeWaits = true;
    runWaitingHandlers();
    emit visibleImagesChanged();
}

ContentViewModel::OperationScope::OperationScope(ContentViewModel &model)
    : m_model(model)
{
    ++m_model.m_operationDepth;
}

ContentViewModel::OperationScope::~OperationScope()
{
    if (--m_model.m_operationDepth == 0 && m_model.m_selectionChangedInOperation) {
        m_model.m_selectionChangedInOperation = false;
        m_model.sidebarSelectionDidChange();
    }
}

void ContentViewModel::setGridSelection(AtlasImage *image)
{
    if (m_gridSelection == image)
        return;
    m_gridSelection = image;
    emit gridSelectionChanged(image);
}

void ContentViewModel::setOpenedImage(AtlasImage *image)
{
    if (m_openedImage == image)
        return;
    m_openedImage = image;
    emit openedImageChanged(image);
    // The window's restorable state names the image on screen.
    setSelectedImageID(image ? uuidText(image->id()) : QString());
}

void ContentViewModel::setFocusGridOnAppear(bool focus)
{
    if (m_focusGridOnAppear == focus)
        return;
    m_focusGridOnAppear = focus;
    emit focusGridOnAppearChanged(focus);
}

void ContentViewModel::openImage(AtlasImage *image)
{
    // A menu or tile may still show an image that has left the library.
    if (image && !isInLibrary(image))
        return;
    setGridSelection(image);
    setOpenedImage(image);
}

void ContentViewModel::returnToGrid()
{
    if (!m_openedImage)
        return;
    setGridSelection(m_openedImage);
    setOpenedImage(nullptr);
}

bool ContentViewModel::canReturnToGridFromKeyboard() const
{
    return m_openedImage && !m_appState.isEditing();
}

void ContentViewModel::returnToGridFromKeyboard()
{
    if (canReturnToGridFromKeyboard())
        returnToGrid();
}

bool ContentViewModel::canAdvanceOpenedImage(int offset)
{
    if (!m_openedImage)
        return false;
    const QList<AtlasImage *> &visible = visibleImages();
    const qsizetype position = visible.indexOf(m_openedImage);
    const qint64 target = qint64(position) + offset;
    return position >= 0 && target >= 0 && target < visible.size();
}

void ContentViewModel::advanceOpenedImage(int offset)
{
    if (!canAdvanceOpenedImage(offset))
        return;
    AtlasImage *image = visibleImages().at(visibleImages().indexOf(m_openedImage) + offset);
    setOpenedImage(image);
    setGridSelection(image);
}

void ContentViewModel::restoreOpenedImage()
{
    const OperationScope operation(*this);
    if (m_openedImage)
        return;
    const std::optional<QUuid> id = uuidFromText(m_selectedImageID);
    if (!id)
        return;
    for (AtlasImage *image : m_library.images()) {
        if (image->id() == *id) {
            setOpenedImage(image);
            setSidebarSelection({LibraryDerivation::entryID(*image)});
            return;
        }
    }
}

void ContentViewModel::forgetDeletedImages()
{
    if (m_gridSelection && !isInLibrary(m_gridSelection))
        setGridSelection(nullptr);
    if (m_openedImage && !isInLibrary(m_openedImage)) {
        setOpenedImage(nullptr);
        // Edit mode belongs to the image that was open.
        m_appState.setIsEditing(false);
    }
}

void ContentViewModel::clearHiddenGridSelection()
{
    clearHiddenGridSelection(visibleImages());
}

void ContentViewModel::clearHiddenGridSelection(const QList<AtlasImage *> &visible)
{
    if (m_gridSelection && !visible.contains(m_gridSelection))
        setGridSelection(nullptr);
}

void ContentViewModel::closeHiddenOpenedImage(const QList<AtlasImage *> &visible)
{
    if (m_openedImage && !visible.contains(m_openedImage)) {
        setFocusGridOnAppear(false);
        setOpenedImage(nullptr);
    }
}

void ContentViewModel::keepOpenedImageVisible()
{
    if (!m_openedImage)
        return;
    const QList<AtlasImage *> visible = visibleImages();
    if (visible.contains(m_openedImage))
        return;
    if (visible.isEmpty()) {
        setOpenedImage(nullptr);
        return;
    }
    setOpenedImage(visible.first());
    setGridSelection(visible.first());
}

// Operation errors

void ContentViewModel::reportOperationError(const QString &title, const QString &message)
{
    m_operationErrorTitle = title;
    m_operationErrorMessage = message;
    m_showsOperationError = true;
    emit operationErrorChanged(true);
}

void ContentViewModel::dismissOperationError()
{
    if (!m_showsOperationError)
        return;
    m_showsOperationError = false;
    emit operationErrorChanged(false);
}

// Import

void ContentViewModel::setIsImporting(bool importing)
{
    if (m_isImporting == importing)
        return;
    m_isImporting = importing;
    emit isImportingChanged(importing);
}

void ContentViewModel::beginImport()
{
    if (isReadingImport())
        return;
    m_importDestination = PendingImageImport::Destination::newEntry();
    setIsImporting(true);
}

void ContentViewModel::beginAddImages()
{
    if (isReadingImport())
        return;
    const std::optional<PendingImageImport::Destination> destination = importDestinationForSelection();
    if (!destination)
        return;
    m_importDestination = *destination;
    setIsImporting(true);
}

bool ContentViewModel::handleDrop(const QList<QUrl> &urls)
{
    if (isReadingImport())
        return false;
    const std::optional<PendingImageImport::Destination> destination = importDestinationForSelection();
    if (!destination)
        return false;
    const QList<QUrl> importable = importableImageURLs(urls);
    if (importable.isEmpty())
        return false;
    m_importDestination = *destination;
    handleImportResult(importable);
    return true;
}

void ContentViewModel::handleImportResult(const QList<QUrl> &urls)
{
    const PendingImageImport::Destination destination = m_importDestination;
    m_importDestination = PendingImageImport::Destination::newEntry();
    // One import at a time: the window takes no other while one is read
    // (the commands and drops above are refused meanwhile).
    if (urls.isEmpty() || isReadingImport())
        return;

    // The files are read and checked on a worker thread; the result is
    // applied on this object's thread, always on a later turn of its event
    // loop (also when the read is done at once), and dropped if the window
    // is gone by then.
    m_readingImport = true;
    emit isReadingImportChanged(true);
    auto *watcher = new QFutureWatcher<ImportedImagesResult>(this);
    connect(watcher, &QFutureWatcher<ImportedImagesResult>::finished, this, [this, watcher, destination] {
        watcher->deleteLater();
        // Whatever went wrong on the worker ends in the alert, not here.
        std::optional<ImportedImagesResult> result;
        try {
            result = watcher->result();
        } catch (...) {
        }
        applyImportRead(result, destination);
    }, Qt::QueuedConnection);
    // Large files are copied into staged files of the library's folder as
    // they are read.
    watcher->setFuture(loadImportedImagesInBackground(urls, m_operations.context().prepareFiles()));
}

void ContentViewModel::applyImportRead(const std::optional<ImportedImagesResult> &result,
                                       const PendingImageImport::Destination &destination)
{
    m_readingImport = false;
    emit isReadingImportChanged(false);
    if (!result) {
        reportOperationError(importFailed, QStringLiteral("The picked files couldn\u2019t be read."));
        return;
    }
    if (!result->succeeded()) {
        reportOperationError(importFailed, result->errorDescription());
        return;
    }
    if (result->images.isEmpty())
        return;
    // The entry to add to may have gone while the files were read.
    if (!destination.isAvailable()) {
        reportOperationError(importFailed, LibraryOperations::missingObjectMessage());
        return;
    }
    m_pendingImport = PendingImageImport{QUuid::createUuid(), result->images, destination, result->staged};
    emit pendingImportChanged();
}

void ContentViewModel::handleImportFailure(const QString &errorDescription)
{
    m_importDestination = PendingImageImport::Destination::newEntry();
    reportOperationError(importFailed, errorDescription);
}

ContentViewModel::ImportSheet ContentViewModel::importSheet(const PendingImageImport &pending) const
{
    ImportSheet sheet;
    sheet.imageCount = pending.imageCount();
    if (pending.destination.kind() == PendingImageImport::Destination::Kind::newEntry) {
        sheet.navigationTitle = sheet.imageCount == 1 ? QStringLiteral("Import Image") : QStringLiteral("Import Series");
        sheet.actionTitle = QStringLiteral("Import");
    } else {
        sheet.navigationTitle = pending.images.size() == 1 ? QStringLiteral("Add Image") : QStringLiteral("Add Images");
        sheet.actionTitle = QStringLiteral("Add");
    }
    sheet.headerSubtitle = pending.headerSubtitle().value_or(metadataAppliesSubtitle(sheet.imageCount));
    sheet.draft = pending.initialDraft();
    return sheet;
}

void ContentViewModel::cancelImport()
{
    if (!m_pendingImport)
        return;
    m_pendingImport.reset();
    // A commit still writing its files is dropped with it.
    setCommittingImport(std::nullopt);
    emit pendingImportChanged();
}

void ContentViewModel::setCommittingImport(const std::optional<QUuid> &id)
{
    const bool was = isCommittingImport();
    m_committingImport = id;
    if (was != isCommittingImport())
        emit isCommittingImportChanged(isCommittingImport());
}

void ContentViewModel::commitImport(const PendingImageImport &pending, const MetadataDraft &draft)
{
    // Confirmed again while the files are written: one commit is enough.
    if (isCommittingImport())
        return;
    QList<QByteArray> bytes;
    bytes.reserve(pending.images.size());
    for (const ImportedImage &image : pending.images)
        bytes.append(image.data);
    setCommittingImport(pending.id);
    changeOncePrepared(m_operations.context(), bytes, this,
                       [this, pending, draft](const std::optional<ModelStoreError> &error) {
                           // The sheet was cancelled meanwhile, or another import took its place.
                           if (m_committingImport != pending.id)
                               return;
                           setCommittingImport(std::nullopt);
                           if (error)
                               reportOperationError(importFailed, error->description());
                           else
                               finishImport(pending, draft);
                       });
}

void ContentViewModel::finishImport(const PendingImageImport &pending, const MetadataDraft &draft)
{
    const OperationScope operation(*this);
    const std::optional<LibraryOperations::Imported> imported =
        m_operations.commitImport(pending.images, pending.destination, draft);
    // A failure leaves the sheet up behind its alert, with the pictures
    // read: a failed save gives their staged files back, so that Confirm
    // can be pressed again.
    if (!imported)
        return;
    // The thumbnails made while the files were checked.
    ThumbnailCache &thumbnails = m_thumbnails ? *m_thumbnails : ThumbnailCache::shared();
    for (qsizetype i = 0; i < imported->images.size(); ++i)
        thumbnails.insert(imported->images.at(i), pending.images.at(i).thumbnail);
    // The standalone image's row became the new series' row.
    if (imported->newSeries
        && m_sidebarSelection == QSet<LibraryEntryID>{LibraryEntryID::image(pending.destination.imageValue()->id())})
        setSidebarSelection({LibraryEntryID::series(imported->newSeries->id())});
    // Any other selection stays as it is, whether it lists the new images
    // or not.
    m_pendingImport.reset();
    emit pendingImportChanged();
    setOpenedImage(imported->firstImage);
}

// Metadata sheet

void ContentViewModel::beginEditImage(AtlasImage *image)
{
    if (m_editingImage == image)
        return;
    m_editingImage = image;
    emit editingImageChanged(image);
}

void ContentViewModel::cancelEditImage()
{
    beginEditImage(nullptr);
}

ContentViewModel::EditSheet ContentViewModel::editSheet(const AtlasImage &image) const
{
    return EditSheet{QStringLiteral("Edit"), QStringLiteral("Metadata applies to this image."), QStringLiteral("Save"),
                     1, MetadataDraft::fromImage(image)};
}

void ContentViewModel::saveEditedImage(AtlasImage *image, const MetadataDraft &draft)
{
    if (m_operations.saveMetadata(image, draft))
        beginEditImage(nullptr);
}

// Rename

void ContentViewModel::setSeriesRenameTitle(const QString &title)
{
    if (m_seriesRenameTitle == title)
        return;
    m_seriesRenameTitle = title;
    emit seriesRenameTitleChanged(title);
}

void ContentViewModel::beginRename(Series *series)
{
    if (!series)
        return;
    setSeriesRenameTitle(series->title());
    m_renamingSeries = series;
    emit renamingSeriesChanged(series);
}

void ContentViewModel::dismissRename()
{
    if (!m_renamingSeries)
        return;
    m_renamingSeries = nullptr;
    emit renamingSeriesChanged(nullptr);
}

void ContentViewModel::renameSeries(Series *series, const QString &text)
{
    // The alert closes whatever happens.
    dismissRename();
    m_operations.renameSeries(series, text);
}

// Export of rows

void ContentViewModel::exportEntries(const QList<LibraryEntry> &entries)
{
    if (entries.isEmpty())
        return;
    const auto [images, series] = LibraryArchiveSource::chosenObjects(entries, m_library.images());
    m_archiveExport.prepareObjects(m_operations.context(), images, series, defaultArchiveFilename(entries));
}

void ContentViewModel::shareEntries(const QList<LibraryEntry> &entries, SharingService::Target target)
{
    if (entries.isEmpty())
        return;
    m_archiveShare.share(LibraryArchiveTransfer(LibraryArchiveSource::fromEntries(entries, m_library.images()),
                                                defaultArchiveFilename(entries)),
                         target);
}

// Deletion

void ContentViewModel::requestDeletion(const QList<LibraryEntry> &entries)
{
    if (entries.size() < 2) {
        removeEntries(entries);
        return;
    }
    m_pendingDeletion = entries;
    emit deletionConfirmationChanged(true);
}

QString ContentViewModel::deletionConfirmationTitle() const
{
    const bool allSeries = std::all_of(m_pendingDeletion.cbegin(), m_pendingDeletion.cend(),
                                       [](const LibraryEntry &entry) { return entry.isSeries(); });
    return QStringLiteral("Delete ") + QString::number(m_pendingDeletion.size())
        + (allSeries ? QStringLiteral(" Series?") : QStringLiteral(" Items?"));
}

QString ContentViewModel::deletionConfirmationMessage() const
{
    qsizetype count = 0;
    for (const LibraryEntry &entry : m_pendingDeletion)
        count += entry.isImage() ? 1 : entry.seriesGroup()->images.size();
    return QStringLiteral("This will delete ") + QString::number(count) + QStringLiteral(" images.");
}

void ContentViewModel::confirmDeletion()
{
    const QList<LibraryEntry> entries = m_pendingDeletion;
    cancelDeletion();
    removeEntries(entries);
}

void ContentViewModel::cancelDeletion()
{
    if (m_pendingDeletion.isEmpty())
        return;
    m_pendingDeletion.clear();
    emit deletionConfirmationChanged(false);
}

void ContentViewModel::removeEntries(QList<LibraryEntry> entries)
{
    // The rows leave the selection first, whatever the deletion gives. The
    // selection's handlers wait for the deletion's end, its save on a worker
    // included, so that they see its outcome: an opened image it deleted is
    // closed, not replaced by the first image still listed.
    QSet<LibraryEntryID> selection = m_sidebarSelection;
    for (const LibraryEntry &entry : entries)
        selection.remove(entry.entryID());
    const bool selectionChanged = assignSidebarSelection(selection);
    m_operations.removeEntries(entries, [this, selectionChanged](bool deleted) {
        const OperationScope operation(*this);
        if (deleted)
            forgetDeletedImages();
        m_selectionChangedInOperation = m_selectionChangedInOperation || selectionChanged;
    });
}

void ContentViewModel::deleteImages(QList<AtlasImage *> images)
{
    m_operations.deleteImages(images, [this](bool deleted) {
        if (deleted)
            forgetDeletedImages();
    });
}

// Duplicate

void ContentViewModel::duplicateImage(AtlasImage *image)
{
    const OperationScope operation(*this);
    const std::optional<LibraryOperations::Duplicated> duplicated = m_operations.duplicateImage(image);
    if (!duplicated)
        return;
    if (duplicated->newSeries && m_sidebarSelection == QSet<LibraryEntryID>{LibraryEntryID::image(image->id())})
        setSidebarSelection({LibraryEntryID::series(duplicated->newSeries->id())});
    setGridSelection(duplicated->copy);
}

void ContentViewModel::duplicateSeries(Series *series)
{
    m_operations.duplicateSeries(series, [this](Series *copy) {
        const OperationScope operation(*this);
        setSidebarSelection({LibraryEntryID::series(copy->id())});
    });
}
