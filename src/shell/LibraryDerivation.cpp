#include "shell/LibraryDerivation.h"

#include "model/AtlasImage.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "model/Series.h"

#include <QHash>

#include <algorithm>
#include <array>
#include <vector>

namespace {

// Display texts by stored value, made once; values outside the cases read
// as the text of `unknown`.
template<class E, size_t N>
struct TextTable {
    std::array<QString, N> texts;
    QString unknown;

    template<class Make>
    explicit TextTable(Make make)
    {
        for (size_t raw = 0; raw < N; ++raw)
            texts[raw] = make(caseFromRaw<E>(qint64(raw)));
        unknown = make(E::unknown);
    }
    const QString &operator[](qint64 raw) const
    {
        return raw >= 0 && raw < qint64(N) ? texts[size_t(raw)] : unknown;
    }
};

const TextTable<Modality, 8> &modalityTitles()
{
    static const TextTable<Modality, 8> table([](Modality value) { return title(value); });
    return table;
}

const TextTable<Modality, 8> &modalityLongTitles()
{
    static const TextTable<Modality, 8> table([](Modality value) { return longTitle(value); });
    return table;
}

const TextTable<Region, 9> &regionTitles()
{
    static const TextTable<Region, 9> table([](Region value) { return title(value); });
    return table;
}

const TextTable<Plane, 5> &planeTitles()
{
    static const TextTable<Plane, 5> table([](Plane value) { return title(value); });
    return table;
}

const TextTable<Sex, 4> &sexTitles()
{
    static const TextTable<Sex, 4> table([](Sex value) { return title(value); });
    return table;
}

bool titleOrder(const QString &a, const QString &b)
{
    return localizedStandardCompare(a, b) < 0;
}

} // namespace

LibraryDerivation::LibraryDerivation(const LibraryFilters &filters)
    : m_filters(filters)
    , m_needle(trimmingWhitespaceAndNewlines(filters.searchText))
{
    m_queryIsEmpty = !filters.hasSearchQuery();
}

QString LibraryDerivation::foldedQuery(const LibraryFilters &filters)
{
    return LocalizedSearchNeedle(trimmingWhitespaceAndNewlines(filters.searchText)).folded();
}

bool LibraryDerivation::imageMatchesSearch(const AtlasImage &image) const
{
    if (m_queryIsEmpty)
        return true;
    if (m_needle.isEmpty())
        return false;
    return m_needle.isFoundIn(searchText(image));
}

bool LibraryDerivation::seriesMatchesSearch(const Series &series) const
{
    return m_queryIsEmpty || m_needle.isFoundIn(series.title());
}

bool LibraryDerivation::imagePassesFilters(const AtlasImage &image) const
{
    return imageMatchesSearch(image) && passesMetadataFilters(image);
}

bool LibraryDerivation::passesMetadataFilters(const AtlasImage &image) const
{
    if (m_filters.modality && *m_filters.modality != image.modality())
        return false;
    if (m_filters.region && *m_filters.region != image.region())
        return false;
    if (m_filters.plane && *m_filters.plane != planeFromRaw(image.planeRaw()))
        return false;
    if (m_filters.ageKind && *m_filters.ageKind != image.age().kind())
        return false;
    if (m_filters.sex && *m_filters.sex != image.sex())
        return false;
    return true;
}

QList<LibraryEntry> LibraryDerivation::libraryEntries(const QList<AtlasImage *> &images,
                                                      const QList<Series *> &allSeries) const
{
    QList<AtlasImage *> standalone;
    QHash<const Series *, QList<AtlasImage *>> bySeries;
    for (AtlasImage *image : images) {
        if (!imagePassesFilters(*image))
            continue;
        if (const Series *series = image->series())
            bySeries[series].append(image);
        else
            standalone.append(image);
    }
    std::stable_sort(standalone.begin(), standalone.end(), imageOrder);

    QList<LibrarySeriesGroup> groups;
    const bool filtersActive = m_filters.hasActiveFilters();
    for (Series *series : allSeries) {
        auto found = bySeries.find(series);
        if (found != bySeries.end() && !found->isEmpty()) {
            QList<AtlasImage *> listed = std::move(*found);
            std::stable_sort(listed.begin(), listed.end(), seriesImageOrder);
            groups.append(LibrarySeriesGroup{series, std::move(listed)});
        } else if (series->isEmpty() && !filtersActive && seriesMatchesSearch(*series)) {
            groups.append(LibrarySeriesGroup{series, {}});
        }
    }
    std::stable_sort(groups.begin(), groups.end(),
                     [](const LibrarySeriesGroup &a, const LibrarySeriesGroup &b) { return seriesOrder(a.series, b.series); });

    QList<LibraryEntry> assembled;
    assembled.reserve(standalone.size() + groups.size());
    for (AtlasImage *image : std::as_const(standalone))
        assembled.append(LibraryEntry::image(image));
    for (const LibrarySeriesGroup &group : std::as_const(groups))
        assembled.append(LibraryEntry::series(group));
    // Ordered by position, so the entries themselves move only once.
    std::vector<qsizetype> order(size_t(assembled.size()));
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = qsizetype(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](qsizetype a, qsizetype b) { return entryOrder(assembled.at(a), assembled.at(b)); });
    QList<LibraryEntry> entries;
    entries.reserve(assembled.size());
    for (qsizetype i : order)
        entries.append(assembled.at(i));
    return entries;
}

