#include "appkit/NSTabView.h"

#include <QTabWidget>

void NSTabView::advanceTabIndex(QTabWidget &tabs)
{
    const auto selected = indexOfSelectedTabViewItem(tabs);
    if (!selected)
        return;
    tabs.setCurrentIndex(*selected >= tabs.count() - 1 ? 0 : *selected + 1);
}

std::optional<int> NSTabView::indexOfSelectedTabViewItem(const QTabWidget &tabs)
{
    const int index = tabs.currentIndex();
    if (index < 0)
        return std::nullopt;
    return index;
}
