#pragma once

#include "model/AgeSpec.h"
#include "model/LibraryEntry.h"
#include "model/MetadataEnums.h"
#include "platform/SharingService.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>

class AtlasImage;
class QAction;
class ContentUnavailableView;
class LibraryFilterControls;
class LibrarySidebarModel;
class QFrame;
class QLineEdit;
class QListView;
class QMenu;
class QModelIndex;
class QPushButton;
class RowSwipeActions;
class Series;
class SpringAnimation;
class SyncPauseSource;
struct SwipeAction;

// The sidebar column of a main window: a search field, the collapsible
// filter panel, the library list with multiple selection and swipe actions
// on every row, the empty states over it and the "iCloud sync paused"
// banner below it.
//
// It keeps no library state: the owner hands it the entries (already
// searched, filtered and ordered) and flags, keeps the bound values
// (selection, search text, filters, whether the filters are expanded) in
// step through their change signals, and receives every user intent as a
// signal. The selection is a set of entry identifiers; identifiers of
// entries that the search or the filters hide stay selected until the user
// changes the selection, and are selected again when their rows come back.
class LibrarySidebar : public QWidget {
    Q_OBJECT
public:
    // The banner follows `syncPause`, which must outlive the sidebar.
    explicit LibrarySidebar(SyncPauseSource &syncPause, QWidget *parent = nullptr);
    ~LibrarySidebar() override;

    // Values.
    void setEntries(const QList<LibraryEntry> &entries);
    const QList<LibraryEntry> &entries() const;
    void setHasContent(bool hasContent);
    void setHasActiveFilters(bool hasActiveFilters);
    // A search runs in the background: its empty list is no "No Matches".
    void setSearching(bool searching);
    bool hasContent() const { return m_hasContent; }
    bool hasActiveFilters() const { return m_hasActiveFilters; }

    // Bound values, set by the owner without a change signal.
    QSet<LibraryEntryID> selection() const { return m_selection; }
    void setSelection(const QSet<LibraryEntryID> &selection);
    QString searchText() const;
    void setSearchText(const QString &text);
    bool isFiltersExpanded() const { return m_isFiltersExpanded; }
    void setFiltersExpanded(bool expanded);
    // The five filter values live in the filter controls, which report
    // their own changes.
    LibraryFilterControls *filterControls() const { return m_filterControls; }

    // The window's commands, with their shortcuts: "Search" (Ctrl+F) puts
    // the keyboard focus in the search field, "Filters" (Ctrl+Alt+F) shows
    // or hides the filter panel.
    QAction *searchAction() const { return m_searchAction; }
    QAction *filtersAction() const { return m_filtersAction; }

    // Captions of the rows.
    static QString imageCaption(const AtlasImage &image);
    static QString seriesCaption(const QList<AtlasImage *> &images);
    static QString ageCaption(const AgeSpec &age);
    static QString sexInitial(Sex sex);
    static const std::array<QString, 4> &sexInitials(); // male, female, unspecified, unknown

    // The entries that a row's export and delete items act on: the listed
    // selected entries, in list order, when at least two are selected and
    // the row is one of them; otherwise the row's entry alone.
    QList<LibraryEntry> actionTargets(const LibraryEntry &entry) const;
    // "Export…" for one image, "Export Series…" for one series, "Export N
    // Items…" for any other count.
    static QString exportMenuTitle(const QList<LibraryEntry> &targets);
    static QString deleteMenuTitle(const QList<LibraryEntry> &targets);
    // The row's context menu; the caller owns it. Building it reads
    // nothing of the library beyond the entries' titles.
    QMenu *contextMenu(const LibraryEntry &entry, QWidget *parent = nullptr);
    // The "Share" submenu of the targets: their archive's name, then one
    // item per target that this desktop offers ("Email…", "Show in Folder",
    // "Copy").
    QMenu *shareMenu(const QList<LibraryEntry> &targets, QWidget *parent);
    static QString shareTargetTitle(SharingService::Target target);

    // The actions a sideways swipe over the row uncovers, in order: "Delete"
    // (the full swipe's), then "Edit" for an image or "Rename" for a
    // series; each acts on the row alone.
    QList<SwipeAction> swipeActions(const LibraryEntry &entry);
    RowSwipeActions *rowSwipe() const { return m_rowSwipe; }

    // Inverts whether the filter panel is open (the "Filters" command).
    void toggleFilters();
    // Whether the panel shows: it stays closed while there is no content.
    bool isFilterPanelShown() const;
    // How far the panel is open, from 0 closed to 1 open: it slides on a
    // spring (response 0.25 s, damping fraction 0.85), whose clock tests
    // step frame by frame.
    SpringAnimation *filterPanelOpening() const { return m_filterOpening; }
    static constexpr double filterSpringResponse = 0.25;
    static constexpr double filterSpringDampingFraction = 0.85;
    bool isSyncPausedBannerShown() const;
    // The current empty state's title; empty when the list shows.
    QString emptyStateTitle() const;

    QLineEdit *searchField() const { return m_searchField; }
    QListView *listView() const { return m_list; }
    ContentUnavailableView *emptyStateView() const { return m_emptyState; }
    QPushButton *clearFiltersButton() const { return m_clearFilters; }
    // Opens the context menu of a row as a right-click would.
    void showContextMenu(int row, const QPoint &globalPosition);

signals:
    void selectionChanged(const QSet<LibraryEntryID> &selection);
    void searchTextChanged(const QString &text);
    void filtersExpandedChanged(bool expanded);

    // User intents.
    void importRequested();
    void clearFiltersRequested();
    void editRequested(AtlasImage *image);
    void renameRequested(Series *series);
    void duplicateImageRequested(AtlasImage *image);
    void duplicateSeriesRequested(Series *series);
    // Export the entries as a library archive.
    void exportRequested(const QList<LibraryEntry> &entries);
    // Share the entries' library archive through the target.
    void shareRequested(const QList<LibraryEntry> &entries, SharingService::Target target);
    // The owner confirms before deleting.
    void deleteRequested(const QList<LibraryEntry> &entries);

private:
    void buildLayout();
    void applySelectionToList();
    void listSelectionChanged();
    void updateFilterPanel();
    // The panel's height for where its spring is.
    void layOutFilterPanel();
    void updateEmptyState();
    void updateBanner();

    SyncPauseSource &m_syncPause;
    LibrarySidebarModel *m_model = nullptr;
    QListView *m_list = nullptr;
    QLineEdit *m_searchField = nullptr;
    QWidget *m_filterPanel = nullptr;
    QFrame *m_filterDivider = nullptr;
    SpringAnimation *m_filterOpening = nullptr;
    LibraryFilterControls *m_filterControls = nullptr;
    QPushButton *m_clearFilters = nullptr;
    ContentUnavailableView *m_emptyState = nullptr;
    QWidget *m_banner = nullptr;
    QAction *m_searchAction = nullptr;
    QAction *m_filtersAction = nullptr;
    RowSwipeActions *m_rowSwipe = nullptr;

    QSet<LibraryEntryID> m_selection;
    bool m_hasContent = false;
    bool m_hasActiveFilters = false;
    bool m_searching = false;
    bool m_isFiltersExpanded = false;
    bool m_filterPanelOpen = false; // where the panel is or is going
    bool m_applyingSelection = false;
};