QList<LibraryEntry> LibraryDerivation::filteredEntries(const QList<LibraryEntry> &unfiltered,
                                                       const std::vector<bool> *matched) const
{
    if (m_queryIsEmpty && !m_filters.hasActiveFilters())
        return unfiltered;
    const bool filtersActive = m_filters.hasActiveFilters();
    size_t position = 0; // in entryImages(unfiltered)
    const auto imagePassesFilters = [&](const AtlasImage &image) {
        const bool found = matched ? (*matched)[position++] : imageMatchesSearch(image);
        return found && passesMetadataFilters(image);
    };
    QList<LibraryEntry> entries;
    for (const LibraryEntry &entry : unfiltered) {
        if (AtlasImage *image = entry.imageValue()) {
            if (imagePassesFilters(*image))
                entries.append(entry);
            continue;
        }
        const LibrarySeriesGroup *group = entry.seriesGroup();
        if (group->images.isEmpty()) {
            // A series with no images at all.
            if (!filtersActive && seriesMatchesSearch(*group->series))
                entries.append(entry);
            continue;
        }
        QList<AtlasImage *> listed;
        for (AtlasImage *image : group->images) {
            if (imagePassesFilters(*image))
                listed.append(image);
        }
        if (!listed.isEmpty())
            entries.append(LibraryEntry::series(LibrarySeriesGroup{group->series, std::move(listed)}));
    }
    return entries;
}

QList<AtlasImage *> LibraryDerivation::entryImages(const QList<LibraryEntry> &entries)
{
    qsizetype count = 0;
    for (const LibraryEntry &entry : entries)
        count += entry.imageValue() ? 1 : entry.seriesGroup()->images.size();
    QList<AtlasImage *> images;
    images.reserve(count);
    for (const LibraryEntry &entry : entries) {
        if (AtlasImage *image = entry.imageValue())
            images.append(image);
        else
            images.append(entry.seriesGroup()->images);
    }
    return images;
}

QList<AtlasImage *> LibraryDerivation::visibleImages(const QList<LibraryEntry> &entries,
                                                     const QSet<LibraryEntryID> &selection)
{
    QList<AtlasImage *> visible;
    if (selection.isEmpty())
        return visible;
    for (const LibraryEntry &entry : entries) {
        if (!selection.contains(entry.entryID()))
            continue;
        if (AtlasImage *image = entry.imageValue())
            visible.append(image);
        else
            visible.append(entry.seriesGroup()->images);
    }
    return visible;
}

std::optional<PendingImageImport::Destination> LibraryDerivation::importDestination(
    const QList<LibraryEntry> &entries, const QSet<LibraryEntryID> &selection)
{
    if (selection.size() != 1)
        return std::nullopt;
    const LibraryEntryID selected = *selection.cbegin();
    for (const LibraryEntry &entry : entries) {
        if (entry.entryID() != selected)
            continue;
        if (AtlasImage *image = entry.imageValue())
            return PendingImageImport::Destination::standaloneImage(image);
        return PendingImageImport::Destination::series(entry.seriesGroup()->series);
    }
    return std::nullopt;
}

bool LibraryDerivation::isSingleSeriesSelected(const QSet<LibraryEntryID> &selection)
{
    return selection.size() == 1 && selection.cbegin()->kind() == LibraryEntryID::Kind::series;
}

LibraryEntryID LibraryDerivation::entryID(const AtlasImage &image)
{
    if (const Series *series = image.series())
        return LibraryEntryID::series(series->id());
    return LibraryEntryID::image(image.id());
}

QList<AtlasImage *> LibraryDerivation::orderedImages(const Series &series)
{
    QList<AtlasImage *> images = series.images();
    // Oldest first, as the library query lists them, before the series order.
    std::stable_sort(images.begin(), images.end(),
                     [](const AtlasImage *a, const AtlasImage *b) { return a->createdAt() < b->createdAt(); });
    std::stable_sort(images.begin(), images.end(), seriesImageOrder);
    return images;
}

bool LibraryDerivation::entryOrder(const LibraryEntry &a, const LibraryEntry &b)
{
    const Date dateA = a.createdAt();
    const Date dateB = b.createdAt();
    if (dateA != dateB)
        return dateA < dateB;
    return titleOrder(a.title(), b.title());
}

bool LibraryDerivation::imageOrder(const AtlasImage *a, const AtlasImage *b)
{
    if (a->createdAt() != b->createdAt())
        return a->createdAt() < b->createdAt();
    return titleOrder(a->title(), b->title());
}

bool LibraryDerivation::seriesImageOrder(const AtlasImage *a, const AtlasImage *b)
{
    if (a->sortIndex() != b->sortIndex())
        return a->sortIndex() < b->sortIndex();
    return imageOrder(a, b);
}

bool LibraryDerivation::seriesOrder(const Series *a, const Series *b)
{
    if (a->createdAt() != b->createdAt())
        return a->createdAt() < b->createdAt();
    return titleOrder(a->title(), b->title());
}

QString LibraryDerivation::searchText(const AtlasImage &image)
{
    return searchText(searchValues(image));
}

QString LibraryDerivation::searchText(const ImageSearchValues &values)
{
    QString text;
    text.reserve(160);
    appendSearchText(text, values);
    return text;
}

void LibraryDerivation::appendSearchText(QString &text, const ImageSearchValues &values)
{
    const auto part = [&](const QString &value) {
        text += value;
        text += QLatin1Char(' ');
    };
    part(values.title);
    part(values.seriesTitle);
    part(modalityTitles()[values.modalityRaw]);
    part(modalityLongTitles()[values.modalityRaw]);
    part(regionTitles()[values.regionRaw]);
    part(planeTitles()[values.planeRaw]);
    part(values.age.displayText());
    part(sexTitles()[values.sexRaw]);
    // Labels joined with one space; no labels still leave an empty part.
    text += values.pointLabels;
    text += QLatin1Char(' ');
    text += values.regionLabels;
}
