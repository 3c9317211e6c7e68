#include "shell/LibraryQuery.h"

#include "model/AtlasImage.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "model/Series.h"
#include "platform/objectstore/ModelContext.h"
#include "shell/LibraryDerivation.h"

#include <QFutureWatcher>
#include <QHash>
#include <QMetaObject>

#include <cstring>
#include <utility>

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

// What the queries of one context share: the fetched images and series,
// the unfiltered entries, the search index, and the tracking of changes,
// which drops the queries' own lists and announces to them.
class LibraryQuery::Library : public QObject, public std::enable_shared_from_this<Library> {
public:
    explicit Library(ModelContext &context);
    ~Library() override;

    // The context's, made for the first query and kept while one lives.
    static std::shared_ptr<Library> of(ModelContext &context);

    const QList<AtlasImage *> &images();
    const QList<Series *> &allSeries();
    const QList<LibraryEntry> &unfilteredEntries();
    // For each image of entryImages(unfilteredEntries()), whether its text
    // holds `needle` (folded). The index must be ready. Texts as long as
    // LibraryQuery::scanOffThreadFrom() are scanned on the computing pool:
    // none until that scan has found them (started now, or as soon as the
    // one under way ends), then scanFinished() tells the queries.
    std::optional<std::vector<bool>> matchedEntryImages(const QString &needle);
    // Whether matchedEntryImages() answers `needle` at once (if not, the
    // scan is under way or asked for).
    bool answersAtOnce(const QString &needle);

    LibrarySearchIndex searchIndex;
    QList<LibraryQuery *> queries;

private:
    static QHash<const ModelContext *, std::weak_ptr<Library>> &libraries();

    void objectChanged(ModelObject *object, const char *property);
    void objectInsertedOrDeleted(ModelObject *object);
    void apply(Reach reach);
    void announce();
    // Lets every query whose search waited read its lists again.
    void answerWaitingSearches();
    QList<QUuid> imageIdentifiers();
    // Looks up where the index keeps the texts of the unfiltered entries'
    // images, once, not on every search; whether all are looked up. A
    // million images take tens of milliseconds (each image is read): unless
    // `allAtOnce`, a part is looked up now and the rest in the next turns of
    // the event loop, one part per turn, the searches that wait then being
    // answered.
    bool lookUpEntryTexts(bool allAtOnce);
    std::vector<bool> entryMatches(const std::vector<char> &texts);
    void scan(const QString &needle);
    void scanFinished();

    ModelContext &m_context;
    bool m_fetched = false;
    QList<AtlasImage *> m_images;
    QList<Series *> m_allSeries;
    // The entries with no search and no filter: windows come back to them
    // whenever a search is cleared, and searches keep what matches of them.
    std::optional<QList<LibraryEntry>> m_unfilteredEntries;
    // Where the search index keeps the text of each of their images: those
    // looked up so far, of m_entryImages.
    std::optional<std::vector<qsizetype>> m_entryTexts;
    QList<AtlasImage *> m_entryImages; // until all are looked up
    bool m_entryTextsComplete = false;
    bool m_lookUpQueued = false;
    quint64 m_entryTextsGeneration = 0;

    // Searches scanned on the computing pool: what the entries' images
    // matched for each needle, while nothing they read has changed (a few
    // are kept, so that windows searching for different texts each find
    // theirs). One scan runs at a time; whoever waits asks again for theirs
    // when it ends, so a needle typed meanwhile is scanned next and those
    // typed between are never scanned.
    QHash<QString, std::vector<bool>> m_scanned;
    quint64 m_revision = 0; // changes whenever what a scan found may have
    QFutureWatcher<std::vector<char>> m_scanning;
    bool m_scanUnderWay = false; // until its result has been taken
    QString m_scanNeedle;
    quint64 m_scanRevision = 0;
    quint64 m_scanGeneration = 0;

