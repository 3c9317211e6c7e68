#include "shell/LibraryQuery.h"

#include "browser/PendingImageImport.h"
#include "model/AtlasImage.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "model/Series.h"
#include "platform/objectstore/ModelContext.h"
#include "shell/LibraryDerivation.h"

#include <QFutureWatcher>
#include <QHash>
#include <QMetaObject>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <type_traits>
#include <utility>
#include <vector>

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

// The orders of the fetched lists: by creation date, ties in stored order.
template<class T>
bool fetchOrder(const T *a, const T *b)
{
    if (a->createdAt() != b->createdAt())
        return a->createdAt() < b->createdAt();
    return a->storeKey() < b->storeKey();
}

// The order of a series group's images, as LibraryDerivation lists them
// from the fetched images.
bool groupOrder(const AtlasImage *a, const AtlasImage *b)
{
    if (LibraryDerivation::seriesImageOrder(a, b))
        return true;
    if (LibraryDerivation::seriesImageOrder(b, a))
        return false;
    return a->storeKey() < b->storeKey();
}

// The order of the unfiltered entries, as LibraryDerivation lists them:
// entry order, then the standalone images before the series groups, each
// in their own order and then in the order they were fetched in.
bool unfilteredOrder(const LibraryEntry &a, const LibraryEntry &b)
{
    if (LibraryDerivation::entryOrder(a, b))
        return true;
    if (LibraryDerivation::entryOrder(b, a))
        return false;
    if (a.isImage() != b.isImage())
        return a.isImage();
    if (a.isImage()) {
        const AtlasImage *x = a.imageValue();
        const AtlasImage *y = b.imageValue();
        if (LibraryDerivation::imageOrder(x, y))
            return true;
        if (LibraryDerivation::imageOrder(y, x))
            return false;
        return x->storeKey() < y->storeKey();
    }
    const Series *x = a.seriesGroup()->series;
    const Series *y = b.seriesGroup()->series;
    if (LibraryDerivation::seriesOrder(x, y))
        return true;
    if (LibraryDerivation::seriesOrder(y, x))
        return false;
    return x->storeKey() < y->storeKey();
}

// Where `wanted` is in `list`, ordered by `before`: looked up by the
// values it has now, else (they changed since it was placed) looked for
// one by one; -1 when it is not there.
template<class T, class Before, class Same>
qsizetype positionIn(const QList<T> &list, const T &probe, Before before, Same same)
{
    const auto found = std::lower_bound(list.cbegin(), list.cend(), probe, before);
    for (auto at = found; at != list.cend() && !before(probe, *at); ++at) {
        if (same(*at))
            return at - list.cbegin();
    }
    return -1;
}

