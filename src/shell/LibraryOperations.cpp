#include "shell/LibraryOperations.h"

#include "model/AtlasImage.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "model/SaveOrRollBack.h"
#include "model/Series.h"
#include "platform/LocalizedText.h"
#include "platform/objectstore/ModelContext.h"
#include "shell/LibraryDerivation.h"

#include <QSet>

#include <memory>

#include <algorithm>
#include <limits>

namespace {

const QString importFailed = QStringLiteral("Import Failed");
const QString saveFailed = QStringLiteral("Save Failed");
const QString renameFailed = QStringLiteral("Rename Failed");
const QString deleteFailed = QStringLiteral("Delete Failed");
const QString duplicateFailed = QStringLiteral("Duplicate Failed");
const QString reorderFailed = QStringLiteral("Reorder Failed");

QList<AtlasImage *> orderedImages(const Series &series)
{
    return LibraryDerivation::orderedImages(series);
}

// "<title> Copy"; a copy of something untitled stays untitled.
QString copyTitle(const QString &title)
{
    return title.isEmpty() ? QString() : title + QStringLiteral(" Copy");
}

} // namespace

LibraryOperations::LibraryOperations(ModelContext &context, QObject *parent)
    : QObject(parent)
    , m_context(context)
{
}

QString LibraryOperations::missingObjectMessage()
{
    return QStringLiteral("The item is no longer in the library.");
}

bool LibraryOperations::saveOrReport(const QString &title)
{
    const std::optional<ModelStoreError> error = saveOrRollBack(m_context);
    if (error)
        emit operationFailed(title, error->description());
    return !error;
}

bool LibraryOperations::saveInBackgroundOrReport(const QString &title, const std::function<void(StoreWrites &)> &addRows,
                                                 std::function<void(bool saved)> ended)
{
    auto failed = std::make_shared<bool>(false);
    saveOrRollBackInBackground(m_context, this, addRows,
                               [this, title, failed, ended = std::move(ended)](const std::optional<ModelStoreError> &error) {
                                   *failed = bool(error);
                                   if (error)
                                       emit operationFailed(title, error->description());
                                   if (ended)
                                       ended(!error);
                               });
    return !*failed;
}

bool LibraryOperations::requireInLibrary(std::initializer_list<const ModelObject *> objects, const QString &title)
{
    for (const ModelObject *object : objects) {
        if (!isInLibrary(object)) {
            emit operationFailed(title, missingObjectMessage());
            return false;
        }
    }
    return true;
}

void LibraryOperations::renumberImages(const QList<AtlasImage *> &images)
{
    for (qsizetype i = 0; i < images.size(); ++i)
        images.at(i)->setSortIndex(i);
}

// Import

AtlasImage *LibraryOperations::makeImage(const ImportedImage &file, const QString &title, const MetadataDraft &draft,
                                         qint64 sortIndex, Series *series)
{
    AtlasImage *image = m_context.insert(AtlasImage::make(title, draft.modality, draft.region, draft.plane,
                                                          draft.ageSpec(), draft.sex, file.data, sortIndex));
    // The save takes the staged file over.
    if (!file.stagedFile.isEmpty())
        image->setImageDataFile(file.stagedFile);
    if (series)
        image->setSeries(series);
    return image;
}

std::optional<LibraryOperations::Imported> LibraryOperations::commitImport(
    const QList<ImportedImage> &files, const PendingImageImport::Destination &destination, const MetadataDraft &draft)
{
    if (!destination.isAvailable()) {
        emit operationFailed(importFailed, missingObjectMessage());
        return std::nullopt;
    }

    Imported imported;
    Series *series = nullptr;
    qint64 next = 0;
    switch (destination.kind()) {
    case PendingImageImport::Destination::Kind::series: {
        series = destination.seriesValue();
        series->setTitle(draft.title);
        const QList<AtlasImage *> ordered = orderedImages(*series);
        if (!ordered.isEmpty()) {
            qint64 last = ordered.last()->sortIndex();
            // Sort indices come unchecked from archives: when counting on
            // from the last one would overflow, the series is numbered
            // afresh first.
            if (last > std::numeric_limits<qint64>::max() - qint64(files.size())) {
                renumberImages(ordered);
                last = ordered.size() - 1;
            }
            next = last + 1;
        }
        break;
    }
    case PendingImageImport::Destination::Kind::standaloneImage: {
        series = m_context.insert(Series::make(draft.title));
        AtlasImage *standalone = destination.imageValue();
        standalone->setSeries(series);
        standalone->setSortIndex(0);
        imported.newSeries = series;
        next = 1;
        break;
    }
    case PendingImageImport::Destination::Kind::newEntry:
        if (files.size() == 1) {
            imported.firstImage = makeImage(files.first(), draft.title, draft, 0, nullptr);
            imported.images.append(imported.firstImage);
        } else {
            series = m_context.insert(Series::make(draft.title));
        }
        break;
    }
    if (series) {
        for (qsizetype i = 0; i < files.size(); ++i) {
            AtlasImage *image = makeImage(files.at(i), files.at(i).title, draft, next + i, series);
            imported.images.append(image);
            if (!imported.firstImage)
                imported.firstImage = image;
        }
    }
    if (!saveOrReport(importFailed))
        return std::nullopt;
    return imported;
}

// Metadata and titles

bool LibraryOperations::saveMetadata(AtlasImage *image, const MetadataDraft &draft)
{
    if (!requireInLibrary({image}, saveFailed))
        return false;
    draft.apply(*image);
    return saveOrReport(saveFailed);
}

