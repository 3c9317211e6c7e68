#include "browser/LibraryGrid.h"

#include "browser/ImportedImage.h"
#include "browser/LibraryEmptyStates.h"
#include "browser/LibraryGridModel.h"
#include "browser/LibraryGridView.h"
#include "browser/LibraryThumbnail.h"
#include "browser/ThumbnailCache.h"
#include "ui/ContentUnavailableView.h"
#include "ui/SystemSymbol.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStackedLayout>
#include <QTextEdit>
#include <QWidgetAction>

namespace {

// A tile's menu: the picture at its top is no item, so the arrow keys pass
// over it to the next item in their direction (round to the other end, as
// they go among the items).
class TileMenu final : public QMenu {
public:
    using QMenu::QMenu;
    QAction *picture = nullptr;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        QMenu::keyPressEvent(event);
        if (picture && activeAction() == picture && (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down))
            QMenu::keyPressEvent(event);
    }
};

} // namespace

LibraryGrid::LibraryGrid(QWidget *parent)
    : LibraryGrid(ThumbnailCache::shared(), parent)
{
}

LibraryGrid::LibraryGrid(ThumbnailCache &cache, QWidget *parent)
    : QWidget(parent)
    , m_cache(cache)
{
    setWindowTitle(QStringLiteral("Library"));
    m_model = new LibraryGridModel(this);
    m_view = new LibraryGridView(cache, this);
    m_view->setGridModel(m_model);
    m_emptyState = new ContentUnavailableView(this);
    m_emptyState->setAutoFillBackground(true);
    m_emptyState->setBackgroundRole(QPalette::Base);
    connect(m_emptyState, &ContentUnavailableView::actionTriggered, this, [this] {
        if (m_content == Content::noImages)
            emit importRequested();
        else if (m_content == Content::noMatches)
            emit clearFiltersRequested();
    });

    m_stack = new QStackedLayout(this);
    m_stack->setContentsMargins(0, 0, 0, 0);
    m_stack->addWidget(m_view);
    m_stack->addWidget(m_emptyState);

    connect(m_view, &LibraryGridView::tileClicked, this, &LibraryGrid::handleClick);
    connect(m_view, &LibraryGridView::contextMenuRequested, this, &LibraryGrid::showContextMenu);
    connect(m_view, &LibraryGridView::keyPressed, this, &LibraryGrid::handleKey);
    connect(m_view, &LibraryGridView::appeared, this, &LibraryGrid::handleAppear);
    connect(m_view, &LibraryGridView::viewportWidthChanged, this, &LibraryGrid::updateColumnCount);
    connect(m_view, &LibraryGridView::dragEntered, this, [this](QDragEnterEvent *event) { updateDropTarget(event); });
    connect(m_view, &LibraryGridView::dragMoved, this, &LibraryGrid::updateDropTarget);
    connect(m_view, &LibraryGridView::dragLeft, this, [this] { setDropTargeted(false); });
    connect(m_view, &LibraryGridView::dropped, this, [this](QDropEvent *event) {
        if (handleDrop(event->mimeData()->urls()))
            event->acceptProposedAction();
        else
            event->ignore();
    });
    updateContent();
}

LibraryGrid::~LibraryGrid() = default;

void LibraryGrid::setImages(const QList<AtlasImage *> &images)
{
    m_model->setImages(images);
    updateContent();
}

const QList<AtlasImage *> &LibraryGrid::images() const
{
    return m_model->images();
}

void LibraryGrid::setHasImages(bool hasImages)
{
    m_hasImages = hasImages;
    updateContent();
}

void LibraryGrid::setHasSelection(bool hasSelection)
{
    m_hasSelection = hasSelection;
    updateContent();
}

void LibraryGrid::setHasActiveFilters(bool hasActiveFilters)
{
    m_hasActiveFilters = hasActiveFilters;
    updateContent();
}

void LibraryGrid::setCanAddImages(bool canAddImages)
{
    m_canAddImages = canAddImages;
    if (!canAddImages)
        setDropTargeted(false);
    updateContent();
}