    bool m_announcementQueued = false;
    bool m_imagesMayHaveChanged = false;
    QList<QUuid> m_knownImageIDs;
    // The queries whose lists changed since the last announcement.
    QList<LibraryQuery *> m_toAnnounce;
};

QHash<const ModelContext *, std::weak_ptr<LibraryQuery::Library>> &LibraryQuery::Library::libraries()
{
    static QHash<const ModelContext *, std::weak_ptr<Library>> libraries;
    return libraries;
}

std::shared_ptr<LibraryQuery::Library> LibraryQuery::Library::of(ModelContext &context)
{
    std::shared_ptr<Library> library = libraries().value(&context).lock();
    if (!library) {
        library = std::make_shared<Library>(context);
        libraries().insert(&context, library);
    }
    return library;
}

LibraryQuery::Library::Library(ModelContext &context)
    : searchIndex(context)
    , m_context(context)
{
    connect(&m_context, &ModelContext::propertyChanged, this, &Library::objectChanged);
    connect(&m_context, &ModelContext::objectInserted, this, &Library::objectInsertedOrDeleted);
    connect(&m_context, &ModelContext::objectDeleted, this, &Library::objectInsertedOrDeleted);
    connect(&m_context, &ModelContext::didRollback, this, [this] { apply(Reach::images); });
    connect(&searchIndex, &LibrarySearchIndex::ready, this, &Library::answerWaitingSearches);
    connect(&m_scanning, &QFutureWatcher<std::vector<char>>::finished, this, &Library::scanFinished);
    m_knownImageIDs = imageIdentifiers();
}

LibraryQuery::Library::~Library()
{
    libraries().remove(&m_context);
}

void LibraryQuery::Library::objectChanged(ModelObject *object, const char *property)
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

void LibraryQuery::Library::objectInsertedOrDeleted(ModelObject *object)
{
    const EntityType &type = object->entityType();
    if (&type == &AtlasImage::entity())
        apply(Reach::images);
    else if (isAnnotation(object))
        apply(Reach::labels);
    else
        apply(Reach::order);
}

void LibraryQuery::Library::apply(Reach reach)
{
    switch (reach) {
    case Reach::none:
        return;
    case Reach::labels:
        break;
    case Reach::images:
        m_imagesMayHaveChanged = true;
        [[fallthrough]];
    case Reach::order:
        m_fetched = false;
        [[fallthrough]];
    case Reach::listing:
        m_unfilteredEntries.reset();
        m_entryTexts.reset();
        m_entryImages = {};
        break;
    }
    ++m_revision;
    m_scanned.clear();
    for (LibraryQuery *query : std::as_const(queries)) {
        if (query->drop(reach) && !m_toAnnounce.contains(query))
            m_toAnnounce.append(query);
    }
    if (!m_announcementQueued && (!m_toAnnounce.isEmpty() || m_imagesMayHaveChanged)) {
        m_announcementQueued = true;
        QMetaObject::invokeMethod(this, &Library::announce, Qt::QueuedConnection);
    }
}

void LibraryQuery::Library::announce()
{
    m_announcementQueued = false;
    bool imagesChanged = false;
    if (m_imagesMayHaveChanged) {
        m_imagesMayHaveChanged = false;
        QList<QUuid> ids = imageIdentifiers();
        imagesChanged = ids != m_knownImageIDs;
        m_knownImageIDs = std::move(ids);
    }
    // A window may close while it hears of the change, the last one taking
    // this object with it.
    const std::shared_ptr<Library> keep = shared_from_this();
    for (LibraryQuery *query : std::exchange(m_toAnnounce, {})) {
        if (queries.contains(query))
            emit query->libraryChanged(imagesChanged);
    }
}

void LibraryQuery::Library::answerWaitingSearches()
{
    // A window may close while it reads its lists again.
    const std::shared_ptr<Library> keep = shared_from_this();
    for (LibraryQuery *query : QList<LibraryQuery *>(queries)) {
        if (queries.contains(query))
            query->searchResultsMayHaveArrived();
    }
}