bool LibraryOperations::renameSeries(Series *series, const QString &text)
{
    const QString title = trimmingWhitespaceAndNewlines(text);
    if (title.isEmpty())
        return true;
    if (!requireInLibrary({series}, renameFailed))
        return false;
    if (title == series->title())
        return true;
    series->setTitle(title);
    return saveOrReport(renameFailed);
}

// Deletion

bool LibraryOperations::removeEntries(QList<LibraryEntry> entries, std::function<void(bool deleted)> ended)
{
    // What another window removed meanwhile is simply not there to delete.
    QList<AtlasImage *> doomed;
    for (const LibraryEntry &entry : entries) {
        if (AtlasImage *image = entry.imageValue()) {
            doomed.append(image);
        } else {
            const LibrarySeriesGroup *group = entry.seriesGroup();
            // A series listed empty goes only while it is still empty: the
            // deletion would take along images that were never listed.
            if (group->images.isEmpty() && isInLibrary(group->series) && group->series->isEmpty())
                m_context.deleteObject(group->series);
            doomed.append(group->images);
        }
    }
    return deleteImages(doomed, std::move(ended));
}

bool LibraryOperations::deleteImages(QList<AtlasImage *> images, std::function<void(bool deleted)> ended)
{
    images.removeIf([](const AtlasImage *image) { return !isInLibrary(image); });
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
    return saveInBackgroundOrReport(deleteFailed, {}, std::move(ended));
}

// Duplicate

AtlasImage *LibraryOperations::copyImage(ModelContext &context, AtlasImage &source,
                                         const std::optional<QString> &title, std::optional<qint64> sortIndex)
{
    return context.insert(AtlasImage::make(title.value_or(source.title()), source.modality(), source.region(),
                                           source.plane(), source.age(), source.sex(), source.imageData(),
                                           sortIndex.value_or(source.sortIndex())));
}

AtlasImage *LibraryOperations::deepCopy(ModelContext &context, AtlasImage &source,
                                        const std::optional<QString> &title, std::optional<qint64> sortIndex)
{
    AtlasImage *copy = copyImage(context, source, title, sortIndex);
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

std::optional<LibraryOperations::Duplicated> LibraryOperations::duplicateImage(AtlasImage *image)
{
    if (!requireInLibrary({image}, duplicateFailed))
        return std::nullopt;
    Duplicated duplicated;
    if (Series *series = image->series()) {
        duplicated.copy = deepCopy(m_context, *image, copyTitle(image->title()));
        QList<AtlasImage *> ordered = orderedImages(*series);
        qsizetype position = ordered.indexOf(image);
        if (position < 0)
            position = ordered.size() - 1;
        duplicated.copy->setSeries(series);
        ordered.insert(position + 1, duplicated.copy);
        renumberImages(ordered);
    } else {
        duplicated.newSeries = m_context.insert(Series::make(image->title()));
        image->setSeries(duplicated.newSeries);
        image->setSortIndex(0);
        duplicated.copy = deepCopy(m_context, *image, std::nullopt, 1);
        duplicated.copy->setSeries(duplicated.newSeries);
    }
    if (!saveOrReport(duplicateFailed))
        return std::nullopt;
    return duplicated;
}

bool LibraryOperations::duplicateSeries(Series *series, std::function<void(Series *)> duplicated)
{
    if (!requireInLibrary({series}, duplicateFailed))
        return false;
    if (m_context.hasChanges()) {
        // Changes not saved yet are copied as they stand, from the objects.
        Series *copySeries = m_context.insert(Series::make(copyTitle(series->title())));
        // Each copy later than the one before, as in SQL below.
        Date createdAt{-std::numeric_limits<double>::infinity()};
        for (AtlasImage *image : orderedImages(*series)) {
            AtlasImage *copy = deepCopy(m_context, *image);
            createdAt = Date::nowAfter(createdAt);
            copy->setCreatedAt(createdAt);
            copy->setSeries(copySeries);
        }
        if (!saveOrReport(duplicateFailed))
            return false;
        if (duplicated)
            duplicated(copySeries);
        return true;
    }
    // With everything saved, the save makes the copy in SQL, rows, bytes
    // and annotations, without an object or a byte passing through here.
    const QList<AtlasImage *> ordered = orderedImages(*series);
    const QList<const AtlasImage *> sources(ordered.cbegin(), ordered.cend());
    const std::shared_ptr<Series> copy = Series::make(copyTitle(series->title()));
    const auto key = std::make_shared<qint64>(0);
    return saveInBackgroundOrReport(
        duplicateFailed,
        [this, sources, copy, key](StoreWrites &writes) {
            *key = m_context.reserveKeys(Series::entity(), 1);
            m_context.addRow(writes, *copy, *key);
            AtlasImage::copyStoredImages(m_context, writes, sources, *key);
        },
        [this, key, duplicated = std::move(duplicated)](bool saved) {
            Series *made = saved ? m_context.objectWithKey<Series>(*key) : nullptr;
            if (made && duplicated)
                duplicated(made);
        });
}

// Reorder

bool LibraryOperations::canMoveImage(AtlasImage *image, int offset) const
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

bool LibraryOperations::moveImage(AtlasImage *image, int offset)
{
    if (!canMoveImage(image, offset))
        return false;
    QList<AtlasImage *> ordered = orderedImages(*image->series());
    const qsizetype position = ordered.indexOf(image);
    ordered.swapItemsAt(position, position + offset);
    renumberImages(ordered);
    return saveOrReport(reorderFailed);
}

bool LibraryOperations::reorderImages(QList<AtlasImage *> images)
{
    if (images.isEmpty() || !isInLibrary(images.first()))
        return false;
    Series *series = images.first()->series();
    if (!series)
        return false;
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
    return saveOrReport(reorderFailed);
}