void LibraryGrid::setCanReorder(bool canReorder)
{
    m_canReorder = canReorder;
}

void LibraryGrid::setSearching(bool searching)
{
    m_searching = searching;
    updateContent();
}

void LibraryGrid::setSelectedImage(AtlasImage *image)
{
    m_selectedImage = image;
    m_view->setSelectedImage(image, true);
}

void LibraryGrid::setAutoFocusOnAppear(bool autoFocus)
{
    m_autoFocusOnAppear = autoFocus;
}

bool LibraryGrid::isFocused() const
{
    return m_view->hasFocus();
}

int LibraryGrid::columnCount(double width)
{
    return LibraryGridView::columnCountForWidth(int(width));
}

void LibraryGrid::updateContent()
{
    const bool empty = m_model->images().isEmpty();
    if (empty && m_canAddImages)
        m_content = Content::grid;
    else if (!m_hasImages)
        m_content = Content::noImages;
    else if (m_hasSelection)
        m_content = !empty ? Content::grid : m_searching ? Content::searching : Content::noMatches;
    else
        m_content = Content::noSelection;

    m_model->setShowsAddTile(m_canAddImages);
    switch (m_content) {
    case Content::grid:
        break;
    case Content::noImages:
        m_emptyState->setContent(LibraryEmptyStates::noImages());
        break;
    case Content::noMatches:
        m_emptyState->setContent(LibraryEmptyStates::noMatches(m_hasActiveFilters));
        break;
    case Content::searching:
        m_emptyState->setContent(LibraryEmptyStates::searching());
        break;
    case Content::noSelection:
        m_emptyState->setContent({QStringLiteral("No Selection"), QStringLiteral("sidebar.left"),
                                  QStringLiteral("Select a series or image from the sidebar to view it here."),
                                  std::nullopt});
        break;
    }
    m_stack->setCurrentWidget(m_content == Content::grid ? static_cast<QWidget *>(m_view) : m_emptyState);
}

void LibraryGrid::updateColumnCount(int width)
{
    m_columnCount = columnCount(width);
}

bool LibraryGrid::isTyping()
{
    const QWidget *focus = QApplication::focusWidget();
    return qobject_cast<const QLineEdit *>(focus) || qobject_cast<const QTextEdit *>(focus)
           || qobject_cast<const QPlainTextEdit *>(focus) || qobject_cast<const QAbstractSpinBox *>(focus);
}

void LibraryGrid::handleAppear()
{
    if (m_autoFocusOnAppear) {
        // The grid reappears while a search is typed: what is typed next
        // stays in the field.
        if (!isTyping())
            m_view->setFocus(Qt::OtherFocusReason);
    } else {
        m_autoFocusOnAppear = true;
        emit autoFocusOnAppearChanged(true);
    }
}

bool LibraryGrid::isSelected(const AtlasImage *image) const
{
    return image && m_selectedImage == image;
}

void LibraryGrid::assignSelection(AtlasImage *image)
{
    m_selectedImage = image;
    m_view->setSelectedImage(image, true);
    emit selectedImageChanged(image);
}

bool LibraryGrid::openSelection()
{
    if (!m_selectedImage)
        return false;
    emit openRequested(m_selectedImage);
    return true;
}

bool LibraryGrid::moveSelection(int offset)
{
    const QList<AtlasImage *> &images = m_model->images();
    if (images.isEmpty())
        return false;
    qsizetype target = 0;
    const qsizetype current = m_selectedImage ? images.indexOf(m_selectedImage) : -1;
    if (current >= 0)
        target = std::clamp<qsizetype>(current + offset, 0, images.size() - 1);
    assignSelection(images.at(target));
    m_view->centreRow(int(target), true);
    return true;
}

void LibraryGrid::handleTap(AtlasImage *image)
{
    if (isSelected(image))
        emit openRequested(image);
    else
        assignSelection(image);
}

