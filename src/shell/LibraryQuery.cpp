#include "shell/LibraryQuery.h"

#include "model/AtlasImage.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "model/Series.h"
#include "platform/objectstore/ModelContext.h"
#include "shell/LibraryDerivation.h"

#include <QMetaObject>

#include <cstring>

namespace {

bool is(const char *property, const char *name)
{
    return std::strcmp(property, name) == 0;
}

bool isAnnotation(const ModelObject *object)
{
    return &object->entityType() == &PointAnnotation::entity()
        || &object->entityType() == &RegionAnnotation::entity();
}

} // namespace

LibraryQuery::LibraryQuery(ModelContext &context, QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_searchIndex(context)
{
    connect(&m_context, &ModelContext::propertyChanged, this, &LibraryQuery::objectChanged);
    connect(&m_context, &ModelContext::objectInserted, this, &LibraryQuery::objectInsertedOrDeleted);
    connect(&m_context, &ModelContext::objectDeleted, this, &LibraryQuery::objectInsertedOrDeleted);
    connect(&m_context, &ModelContext::didRollback, this, [this] { apply(Reach::images); });
    m_knownImageIDs = imageIdentifiers();
}

LibraryQuery::~LibraryQuery() = default;

void LibraryQuery::objectChanged(ModelObject *object, const char *property)
{
    const EntityType &type = object->entityType();
    if (&type == &AtlasImage::entity()) {
        // The lists of points and regions change with their labels' images.
        if (is(property, "points") || is(property, "regions"))
            apply(Reach::labels);
        else if (is(property, "id"))
            apply(Reach::images);
        else
            apply(is(property, "createdAt") ? Reach::order : Reach::listing);
    } else if (&type == &Series::entity()) {
        apply(is(property, "createdAt") ? Reach::order : Reach::listing);
    } else if (isAnnotation(object)) {
        // Moving to another image is announced by both images' lists.
        apply(is(property, "label") ? Reach::labels : Reach::none);
    } else {
        apply(Reach::listing);
    }
}

void LibraryQuery::objectInsertedOrDeleted(ModelObject *object)
{
    const EntityType &type = object->entityType();
    if (&type == &AtlasImage::entity())
        apply(Reach::images);
    else if (isAnnotation(object))
        apply(Reach::labels);
    else
        apply(Reach::order);
}

void LibraryQuery::apply(Reach reach)
{
    switch (reach) {
    case Reach::none:
        return;
    case Reach::labels: {
        // Only lists made for a search read labels.
        bool dropped = false;
        if (m_entries && m_entries->filters.hasSearchQuery()) {
            m_entries.reset();
            dropped = true;
        }
        if (m_visible && m_visible->filters.hasSearchQuery()) {
            m_visible.reset();
            dropped = true;
        }
        if (!dropped)
            return;
        break;
    }
    case Reach::images:
        m_imagesMayHaveChanged = true;
        [[fallthrough]];
    case Reach::order:
        m_fetched = false;
        [[fallthrough]];
    case Reach::listing:
        m_entries.reset();
        m_unfilteredEntries.reset();
        m_entryTexts.reset();
        m_visible.reset();
        break;
    }
    if (!m_announcementQueued) {
        m_announcementQueued = true;
        QMetaObject::invokeMethod(this, &LibraryQuery::announce, Qt::QueuedConnection);
    }
}

void LibraryQuery::announce()
{
    m_announcementQueued = false;
    bool imagesChanged = false;
    if (m_imagesMayHaveChanged) {
        m_imagesMayHaveChanged = false;
        QList<QUuid> ids = imageIdentifiers();
        imagesChanged = ids != m_knownImageIDs;
        m_knownImageIDs = std::move(ids);
    }
    emit libraryChanged(imagesChanged);
}

QList<QUuid> LibraryQuery::imageIdentifiers()
{
    QList<QUuid> ids;
    const QList<AtlasImage *> &all = images();
    ids.reserve(all.size());
    for (const AtlasImage *image : all)
        ids.append(image->id());
    return ids;
}

const QList<AtlasImage *> &LibraryQuery::images()
{
    if (!m_fetched) {
        m_images = m_context.fetch<AtlasImage>(&AtlasImage::createdAt);
        m_allSeries = m_context.fetch<Series>(&Series::createdAt);
        m_fetched = true;
    }
    return m_images;
}

const QList<Series *> &LibraryQuery::allSeries()
{
    images();
    return m_allSeries;
}

bool LibraryQuery::hasContent()
{
    return !images().isEmpty() || !allSeries().isEmpty();
}

bool LibraryQuery::hasImages()
{
    return !images().isEmpty();
}

const QList<LibraryEntry> &LibraryQuery::entries(const LibraryFilters &filters)
{
    if (m_entries && m_entries->filters == filters)
        return m_entries->entries;
    if (!m_unfilteredEntries)
        m_unfilteredEntries = LibraryDerivation(LibraryFilters()).libraryEntries(images(), allSeries());
    // A search is one scan over the index's texts; the unfiltered entries
    // then keep what matches (where each of their images' texts is kept is
    // looked up once, not on every search).
    std::vector<bool> matched;
    const QString needle = LibraryDerivation::foldedQuery(filters);
    const bool indexed = filters.hasSearchQuery() && !needle.isEmpty();
    if (indexed) {
        m_searchIndex.waitUntilReady();
        if (!m_entryTexts || m_entryTextsGeneration != m_searchIndex.generation()) {
            m_entryTexts = m_searchIndex.textsOf(LibraryDerivation::entryImages(*m_unfilteredEntries));
            m_entryTextsGeneration = m_searchIndex.generation();
        }
        const std::vector<char> texts = m_searchIndex.textsContaining(needle);
        matched.resize(m_entryTexts->size());
        for (size_t i = 0; i < matched.size(); ++i)
            matched[i] = texts[size_t((*m_entryTexts)[i])];
    }
    m_entries = Entries{filters, LibraryDerivation(filters).filteredEntries(*m_unfilteredEntries, indexed ? &matched : nullptr)};
    return m_entries->entries;
}

const QList<AtlasImage *> &LibraryQuery::visibleImages(const LibraryFilters &filters,
                                                       const QSet<LibraryEntryID> &selection)
{
    if (m_visible && m_visible->filters == filters && m_visible->selection == selection)
        return m_visible->images;
    QList<AtlasImage *> images = LibraryDerivation::visibleImages(entries(filters), selection);
    m_visible = Visible{filters, selection, std::move(images)};
    return m_visible->images;
}
