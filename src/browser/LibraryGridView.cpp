#include "browser/LibraryGridView.h"

#include "browser/LibraryGridModel.h"
#include "browser/LibraryThumbnail.h"
#include "browser/LibraryThumbnailDelegate.h"
#include "browser/ThumbnailCache.h"
#include "ui/AppStyle.h"
#include "ui/SpringAnimation.h"

#include <QAbstractButton>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPropertyAnimation>
#include <QScrollBar>

#include <cmath>

namespace {

// What a change to a tile repaints around its rectangle, half the gap
// between tiles: room for the focus ring.
constexpr int tileMargin = LibraryGridView::spacing / 2;

// The springs of a tile's selection and of the drop highlight run from 0 to
// 1: they come to rest within a thousandth of that, so that their last
// overshoot is still drawn.
constexpr double tileRestDistance = 0.001;

// The outline of the focus ring around a tile (its picture and captions):
// clear of the picture's square as it grows 3 % when selected, within
// half the gap to the next tile.
QRectF ringOutline(const QRectF &tile)
{
    const double off = tile.width() * (LibraryThumbnail::selectedScale - 1) / 2 + 1.5 + AppStyle::focusRingWidth;
    return tile.adjusted(-off, -off, off, off);
}

void paintTileRing(QPainter &painter, const QRectF &tile, const QPalette &palette)
{
    const QRectF outline = ringOutline(tile);
    AppStyle::paintFocusRing(painter, outline, LibraryThumbnail::cornerRadius + (outline.width() - tile.width()) / 2,
                             palette);
}

// The Add Images tile's focus stop, laid over the tile the view draws: it
// draws only the focus ring, and a click, Space or Return on it is a click
// on the tile.
class AddImagesButton final : public QAbstractButton {
public:
    explicit AddImagesButton(QWidget *parent) : QAbstractButton(parent)
    {
        setFocusPolicy(Qt::TabFocus);
        setText(QStringLiteral("Add Images"));
        setAccessibleName(text());
        setAccessibleDescription(QStringLiteral("Click or drop files"));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        if (hasFocus()) {
            QPainter painter(this);
            paintTileRing(painter, QRectF(rect()).adjusted(tileMargin, tileMargin, -tileMargin, -tileMargin),
                          palette());
        }
    }

    void keyPressEvent(QKeyEvent *event) override
    {
        switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (!event->modifiers()) {
                click();
                return;
            }
            break;
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
            // Back among the tiles, where the arrow moves on.
            if (QWidget *view = parentWidget()->parentWidget())
                view->setFocus(Qt::OtherFocusReason);
            event->ignore();
            return;
        default:
            break;
        }
        QAbstractButton::keyPressEvent(event);
    }

    // Tab may reach the tile scrolled out of sight: it comes into view (the
    // last row of the view's model).
    void focusInEvent(QFocusEvent *event) override
    {
        QAbstractButton::focusInEvent(event);
        auto *view = qobject_cast<QAbstractItemView *>(parentWidget()->parentWidget());
        if (view && view->model() && view->model()->rowCount() > 0)
            view->scrollTo(view->model()->index(view->model()->rowCount() - 1, 0));
    }

    // Drops go through to the view; the tile has no menu of its own.
    void contextMenuEvent(QContextMenuEvent *event) override { event->accept(); }
};

} // namespace

