#pragma once

#include <QList>
#include <QUrl>
#include <QWidget>

#include <functional>

#include "model/AtlasImage.h"
class ContentUnavailableView;
class LibraryGridModel;
class LibraryGridView;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QKeyEvent;
class QMenu;
class QStackedLayout;
class ThumbnailCache;

// The thumbnail grid of the images of the sidebar selection, with the Add
// Images tile, keyboard navigation, dropping of image files, a context menu
// per tile and the empty states. It holds no library state: the owner hands
// it values (set*), keeps the bound values (selectedImage, autoFocusOnAppear)
// in step through their change signals, and receives every user action as a
// signal but a drop, which it answers (onDropImages).
class LibraryGrid : public QWidget {
    Q_OBJECT
public:
    // What the grid shows instead of, or as, its content.
    enum class Content { grid, noImages, noMatches, noSelection, searching };

    static constexpr double previewSide = 170;

    explicit LibraryGrid(QWidget *parent = nullptr);
    explicit LibraryGrid(ThumbnailCache &cache, QWidget *parent = nullptr);
    ~LibraryGrid() override;

    // Values.
    void setImages(const QList<AtlasImage *> &images);
    const QList<AtlasImage *> &images() const;
    void setHasImages(bool hasImages);
    void setHasSelection(bool hasSelection);
    void setHasActiveFilters(bool hasActiveFilters);
    void setCanAddImages(bool canAddImages);
    void setCanReorder(bool canReorder);
    // A search runs in the background: its empty list is no "No Matches".
    void setSearching(bool searching);
    bool hasImages() const { return m_hasImages; }
    bool hasSelection() const { return m_hasSelection; }
    bool hasActiveFilters() const { return m_hasActiveFilters; }
    bool canAddImages() const { return m_canAddImages; }
    bool canReorder() const { return m_canReorder; }

    // Bound values: set by the owner; changes made here are reported by
    // selectedImageChanged() and autoFocusOnAppearChanged().
    AtlasImage *selectedImage() const { return m_selectedImage; }
    void setSelectedImage(AtlasImage *image);
    bool autoFocusOnAppear() const { return m_autoFocusOnAppear; }
    void setAutoFocusOnAppear(bool autoFocus);

    // Asked when a tile's menu opens: whether the image can move `offset`
    // places in its series (none: it cannot).
    std::function<bool(AtlasImage *, int offset)> canMoveImage;
    // Given the URLs dropped on the grid while images can be added; answers
    // whether the owner took them (none: nothing is taken). The drop is
    // accepted, and its source told so, only on yes.
    std::function<bool(const QList<QUrl> &urls)> onDropImages;

    // Own state.
    Content content() const { return m_content; }
    int columnCount() const { return m_columnCount; }
    bool isDropTargeted() const { return m_isDropTargeted; }
    bool isFocused() const;

    // The number of columns that Up and Down move by, for the grid's width.
    static int columnCount(double width);

    // The operations behind the keys, clicks, drops and menus.
    bool moveSelection(int offset);
    bool openSelection();
    void handleTap(AtlasImage *image);
    bool isSelected(const AtlasImage *image) const;
    // Refuses while no images can be added; otherwise answers what
    // onDropImages answers.
    bool handleDrop(const QList<QUrl> &urls);
    // The tile's context menu; the caller owns it.
    QMenu *contextMenu(AtlasImage *image, QWidget *parent = nullptr);

    LibraryGridView *view() const { return m_view; }
    ContentUnavailableView *emptyStateView() const { return m_emptyState; }

signals:
    void selectedImageChanged(AtlasImage *image);
    void autoFocusOnAppearChanged(bool autoFocus);

    // User intents.
    void openRequested(AtlasImage *image);
    void importRequested();
    void clearFiltersRequested();
    void editRequested(AtlasImage *image);
    void duplicateRequested(AtlasImage *image);
    void deleteRequested(AtlasImage *image);
    void moveRequested(AtlasImage *image, int offset);
    void addImagesRequested();

private:
    void updateContent();
    void updateColumnCount(int width);
    // Takes the keyboard focus when autoFocusOnAppear, unless a text field has it.
    void handleAppear();
    static bool isTyping();
    void handleKey(QKeyEvent *event, bool *handled);
    void handleClick(int row);
    void showContextMenu(int row, const QPoint &globalPosition);
    void updateDropTarget(QDragMoveEvent *event);
    void setDropTargeted(bool targeted);
    void assignSelection(AtlasImage *image);

    ThumbnailCache &m_cache;
    LibraryGridModel *m_model = nullptr;
    LibraryGridView *m_view = nullptr;
    ContentUnavailableView *m_emptyState = nullptr;
    QStackedLayout *m_stack = nullptr;

    AtlasImage *m_selectedImage = nullptr;
    bool m_hasImages = false;
    bool m_hasSelection = false;
    bool m_hasActiveFilters = false;
    bool m_searching = false;
    bool m_canAddImages = false;
    bool m_canReorder = false;
    bool m_autoFocusOnAppear = true;
    Content m_content = Content::noSelection;
    int m_columnCount = 1;
    bool m_isDropTargeted = false;
};
