#include "shell/ContentDetail.h"

#include "browser/LibraryGrid.h"
#include "browser/ThumbnailCache.h"
#include "shell/OpenedImagePreview.h"
#include "ui/AppStyle.h"
#include "ui/PaneHeader.h"
#include "ui/SystemSymbol.h"

#include <QAction>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPropertyAnimation>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

ContentDetail::ContentDetail(QWidget *parent)
    : ContentDetail(ThumbnailCache::shared(), parent)
{
}

ContentDetail::ContentDetail(ThumbnailCache &cache, QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_header = new PaneHeader(this);
    m_returnToGrid = new QAction(SystemSymbol::icon(QStringLiteral("square.grid.2x2")), QStringLiteral("Library"), this);
    m_libraryButton = m_header->addButton(m_returnToGrid, true);
    m_title = new QLabel(m_header);
    m_title->setFont(AppStyle::headline());
    m_header->contentLayout()->addSpacing(6);
    m_header->contentLayout()->addWidget(m_title, 1);
    layout->addWidget(m_header);

    m_stack = new QStackedWidget(this);
    m_grid = new LibraryGrid(cache, m_stack);
    m_preview = new OpenedImagePreview(m_stack);
    // The image screen's keys, while the focus is on it.
    const auto keyCommand = [this](const QString &title, const QList<QKeySequence> &keys) {
        auto *command = new QAction(title, m_preview);
        command->setShortcuts(keys);
        command->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        m_preview->addAction(command);
        return command;
    };
    m_nextImage = keyCommand(QStringLiteral("Next Image"), {Qt::Key_Right, Qt::Key_Down});
    m_previousImage = keyCommand(QStringLiteral("Previous Image"), {Qt::Key_Left, Qt::Key_Up});
    m_returnToGridByKey = keyCommand(QStringLiteral("Back to Library"), {Qt::Key_Space});
    m_stack->addWidget(m_grid);
    m_stack->addWidget(m_preview);
    layout->addWidget(m_stack, 1);
    updateHeader();
}

void ContentDetail::setOpenedImage(AtlasImage *image)
{
    if (image == m_openedImage)
        return;
    const bool wasOpen = m_openedImage != nullptr;
    m_openedImage = image;
    m_preview->setImage(image);
    if (wasOpen != (image != nullptr))
        showFace(image ? static_cast<QWidget *>(m_preview) : m_grid);
    else if (image && isVisible())
        m_preview->setFocus(Qt::OtherFocusReason);
    updateHeader();
}

void ContentDetail::refreshOpenedImage()
{
    if (!m_openedImage)
        return;
    m_preview->setWindowTitle(m_preview->title());
    m_preview->update();
    updateHeader();
}

bool ContentDetail::showsImageScreen() const
{
    return m_stack->currentWidget() == m_preview;
}

QString ContentDetail::title() const
{
    return m_title->text();
}

void ContentDetail::showFace(QWidget *face)
{
    m_stack->setCurrentWidget(face);
    if (face == m_preview)
        m_preview->setFocus(Qt::OtherFocusReason);
    if (!isVisible())
        return;
    // The new face fades in.
    auto *effect = new QGraphicsOpacityEffect(face);
    effect->setOpacity(0);
    face->setGraphicsEffect(effect);
    auto *fade = new QPropertyAnimation(effect, "opacity", effect);
    fade->setDuration(switchMilliseconds);
    fade->setEasingCurve(QEasingCurve::InOutQuad);
    fade->setStartValue(0.0);
    fade->setEndValue(1.0);
    connect(fade, &QPropertyAnimation::finished, face, [face, effect] {
        if (face->graphicsEffect() == effect)
            face->setGraphicsEffect(nullptr);
    });
    fade->start();
}

void ContentDetail::updateHeader()
{
    const bool open = m_openedImage != nullptr;
    m_libraryButton->setVisible(open);
    // The image screen shows its own title.
    m_title->setText(open ? QString() : m_grid->windowTitle());
}