QList<QUuid> LibraryQuery::Library::imageIdentifiers()
{
    QList<QUuid> ids;
    const QList<AtlasImage *> &all = images();
    ids.reserve(all.size());
    for (const AtlasImage *image : all)
        ids.append(image->id());
    return ids;
}

const QList<AtlasImage *> &LibraryQuery::Library::images()
{
    if (!m_fetched) {
        m_images = m_context.fetch<AtlasImage>(&AtlasImage::createdAt);
        m_allSeries = m_context.fetch<Series>(&Series::createdAt);
        m_fetched = true;
    }
    return m_images;
}

const QList<Series *> &LibraryQuery::Library::allSeries()
{
    images();
    return m_allSeries;
}

const QList<LibraryEntry> &LibraryQuery::Library::unfilteredEntries()
{
    if (!m_unfilteredEntries)
        m_unfilteredEntries = LibraryDerivation(LibraryFilters()).libraryEntries(images(), allSeries());
    return *m_unfilteredEntries;
}

bool LibraryQuery::Library::lookUpEntryTexts(bool allAtOnce)
{
    if (m_entryTexts && m_entryTextsComplete && m_entryTextsGeneration == searchIndex.generation())
        return true;
    if (!m_entryTexts || m_entryTextsGeneration != searchIndex.generation()) {
        m_entryImages = LibraryDerivation::entryImages(unfilteredEntries());
        m_entryTexts.emplace();
        m_entryTexts->reserve(size_t(m_entryImages.size()));
        m_entryTextsComplete = false;
        m_entryTextsGeneration = searchIndex.generation();
    }
    const qsizetype part = lookUpsPerTurn();
    while (qsizetype(m_entryTexts->size()) < m_entryImages.size()) {
        searchIndex.appendTextsOf(m_entryImages, qsizetype(m_entryTexts->size()),
                                  allAtOnce ? m_entryImages.size() : part, *m_entryTexts);
        if (m_entryTextsGeneration != searchIndex.generation()) {
            // The index compacted its texts first: every place again.
            m_entryTexts->clear();
            m_entryTextsGeneration = searchIndex.generation();
            continue;
        }
        if (!allAtOnce)
            break;
    }
    if (qsizetype(m_entryTexts->size()) == m_entryImages.size()) {
        m_entryTextsComplete = true;
        m_entryImages = {};
        return true;
    }
    if (!m_lookUpQueued) {
        m_lookUpQueued = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_lookUpQueued = false;
                if (lookUpEntryTexts(false))
                    answerWaitingSearches();
            },
            Qt::QueuedConnection);
    }
    return false;
}

std::vector<bool> LibraryQuery::Library::entryMatches(const std::vector<char> &texts)
{
    // All looked up (a scan starts only then, and what it found is used
    // only while nothing changed).
    const std::vector<qsizetype> &places = *m_entryTexts;
    std::vector<bool> matched(places.size());
    for (size_t i = 0; i < matched.size(); ++i)
        matched[i] = texts[size_t(places[i])];
    return matched;
}

std::optional<std::vector<bool>> LibraryQuery::Library::matchedEntryImages(const QString &needle)
{
    // A search is one scan over the index's texts.
    if (!answersAtOnce(needle))
        return std::nullopt;
    if (searchIndex.textLength() < scanOffThreadFrom())
        return entryMatches(searchIndex.textsContaining(needle));
    return m_scanned.value(needle);
}

bool LibraryQuery::Library::answersAtOnce(const QString &needle)
{
    const bool scannedHere = searchIndex.textLength() < scanOffThreadFrom();
    if (!lookUpEntryTexts(scannedHere))
        return false;
    if (scannedHere)
        return true;
    if (m_scanned.contains(needle))
        return true;
    scan(needle);
    return false;
}

