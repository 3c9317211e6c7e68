#pragma once

#include <QWidget>

class AppState;
class LibrarySidebar;
class PaneHeader;
class QAction;
class QToolButton;
class UserDefaults;

// The sidebar column of a main window: the library list (LibrarySidebar),
// under a bar with two buttons, "Filters", which shows or hides the filter
// controls (the list's command), and "Import images". It holds no library
// state: the window hands the list its values and follows its signals
// directly, and this column only keeps the buttons in step.
class ContentSidebar : public QWidget {
    Q_OBJECT
public:
    explicit ContentSidebar(AppState &appState, QWidget *parent = nullptr);
    ContentSidebar(AppState &appState, UserDefaults &defaults, QWidget *parent = nullptr);

    LibrarySidebar *sidebar() const { return m_sidebar; }

    // The filters button shows only while the library has content; its
    // symbol is filled and tinted while a filter is active.
    void setHasContent(bool hasContent);
    void setHasActiveFilters(bool hasActiveFilters);

    // The "Import images" command of the bar's button.
    QAction *importAction() const { return m_importCommand; }

    QToolButton *filtersButton() const { return m_filters; }
    QToolButton *importButton() const { return m_import; }
    // "Active" while a filter is set, else "Off": the filters button's
    // accessible value.
    QString filtersButtonValue() const;

private:
    void updateFiltersButton();

    LibrarySidebar *m_sidebar = nullptr;
    PaneHeader *m_header = nullptr;
    QAction *m_importCommand = nullptr;
    QToolButton *m_filters = nullptr;
    QToolButton *m_import = nullptr;
    bool m_hasContent = false;
    bool m_hasActiveFilters = false;
};
