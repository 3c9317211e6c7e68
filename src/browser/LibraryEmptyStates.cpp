#include "browser/LibraryEmptyStates.h"

ContentUnavailableView::Content LibraryEmptyStates::noImages()
{
    return {QStringLiteral("No Images"), QStringLiteral("photo.on.rectangle.angled"),
            QStringLiteral("Import images to start building the atlas."),
            ContentUnavailableView::Action{QStringLiteral("Import Images"), QStringLiteral("plus")}};
}

ContentUnavailableView::Content LibraryEmptyStates::noMatches(bool hasActiveFilters)
{
    ContentUnavailableView::Content content{QStringLiteral("No Matches"),
                                            QStringLiteral("line.3.horizontal.decrease.circle"),
                                            QStringLiteral("Adjust the search or filters to show images."),
                                            std::nullopt};
    if (hasActiveFilters)
        content.action = ContentUnavailableView::Action{QStringLiteral("Clear Filters"), QStringLiteral("xmark.circle")};
    return content;
}

ContentUnavailableView::Content LibraryEmptyStates::searching()
{
    return {QStringLiteral("Searching\u2026"), QStringLiteral("magnifyingglass"),
            QStringLiteral("The library is being searched."), std::nullopt};
}
