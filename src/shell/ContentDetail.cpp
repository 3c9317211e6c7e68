#include "shell/ContentDetail.h"

#include "browser/LibraryGrid.h"
#include "browser/ThumbnailCache.h"
#include "shell/AnnotationEditorFactory.h"
#include "ui/AppStyle.h"
#include "ui/CrossFadeStack.h"
#include "ui/PaneHeader.h"
#include "ui/ProminentButton.h"
#include "ui/SystemSymbol.h"
#include "viewer/ImageDetailView.h"
#include "viewer/OpenedPicture.h"
#include "viewer/SharedImageScreenState.h"

#include <QAction>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

ContentDetail::ContentDetail(SharedImageScreenState &shared, ThumbnailCache &cache, QWidget *parent)
    : QWidget(parent)
    , m_shared(shared)
    , m_cache(cache)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_faces = new QWidget(this);
    m_faceStack = new CrossFadeStack(m_faces, switchMilliseconds);
    m_grid = new LibraryGrid(cache, m_faces);
    m_screen = new ImageDetailView(shared, m_faces);
    m_screen->setEditorFactory(&AnnotationEditorFactory::shared());

    m_header = new PaneHeader(this);
    m_returnToGrid = new QAction(SystemSymbol::icon(QStringLiteral("square.grid.2x2")), QStringLiteral("Library"), this);
    m_libraryButton = m_header->addButton(m_returnToGrid, true);
    m_title = new QLabel(m_header);
    m_title->setFont(AppStyle::headline());
    m_title->setTextFormat(Qt::PlainText);
    m_title->setMinimumWidth(0);
    m_title->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_header->contentLayout()->addSpacing(6);
    m_header->contentLayout()->addWidget(m_title, 1);
    m_editButton = m_header->addButton(m_screen->editAction(), true);
    auto *done = new ProminentButton(m_header);
    done->setTint(QColor(0x34, 0xc7, 0x59));
    done->setDefaultAction(m_screen->editAction());
    done->setFocusPolicy(Qt::TabFocus);
    m_doneButton = done;
    m_header->contentLayout()->addWidget(done);
    layout->addWidget(m_header);

    // The image screen's keys: what the control with the focus leaves of
    // them reaches the screen (the screen itself, when it has the focus).
    m_nextImage = new QAction(QStringLiteral("Next Image"), this);
    m_previousImage = new QAction(QStringLiteral("Previous Image"), this);
    m_returnToGridByKey = new QAction(QStringLiteral("Back to Library"), this);
    m_screen->installEventFilter(this);
    m_faceStack->addPage(m_grid);
    m_faceStack->addPage(m_screen);
    layout->addWidget(m_faces, 1);
    connect(m_screen, &ImageDetailView::titleChanged, this, &ContentDetail::updateHeader);
    connect(m_screen->editAction(), &QAction::changed, this, &ContentDetail::updateHeader);
    updateHeader();
}

QAction *ContentDetail::screenCommand(const QKeyEvent &key) const
{
    if ((key.modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return nullptr;
    switch (key.key()) {
    case Qt::Key_Right:
    case Qt::Key_Down:
        return m_nextImage;
    case Qt::Key_Left:
    case Qt::Key_Up:
        return m_previousImage;
    case Qt::Key_Space:
        return m_returnToGridByKey;
    default:
        return nullptr;
    }
}

bool ContentDetail::eventFilter(QObject *watched, QEvent *event)
{
    // A key press comes here once no control inside the screen has taken
    // it; the key of a disabled command travels on.
    if (watched == m_screen && event->type() == QEvent::KeyPress) {
        QAction *command = screenCommand(*static_cast<QKeyEvent *>(event));
        if (command && command->isEnabled()) {
            command->trigger();
            event->accept();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ContentDetail::setOpenedImage(AtlasImage *image)
{
    if (image == m_openedImage)
        return;
    const bool wasOpen = m_openedImage != nullptr;
    // The screen takes the focus as it appears, not as its image changes:
    // the focus stays where it is, in the sidebar or on a control of the
    // screen, and comes back to the screen only if that control went with
    // the old image.
    const bool focusInScreen = wasOpen && image && holdsFocus(*m_screen);
    m_openedImage = image;
    if (image) {
        m_screen->setImage(image);
        // The thumbnail stands in while the picture is decoded.
        m_cache.thumbnail(image, ThumbnailCache::defaultMaxPixelSize, m_screen,
                          [screen = m_screen, image](const std::optional<QImage> &thumbnail) {
                              if (thumbnail)
                                  screen->picture()->showThumbnail(image, *thumbnail);
                          });
    }
    if (wasOpen != (image != nullptr))
        showFace(image ? static_cast<QWidget *>(m_screen) : m_grid);
    else if (focusInScreen && !holdsFocus(*m_screen))
        m_screen->setFocus(Qt::OtherFocusReason);
    // Closed, the screen is out of view at once, its links closed without
    // a fade of their own (the picture of the screen fading out shows them
    // as they were); it lets its image go, so that a screen that comes
    // back, even before the fade has ended, appears afresh (unzoomed) as a
    // new one would.
    if (!image)
        m_screen->setImage(nullptr);
    updateHeader();
}

bool ContentDetail::holdsFocus(const QWidget &widget)
{
    const QWidget *focus = widget.window()->focusWidget();
    return focus && (focus == &widget || widget.isAncestorOf(focus));
}

void ContentDetail::setEditorFactory(ImageEditorFactory *factory)
{
    m_screen->setEditorFactory(factory);
}

bool ContentDetail::showsImageScreen() const
{
    return face() == m_screen;
}

QWidget *ContentDetail::face() const
{
    return m_faceStack->currentPage();
}

QString ContentDetail::title() const
{
    return m_title->text();
}

void ContentDetail::showFace(QWidget *face)
{
    // A face comes into view as it is shown, also one whose picture is
    // still fading out: the grid takes the focus, the screen leaving
    // closes its links.
    m_faceStack->setCurrentPage(face);
    if (face == m_screen)
        m_screen->setFocus(Qt::OtherFocusReason);
}

void ContentDetail::updateHeader()
{
    const bool open = m_openedImage != nullptr;
    m_libraryButton->setVisible(open);
    const bool editCommand = open && m_screen->editAction()->isVisible();
    const bool showsEdit = editCommand && !m_shared.isEditing();
    const bool showsDone = editCommand && m_shared.isEditing();
    // Edit and Done are one command: the focus goes from one face to the
    // other, and from Done, as edit mode ends, back to the image screen
    // (a hidden button would pass it on to the next widget of the window).
    if (m_editButton->hasFocus() && !showsEdit && showsDone) {
        m_doneButton->show();
        m_doneButton->setFocus(Qt::OtherFocusReason);
    } else if (m_doneButton->hasFocus() && !showsDone && open) {
        m_screen->setFocus(Qt::OtherFocusReason);
    }
    m_editButton->setVisible(showsEdit);
    m_doneButton->setVisible(showsDone);
    const QString title = open ? m_screen->title() : m_grid->windowTitle();
    if (title == m_title->text())
        return;
    m_title->setText(title);
    emit titleChanged(title);
}
