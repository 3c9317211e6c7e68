#pragma once

#include "browser/PendingImageImport.h"
#include "model/ImageSearchValues.h"
#include "model/LibraryEntry.h"
#include "platform/LocalizedText.h"
#include "shell/LibraryFilters.h"

#include <QList>
#include <QSet>
#include <QString>

#include <optional>
#include <vector>

class AtlasImage;
class Series;

// What a main window lists: the library's images and series searched,
// filtered, grouped into sidebar entries and ordered, the images the grid
// shows for a sidebar selection, and the import destination of a selection.
// Pure functions of the given model objects and filters; the search text is
// folded once per derivation.
//
// Model objects are told apart by identity (pointers), never by their `id`
// values, which need not be unique in a library merged from archives.
class LibraryDerivation {
public:
    explicit LibraryDerivation(const LibraryFilters &filters);

    // The query trimmed and folded for search, as indexed texts are: empty
    // when the query matches nothing (or is empty, matching everything).
    static QString foldedQuery(const LibraryFilters &filters);

    const LibraryFilters &filters() const { return m_filters; }

    // The query is empty, or the image's search text (title, series title,
    // modality code and full name, region, plane, age, sex, point labels,
    // region labels, one space between parts) contains it, ignoring case and
    // diacritics.
    bool imageMatchesSearch(const AtlasImage &image) const;
    // The query is empty, or the series' title contains it.
    bool seriesMatchesSearch(const Series &series) const;
    // The search, then each present filter in turn.
    bool imagePassesFilters(const AtlasImage &image) const;

    // `images` and `allSeries`: every image and series, oldest first. The
    // standalone images that pass, then the series groups (a series with its
    // passing images in series order; a series with no images at all only
    // while no filter is set and its title matches), in entry order.
    QList<LibraryEntry> libraryEntries(const QList<AtlasImage *> &images, const QList<Series *> &allSeries) const;
    // The same from the entries derived with no search and no filter: each
    // entry keeps the images that pass, in its order, and the entries keep
    // theirs (the orderings are total, so what passes keeps its order).
    // `matched`, when given, says for each image of entryImages(unfiltered)
    // whether it matches the search (an index's answer), in place of
    // testing its search text.
    QList<LibraryEntry> filteredEntries(const QList<LibraryEntry> &unfiltered,
                                        const std::vector<bool> *matched = nullptr) const;
    // The entries' images: each image entry's, each series group's in turn.
    static QList<AtlasImage *> entryImages(const QList<LibraryEntry> &entries);

    // The listed images of the selected entries, in entry order.
    static QList<AtlasImage *> visibleImages(const QList<LibraryEntry> &entries, const QSet<LibraryEntryID> &selection);
    // With exactly one selected identifier that names a listed entry: that
    // series, or that standalone image. Never a new entry.
    static std::optional<PendingImageImport::Destination> importDestination(const QList<LibraryEntry> &entries,
                                                                             const QSet<LibraryEntryID> &selection);
    // Exactly one identifier, of the series kind, listed or not.
    static bool isSingleSeriesSelected(const QSet<LibraryEntryID> &selection);
    // The series' row for an image in a series, else the image's own row.
    static LibraryEntryID entryID(const AtlasImage &image);
    // The series' images in series order; search and filters do not apply.
    static QList<AtlasImage *> orderedImages(const Series &series);

    // Orderings: whether the first value goes before the second.
    static bool entryOrder(const LibraryEntry &a, const LibraryEntry &b);
    static bool imageOrder(const AtlasImage *a, const AtlasImage *b);
    static bool seriesImageOrder(const AtlasImage *a, const AtlasImage *b);
    static bool seriesOrder(const Series *a, const Series *b);

    // The image's search text: its ten parts joined with one space.
    static QString searchText(const AtlasImage &image);
    // The same from the values it is made of, or appended to `text`.
    static QString searchText(const ImageSearchValues &values);
    static void appendSearchText(QString &text, const ImageSearchValues &values);

private:
    bool passesMetadataFilters(const AtlasImage &image) const;

    LibraryFilters m_filters;
    bool m_queryIsEmpty = true;
    LocalizedSearchNeedle m_needle;
};
