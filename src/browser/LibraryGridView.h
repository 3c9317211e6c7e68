#pragma once

#include "ui/FrameClock.h"
#include "ui/Spring.h"

#include <QAbstractItemView>
#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <unordered_map>

class AtlasImage;
class LibraryGridModel;
class LibraryThumbnailDelegate;
class QAbstractButton;
class QPropertyAnimation;
class SpringAnimation;
class ThumbnailCache;

// The scrolling grid of tiles. Its layout is arithmetic (no per-item
// geometry), so a library of any size opens and scrolls at the same cost:
// columns of 140 to 220 points with 16 points between columns and rows,
// 16 points of padding. Only the tiles on screen are drawn, and only they
// ask the thumbnail cache for thumbnails; decodes queued for tiles that
// scrolled away are dropped.
//
// The view reports user actions as signals and leaves the decisions to
// LibraryGrid.
//
// The keyboard: the view takes the focus as a whole, the selected tile
// standing for it, and shows no focus ring; the Add Images tile is a focus
// stop of its own after it (a button laid over the tile, with the tile's
// name), ringed while it has the focus. The menu key (and Shift+F10) asks
// for the selected tile's menu.
class LibraryGridView : public QAbstractItemView {
    Q_OBJECT
public:
    static constexpr int padding = 16;
    static constexpr int spacing = 16;
    static constexpr int minimumTileWidth = 140;
    static constexpr int maximumTileWidth = 220;

    LibraryGridView(ThumbnailCache &cache, QWidget *parent = nullptr);
    ~LibraryGridView() override;

    void setGridModel(LibraryGridModel *model);
    LibraryGridModel *gridModel() const { return m_model; }
    LibraryThumbnailDelegate *thumbnailDelegate() const { return m_delegate; }

    // The grid's selection as drawn; LibraryGrid owns the value. A tile
    // that becomes selected or deselected moves there on a spring of its
    // own (response 0.2 s, damping fraction 0.85), so several may move at
    // once; all are beaten by one frame clock.
    void setSelectedImage(const AtlasImage *image, bool animated);
    const AtlasImage *selectedImage() const { return m_selected; }
    // How far the image's tile shows as selected: 0 not, 1 selected; on the
    // way it may overshoot a little, as a spring does.
    double selectionProgress(const AtlasImage *image) const;
    // The clock of the tiles' selection springs: tests step it frame by frame.
    FrameClock *selectionClock() { return &m_selectionFrames; }
    // The Add Images tile lights up and goes out on a spring (response
    // 0.2 s, damping fraction 0.85): 0 plain, 1 highlighted.
    void setDropTargeted(bool targeted);
    SpringAnimation *dropHighlight() const { return m_dropHighlight; }

    static constexpr double tileSpringResponse = 0.2;
    static constexpr double tileSpringDampingFraction = 0.85;

    // Layout for a viewport width.
    static int columnCountForWidth(int width);
    static int tileWidthForWidth(int width);
    int columnCount() const { return m_columns; }
    int tileWidth() const { return m_tileWidth; }
    int rowHeight() const { return m_rowHeight; }

    // Scrolls so that the row's tile is centred, eased out over 0.1 s
    // when animated.
    void centreRow(int row, bool animated);
    // The rows whose tiles are at least partly on screen.
    QList<int> visibleRows() const;

    // The Add Images tile's focus stop; hidden while the tile is.
    QAbstractButton *addImagesButton() const { return m_addButton; }

    QRect visualRect(const QModelIndex &index) const override;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint &point) const override;

signals:
    void tileClicked(int row);
    void contextMenuRequested(int row, const QPoint &globalPosition);
    // Answers through `handled`; an unhandled key goes on to the parents.
    void keyPressed(QKeyEvent *event, bool *handled);
    void appeared();
    void viewportWidthChanged(int width);
    void dragEntered(QDragEnterEvent *event);
    void dragMoved(QDragMoveEvent *event);
    void dragLeft();
    void dropped(QDropEvent *event);

protected:
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex &index) const override;
    void setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection &selection) const override;
    void updateGeometries() override;

    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void relayout();
    QRect tileRect(int row) const; // in viewport coordinates
    // Repaints the tile (with the other tiles asked for since the last paint).
    void updateTile(int row);
    void requestVisibleThumbnails(const QList<int> &rows);
    void thumbnailArrived(const AtlasImage *image);
    void thumbnailCancelled(const AtlasImage *image);
    void advanceSelection(double seconds);
    double thumbnailAppearance(const AtlasImage *image) const;
    void advanceFades();
    void placeAddButton();

    ThumbnailCache &m_cache;
    LibraryGridModel *m_model = nullptr;
    LibraryThumbnailDelegate *m_delegate = nullptr;
    int m_columns = 1;
    int m_tileWidth = minimumTileWidth;
    int m_rowHeight = 0;
    const AtlasImage *m_selected = nullptr;
    // The tiles on their way to or from the selection.
    std::unordered_map<const AtlasImage *, Spring> m_selectionSprings;
    FrameClock m_selectionFrames;
    QPropertyAnimation *m_scrollAnimation = nullptr;
    bool m_dropTargeted = false;
    SpringAnimation *m_dropHighlight = nullptr;
    int m_pressedRow = -1;
    // Thumbnails that arrived while their tiles were on screen fade in.
    QHash<const AtlasImage *, qint64> m_fadeStarts;
    QElapsedTimer m_clock;
    QTimer m_fadeTimer;
    // Images whose tiles are on screen and have asked for a thumbnail.
    QSet<const AtlasImage *> m_requested;
    QRect m_tilesToUpdate;
    QAbstractButton *m_addButton = nullptr;
};
