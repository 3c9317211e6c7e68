#pragma once

#include "model/AgeSpec.h"
#include "model/MetadataEnums.h"

#include <QList>
#include <QString>

#include <optional>

// A main window's search text (exactly as typed) and its five metadata
// filters; an absent filter lets every value pass.
struct LibraryFilters {
    QString searchText;
    std::optional<Modality> modality;
    std::optional<Region> region;
    std::optional<Plane> plane;
    std::optional<AgeSpec::Kind> ageKind;
    std::optional<Sex> sex;

    // At least one of the five filters is set; the search text does not count.
    bool hasActiveFilters() const { return modality || region || plane || ageKind || sex; }
    // The search text holds more than white space and line breaks.
    bool hasSearchQuery() const;
    // The five filters absent; the search text stays.
    void clearFilters();

    // The search text as typed, then each filter's raw value in decimal (or
    // none): compared only to notice a change.
    QList<std::optional<QString>> signature() const;

    friend bool operator==(const LibraryFilters &, const LibraryFilters &) = default;
};
