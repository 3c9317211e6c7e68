#include "shell/ContentViewModel.h"

#include "model/AtlasImage.h"
#include "model/JsonCoding.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "model/Series.h"
#include "platform/LocalizedText.h"
#include "platform/objectstore/ModelContext.h"
#include "platform/objectstore/ModelStoreError.h"
#include "shell/AppState.h"
#include "shell/LibraryDerivation.h"

#include <QFuture>
#include <QFutureWatcher>
#include <QMetaObject>
#include <QTimer>

#include <cstring>
#include <limits>

namespace {

const QString importFailed = QStringLiteral("Import Failed");
const QString saveFailed = QStringLiteral("Save Failed");
const QString renameFailed = QStringLiteral("Rename Failed");
const QString deleteFailed = QStringLiteral("Delete Failed");
const QString duplicateFailed = QStringLiteral("Duplicate Failed");
const QString reorderFailed = QStringLiteral("Reorder Failed");

} // namespace

ContentViewModel::ContentViewModel(ModelContext &context, AppState &appState, QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_appState(appState)
{
    const auto insertedOrDeleted = [this](ModelObject *object) {
        m_searchIndex.objectInsertedOrDeleted(object);
        modelDidChange(&object->entityType() == &AtlasImage::entity(), true);
    };
    connect(&m_context, &ModelContext::objectInserted, this, insertedOrDeleted);
    connect(&m_context, &ModelContext::objectDeleted, this, insertedOrDeleted);
    connect(&m_context, &ModelContext::didRollback, this, [this] {
        m_searchIndex.clear();
        modelDidChange(true, true);
    });
    connect(&m_context, &ModelContext::propertyChanged, this, [this](ModelObject *object, const char *property) {
        m_searchIndex.objectChanged(object, property);
        const bool isImage = &object->entityType() == &AtlasImage::entity();
        const bool isDate = std::strcmp(property, "createdAt") == 0;
        modelDidChange(isImage && std::strcmp(property, "id") == 0, isDate);
    });
    m_knownImageIDs = imageIdentifiers();
    scheduleSearchIndexPreparation();
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
    QMetaObject::invokeMethod(this, [this] { restoreOpenedImage(); }, Qt::QueuedConnection);
}

// Library and caches

void ContentViewModel::modelDidChange(bool imageSetMayHaveChanged, bool queryOrderMayHaveChanged)
{
    if (queryOrderMayHaveChanged)
        m_queriesValid = false;
    if (imageSetMayHaveChanged)
        m_imageSetMayHaveChanged = true;
    invalidateDerived();
    m_unfilteredEntries.reset();
    if (!m_libraryCheckQueued) {
        m_libraryCheckQueued = true;
        QMetaObject::invokeMethod(this, [this] { libraryCheck(); }, Qt::QueuedConnection);
    }
}

void ContentViewModel::scheduleSearchIndexPreparation()
{
    if (m_searchIndexPreparationQueued)
        return;
    m_searchIndexPreparationQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_searchIndexPreparationQueued = false;
        // About a millisecond or two of work per slice.
        if (!m_searchIndex.prepare(images(), 500))
            scheduleSearchIndexPreparation();
    });
}

void ContentViewModel::invalidateDerived()
{
    m_entries.reset();
    m_visibleImages.reset();
}

QList<QUuid> ContentViewModel::imageIdentifiers()
{
    QList<QUuid> ids;
    const QList<AtlasImage *> &all = images();
    ids.reserve(all.size());
    for (const AtlasImage *image : all)
        ids.append(image->id());
    return ids;
}

void ContentViewModel::libraryCheck()
{
    m_libraryCheckQueued = false;
    if (m_imageSetMayHaveChanged) {
        m_imageSetMayHaveChanged = false;
        QList<QUuid> ids = imageIdentifiers();
        if (ids != m_knownImageIDs) {
            m_knownImageIDs = std::move(ids);
            restoreOpenedImage();
            closeDeletedOpenedImage();
        }
    }
    // A highlighted image that left the library is highlighted no more.
    if (m_gridSelection && !isInLibrary(m_gridSelection))
        setGridSelection(nullptr);
    emit entriesChanged();
    emit visibleImagesChanged();
    scheduleSearchIndexPreparation();
}

