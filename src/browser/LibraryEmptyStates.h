#pragma once

#include "ui/ContentUnavailableView.h"

// The library's empty states, shared by the list and the grid.
namespace LibraryEmptyStates {

// "No Images", offering "Import Images".
ContentUnavailableView::Content noImages();
// "No Matches", offering "Clear Filters" only while filters are active.
ContentUnavailableView::Content noMatches(bool hasActiveFilters);
// "Searching…", while a search of a large library runs.
ContentUnavailableView::Content searching();

} // namespace LibraryEmptyStates
