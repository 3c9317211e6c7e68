#pragma once

#include "model/LibraryEntry.h"
#include "shell/LibraryFilters.h"
#include "shell/LibrarySearchIndex.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QUuid>

#include <optional>

class AtlasImage;
class ModelContext;
class ModelObject;
class Series;

// What a main window reads of the library: every image and series, and the
// sidebar entries and grid images derived from them for a search, filters
// and a sidebar selection (see LibraryDerivation). Main thread only.
//
// Each list is kept until something it shows changes: the images' and
// series' values (titles, metadata, dates, sort indices, image bytes),
// which image is in which series, images and series coming and going, and,
// for lists made for a search, the point and region labels that search
// reads. Annotation coordinates, vertices, links and groups are not shown,
// so writing them keeps every list (the editor writes coordinates on every
// pointer move). The images' search texts are kept folded in a
// LibrarySearchIndex, read from the store on a worker thread from the turn
// of the event loop after the query is made.
//
// Changes are announced once per turn of the event loop, after the change,
// by libraryChanged().
class LibraryQuery : public QObject {
    Q_OBJECT
public:
    // The context must outlive the query.
    explicit LibraryQuery(ModelContext &context, QObject *parent = nullptr);
    ~LibraryQuery() override;

    ModelContext &context() const { return m_context; }

    // Every image and every series, oldest first.
    const QList<AtlasImage *> &images();
    const QList<Series *> &allSeries();
    bool hasContent();      // an image or a series exists
    bool hasImages();       // an image exists

    // The sidebar's entries for the search and filters: searched, filtered,
    // ordered.
    const QList<LibraryEntry> &entries(const LibraryFilters &filters);
    // The grid's images: the listed images of the selected entries.
    const QList<AtlasImage *> &visibleImages(const LibraryFilters &filters, const QSet<LibraryEntryID> &selection);

    // Whether the library's search texts have been read, so that the next
    // search only scans them (a search before then waits for them).
    bool isSearchIndexReady() const { return m_searchIndex.isReady(); }

signals:
    // A list may have changed since the last announcement: read it again.
    // `imagesChanged`: images came or went, or one changed its identifier.
    void libraryChanged(bool imagesChanged);

private:
    // How far a change reaches.
    enum class Reach {
        none,     // nothing shown: coordinates, vertices, links, groups
        labels,   // an image's annotation labels: lists made for a search
        listing,  // what every list shows
        order,    // the same, and the order in which images and series are fetched
        images,   // the same, and which images exist
    };

    void objectChanged(ModelObject *object, const char *property);
    void objectInsertedOrDeleted(ModelObject *object);
    void apply(Reach reach);
    void announce();
    QList<QUuid> imageIdentifiers();

    ModelContext &m_context;
    LibrarySearchIndex m_searchIndex;

    bool m_fetched = false;
    QList<AtlasImage *> m_images;
    QList<Series *> m_allSeries;

    struct Entries {
        LibraryFilters filters;
        QList<LibraryEntry> entries;
    };
    struct Visible {
        LibraryFilters filters;
        QSet<LibraryEntryID> selection;
        QList<AtlasImage *> images;
    };
    std::optional<Entries> m_entries;
    // The entries with no search and no filter, kept apart: windows come
    // back to them whenever a search is cleared.
    std::optional<QList<LibraryEntry>> m_unfilteredEntries;
    // Where the search index keeps the text of each of their images.
    std::optional<std::vector<qsizetype>> m_entryTexts;
    quint64 m_entryTextsGeneration = 0;
    std::optional<Visible> m_visible;

    bool m_announcementQueued = false;
    bool m_imagesMayHaveChanged = false;
    QList<QUuid> m_knownImageIDs;
};
