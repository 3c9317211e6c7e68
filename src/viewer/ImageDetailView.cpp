#include "viewer/ImageDetailView.h"

#include "model/AtlasImage.h"
#include "ui/ContentUnavailableView.h"
#include "ui/CrossFadeStack.h"
#include "ui/Divider.h"
#include "ui/ProminentButton.h"
#include "ui/SystemSymbol.h"
#include "viewer/AnnotationInspector.h"
#include "viewer/AnnotationLayer.h"
#include "viewer/AnnotationLinksOverlay.h"
#include "viewer/AnnotationList.h"
#include "viewer/AnnotationViewState.h"
#include "viewer/DetailDrawer.h"
#include "viewer/ImageAnnotations.h"
#include "viewer/ImageEditorFactory.h"
#include "viewer/ImageMetadata.h"
#include "viewer/MetadataStrip.h"
#include "viewer/OpenedPicture.h"
#include "viewer/SharedImageScreenState.h"
#include "viewer/ZoomableImage.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QHideEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <cstring>

namespace {

// The annotations button's distance from the canvas's corner.
constexpr int buttonInset = 10;
// The links panel's size, and the width of the drawer list's link column.
constexpr int linksPanelWidth = 340;
constexpr int linksPanelMaximumHeight = 320;
constexpr int linkSlotWidth = 52;

// Where the editor goes: the canvas's backdrop until it is there.
class EditorPage final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter(this).fillRect(rect(), ZoomableImage::backdrop(palette()));
    }
};

bool isMetadataProperty(const char *property)
{
    for (const char *name : {"modalityRaw", "regionRaw", "planeRaw", "age", "sexRaw"}) {
        if (std::strcmp(property, name) == 0)
            return true;
    }
    return false;
}

} // namespace

