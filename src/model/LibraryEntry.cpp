#include "model/LibraryEntry.h"

#include "model/AtlasImage.h"
#include "model/Series.h"

QUuid LibrarySeriesGroup::id() const
{
    return series->id();
}

QString LibrarySeriesGroup::displayTitle() const
{
    const QString title = series->title();
    return title.isEmpty() ? QStringLiteral("Untitled Series") : title;
}

size_t qHash(const LibraryEntryID &id, size_t seed) noexcept
{
    return qHashMulti(seed, static_cast<int>(id.kind()), id.uuid());
}

AtlasImage *LibraryEntry::imageValue() const
{
    const auto *image = std::get_if<AtlasImage *>(&m_value);
    return image ? *image : nullptr;
}

const LibrarySeriesGroup *LibraryEntry::seriesGroup() const
{
    return std::get_if<LibrarySeriesGroup>(&m_value);
}

LibraryEntryID LibraryEntry::entryID() const
{
    if (AtlasImage *image = imageValue())
        return LibraryEntryID::image(image->id());
    return LibraryEntryID::series(seriesGroup()->id());
}

QString LibraryEntry::title() const
{
    if (AtlasImage *image = imageValue()) {
        const QString title = image->title();
        return title.isEmpty() ? QStringLiteral("Untitled") : title;
    }
    return seriesGroup()->displayTitle();
}

Date LibraryEntry::createdAt() const
{
    if (AtlasImage *image = imageValue())
        return image->createdAt();
    return seriesGroup()->series->createdAt();
}
