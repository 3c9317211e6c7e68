#pragma once

#include <optional>

class QTabWidget;

struct NSTabView {
    // Selects the next tab, or the first after the last; nothing without a
    // selected tab.
    static void advanceTabIndex(QTabWidget &tabs);
    static std::optional<int> indexOfSelectedTabViewItem(const QTabWidget &tabs);
};