LibraryGridView::LibraryGridView(ThumbnailCache &cache, QWidget *parent)
    : QAbstractItemView(parent)
    , m_cache(cache)
{
    m_delegate = new LibraryThumbnailDelegate(cache, this);
    m_delegate->selectionProgress = [this](const AtlasImage *image) { return selectionProgress(image); };
    m_dropHighlight = new SpringAnimation(tileSpringResponse, tileSpringDampingFraction, 0, this);
    m_dropHighlight->setRestDistance(tileRestDistance);
    m_delegate->dropHighlight = [this] { return m_dropHighlight->value(); };
    m_delegate->thumbnailAppearance = [this](const AtlasImage *image) { return thumbnailAppearance(image); };
    m_clock.start();
    m_fadeTimer.setInterval(16);
    connect(&m_fadeTimer, &QTimer::timeout, this, &LibraryGridView::advanceFades);
    setItemDelegate(m_delegate);
    setSelectionMode(NoSelection);
    setEditTriggers(NoEditTriggers);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_MacShowFocusRect, false);
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(ScrollPerPixel);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(DropOnly);
    viewport()->setAutoFillBackground(false);

    connect(&m_selectionFrames, &FrameClock::ticked, this, &LibraryGridView::advanceSelection);
    connect(m_dropHighlight, &SpringAnimation::valueChanged, this, [this] {
        if (m_model && m_model->showsAddTile())
            updateTile(m_model->rowCount() - 1);
    });

    m_scrollAnimation = new QPropertyAnimation(verticalScrollBar(), "value", this);
    m_scrollAnimation->setDuration(100);
    m_scrollAnimation->setEasingCurve(QEasingCurve::OutCubic);

    m_addButton = new AddImagesButton(viewport());
    m_addButton->hide();
    connect(m_addButton, &QAbstractButton::clicked, this, [this] {
        if (m_model && m_model->showsAddTile())
            emit tileClicked(m_model->rowCount() - 1);
    });
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &LibraryGridView::placeAddButton);

    connect(m_delegate, &LibraryThumbnailDelegate::scaledThumbnailReady, this, [this](const AtlasImage *image) {
        for (int row : visibleRows()) {
            if (m_model->imageAt(row) == image)
                updateTile(row);
        }
    });
    connect(&cache, &ThumbnailCache::thumbnailReady, this, &LibraryGridView::thumbnailArrived);
    connect(&cache, &ThumbnailCache::thumbnailCancelled, this, &LibraryGridView::thumbnailCancelled);
}

LibraryGridView::~LibraryGridView()
{
    for (const AtlasImage *image : std::as_const(m_requested))
        m_cache.cancel(image);
}

void LibraryGridView::setGridModel(LibraryGridModel *model)
{
    m_model = model;
    setModel(model);
    const auto changed = [this] {
        updateGeometries();
        viewport()->update();
    };
    connect(model, &QAbstractItemModel::modelReset, this, changed);
    connect(model, &QAbstractItemModel::rowsInserted, this, changed);
    connect(model, &QAbstractItemModel::rowsRemoved, this, changed);
    connect(model, &QAbstractItemModel::layoutChanged, this, changed);
    relayout();
}

void LibraryGridView::setSelectedImage(const AtlasImage *image, bool animated)
{
    if (image == m_selected)
        return;
    const AtlasImage *previous = m_selected;
    m_selected = image;
    if (!animated || !isVisible()) {
        m_selectionSprings.clear();
        m_selectionFrames.stop();
        viewport()->update();
        return;
    }
    // The tile left goes back, the one chosen grows, each from where it is
    // (a tile still on its way keeps its speed).
    for (const auto &[tile, target] : {std::pair{previous, 0.0}, std::pair{image, 1.0}}) {
        if (!tile)
            continue;
        auto moving = m_selectionSprings.find(tile);
        if (moving == m_selectionSprings.end()) {
            moving = m_selectionSprings.emplace(tile, Spring(tileSpringResponse, tileSpringDampingFraction, 1 - target))
                         .first;
            moving->second.setRestDistance(tileRestDistance);
        }
        moving->second.setTarget(target);
    }
    m_selectionFrames.start();
}

void LibraryGridView::advanceSelection(double seconds)
{
    // The moving tiles on screen are drawn again, with where their springs
    // are once advanced; one off screen needs no drawing (and finding its
    // row would mean searching them all).
    for (int row : visibleRows()) {
        if (m_selectionSprings.contains(m_model->imageAt(row)))
            updateTile(row);
    }
    for (auto moving = m_selectionSprings.begin(); moving != m_selectionSprings.end();) {
        moving->second.advance(seconds);
        moving = moving->second.isSettled() ? m_selectionSprings.erase(moving) : std::next(moving);
    }
    if (m_selectionSprings.empty())
        m_selectionFrames.stop();
}

double LibraryGridView::selectionProgress(const AtlasImage *image) const
{
    const auto moving = m_selectionSprings.find(image);
    if (moving != m_selectionSprings.end())
        return moving->second.value();
    return image && image == m_selected ? 1.0 : 0.0;
}

