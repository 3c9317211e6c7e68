#include "shell/LibraryFilters.h"

#include "platform/LocalizedText.h"

namespace {

template<class E>
std::optional<QString> rawText(const std::optional<E> &value)
{
    if (!value)
        return std::nullopt;
    return QString::number(rawValue(*value));
}

} // namespace

void LibraryFilters::clearFilters()
{
    modality.reset();
    region.reset();
    plane.reset();
    ageKind.reset();
    sex.reset();
}

bool LibraryFilters::hasSearchQuery() const
{
    return !trimmingWhitespaceAndNewlines(searchText).isEmpty();
}

QList<std::optional<QString>> LibraryFilters::signature() const
{
    return {searchText, rawText(modality), rawText(region), rawText(plane), rawText(ageKind), rawText(sex)};
}