void LibraryQuery::Library::scan(const QString &needle)
{
    if (m_scanUnderWay)
        return;
    m_scanUnderWay = true;
    m_scanNeedle = needle;
    m_scanRevision = m_revision;
    m_scanGeneration = searchIndex.generation();
    m_scanning.setFuture(searchIndex.textsContainingLater(needle));
}

void LibraryQuery::Library::scanFinished()
{
    // Kept unless the library or the texts changed while it ran; either
    // way, whoever waits for a search asks again, and what they wait for
    // is scanned next unless it is this.
    m_scanUnderWay = false;
    const std::vector<char> texts = m_scanning.result();
    if (m_scanRevision == m_revision && m_scanGeneration == searchIndex.generation()) {
        constexpr qsizetype kept = 16;
        if (m_scanned.size() >= kept)
            m_scanned.clear();
        m_scanned.insert(m_scanNeedle, entryMatches(texts));
    }
    answerWaitingSearches();
}

LibraryQuery::LibraryQuery(ModelContext &context, QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_library(Library::of(context))
{
    m_library->queries.append(this);
}

LibraryQuery::~LibraryQuery()
{
    m_library->queries.removeOne(this);
}

bool LibraryQuery::drop(Reach reach)
{
    if (reach == Reach::labels) {
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
        return dropped;
    }
    m_entries.reset();
    m_visible.reset();
    return true;
}

void LibraryQuery::searchResultsMayHaveArrived()
{
    // Not while the index is read again (after a rollback): its ready()
    // comes next.
    if (!m_awaitedNeedle || m_library->searchIndex.isReading() || !m_library->answersAtOnce(*m_awaitedNeedle))
        return;
    m_awaitedNeedle.reset();
    emit searchResultsArrived();
}



bool LibraryQuery::isSearchIndexReady() const
{
    return m_library->searchIndex.isReady();
}

const LibrarySearchIndex &LibraryQuery::searchIndex() const
{
    return m_library->searchIndex;
}

const QList<AtlasImage *> &LibraryQuery::images()
{
    return m_library->images();
}

const QList<Series *> &LibraryQuery::allSeries()
{
    return m_library->allSeries();
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
    const QString needle = LibraryDerivation::foldedQuery(filters);
    const bool indexed = filters.hasSearchQuery() && !needle.isEmpty();
    // Nothing waits for the index or for a scan on the computing pool: the
    // lists stay as they are until the results are in. Where they have gone
    // (the library changed), those of the filters without the search take
    // their place.
    const auto awaitResults = [&]() -> const QList<LibraryEntry> & {
        m_awaitedNeedle = needle;
        if (!m_entries) {
            LibraryFilters unsearched = filters;
            unsearched.searchText.clear();
            m_entries = Entries{unsearched,
                                LibraryDerivation(unsearched).filteredEntries(m_library->unfilteredEntries())};
        }
        return m_entries->entries;
    };
    if (indexed && m_library->searchIndex.isReading())
        return awaitResults();
    std::optional<std::vector<bool>> matched;
    if (indexed) {
        matched = m_library->matchedEntryImages(needle);
        if (!matched)
            return awaitResults();
    }
    if (indexed)
        m_awaitedNeedle.reset();
    m_entries = Entries{filters, LibraryDerivation(filters).filteredEntries(m_library->unfilteredEntries(),
                                                                            matched ? &*matched : nullptr)};
    return m_entries->entries;
}

const QList<AtlasImage *> &LibraryQuery::visibleImages(const LibraryFilters &filters,
                                                       const QSet<LibraryEntryID> &selection)
{
    // Kept for the filters that the entries were made for, which are those
    // asked for unless a search waits for the index.
    const QList<LibraryEntry> &listed = entries(filters);
    const LibraryFilters &madeFor = m_entries->filters;
    if (m_visible && m_visible->filters == madeFor && m_visible->selection == selection)
        return m_visible->images;
    QList<AtlasImage *> images = LibraryDerivation::visibleImages(listed, selection);
    m_visible = Visible{madeFor, selection, std::move(images)};
    return m_visible->images;
}