void LibraryGridView::setDropTargeted(bool targeted)
{
    if (targeted == m_dropTargeted)
        return;
    m_dropTargeted = targeted;
    if (isVisible())
        m_dropHighlight->setTarget(targeted ? 1.0 : 0.0);
    else
        m_dropHighlight->jumpTo(targeted ? 1.0 : 0.0);
    if (m_model && m_model->showsAddTile())
        updateTile(m_model->rowCount() - 1);
}

int LibraryGridView::columnCountForWidth(int width)
{
    const int available = width - 2 * padding;
    if (available <= 0)
        return 1;
    return std::max(1, (available + spacing) / (minimumTileWidth + spacing));
}

int LibraryGridView::tileWidthForWidth(int width)
{
    const int available = width - 2 * padding;
    const int columns = columnCountForWidth(width);
    const int share = (available - spacing * (columns - 1)) / columns;
    return std::clamp(share, 1, maximumTileWidth);
}

void LibraryGridView::relayout()
{
    const int width = viewport()->width();
    m_columns = columnCountForWidth(width);
    m_tileWidth = tileWidthForWidth(width);
    m_rowHeight = int(std::ceil(LibraryThumbnail::height(m_tileWidth)));
    // Thumbnails scaled for two screens of tiles: the one shown and the
    // one scrolled from.
    const qreal ratio = devicePixelRatioF();
    const qsizetype screen = qsizetype(std::ceil(width * ratio)) * qsizetype(std::ceil(viewport()->height() * ratio)) * 4;
    m_delegate->setScaledBudget(std::max<qsizetype>(2 * screen, 4 * 1024 * 1024));
    updateGeometries();
    viewport()->update();
}

void LibraryGridView::updateGeometries()
{
    const int count = m_model ? m_model->rowCount() : 0;
    const int rows = (count + m_columns - 1) / m_columns;
    const int content = rows > 0 ? 2 * padding + rows * m_rowHeight + (rows - 1) * spacing : 0;
    QScrollBar *bar = verticalScrollBar();
    bar->setRange(0, std::max(0, content - viewport()->height()));
    bar->setPageStep(viewport()->height());
    bar->setSingleStep(std::max(1, (m_rowHeight + spacing) / 4));
    QAbstractItemView::updateGeometries();
    placeAddButton();
}

void LibraryGridView::placeAddButton()
{
    if (!m_addButton)
        return; // still being made
    const bool shown = m_model && m_model->showsAddTile();
    if (shown) {
        // The tile, with room for the ring.
        m_addButton->setGeometry(
            tileRect(m_model->rowCount() - 1).adjusted(-tileMargin, -tileMargin, tileMargin, tileMargin));
    }
    m_addButton->setVisible(shown);
}

QRect LibraryGridView::tileRect(int row) const
{
    const int column = row % m_columns;
    const int line = row / m_columns;
    return QRect(padding + column * (m_tileWidth + spacing),
                 padding + line * (m_rowHeight + spacing) - verticalScrollBar()->value(), m_tileWidth, m_rowHeight);
}

QList<int> LibraryGridView::visibleRows() const
{
    QList<int> rows;
    if (!m_model)
        return rows;
    const int count = m_model->rowCount();
    const int top = verticalScrollBar()->value();
    const int bottom = top + viewport()->height();
    const int pitch = m_rowHeight + spacing;
    const int firstLine = std::max(0, (top - padding) / pitch);
    for (int line = firstLine;; ++line) {
        const int lineTop = padding + line * pitch;
        if (lineTop >= bottom)
            break;
        if (lineTop + m_rowHeight <= top)
            continue;
        const int first = line * m_columns;
        if (first >= count)
            break;
        for (int row = first; row < std::min(count, first + m_columns); ++row)
            rows.append(row);
    }
    return rows;
}

QRect LibraryGridView::visualRect(const QModelIndex &index) const
{
    if (!index.isValid() || !m_model || index.row() >= m_model->rowCount())
        return {};
    return tileRect(index.row());
}