void LibraryGrid::handleClick(int row)
{
    if (m_model->isAddTile(row)) {
        emit addImagesRequested();
        return;
    }
    if (AtlasImage *image = m_model->imageAt(row))
        handleTap(image);
}

void LibraryGrid::handleKey(QKeyEvent *event, bool *handled)
{
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        *handled = openSelection();
        break;
    case Qt::Key_Left:
        *handled = moveSelection(-1);
        break;
    case Qt::Key_Right:
        *handled = moveSelection(1);
        break;
    case Qt::Key_Up:
        *handled = moveSelection(-m_columnCount);
        break;
    case Qt::Key_Down:
        *handled = moveSelection(m_columnCount);
        break;
    default:
        break;
    }
}

QMenu *LibraryGrid::contextMenu(AtlasImage *image, QWidget *parent)
{
    auto *menu = new TileMenu(parent);

    auto *preview = new QWidgetAction(menu);
    preview->setDefaultWidget(new LibraryThumbnailPreview(image, previewSide, nullptr, &m_cache));
    menu->addAction(preview);
    menu->picture = preview;

    const auto addItem = [&](const QString &title, const QString &symbol, auto request) {
        QAction *item = SystemSymbol::addMenuItem(*menu, title, symbol);
        connect(item, &QAction::triggered, this, [this, image, request] { (this->*request)(image); });
        return item;
    };
    addItem(QStringLiteral("Open"), QStringLiteral("arrow.up.forward.square"), &LibraryGrid::openRequested);
    menu->addSeparator();
    addItem(QStringLiteral("Edit"), QStringLiteral("info.circle"), &LibraryGrid::editRequested);
    addItem(QStringLiteral("Duplicate"), QStringLiteral("doc.on.doc"), &LibraryGrid::duplicateRequested);
    if (m_canReorder) {
        menu->addSeparator();
        for (int offset : {-1, 1}) {
            QAction *move = SystemSymbol::addMenuItem(*menu, offset < 0 ? QStringLiteral("Move Earlier")
                                                                        : QStringLiteral("Move Later"),
                                                      offset < 0 ? QStringLiteral("arrow.up")
                                                                 : QStringLiteral("arrow.down"));
            move->setEnabled(canMoveImage && canMoveImage(image, offset));
            connect(move, &QAction::triggered, this, [this, image, offset] { emit moveRequested(image, offset); });
        }
    }
    menu->addSeparator();
    addItem(QStringLiteral("Delete"), QStringLiteral("trash"), &LibraryGrid::deleteRequested);
    return menu;
}

void LibraryGrid::showContextMenu(int row, const QPoint &globalPosition)
{
    AtlasImage *image = m_model->imageAt(row);
    if (!image)
        return;
    QMenu *menu = contextMenu(image, this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(globalPosition);
}

void LibraryGrid::updateDropTarget(QDragMoveEvent *event)
{
    // The tile lights up for any drag from outside the application while
    // images can be added, whatever it carries; only image files are taken.
    const bool outside = event->source() == nullptr;
    setDropTargeted(m_canAddImages && outside);
    const QMimeData *mime = event->mimeData();
    const bool importable = mime && mime->hasUrls() && !importableImageURLs(mime->urls()).isEmpty();
    if (importable && m_canAddImages) {
        event->acceptProposedAction();
    } else if (event->type() == QEvent::DragEnter && m_isDropTargeted) {
        // Followed, so that its leaving puts the light out; its moves, and
        // with them the drop, are refused.
        event->accept();
        event->setDropAction(Qt::IgnoreAction);
    } else {
        event->ignore();
    }
}

void LibraryGrid::setDropTargeted(bool targeted)
{
    m_isDropTargeted = targeted;
    m_view->setDropTargeted(targeted);
}

bool LibraryGrid::handleDrop(const QList<QUrl> &urls)
{
    setDropTargeted(false);
    if (!m_canAddImages || !onDropImages)
        return false;
    return onDropImages(urls);
}
