#pragma once

#include "model/LibraryEntry.h"
#include "shell/LibraryFilters.h"
#include "shell/LibrarySearchIndex.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QUuid>

#include <algorithm>
#include <memory>
#include <optional>

class AtlasImage;
class ModelContext;
class ModelObject;
class Series;

// What a main window reads of the library: every image and series, and the
// sidebar entries and grid images derived from them for a search, filters
// and a sidebar selection (see LibraryDerivation). Main thread only.
//
// What every window reads alike (the images and series as fetched, the
// entries with no search and no filter, and the images' search texts, kept
// folded in a LibrarySearchIndex) is held once for the library, by all the
// queries of one context together: a window opened later reads none of it
// again. The search texts are read from the store on a worker thread from
// the turn of the event loop after the first query is made.
//
// A search is answered at once where that is quick: a library whose texts
// are short (scanOffThreadFrom()), and, while its texts are being read, a
// library of few images (answersAtOnceUpTo(): the read is waited for).
// Otherwise it runs in the background, the texts read or scanned on the
// computing pool, and nothing waits for it: until its results are in,
// isSearching() holds and the lists are empty (never those of an earlier
// search), and searchResultsArrived() follows once they can be had.
//
// The library's own lists (the images, the series, the unfiltered entries)
// take in what changed where it changed, as a fresh fetch would list it:
// the work follows the size of the change, not of the library (a rollback
// makes them anew). A window's lists for a search or filters are derived
// again from them.
//
// Each list is kept until something it shows changes: the images' and
// series' values (titles, metadata, dates, sort indices, image bytes),
// which image is in which series, images and series coming and going, and,
// for lists made for a search, the point and region labels that search
// reads. Annotation coordinates, vertices, links and groups are not shown,
// so writing them keeps every list (the editor writes coordinates on every
// pointer move).
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
    // ordered; none while their search runs in the background.
    const QList<LibraryEntry> &entries(const LibraryFilters &filters);
    // The grid's images: the listed images of the selected entries (of the
    // entries that entries() answers).
    const QList<AtlasImage *> &visibleImages(const LibraryFilters &filters, const QSet<LibraryEntryID> &selection);
    // Whether the search of `filters` runs in the background: entries() and
    // visibleImages() answer none until searchResultsArrived().
    bool isSearching(const LibraryFilters &filters);

    // Whether the library's search texts have been read, so that a search
    // gets its results at once.
    bool isSearchIndexReady() const;
    // The library's search index, the same for every query of the context.
    const LibrarySearchIndex &searchIndex() const;

    // A search of a library whose texts hold at least this many characters
    // is scanned on the computing pool, in the background; a smaller one at
    // once.
    static qsizetype scanOffThreadFrom() { return s_scanOffThreadFrom; }
    static void setScanOffThreadFrom(qsizetype characters) { s_scanOffThreadFrom = characters; }
    // A search typed while the texts are being read waits for the read in a
    // library of at most this many images (the read takes a few
    // milliseconds); in a larger one it runs in the background.
    static qsizetype answersAtOnceUpTo() { return s_answersAtOnceUpTo; }
    static void setAnswersAtOnceUpTo(qsizetype images) { s_answersAtOnceUpTo = images; }
    // Such a search first looks up where the index keeps the texts of the
    // listed images, this many images per turn of the event loop.
    static qsizetype lookUpsPerTurn() { return s_lookUpsPerTurn; }
    static void setLookUpsPerTurn(qsizetype images) { s_lookUpsPerTurn = std::max<qsizetype>(1, images); }

signals:
    // A list may have changed since the last announcement: read it again.
    // `imagesChanged`: images came or went, or one changed its identifier.
    void libraryChanged(bool imagesChanged);
    // The search that ran in the background can now be answered: read the
    // lists again.
    void searchResultsArrived();

private:
    // How far a change reaches.
    enum class Reach {
        none,     // nothing shown: coordinates, vertices, links, groups
        labels,   // an image's annotation labels: lists made for a search
        listing,  // what every list shows (and where, the order of images and series)
        images,   // the same, and which images exist
    };
    class Library;

    // Drops this window's lists that `reach` changes; whether any was.
    bool drop(Reach reach);
    // Emits searchResultsArrived() if the search awaited can now be
    // answered.
    void searchResultsMayHaveArrived();
    static inline qsizetype s_scanOffThreadFrom = 4 << 20;
    static inline qsizetype s_answersAtOnceUpTo = 4096;
    static inline qsizetype s_lookUpsPerTurn = 1 << 16;

    ModelContext &m_context;
    std::shared_ptr<Library> m_library;

    struct Entries {
        LibraryFilters filters;
        QList<LibraryEntry> entries;
        bool searching = false; // none until the search's results are in
    };
    struct Visible {
        LibraryFilters filters;
        QSet<LibraryEntryID> selection;
        QList<AtlasImage *> images;
    };
    std::optional<Entries> m_entries;
    std::optional<Visible> m_visible;
    // The folded search that runs in the background for the lists asked
    // for last.
    std::optional<QString> m_awaitedNeedle;
};