void LibraryGridView::centreRow(int row, bool animated)
{
    if (!m_model || row < 0 || row >= m_model->rowCount())
        return;
    QScrollBar *bar = verticalScrollBar();
    const QRect rect = tileRect(row).translated(0, bar->value());
    const int target = std::clamp(rect.center().y() - viewport()->height() / 2, bar->minimum(), bar->maximum());
    m_scrollAnimation->stop();
    if (animated && isVisible()) {
        m_scrollAnimation->setStartValue(bar->value());
        m_scrollAnimation->setEndValue(target);
        m_scrollAnimation->start();
    } else {
        bar->setValue(target);
    }
}

void LibraryGridView::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    if (!index.isValid())
        return;
    if (hint == PositionAtCenter) {
        centreRow(index.row(), false);
        return;
    }
    QScrollBar *bar = verticalScrollBar();
    const QRect rect = tileRect(index.row());
    if (rect.top() < 0)
        bar->setValue(bar->value() + rect.top() - padding);
    else if (rect.bottom() > viewport()->height())
        bar->setValue(bar->value() + rect.bottom() - viewport()->height() + padding);
}

QModelIndex LibraryGridView::indexAt(const QPoint &point) const
{
    if (!m_model)
        return {};
    const int x = point.x() - padding;
    const int y = point.y() + verticalScrollBar()->value() - padding;
    if (x < 0 || y < 0)
        return {};
    const int column = x / (m_tileWidth + spacing);
    const int line = y / (m_rowHeight + spacing);
    if (column >= m_columns || x - column * (m_tileWidth + spacing) >= m_tileWidth
        || y - line * (m_rowHeight + spacing) >= m_rowHeight)
        return {};
    const int row = line * m_columns + column;
    return row < m_model->rowCount() ? m_model->index(row) : QModelIndex();
}

QModelIndex LibraryGridView::moveCursor(CursorAction, Qt::KeyboardModifiers)
{
    return currentIndex();
}

int LibraryGridView::horizontalOffset() const
{
    return 0;
}

int LibraryGridView::verticalOffset() const
{
    return verticalScrollBar()->value();
}

bool LibraryGridView::isIndexHidden(const QModelIndex &) const
{
    return false;
}

void LibraryGridView::setSelection(const QRect &, QItemSelectionModel::SelectionFlags)
{
}

QRegion LibraryGridView::visualRegionForSelection(const QItemSelection &) const
{
    return {};
}

void LibraryGridView::requestVisibleThumbnails(const QList<int> &rows)
{
    QSet<const AtlasImage *> visible;
    visible.reserve(rows.size());
    for (int row : rows) {
        if (AtlasImage *image = m_model->imageAt(row))
            visible.insert(image);
    }
    // Tiles that went away drop their queued decodes.
    for (auto it = m_requested.begin(); it != m_requested.end();) {
        if (!visible.contains(*it)) {
            const AtlasImage *gone = *it;
            it = m_requested.erase(it);
            m_cache.cancel(gone);
        } else {
            ++it;
        }
    }
    for (int row : rows) {
        AtlasImage *image = m_model->imageAt(row);
        if (!image || m_requested.contains(image))
            continue;
        m_requested.insert(image);
        m_cache.requestThumbnail(image);
    }
}

void LibraryGridView::thumbnailArrived(const AtlasImage *image)
{
    if (!m_requested.contains(image) || !m_model)
        return;
    for (int row : visibleRows()) {
        if (m_model->imageAt(row) == image) {
            m_fadeStarts.insert(image, m_clock.elapsed());
            if (!m_fadeTimer.isActive())
                m_fadeTimer.start();
            updateTile(row);
        }
    }
}

double LibraryGridView::thumbnailAppearance(const AtlasImage *image) const
{
    const auto start = m_fadeStarts.constFind(image);
    if (start == m_fadeStarts.constEnd())
        return 1.0;
    return std::min(1.0, double(m_clock.elapsed() - *start) / LibraryThumbnail::fadeMilliseconds);
}

void LibraryGridView::advanceFades()
{
    const qint64 now = m_clock.elapsed();
    for (auto it = m_fadeStarts.begin(); it != m_fadeStarts.end();) {
        // One more frame at full strength after the fade ends.
        if (now - *it > LibraryThumbnail::fadeMilliseconds + 20)
            it = m_fadeStarts.erase(it);
        else
            ++it;
    }
    if (m_fadeStarts.isEmpty()) {
        m_fadeTimer.stop();
        return;
    }
    for (int row : visibleRows()) {
        if (m_fadeStarts.contains(m_model->imageAt(row)))
            updateTile(row);
    }
}