ImageDetailView::ImageDetailView(SharedImageScreenState &shared, QWidget *parent)
    : QWidget(parent), m_shared(shared)
{
    setFocusPolicy(Qt::StrongFocus);
    m_annotationState = new AnnotationViewState(this);
    m_picture = new OpenedPicture(this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_body = new QWidget(this);
    layout->addWidget(m_body);
    buildPictureArea();
    m_divider = new Divider(Qt::Horizontal, m_body);
    m_strip = new MetadataStrip(m_body);
    m_drawer = new DetailDrawer(m_body);
    connect(m_drawer, &DetailDrawer::pageRequested, this, [this](int page) { setDrawerPage(page); });
    composeAnnotations();
    makeCommands();

    connect(&m_shared, &SharedImageScreenState::isEditingChanged, this, &ImageDetailView::followEditMode);
    connect(&m_shared, &SharedImageScreenState::showAnnotationsChanged, this,
            &ImageDetailView::updateAnnotationsCommand);
    connect(&m_shared, &SharedImageScreenState::linkedAnnotationIDChanged, this, &ImageDetailView::updateLinksPanel);
    connect(m_picture, &OpenedPicture::statusChanged, this, &ImageDetailView::updatePictureArea);

    arrange();
    m_showsEditor = showsEditor();
    updateEditCommand();
    updateAnnotationsCommand();
    updatePictureArea();
    updateLinksPanel();
}

void ImageDetailView::buildPictureArea()
{
    // One page at a time: the viewer, the editor's place, the placeholder.
    m_pictureArea = new QWidget(m_body);
    m_pictureArea->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_pages = new CrossFadeStack(m_pictureArea, crossFadeMilliseconds);
    // The viewer, as the screen around it, shows no focus ring.
    m_canvas = new ZoomableImage(m_pictureArea);
    m_canvas->setShowsFocusRing(false);
    // The viewer is one element to assistive technologies; the annotations
    // button over it is the screen's.
    m_canvas->setAccessibleAsOneElement(true);
    m_canvas->setPicture(m_picture->source());
    m_canvas->installEventFilter(this);
    m_pages->addPage(m_canvas);
    m_editorPage = new EditorPage(m_pictureArea);
    auto *editorLayout = new QVBoxLayout(m_editorPage);
    editorLayout->setContentsMargins(0, 0, 0, 0);
    m_pages->addPage(m_editorPage);
    m_placeholder = new ContentUnavailableView(m_pictureArea);
    m_pages->addPage(m_placeholder);
}

void ImageDetailView::composeAnnotations()
{
    // Drawn over the picture, switched by group in the strip and on the
    // drawer's first page, listed there under the switches. They ask; the
    // screen decides.
    m_annotations = new ImageAnnotations(this);
    m_layer = new AnnotationLayer(m_annotations, m_annotationState, this);
    m_canvas->setOverlay(m_layer);
    connect(m_layer, &AnnotationLayer::selectRequested, this, &ImageDetailView::selectAnnotation);
    connect(m_layer, &AnnotationLayer::editRequested, this, &ImageDetailView::editAnnotation);
    connect(m_layer, &AnnotationLayer::showLinksRequested, this, &ImageDetailView::showLinks);

    m_stripInspector = new AnnotationInspector(m_annotations, m_annotationState, m_strip->inspectorSlot());
    // Centred in the strip's height, as the metadata columns are.
    m_strip->inspectorSlot()->layout()->addWidget(m_stripInspector);
    m_strip->inspectorSlot()->layout()->setAlignment(m_stripInspector, Qt::AlignVCenter);
    m_drawerInspector = new AnnotationInspector(m_annotations, m_annotationState, m_drawer->annotationsSlot());
    m_list = new AnnotationList(m_annotations, m_annotationState, m_drawer->annotationsSlot());
    m_list->setLinkSlotWidth(linkSlotWidth);
    auto *drawerColumn = static_cast<QBoxLayout *>(m_drawer->annotationsSlot()->layout());
    drawerColumn->insertWidget(0, m_drawerInspector);
    drawerColumn->insertWidget(1, m_list);
    for (AnnotationInspector *inspector : {m_stripInspector, m_drawerInspector})
        connect(inspector, &AnnotationInspector::groupToggled, m_annotationState, &AnnotationViewState::toggleGroup);
    connect(m_list, &AnnotationList::highlightRequested, m_annotationState, &AnnotationViewState::setHighlightedID);
    connect(m_list, &AnnotationList::showLinksRequested, this, &ImageDetailView::showLinks);
    connect(m_annotationState, &AnnotationViewState::highlightedIDChanged, this,
            &ImageDetailView::scrollListToHighlight);
    connect(m_annotations, &ImageAnnotations::listingChanged, this, &ImageDetailView::updateLinksPanel);
}

void ImageDetailView::makeCommands()
{
    m_editAction = new QAction(this);
    m_editAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    m_editAction->setShortcutContext(Qt::WindowShortcut);
    addAction(m_editAction);
    connect(m_editAction, &QAction::triggered, &m_shared, &SharedImageScreenState::toggleEditing);

    m_annotationsAction = new QAction(this);
    connect(m_annotationsAction, &QAction::triggered, &m_shared, &SharedImageScreenState::toggleShowAnnotations);
    m_annotationsButton = new ProminentButton(m_canvas);
    m_annotationsButton->setDefaultAction(m_annotationsAction);
    m_annotationsButton->setFocusPolicy(Qt::NoFocus);

    m_dismissLinksAction = new QAction(QStringLiteral("Close Links"), this);
    m_dismissLinksAction->setShortcut(QKeySequence(Qt::Key_Escape));
    m_dismissLinksAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(m_dismissLinksAction);
    connect(m_dismissLinksAction, &QAction::triggered, this, &ImageDetailView::dismissLinks);
}

ImageDetailView::~ImageDetailView() = default;

// The image and what is read from it

void ImageDetailView::setImage(AtlasImage *image)
{
    if (image == m_image)
        return;
    const bool another = m_image && image;
    m_image = image;
    m_imageWatch.watch(image, [this](ModelObject *, const char *property) { imageChanged(property); });

    // The screen's own state starts afresh. The viewer keeps its zoom for
    // another image; a screen that appears shows it unzoomed.
    m_annotationState->reset();
    setDrawerPage(DetailDrawer::annotationsPage);
    if (another)
        m_shared.setLinkedAnnotationID(std::nullopt);
    else
        m_canvas->resetZoom();
    dropEditor();

    m_picture->setImage(image);
    m_annotations->setImage(image);
    refreshMetadata();
    emit titleChanged(title());
    updatePictureArea();
}

QString ImageDetailView::title() const
{
    if (!m_image)
        return {};
    return m_image->title().isEmpty() ? QStringLiteral("Untitled") : m_image->title();
}

void ImageDetailView::imageChanged(const char *property)
{
    if (std::strcmp(property, "title") == 0)
        emit titleChanged(title());
    else if (isMetadataProperty(property))
        refreshMetadata();
}

void ImageDetailView::refreshMetadata()
{
    const QList<MetadataEntry> entries = m_image ? metadataEntries(*m_image) : QList<MetadataEntry>();
    m_strip->setEntries(entries);
    m_drawer->setEntries(entries);
}

// Layout

void ImageDetailView::setSizeClasses(const SizeClasses &sizeClasses)
{
    if (sizeClasses == m_sizeClasses)
        return;
    const bool wasCompact = isCompact();
    m_sizeClasses = sizeClasses;
    // Edit mode ends on entering the compact layout.
    if (isCompact() && !wasCompact)
        m_shared.setIsEditing(false);
    arrange();
    followEditMode();
}

void ImageDetailView::arrange()
{
    const DetailLayout shape = m_sizeClasses.layout();
    delete m_body->layout();
    QBoxLayout *box = shape == DetailLayout::drawerBeside ? static_cast<QBoxLayout *>(new QHBoxLayout(m_body))
                                                          : static_cast<QBoxLayout *>(new QVBoxLayout(m_body));
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(0);
    m_layer->setShowsCallouts(shape == DetailLayout::regular);
    m_strip->setVisible(shape == DetailLayout::regular);
    m_drawer->setVisible(shape != DetailLayout::regular);
    m_drawer->setMinimumSize(0, 0);
    m_drawer->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    switch (shape) {
    case DetailLayout::regular:
        m_divider->setOrientation(Qt::Horizontal);
        box->addWidget(m_pictureArea, 1);
        box->addWidget(m_divider);
        box->addWidget(m_strip);
        break;
    case DetailLayout::drawerBeside:
        m_divider->setOrientation(Qt::Vertical);
        m_drawer->setFixedWidth(DetailDrawer::drawerExtent);
        box->addWidget(m_drawer);
        box->addWidget(m_divider);
        box->addWidget(m_pictureArea, 1);
        break;
    case DetailLayout::drawerBelow:
        m_divider->setOrientation(Qt::Horizontal);
        // Up to its largest height, as far as the picture leaves room.
        m_drawer->setMaximumHeight(DetailDrawer::drawerExtent);
        box->addWidget(m_pictureArea, 1);
        box->addWidget(m_divider);
        box->addWidget(m_drawer, 1);
        break;
    }
}

void ImageDetailView::setDrawerPage(int page, bool animated)
{
    if (page == m_drawerPage)
        return;
    m_drawerPage = page;
    m_drawer->setPage(page, animated);
    emit drawerPageChanged(page);
}

// Edit mode and the picture area

bool ImageDetailView::showsEditor() const
{
    return m_shared.isEditing() && !isCompact();
}

void ImageDetailView::setEditorFactory(ImageEditorFactory *factory)
{
    m_editorFactory = factory;
}

void ImageDetailView::followEditMode()
{
    const bool shows = showsEditor();
    if (shows != m_showsEditor) {
        m_showsEditor = shows;
        hideLinks();
    }
    updateEditCommand();
    updatePictureArea();
}

void ImageDetailView::updateEditCommand()
{
    const bool editing = m_shared.isEditing();
    const QString text = editing ? QStringLiteral("Done") : QStringLiteral("Edit");
    m_editAction->setText(text);
    // "Done" is drawn white on green.
    m_editAction->setIcon(editing ? SystemSymbol::icon(QStringLiteral("checkmark"), Qt::white)
                                  : SystemSymbol::icon(QStringLiteral("pencil.and.scribble")));
    m_editAction->setToolTip(QStringLiteral("%1 (%2)").arg(text, m_editAction->shortcut().toString(QKeySequence::NativeText)));
    m_editAction->setVisible(!isCompact());
}

void ImageDetailView::updateAnnotationsCommand()
{
    const bool shown = m_shared.showAnnotations();
    m_layer->setShowAnnotations(shown);
    m_annotationsAction->setText(shown ? QStringLiteral("Hide annotations") : QStringLiteral("Show annotations"));
    m_annotationsAction->setIcon(SystemSymbol::icon(shown ? QStringLiteral("tag.fill") : QStringLiteral("tag"), Qt::white));
    m_annotationsButton->setAccessibleName(m_annotationsAction->text());
    m_annotationsButton->adjustSize();
    placeAnnotationsButton();
}

void ImageDetailView::updatePictureArea()
{
    switch (m_picture->status()) {
    case OpenedPicture::Status::downloading:
        m_placeholder->setContent({QStringLiteral("Downloading Image"), QStringLiteral("arrow.down.circle.dotted"),
                                   QStringLiteral("This image hasn't finished syncing from iCloud yet."), std::nullopt});
        showPicturePage(m_placeholder);
        dropEditor();
        return;
    case OpenedPicture::Status::unavailable:
        m_placeholder->setContent({QStringLiteral("Image Unavailable"), QStringLiteral("photo"), QString(), std::nullopt});
        showPicturePage(m_placeholder);
        dropEditor();
        return;
    case OpenedPicture::Status::ready:
        if (m_showsEditor) {
            // The editor is made afresh each time edit mode opens.
            if (!m_editor) {
                if (m_editorFactory)
                    m_editor = m_editorFactory->createEditor(
                        {m_image, m_picture->source(), m_picture->pictureSize(), m_annotationState->highlightedID()},
                        m_editorPage);
                // Shown as its page is.
                if (m_editor) {
                    m_editorPage->layout()->addWidget(m_editor);
                    m_editor->show();
                }
            }
            showPicturePage(m_editorPage);
            return;
        }
        break;
    case OpenedPicture::Status::none:
    case OpenedPicture::Status::loading:
        break;
    }
    // The viewer, also while the picture loads (with the thumbnail when
    // there is one) and in edit mode until the picture is there.
    showPicturePage(m_canvas);
    dropEditor();
}

QWidget *ImageDetailView::shownPicturePage() const
{
    return m_pages->currentPage();
}

void ImageDetailView::showPicturePage(QWidget *page)
{
    QWidget *shown = m_pages->currentPage();
    if (shown == page)
        return;
    // The viewer comes back unzoomed from the editor or a placeholder.
    if (page == m_canvas)
        m_canvas->resetZoom();
    const bool focused = m_pictureArea->isAncestorOf(focusWidget()) && focusWidget()->hasFocus();
    // Viewer and editor cross-fade; a placeholder comes and goes at once.
    const bool crossFade = (page == m_canvas && shown == m_editorPage) || (page == m_editorPage && shown == m_canvas);
    m_pages->setCurrentPage(page, crossFade);
    if (focused)
        setFocus(Qt::OtherFocusReason);
}

void ImageDetailView::dropEditor()
{
    if (!m_editor)
        return;
    QWidget *editor = m_editor;
    m_editor = nullptr;
    // The keys come back to the screen: hiding the editor with the focus
    // in it would pass the focus on to the next widget of the window.
    if (editor->isAncestorOf(QApplication::focusWidget()))
        setFocus(Qt::OtherFocusReason);
    // A picture of it fades out over the viewer, if it was in view.
    editor->hide();
    editor->deleteLater();
}

// The screen's actions

void ImageDetailView::selectAnnotation(const std::optional<QUuid> &id)
{
    m_annotationState->setHighlightedID(id);
    if (isCompact() && id)
        setDrawerPage(DetailDrawer::annotationsPage, true);
}

void ImageDetailView::editAnnotation(const QUuid &id)
{
    m_annotationState->setHighlightedID(id);
    if (!isCompact())
        m_shared.setIsEditing(true);
}

void ImageDetailView::showLinks(const QUuid &id)
{
    m_annotationState->setHighlightedID(id);
    m_shared.setLinkedAnnotationID(id, true);
}

void ImageDetailView::dismissLinks()
{
    m_shared.setLinkedAnnotationID(std::nullopt, true);
}

void ImageDetailView::hideLinks()
{
    m_shared.setLinkedAnnotationID(std::nullopt);
}

// The links panel and the drawer's list

AnnotationLinksOverlay *ImageDetailView::linksPanel() const
{
    return m_linksPanel && m_linksPanel->isVisibleTo(const_cast<ImageDetailView *>(this)) ? m_linksPanel : nullptr;
}

void ImageDetailView::updateLinksPanel()
{
    // Shown while the linked annotation is one of this image's, even with
    // no links to offer.
    const std::optional<QUuid> linked = m_shared.linkedAnnotationID();
    const std::optional<AnnotationLinksContent> content =
        linked ? m_annotations->linksContent(*linked) : std::nullopt;
    if (!content) {
        // (A panel on its way out goes on its way.)
        if (m_linksPanel && !m_linksPanel->isHidden() && !m_linksPanel->isLeaving()) {
            // The keys come back to the screen as the panel goes.
            const bool focused = m_linksPanel->isAncestorOf(focusWidget()) || m_linksPanel->hasFocus();
            if (m_shared.isLinkChangeAnimated())
                m_linksPanel->leave();
            else
                m_linksPanel->hide();
            if (focused)
                setFocus(Qt::OtherFocusReason);
        }
    } else {
        if (!m_linksPanel) {
            m_linksPanel = new AnnotationLinksOverlay(this);
            m_linksPanel->setPanelSize(linksPanelWidth, linksPanelMaximumHeight);
            m_linksPanel->hide();
            connect(m_linksPanel, &AnnotationLinksOverlay::dismissRequested, this, &ImageDetailView::dismissLinks);
            connect(m_linksPanel, &AnnotationLinksOverlay::openFailed, this, &ImageDetailView::operationFailed);
        }
        m_linksPanel->setContent(content->title, content->links);
        if (m_linksPanel->isHidden() || m_linksPanel->isLeaving())
            m_linksPanel->enter();
    }
    updateDismissCommand();
}

void ImageDetailView::updateDismissCommand()
{
    // The panel's Close takes Escape while it shows; otherwise the screen
    // closes links opened in any window.
    const bool panelShown = m_linksPanel && !m_linksPanel->isHidden() && !m_linksPanel->isLeaving();
    m_dismissLinksAction->setEnabled(m_shared.linkedAnnotationID().has_value() && !panelShown);
}

void ImageDetailView::scrollListToHighlight()
{
    const std::optional<QUuid> id = m_annotationState->highlightedID();
    if (!id || !isCompact())
        return;
    if (const std::optional<QRect> row = m_list->rowRect(*id))
        m_drawer->centreInAnnotations(m_list, *row);
}

// Events

void ImageDetailView::placeAnnotationsButton()
{
    const int x = layoutDirection() == Qt::RightToLeft ? m_canvas->width() - m_annotationsButton->width() - buttonInset
                                                       : buttonInset;
    m_annotationsButton->move(x, buttonInset);
}

bool ImageDetailView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_canvas && (event->type() == QEvent::Resize || event->type() == QEvent::LayoutDirectionChange))
        placeAnnotationsButton();
    return QWidget::eventFilter(watched, event);
}

void ImageDetailView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // Leaving the screen closes the links; a minimised window keeps them.
    if (!event->spontaneous())
        hideLinks();
}