const QList<AtlasImage *> &ContentViewModel::images()
{
    if (!m_queriesValid) {
        m_images = m_context.fetch<AtlasImage>(&AtlasImage::createdAt);
        m_allSeries = m_context.fetch<Series>(&Series::createdAt);
        m_queriesValid = true;
    }
    return m_images;
}

const QList<Series *> &ContentViewModel::allSeries()
{
    images();
    return m_allSeries;
}

bool ContentViewModel::hasContent()
{
    return !images().isEmpty() || !allSeries().isEmpty();
}

bool ContentViewModel::hasImages()
{
    return !images().isEmpty();
}

const QList<LibraryEntry> &ContentViewModel::libraryEntries()
{
    if (m_entries)
        return *m_entries;

    const LibraryDerivation derivation(m_filters, &m_searchIndex);
    if (derivation.hasEmptyQuery() && !m_filters.hasActiveFilters()) {
        if (!m_unfilteredEntries)
            m_unfilteredEntries = derivation.libraryEntries(images(), allSeries());
        m_entries = m_unfilteredEntries;
    } else {
        m_entries = derivation.libraryEntries(images(), allSeries());
    }
    return *m_entries;
}

const QList<AtlasImage *> &ContentViewModel::visibleImages()
{
    if (!m_visibleImages)
        m_visibleImages = LibraryDerivation::visibleImages(libraryEntries(), m_sidebarSelection);
    return *m_visibleImages;
}

std::optional<PendingImageImport::Destination> ContentViewModel::importDestinationForSelection()
{
    return LibraryDerivation::importDestination(libraryEntries(), m_sidebarSelection);
}

bool ContentViewModel::isSingleSeriesSelected() const
{
    return LibraryDerivation::isSingleSeriesSelected(m_sidebarSelection);
}

LibraryEntryID ContentViewModel::entryID(const AtlasImage &image)
{
    return LibraryDerivation::entryID(image);
}

QList<AtlasImage *> ContentViewModel::orderedImages(const Series &series)
{
    return LibraryDerivation::orderedImages(series);
}

// Search and filters

void ContentViewModel::changeFilters(const std::function<void(LibraryFilters &)> &change)
{
    const LibraryFilters old = m_filters;
    change(m_filters);
    if (old == m_filters)
        return;
    invalidateDerived();
    emit searchAndFiltersChanged();
    if (old.signature() != m_filters.signature()) {
        clearHiddenGridSelection();
        closeHiddenOpenedImage();
    }
    emit entriesChanged();
    emit visibleImagesChanged();
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
    if (m_sidebarSelection == selection)
        return;
    m_sidebarSelection = selection;
    m_visibleImages.reset();
    emit sidebarSelectionChanged();
    // Inside an operation the selection's handlers wait for its end, so they
    // see the operation's outcome (a deleted opened image already closed).
    if (m_operationDepth > 0) {
        m_selectionChangedInOperation = true;
        return;
    }
    sidebarSelectionDidChange();
}