void LibraryGridView::thumbnailCancelled(const AtlasImage *image)
{
    // Dropped for someone else's sake while still on screen here: ask again.
    if (m_requested.remove(image))
        viewport()->update();
}

void LibraryGridView::updateTile(int row)
{
    // One rectangle covering every tile that changed since the last paint:
    // the painter's clip then stays a rectangle, inside which pictures are
    // copied straight; a clip of several rectangles makes the raster engine
    // blend every copy span by span, handing the spans to Qt's own thread
    // pool and waiting for it, which stalls this thread on a busy machine.
    m_tilesToUpdate |= tileRect(row).adjusted(-tileMargin, -tileMargin, tileMargin, tileMargin);
    viewport()->update(m_tilesToUpdate);
}

void LibraryGridView::paintEvent(QPaintEvent *event)
{
    m_tilesToUpdate = QRect();
    QPainter painter(viewport());
    painter.fillRect(event->rect(), palette().color(QPalette::Base));
    if (!m_model)
        return;
    const QList<int> rows = visibleRows();
    requestVisibleThumbnails(rows);
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    for (int row : rows) {
        const QRect rect = tileRect(row);
        if (!event->rect().intersects(rect.adjusted(-tileMargin, -tileMargin, tileMargin, tileMargin)))
            continue;
        option.rect = rect;
        m_delegate->paint(&painter, option, m_model->index(row));
    }
}

void LibraryGridView::resizeEvent(QResizeEvent *event)
{
    QAbstractItemView::resizeEvent(event);
    relayout();
    emit viewportWidthChanged(viewport()->width());
}

void LibraryGridView::mousePressEvent(QMouseEvent *event)
{
    setFocus(Qt::MouseFocusReason);
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    const QModelIndex index = indexAt(event->position().toPoint());
    m_pressedRow = index.isValid() ? index.row() : -1;
    event->accept();
}

void LibraryGridView::mouseDoubleClickEvent(QMouseEvent *event)
{
    mousePressEvent(event);
}

void LibraryGridView::mouseMoveEvent(QMouseEvent *event)
{
    event->accept();
}

void LibraryGridView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    const QModelIndex index = indexAt(event->position().toPoint());
    const int row = m_pressedRow;
    m_pressedRow = -1;
    if (index.isValid() && index.row() == row)
        emit tileClicked(row);
    event->accept();
}

void LibraryGridView::contextMenuEvent(QContextMenuEvent *event)
{
    if (event->reason() != QContextMenuEvent::Mouse) {
        // The keyboard's: the selected tile's menu, at the tile.
        const int row = m_model && m_selected ? m_model->rowOf(m_selected) : -1;
        if (row < 0)
            return;
        scrollTo(m_model->index(row));
        emit contextMenuRequested(row, viewport()->mapToGlobal(tileRect(row).center()));
        event->accept();
        return;
    }
    const QModelIndex index = indexAt(event->pos());
    if (!index.isValid())
        return;
    emit contextMenuRequested(index.row(), event->globalPos());
    event->accept();
}

void LibraryGridView::keyPressEvent(QKeyEvent *event)
{
    bool handled = false;
    emit keyPressed(event, &handled);
    if (handled) {
        event->accept();
        return;
    }
    switch (event->key()) {
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    default:
        event->ignore();
    }
}

void LibraryGridView::showEvent(QShowEvent *event)
{
    QAbstractItemView::showEvent(event);
    if (!event->spontaneous())
        emit appeared();
}

void LibraryGridView::dragEnterEvent(QDragEnterEvent *event)
{
    emit dragEntered(event);
}

void LibraryGridView::dragMoveEvent(QDragMoveEvent *event)
{
    emit dragMoved(event);
}

void LibraryGridView::dragLeaveEvent(QDragLeaveEvent *)
{
    emit dragLeft();
}

void LibraryGridView::dropEvent(QDropEvent *event)
{
    emit dropped(event);
}