// Removes the items at `removed` (ascending positions) and merges in
// `added` (ordered by `before`); what remains of `list` is in that order.
// The work follows the items moved: those from the first change on.
template<class T, class Before>
void replaceInOrder(QList<T> &list, const std::vector<qsizetype> &removed, QList<T> added, Before before)
{
    if (!removed.empty()) {
        qsizetype kept = removed.front();
        size_t next = 0;
        for (qsizetype i = removed.front(); i < list.size(); ++i) {
            if (next < removed.size() && removed[next] == i) {
                ++next;
                continue;
            }
            if (kept != i)
                list[kept] = std::move(list[i]);
            ++kept;
        }
        list.erase(list.begin() + kept, list.end());
    }
    if (added.isEmpty())
        return;
    // Ordered by position, so the items themselves move only once.
    std::vector<qsizetype> order(size_t(added.size()));
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = qsizetype(i);
    std::sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) { return before(added.at(a), added.at(b)); });
    {
        QList<T> sorted;
        sorted.reserve(added.size());
        for (qsizetype i : order)
            sorted.append(std::move(added[i]));
        added = std::move(sorted);
    }
    const qsizetype from = std::upper_bound(list.cbegin(), list.cend(), added.constFirst(), before) - list.cbegin();
    if (from == list.size()) {
        list.append(std::move(added));
        return;
    }
    QList<T> tail(std::make_move_iterator(list.begin() + from), std::make_move_iterator(list.end()));
    list.erase(list.begin() + from, list.end());
    list.reserve(list.size() + tail.size() + added.size());
    std::merge(std::make_move_iterator(tail.begin()), std::make_move_iterator(tail.end()),
               std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()), std::back_inserter(list),
               before);
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

    // Marks what the lists are to take in when next read.
    void imageChanged(AtlasImage *image);
    void seriesChanged(Series *series);
    void imageInserted(AtlasImage *image);
    void seriesInserted(Series *series);
    // Brings the lists up to date with the changes marked: made anew the
    // first time and after a rollback, else each change taken in where it
    // goes.
    void takeInChanges();
    void fetchAll();
    // The unfiltered entries with the marked images and series taken out
    // and in again; false when an image's entry cannot be found (the lists
    // are then made anew).
    // `listed`: those of `images` that were listed.
    bool takeInEntryChanges(const QSet<AtlasImage *> &images, const QSet<AtlasImage *> &listed,
                            const QSet<Series *> &series);
    // Looks up where the index keeps the texts of the unfiltered entries'
    // images, once, not on every search; whether all are looked up. A
    // million images take tens of milliseconds (each image is read): unless
    // `allAtOnce`, a part is looked up now and the rest in the next turns of
    // the event loop, one part per turn, the searches that wait then being
    // answered.
    bool lookUpEntryTexts(bool allAtOnce);
    void forgetEntryTexts();
    std::vector<bool> entryMatches(const std::vector<char> &texts);
    void scan(const QString &needle);
    void scanFinished();

    ModelContext &m_context;
    bool m_fetched = false; // the lists are up to date but for the changes marked
    bool m_everFetched = false;
    QList<AtlasImage *> m_images;
    QList<Series *> m_allSeries;
    // Changed since the lists were brought up to date: images and series
    // that came, went or changed a value the lists are ordered or grouped
    // by (those inserted since, apart: they are in no list yet).
    QSet<AtlasImage *> m_changedImages;
    QSet<Series *> m_changedSeries;
    QSet<const ModelObject *> m_inserted;
    // The entries with no search and no filter: windows come back to them
    // whenever a search is cleared, and searches keep what matches of them.
    std::optional<QList<LibraryEntry>> m_unfilteredEntries;
    // Where the search index keeps the text of each of their images.
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
    // Since the last announcement: an image came or went, or changed its
    // identifier.
    bool m_imagesCameOrWent = false;
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
    connect(&m_context, &ModelContext::didRollback, this, [this] {
        // Everything is fetched again; what the windows have seen is
        // compared with it then.
        if (m_fetched) {
            m_fetched = false;
            m_changedImages.clear();
            m_changedSeries.clear();
            m_inserted.clear();
        }
        apply(Reach::images);
    });
    connect(&searchIndex, &LibrarySearchIndex::ready, this, &Library::answerWaitingSearches);
    connect(&m_scanning, &QFutureWatcher<std::vector<char>>::finished, this, &Library::scanFinished);
}

LibraryQuery::Library::~Library()
{
    libraries().remove(&m_context);
}