void ContentViewModel::sidebarSelectionDidChange()
{
    clearHiddenGridSelection();
    keepOpenedImageVisible();
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

ContentViewModel::KeyPress ContentViewModel::returnToGridFromKeyboard()
{
    if (!m_openedImage || m_appState.isEditing())
        return KeyPress::ignored;
    returnToGrid();
    return KeyPress::handled;
}

ContentViewModel::KeyPress ContentViewModel::advanceOpenedImage(int offset)
{
    if (!m_openedImage)
        return KeyPress::ignored;
    const QList<AtlasImage *> visible = visibleImages();
    const qsizetype position = visible.indexOf(m_openedImage);
    if (position < 0)
        return KeyPress::ignored;
    const qint64 target = qint64(position) + offset;
    if (target < 0 || target >= visible.size())
        return KeyPress::ignored;
    AtlasImage *image = visible.at(target);
    setOpenedImage(image);
    setGridSelection(image);
    return KeyPress::handled;
}

void ContentViewModel::restoreOpenedImage()
{
    const OperationScope operation(*this);
    if (m_sizeClass == SizeClass::compact || m_openedImage)
        return;
    const QUuid id = QUuid::fromString(m_selectedImageID);
    if (id.isNull())
        return;
    for (AtlasImage *image : images()) {
        if (image->id() == id) {
            setOpenedImage(image);
            setSidebarSelection({entryID(*image)});
            return;
        }
    }
}

void ContentViewModel::closeDeletedOpenedImage()
{
    if (!m_openedImage || isInLibrary(m_openedImage))
        return;
    setOpenedImage(nullptr);
    m_appState.setIsEditing(false);
}

void ContentViewModel::clearHiddenGridSelection()
{
    if (m_gridSelection && !visibleImages().contains(m_gridSelection))
        setGridSelection(nullptr);
}

void ContentViewModel::closeHiddenOpenedImage()
{
    if (m_openedImage && !visibleImages().contains(m_openedImage)) {
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

QString ContentViewModel::missingObjectMessage()
{
    return QStringLiteral("The item is no longer in the library.");
}

bool ContentViewModel::saveOrReport(const QString &title)
{
    try {
        m_context.save();
        return true;
    } catch (const ModelStoreError &error) {
        // Nothing of the failed operation may reach a later save.
        m_context.rollback();
        reportOperationError(title, error.description());
        return false;
    }
}

bool ContentViewModel::requireInLibrary(std::initializer_list<const ModelObject *> objects, const QString &title)
{
    for (const ModelObject *object : objects) {
        if (!isInLibrary(object)) {
            reportOperationError(title, missingObjectMessage());
            return false;
        }
    }
    return true;
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
    m_importDestination = PendingImageImport::Destination::newEntry();
    setIsImporting(true);
}

void ContentViewModel::beginAddImages()
{
    const std::optional<PendingImageImport::Destination> destination = importDestinationForSelection();
    if (!destination)
        return;
    m_importDestination = *destination;
    setIsImporting(true);
}

bool ContentViewModel::handleDrop(const QList<QUrl> &urls)
{
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
    if (urls.isEmpty())
        return;

    // The files are read and checked on a worker thread; the result is
    // applied on this object's thread, always on a later turn of its event
    // loop (also when the read is done at once), and dropped if the window
    // is gone by then.
    if (m_readingImports++ == 0)
        emit isReadingImportChanged(true);
    auto *watcher = new QFutureWatcher<ImportedImagesResult>(this);
    connect(watcher, &QFutureWatcher<ImportedImagesResult>::finished, this, [this, watcher, destination] {
        watcher->deleteLater();
        applyImportRead(watcher->result(), destination);
    }, Qt::QueuedConnection);
    watcher->setFuture(loadImportedImagesInBackground(urls));
}

void ContentViewModel::applyImportRead(const ImportedImagesResult &result,
                                       const PendingImageImport::Destination &destination)
{
    if (--m_readingImports == 0)
        emit isReadingImportChanged(false);
    if (!result.succeeded()) {
        reportOperationError(importFailed, result.errorDescription());
        return;
    }
    if (result.images.isEmpty())
        return;
    // The entry to add to may have gone while the files were read.
    if (!destination.isAvailable()) {
        reportOperationError(importFailed, missingObjectMessage());
        return;
    }
    m_pendingImport = PendingImageImport{QUuid::createUuid(), result.images, destination};
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
    emit pendingImportChanged();
}

AtlasImage *ContentViewModel::makeImage(const ImportedImage &file, const QString &title, const MetadataDraft &draft,
                                        qint64 sortIndex)
{
    const std::shared_ptr<AtlasImage> image = AtlasImage::make(title, draft.modality, draft.region, draft.plane,
                                                               draft.ageSpec(), draft.sex, file.data, sortIndex);
    // The context keeps the object from here on; it is linked before it is
    // inserted by the caller, so hand it over now.
    m_context.insert(image);
    return image.get();
}

AtlasImage *ContentViewModel::importAsNewEntry(const QList<ImportedImage> &files, const MetadataDraft &draft)
{
    if (files.size() == 1)
        return makeImage(files.first(), draft.title, draft, 0);

    Series *series = m_context.insert(Series::make(draft.title));
    AtlasImage *first = nullptr;
    for (qsizetype i = 0; i < files.size(); ++i) {
        AtlasImage *image = makeImage(files.at(i), files.at(i).title, draft, i);
        image->setSeries(series);
        if (!first)
            first = image;
    }
    return first;
}

AtlasImage *ContentViewModel::addImages(const QList<ImportedImage> &files, Series &series, const MetadataDraft &draft)
{
    series.setTitle(draft.title);
    const QList<AtlasImage *> ordered = orderedImages(series);
    qint64 next = 0;
    if (!ordered.isEmpty()) {
        qint64 last = ordered.last()->sortIndex();
        // Sort indices come unchecked from archives: when counting on from
        // the last one would overflow, the series is numbered afresh first.
        if (last > std::numeric_limits<qint64>::max() - qint64(files.size())) {
            renumberImages(ordered);
            last = ordered.size() - 1;
        }
        next = last + 1;
    }
    AtlasImage *first = nullptr;
    for (qsizetype i = 0; i < files.size(); ++i) {
        AtlasImage *image = makeImage(files.at(i), files.at(i).title, draft, next + i);
        image->setSeries(&series);
        if (!first)
            first = image;
    }
    return first;
}

AtlasImage *ContentViewModel::addImages(AtlasImage &standalone, const QList<ImportedImage> &files,
                                        const MetadataDraft &draft, Series *&newSeries)
{
    newSeries = m_context.insert(Series::make(draft.title));
    standalone.setSeries(newSeries);
    standalone.setSortIndex(0);
    AtlasImage *first = nullptr;
    for (qsizetype i = 0; i < files.size(); ++i) {
        AtlasImage *image = makeImage(files.at(i), files.at(i).title, draft, i + 1);
        image->setSeries(newSeries);
        if (!first)
            first = image;
    }
    return first;
}

void ContentViewModel::commitImport(const PendingImageImport &pending, const MetadataDraft &draft)
{
    const OperationScope operation(*this);
    const PendingImageImport::Destination &destination = pending.destination;
    if (!destination.isAvailable()) {
        reportOperationError(importFailed, missingObjectMessage());
        return;
    }

    AtlasImage *first = nullptr;
    Series *newSeries = nullptr;
    switch (destination.kind()) {
    case PendingImageImport::Destination::Kind::series:
        first = addImages(pending.images, *destination.seriesValue(), draft);
        break;
    case PendingImageImport::Destination::Kind::standaloneImage:
        first = addImages(*destination.imageValue(), pending.images, draft, newSeries);
        break;
    case PendingImageImport::Destination::Kind::newEntry:
        first = importAsNewEntry(pending.images, draft);
        break;
    }
    if (!saveOrReport(importFailed))
        return;

    if (newSeries && m_sidebarSelection == QSet<LibraryEntryID>{LibraryEntryID::image(destination.imageValue()->id())})
        setSidebarSelection({LibraryEntryID::series(newSeries->id())});
    m_pendingImport.reset();
    emit pendingImportChanged();
    setOpenedImage(first);
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
    if (!requireInLibrary({image}, saveFailed))
        return;
    draft.apply(*image);
    if (saveOrReport(saveFailed))
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
    const QString title = trimmingWhitespaceAndNewlines(text);
    if (title.isEmpty())
        return;
    if (!requireInLibrary({series}, renameFailed))
        return;
    if (title == series->title())
        return;
    series->setTitle(title);
    saveOrReport(renameFailed);
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

void ContentViewModel::removeEntries(const QList<LibraryEntry> &entries)
{
    const OperationScope operation(*this);
    // Entries may have waited in the confirmation: everything they name must
    // still be there, or nothing is deleted.
    for (const LibraryEntry &entry : entries) {
        bool present = true;
        if (AtlasImage *image = entry.imageValue()) {
            present = isInLibrary(image);
        } else {
            const LibrarySeriesGroup *group = entry.seriesGroup();
            present = isInLibrary(group->series)
                && std::all_of(group->images.cbegin(), group->images.cend(),
                               [](const AtlasImage *image) { return isInLibrary(image); });
        }
        if (!present) {
            reportOperationError(deleteFailed, missingObjectMessage());
            return;
        }
    }

    QSet<LibraryEntryID> selection = m_sidebarSelection;
    for (const LibraryEntry &entry : entries)
        selection.remove(entry.entryID());
    setSidebarSelection(selection);

    QList<AtlasImage *> doomed;
    for (const LibraryEntry &entry : entries) {
        if (AtlasImage *image = entry.imageValue()) {
            doomed.append(image);
        } else {
            const LibrarySeriesGroup *group = entry.seriesGroup();
            // A series listed empty goes only while it is still empty: the
            // deletion would take along images that were never listed.
            if (group->images.isEmpty() && group->series->isEmpty())
                m_context.deleteObject(group->series);
            doomed.append(group->images);
        }
    }
    deleteImages(doomed);
}

void ContentViewModel::deleteImages(const QList<AtlasImage *> &images)
{
    for (const AtlasImage *image : images) {
        if (!requireInLibrary({image}, deleteFailed))
            return;
    }
    const QSet<const AtlasImage *> doomed(images.cbegin(), images.cend());

    QList<Series *> emptied;
    QList<Series *> kept;
    for (const AtlasImage *image : images) {
        Series *series = image->series();
        if (!series || emptied.contains(series) || kept.contains(series))
            continue;
        const QList<AtlasImage *> members = series->images();
        const bool empties = std::all_of(members.cbegin(), members.cend(),
                                         [&](const AtlasImage *member) { return doomed.contains(member); });
        (empties ? emptied : kept).append(series);
    }
    for (AtlasImage *image : images) {
        if (!emptied.contains(image->series()))
            m_context.deleteObject(image);
    }
    for (Series *series : std::as_const(emptied))
        m_context.deleteObject(series);
    for (Series *series : std::as_const(kept)) {
        QList<AtlasImage *> remaining = orderedImages(*series);
        remaining.removeIf([&](const AtlasImage *image) { return doomed.contains(image); });
        renumberImages(remaining);
    }
    if (!saveOrReport(deleteFailed))
        return;

    if (m_gridSelection && doomed.contains(m_gridSelection))
        setGridSelection(nullptr);
    if (m_openedImage && doomed.contains(m_openedImage)) {
        setOpenedImage(nullptr);
        // Edit mode belongs to the image that was open.
        m_appState.setIsEditing(false);
    }
}

// Duplicate

AtlasImage *ContentViewModel::deepCopy(ModelContext &context, AtlasImage &source, const std::optional<QString> &title,
                                       std::optional<qint64> sortIndex)
{
    AtlasImage *copy = context.insert(AtlasImage::make(title.value_or(source.title()), source.modality(),
                                                       source.region(), source.plane(), source.age(), source.sex(),
                                                       source.imageData(), sortIndex.value_or(source.sortIndex())));
    // Each annotation is linked before it is inserted, so the insertion is
    // the one change announced for it.
    for (const PointAnnotation *point : source.points()) {
        const auto annotation = PointAnnotation::make(point->label(), point->group(),
                                                      point->links().value_or(QList<AnnotationLink>()), point->x(),
                                                      point->y());
        annotation->setImage(copy);
        context.insert(annotation);
    }
    for (const RegionAnnotation *region : source.regions()) {
        const auto annotation = RegionAnnotation::make(region->label(), region->group(),
                                                       region->links().value_or(QList<AnnotationLink>()),
                                                       region->vertices());
        annotation->setImage(copy);
        context.insert(annotation);
    }
    return copy;
}

void ContentViewModel::renumberImages(const QList<AtlasImage *> &images)
{
    for (qsizetype i = 0; i < images.size(); ++i)
        images.at(i)->setSortIndex(i);
}

void ContentViewModel::duplicateImage(AtlasImage *image)
{
    const OperationScope operation(*this);
    if (!requireInLibrary({image}, duplicateFailed))
        return;
    Series *series = image->series();
    if (!series) {
        duplicateStandaloneImage(image);
        return;
    }
    const QString title = image->title().isEmpty() ? QString() : image->title() + QStringLiteral(" Copy");
    AtlasImage *copy = deepCopy(m_context, *image, title);
    QList<AtlasImage *> ordered = orderedImages(*series);
    qsizetype position = ordered.indexOf(image);
    if (position < 0)
        position = ordered.size() - 1;
    copy->setSeries(series);
    ordered.insert(position + 1, copy);
    renumberImages(ordered);
    if (saveOrReport(duplicateFailed))
        setGridSelection(copy);
}

void ContentViewModel::duplicateStandaloneImage(AtlasImage *image)
{
    Series *series = m_context.insert(Series::make(image->title()));
    image->setSeries(series);
    image->setSortIndex(0);
    AtlasImage *copy = deepCopy(m_context, *image, std::nullopt, 1);
    copy->setSeries(series);
    if (!saveOrReport(duplicateFailed))
        return;
    if (m_sidebarSelection == QSet<LibraryEntryID>{LibraryEntryID::image(image->id())})
        setSidebarSelection({LibraryEntryID::series(series->id())});
    setGridSelection(copy);
}

void ContentViewModel::duplicateSeries(Series *series)
{
    const OperationScope operation(*this);
    if (!requireInLibrary({series}, duplicateFailed))
        return;
    const QString title = series->title().isEmpty() ? QString() : series->title() + QStringLiteral(" Copy");
    Series *copySeries = m_context.insert(Series::make(title));
    for (AtlasImage *image : orderedImages(*series)) {
        AtlasImage *copy = deepCopy(m_context, *image);
        copy->setSeries(copySeries);
    }
    if (saveOrReport(duplicateFailed))
        setSidebarSelection({LibraryEntryID::series(copySeries->id())});
}

// Reorder

bool ContentViewModel::canMoveImage(AtlasImage *image, int offset) const
{
    if (!isInLibrary(image) || !image->series())
        return false;
    const QList<AtlasImage *> ordered = orderedImages(*image->series());
    const qsizetype position = ordered.indexOf(image);
    if (position < 0)
        return false;
    const qint64 target = qint64(position) + offset;
    return target >= 0 && target < ordered.size();
}

void ContentViewModel::moveImage(AtlasImage *image, int offset)
{
    if (!canMoveImage(image, offset))
        return;
    QList<AtlasImage *> ordered = orderedImages(*image->series());
    const qsizetype position = ordered.indexOf(image);
    ordered.swapItemsAt(position, position + offset);
    renumberImages(ordered);
    saveOrReport(reorderFailed);
}

void ContentViewModel::reorderImages(const QList<AtlasImage *> &images)
{
    if (images.isEmpty() || !isInLibrary(images.first()))
        return;
    Series *series = images.first()->series();
    if (!series)
        return;
    // Only images of this series take part, each once.
    QList<AtlasImage *> wanted;
    for (AtlasImage *image : images) {
        if (isInLibrary(image) && image->series() == series && !wanted.contains(image))
            wanted.append(image);
    }
    const QSet<const AtlasImage *> listed(wanted.cbegin(), wanted.cend());
    QList<AtlasImage *> result;
    qsizetype cursor = 0;
    for (AtlasImage *image : orderedImages(*series)) {
        if (listed.contains(image) && cursor < wanted.size())
            result.append(wanted.at(cursor++));
        else
            result.append(image);
    }
    renumberImages(result);
    saveOrReport(reorderFailed);
}