void LibraryQuery::Library::objectChanged(ModelObject *object, const char *property)
{
    const EntityType &type = object->entityType();
    if (&type == &AtlasImage::entity()) {
        auto *image = static_cast<AtlasImage *>(object);
        // The lists of points and regions change with their labels' images.
        if (is(property, "points") || is(property, "regions")) {
            apply(Reach::labels);
        } else if (is(property, "id")) {
            m_imagesCameOrWent = true;
            apply(Reach::images);
        } else {
            // What the image's place in the lists follows, and what its
            // series' row sums up of its images (a series' list of images
            // is made again when they change, so that what is kept for a
            // list is kept only while its images are as they were).
            for (const char *name : {"createdAt", "title", "series", "sortIndex", "modalityRaw", "regionRaw",
                                     "planeRaw", "age", "sexRaw"}) {
                if (is(property, name)) {
                    imageChanged(image);
                    break;
                }
            }
            apply(Reach::listing);
        }
    } else if (&type == &Series::entity()) {
        if (is(property, "createdAt") || is(property, "title") || is(property, "images"))
            seriesChanged(static_cast<Series *>(object));
        apply(Reach::listing);
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
    if (&type == &AtlasImage::entity()) {
        auto *image = static_cast<AtlasImage *>(object);
        if (isInLibrary(image))
            imageInserted(image);
        else
            imageChanged(image);
        apply(Reach::images);
    } else if (&type == &Series::entity()) {
        auto *series = static_cast<Series *>(object);
        if (isInLibrary(series))
            seriesInserted(series);
        else
            seriesChanged(series);
        apply(Reach::listing);
    } else if (isAnnotation(object)) {
        apply(Reach::labels);
    } else {
        apply(Reach::listing);
    }
}

void LibraryQuery::Library::imageChanged(AtlasImage *image)
{
    if (m_fetched)
        m_changedImages.insert(image);
}

void LibraryQuery::Library::seriesChanged(Series *series)
{
    if (m_fetched)
        m_changedSeries.insert(series);
}

void LibraryQuery::Library::imageInserted(AtlasImage *image)
{
    if (!m_fetched)
        return;
    m_changedImages.insert(image);
    m_inserted.insert(image);
}

void LibraryQuery::Library::seriesInserted(Series *series)
{
    if (!m_fetched)
        return;
    m_changedSeries.insert(series);
    m_inserted.insert(series);
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
        break;
    case Reach::listing:
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
    if (m_context.isSavingInBackground()) {
        // A change saved on a worker is heard once its save has ended, a
        // failed one rolled back by then: the windows go on showing what
        // they showed, and a failure leaves them as they were.
        connect(
            &m_context, &ModelContext::heldChanged, this,
            [this](bool held) {
                if (!held)
                    QMetaObject::invokeMethod(this, &Library::announce, Qt::QueuedConnection);
            },
            Qt::SingleShotConnection);
        return;
    }
    m_announcementQueued = false;
    bool imagesChanged = false;
    if (m_imagesMayHaveChanged) {
        m_imagesMayHaveChanged = false;
        takeInChanges();
        imagesChanged = std::exchange(m_imagesCameOrWent, false);
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

const QList<AtlasImage *> &LibraryQuery::Library::images()
{
    takeInChanges();
    return m_images;
}

void LibraryQuery::Library::fetchAll()
{
    QList<AtlasImage *> images = m_context.fetch<AtlasImage>(&AtlasImage::createdAt);
    // Windows that have read the images learn whether others came or went
    // (a rollback); the first fetch tells nobody.
    if (m_everFetched)
        m_imagesCameOrWent = m_imagesCameOrWent || images != m_images;
    m_everFetched = true;
    m_images = std::move(images);
    m_allSeries = m_context.fetch<Series>(&Series::createdAt);
    m_fetched = true;
    m_changedImages.clear();
    m_changedSeries.clear();
    m_inserted.clear();
    m_unfilteredEntries.reset();
    forgetEntryTexts();
}

void LibraryQuery::Library::takeInChanges()
{
    if (!m_fetched) {
        fetchAll();
        return;
    }
    if (m_changedImages.isEmpty() && m_changedSeries.isEmpty())
        return;
    const QSet<AtlasImage *> images = std::exchange(m_changedImages, {});
    const QSet<Series *> series = std::exchange(m_changedSeries, {});
    const QSet<const ModelObject *> inserted = std::exchange(m_inserted, {});
    // A change of a large part of the library is fetched anew.
    if (images.size() > 1024 && images.size() > m_images.size() / 4) {
        m_fetched = false;
        fetchAll();
        return;
    }

    // The images and the series: each changed one taken out where it was
    // and put in where it goes now.
    const auto takeIn = [&](auto &list, const auto &changed, auto &listed) -> bool {
        using T = std::remove_pointer_t<typename std::remove_reference_t<decltype(list)>::value_type>;
        std::vector<qsizetype> removed;
        QList<T *> added;
        QSet<T *> unplaced; // no longer where their values say
        bool cameOrWent = false;
        for (T *object : changed) {
            const bool wasListed = !inserted.contains(object);
            if (wasListed) {
                const qsizetype at = positionIn(list, object, fetchOrder<T>, [&](T *o) { return o == object; });
                if (at >= 0) {
                    removed.push_back(at);
                    listed.insert(object);
                } else {
                    unplaced.insert(object);
                }
            }
            if (isInLibrary(object))
                added.append(object);
        }
        // (A few are looked for one at a time: a plain pass over the
        // pointers.)
        if (unplaced.size() <= 8) {
            for (T *object : std::as_const(unplaced)) {
                if (const qsizetype at = list.indexOf(object); at >= 0) {
                    removed.push_back(at);
                    listed.insert(object);
                }
            }
        } else {
            for (qsizetype i = 0; i < list.size(); ++i) {
                if (unplaced.contains(list.at(i))) {
                    removed.push_back(i);
                    listed.insert(list.at(i));
                }
            }
        }
        for (T *object : changed) {
            if (listed.contains(object) != isInLibrary(object))
                cameOrWent = true;
        }
        std::sort(removed.begin(), removed.end());
        replaceInOrder(list, removed, std::move(added), fetchOrder<T>);
        return cameOrWent;
    };
    QSet<AtlasImage *> listedImages; // of the changed images, those listed before
    QSet<Series *> listedSeries;
    if (takeIn(m_images, images, listedImages))
        m_imagesCameOrWent = true;
    takeIn(m_allSeries, series, listedSeries);

    // (Entries that cannot place a change are made anew.)
    if (m_unfilteredEntries && !takeInEntryChanges(images, listedImages, series))
        m_unfilteredEntries.reset();
    forgetEntryTexts();
}

bool LibraryQuery::Library::takeInEntryChanges(const QSet<AtlasImage *> &images, const QSet<AtlasImage *> &listed,
                                               const QSet<Series *> &series)
{
    QList<LibraryEntry> &entries = *m_unfilteredEntries;
    // The series whose groups change: those changed, and those of the
    // changed images (a deleted image still names its series; one that
    // moved changed both series' lists of images).
    QSet<Series *> groups = series;
    for (AtlasImage *image : images) {
        if (Series *of = image->series())
            groups.insert(of);
    }

    // Where their entries are: looked up by their present values, else
    // (those values changed) looked for one by one.
    QHash<Series *, qsizetype> groupAt;
    QSet<Series *> unplaced;
    for (Series *of : std::as_const(groups)) {
        const LibraryEntry probe = LibraryEntry::series(LibrarySeriesGroup{of, {}});
        const qsizetype at = positionIn(entries, probe, unfilteredOrder, [&](const LibraryEntry &entry) {
            return entry.isSeries() && entry.seriesGroup()->series == of;
        });
        if (at >= 0)
            groupAt.insert(of, at);
        else
            unplaced.insert(of);
    }
    if (!unplaced.isEmpty()) {
        for (qsizetype i = 0; i < entries.size(); ++i) {
            if (const LibrarySeriesGroup *group = entries.at(i).seriesGroup(); group && unplaced.contains(group->series))
                groupAt.insert(group->series, i);
        }
    }
    // The images listed before: in one of those groups, or on their own.
    QSet<AtlasImage *> toFind = listed;
    std::vector<qsizetype> removed;
    QList<LibraryEntry> added;
    QHash<Series *, QList<AtlasImage *>> kept;
    for (auto found = groupAt.cbegin(); found != groupAt.cend(); ++found) {
        removed.push_back(found.value());
        const QList<AtlasImage *> &was = entries.at(found.value()).seriesGroup()->images;
        QList<AtlasImage *> &keeps = kept[found.key()];
        for (AtlasImage *image : was) {
            if (images.contains(image))
                toFind.remove(image);
            else
                keeps.append(image);
        }
        // A group none of whose images changed keeps its list (and what
        // is kept for it, such as its row's caption).
        if (keeps.size() == was.size())
            keeps = was;
    }
    QSet<AtlasImage *> unfound;
    for (AtlasImage *image : std::as_const(toFind)) {
        const qsizetype at = positionIn(entries, LibraryEntry::image(image), unfilteredOrder,
                                        [&](const LibraryEntry &entry) { return entry.imageValue() == image; });
        if (at >= 0)
            removed.push_back(at);
        else
            unfound.insert(image);
    }
    if (!unfound.isEmpty()) {
        for (qsizetype i = 0; i < entries.size(); ++i) {
            if (AtlasImage *image = entries.at(i).imageValue(); image && unfound.remove(image))
                removed.push_back(i);
        }
    }
    if (!unfound.isEmpty())
        return false;

    // The changed images where they go now, and the groups made again with
    // them.
    QHash<Series *, QList<AtlasImage *>> joining;
    for (AtlasImage *image : images) {
        if (!isInLibrary(image))
            continue;
        if (Series *of = image->series())
            joining[of].append(image);
        else
            added.append(LibraryEntry::image(image));
    }
    for (Series *of : std::as_const(groups)) {
        if (!isInLibrary(of))
            continue;
        QList<AtlasImage *> listedImages = kept.value(of);
        if (const auto joined = joining.constFind(of); joined != joining.cend())
            replaceInOrder(listedImages, {}, *joined, groupOrder);
        if (!listedImages.isEmpty() || of->isEmpty())
            added.append(LibraryEntry::series(LibrarySeriesGroup{of, std::move(listedImages)}));
    }
    std::sort(removed.begin(), removed.end());
    removed.erase(std::unique(removed.begin(), removed.end()), removed.end());
    replaceInOrder(entries, removed, std::move(added), unfilteredOrder);
    return true;
}

const QList<Series *> &LibraryQuery::Library::allSeries()
{
    takeInChanges();
    return m_allSeries;
}

const QList<LibraryEntry> &LibraryQuery::Library::unfilteredEntries()
{
    takeInChanges();
    if (!m_unfilteredEntries)
        m_unfilteredEntries = LibraryDerivation(LibraryFilters()).libraryEntries(images(), allSeries());
    return *m_unfilteredEntries;
}

void LibraryQuery::Library::forgetEntryTexts()
{
    m_entryTexts.reset();
    m_entryImages = {};
    m_entryTextsComplete = false;
}

bool LibraryQuery::Library::lookUpEntryTexts(bool allAtOnce)
{
    // Changes taken in first: what was looked up for the lists before them
    // is then forgotten.
    const QList<LibraryEntry> &unfiltered = unfilteredEntries();
    if (m_entryTexts && m_entryTextsComplete && m_entryTextsGeneration == searchIndex.generation())
        return true;
    if (!m_entryTexts || m_entryTextsGeneration != searchIndex.generation()) {
        m_entryImages = LibraryDerivation::entryImages(unfiltered);
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
    // The empty lists kept meanwhile give way to the results.
    if (m_entries && m_entries->searching) {
        m_entries.reset();
        m_visible.reset();
    }
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
    // Whatever an earlier search waited for, these lists don't.
    m_awaitedNeedle.reset();
    const QString needle = LibraryDerivation::foldedQuery(filters);
    std::optional<std::vector<bool>> matched;
    if (filters.hasSearchQuery() && !needle.isEmpty()) {
        LibrarySearchIndex &index = m_library->searchIndex;
        if (index.isReading() && images().size() <= answersAtOnceUpTo())
            index.waitUntilReady();
        if (!index.isReading())
            matched = m_library->matchedEntryImages(needle);
        if (!matched) {
            // In the background: no lists until its results are in, so that
            // nothing shows or acts on those of another search meanwhile.
            m_awaitedNeedle = needle;
            m_entries = Entries{filters, {}, true};
            return m_entries->entries;
        }
    }
    m_entries = Entries{filters, LibraryDerivation(filters).filteredEntries(m_library->unfilteredEntries(),
                                                                            matched ? &*matched : nullptr)};
    return m_entries->entries;
}

const QList<AtlasImage *> &LibraryQuery::visibleImages(const LibraryFilters &filters,
                                                       const QSet<LibraryEntryID> &selection)
{
    const QList<LibraryEntry> &listed = entries(filters);
    if (m_visible && m_visible->filters == filters && m_visible->selection == selection)
        return m_visible->images;
    QList<AtlasImage *> images = LibraryDerivation::visibleImages(listed, selection);
    m_visible = Visible{filters, selection, std::move(images)};
    return m_visible->images;
}

bool LibraryQuery::isSearching(const LibraryFilters &filters)
{
    entries(filters);
    return m_entries->searching;
}
