#include "viewer/AnnotationLinksOverlay.h"

#include "platform/DesktopHelper.h"
#include "ui/AppStyle.h"
#include "ui/SpringAnimation.h"
#include "ui/SystemSymbol.h"
#include "viewer/AnnotationLinkRow.h"
#include "viewer/ScreenSpring.h"

#include <QAction>
#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QKeyEvent>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int screenMargin = 24;
constexpr int cornerRadius = 20;
constexpr int listInset = 8;

// The panel's surface: a translucent sheet of the window's colour with a
// hairline edge, standing in for frosted glass.
class PanelSurface final : public QWidget {
public:
    explicit PanelSurface(QWidget *parent) : QWidget(parent) {}

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
        QColor fill = palette().color(QPalette::Window);
        fill.setAlphaF(0.94f);
        painter.fillPath(shape, fill);
        painter.setPen(QPen(AppStyle::quaternary(palette()), 1));
        painter.drawPath(shape);
    }
};

// The heading: the link symbol and the title on one line, cut short with
// an ellipsis.
class PanelHeading final : public QWidget {
public:
    explicit PanelHeading(QWidget *parent) : QWidget(parent)
    {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

    void setTitle(const QString &title)
    {
        m_title = title;
        setAccessibleName(title);
        updateGeometry();
        update();
    }

    QSize sizeHint() const override
    {
        const QFontMetrics metrics(AppStyle::headline());
        return {metrics.height() + 6 + metrics.horizontalAdvance(m_title), metrics.height()};
    }
    QSize minimumSizeHint() const override { return {0, sizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        const QFontMetrics metrics(AppStyle::headline());
        const int symbol = metrics.height();
        SystemSymbol::paint(painter, QStringLiteral("link"), QRectF(0, 0, symbol, symbol),
                            AppStyle::primary(palette()));
        const QRect text = rect().adjusted(symbol + 6, 0, 0, 0);
        painter.setFont(AppStyle::headline());
        painter.setPen(AppStyle::primary(palette()));
        painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         metrics.elidedText(m_title, Qt::ElideRight, text.width()));
    }

private:
    QString m_title;
};

// Whether the key is an arrow, which the panel's controls leave to the
// screen.
bool isArrow(const QKeyEvent &key)
{
    switch (key.key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        return (key.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    default:
        return false;
    }
}

} // namespace

AnnotationLinksOverlay::AnnotationLinksOverlay(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_NoSystemBackground);
    // The keyboard stays with the screen: a click on the panel takes no
    // focus, and Tab stops at its controls, not at the panel.
    setFocusPolicy(Qt::NoFocus);
    m_fade = new SpringAnimation(ScreenSpring::response, ScreenSpring::dampingFraction, 1, this);
    connect(m_fade, &SpringAnimation::valueChanged, this, &AnnotationLinksOverlay::showOpacity);
    connect(m_fade, &SpringAnimation::settled, this, [this] {
        if (m_fade->target() == 0)
            hide();
        showOpacity(m_fade->value());
    });

    m_close = new QAction(SystemSymbol::icon(QStringLiteral("xmark.circle.fill"), AppStyle::secondary(palette())),
                          tr("Close"), this);
    m_close->setShortcut(QKeySequence(Qt::Key_Escape));
    m_close->setShortcutContext(Qt::WindowShortcut);
    connect(m_close, &QAction::triggered, this, &AnnotationLinksOverlay::dismissRequested);
    addAction(m_close);

    m_panel = new PanelSurface(this);
    auto *column = new QVBoxLayout(m_panel);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto *header = new QHBoxLayout;
    header->setContentsMargins(16, 12, 16, 12);
    header->setSpacing(8);
    m_heading = new PanelHeading(m_panel);
    header->addWidget(m_heading, 1);
    header->addSpacing(8);
    m_closeButton = new QToolButton(m_panel);
    m_closeButton->setDefaultAction(m_close);
    m_closeButton->setAutoRaise(true);
    m_closeButton->setToolButtonStyle(Qt::ToolButtonIconOnly);
    const int closeSide = QFontMetrics(AppStyle::headline()).height() + 2;
    m_closeButton->setIconSize(QSize(closeSide, closeSide));
    m_closeButton->setCursor(Qt::ArrowCursor);
    m_closeButton->installEventFilter(this);
    header->addWidget(m_closeButton);
    column->addLayout(header);

    auto *divider = new QFrame(m_panel);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setFixedHeight(1);
    QPalette dividerPalette = divider->palette();
    dividerPalette.setColor(QPalette::WindowText, AppStyle::quaternary(palette()));
    divider->setPalette(dividerPalette);
    column->addWidget(divider);

    m_scroll = new QScrollArea(m_panel);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Tab goes from link to link; the list is no stop of its own.
    m_scroll->setFocusPolicy(Qt::NoFocus);
    // Nor does it scroll with the arrows (see eventFilter()).
    m_scroll->installEventFilter(this);
    m_scroll->viewport()->setAutoFillBackground(false);
    auto *list = new QWidget(m_scroll);
    m_rowLayout = new QVBoxLayout(list);
    m_rowLayout->setContentsMargins(listInset, listInset, listInset, listInset);
    m_rowLayout->setSpacing(2);
    m_rowLayout->addStretch(1);
    m_scroll->setWidget(list);
    // The panel's surface shows through (setWidget makes it opaque).
    list->setAutoFillBackground(false);
    column->addWidget(m_scroll, 1);

    parent->installEventFilter(this);
    setGeometry(parent->rect());
}

void AnnotationLinksOverlay::setContent(const QString &title, const QList<AnnotationLink> &links)
{
    m_title = title;
    static_cast<PanelHeading *>(m_heading)->setTitle(title);
    qDeleteAll(m_rows);
    m_rows.clear();
    QWidget *before = m_closeButton;
    for (const AnnotationLink &link : links) {
        if (!AnnotationLinkRow::hasRow(link))
            continue;
        auto *row = new AnnotationLinkRow(link, m_scroll->widget());
        connect(row, &QAbstractButton::clicked, this, [this, link] { open(link); });
        row->installEventFilter(this);
        m_rowLayout->insertWidget(m_rowLayout->count() - 1, row);
        // Shown now, which lays it out in the list at once (the layout
        // would show it only at the next turn of the loop).
        row->show();
        m_rows.append(row);
        // Tab goes from Close down the links.
        setTabOrder(before, row);
        before = row;
    }
    placePanel();
}

void AnnotationLinksOverlay::open(const AnnotationLink &link)
{
    // Only ever http, https or mailto addresses (AnnotationLink::url).
    const std::optional<QUrl> url = link.url();
    if (!url)
        return;
    openWithDesktop(url->toString(QUrl::FullyEncoded), this,
                    [this, link] { emit openFailed(openFailureTitle(), openFailureMessage(link)); });
}

QString AnnotationLinksOverlay::openFailureTitle()
{
    return tr("Open Failed");
}

QString AnnotationLinksOverlay::openFailureMessage(const AnnotationLink &link)
{
    const QUrl url = link.url().value_or(QUrl());
    const QString title = link.displayTitle();
    const bool mail = url.scheme().compare(QLatin1String("mailto"), Qt::CaseInsensitive) == 0;
    QString message = mail ? tr("No e-mail program could be started for \u201C%1\u201D.").arg(title)
                           : tr("No browser could open \u201C%1\u201D.").arg(title);
    const QString address = url.toDisplayString();
    if (title != address && title != link.urlString)
        message += tr(" Its address is \u201C%1\u201D.").arg(address);
    return message;
}

void AnnotationLinksOverlay::enter()
{
    setTakesInput(true);
    if (isHidden()) {
        m_fade->jumpTo(0);
        show();
    }
    // Off screen there is nothing to fade.
    if (isVisible())
        m_fade->setTarget(1);
    else
        m_fade->jumpTo(1);
    showOpacity(m_fade->value());
}

void AnnotationLinksOverlay::leave()
{
    if (isHidden() || m_leaving)
        return;
    setTakesInput(false);
    if (!isVisible()) {
        m_fade->jumpTo(0);
        hide();
        return;
    }
    m_fade->setTarget(0);
    // (Caught at the start of its way in, it is gone at once.)
    if (m_fade->isSettled())
        hide();
}

double AnnotationLinksOverlay::opacity() const
{
    return std::clamp(m_fade->value(), 0.0, 1.0);
}

FrameClock *AnnotationLinksOverlay::frameClock() const
{
    return m_fade->frameClock();
}

void AnnotationLinksOverlay::showOpacity(double opacity)
{
    // Whole (also past it, as the spring overshoots), and hidden, it
    // needs no effect.
    if (opacity >= 1 || isHidden()) {
        setGraphicsEffect(nullptr);
        return;
    }
    auto *effect = qobject_cast<QGraphicsOpacityEffect *>(graphicsEffect());
    if (!effect) {
        effect = new QGraphicsOpacityEffect(this);
        setGraphicsEffect(effect);
    }
    effect->setOpacity(std::max(opacity, 0.0));
}

void AnnotationLinksOverlay::setTakesInput(bool takes)
{
    m_leaving = !takes;
    setAttribute(Qt::WA_TransparentForMouseEvents, !takes);
    m_close->setEnabled(takes);
}

void AnnotationLinksOverlay::setPanelSize(int width, int maximumHeight)
{
    m_panelWidth = width;
    m_panelMaximumHeight = maximumHeight;
    placePanel();
}

void AnnotationLinksOverlay::placePanel()
{
    // As tall as its header and list need, within its limits and the screen.
    // (The list takes its width from the scroll area alone: a width of its
    // own, such as its size hint's while the panel is hidden, would stay as
    // long as the scroll area keeps its size, the rows as narrow.)
    const int headerAndDivider = m_panel->layout()->itemAt(0)->sizeHint().height() + 1;
    int listHeight = 2 * listInset;
    for (const AnnotationLinkRow *row : std::as_const(m_rows))
        listHeight += row->sizeHint().height();
    if (m_rows.size() > 1)
        listHeight += int(m_rows.size() - 1) * m_rowLayout->spacing();
    const int width = std::max(0, std::min(m_panelWidth, this->width() - 2 * screenMargin));
    const int height = std::max(0, std::min({headerAndDivider + listHeight, m_panelMaximumHeight,
                                             this->height() - 2 * screenMargin}));
    m_panel->setGeometry((this->width() - width) / 2, (this->height() - height) / 2, width, height);
}

void AnnotationLinksOverlay::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 0, 89)); // black at 0.35
}

void AnnotationLinksOverlay::mousePressEvent(QMouseEvent *event)
{
    m_backdropPressed = event->button() == Qt::LeftButton && !m_panel->geometry().contains(event->position().toPoint());
    event->accept();
}

void AnnotationLinksOverlay::mouseReleaseEvent(QMouseEvent *event)
{
    const bool pressed = m_backdropPressed;
    m_backdropPressed = false;
    if (pressed && event->button() == Qt::LeftButton && !m_panel->geometry().contains(event->position().toPoint()))
        emit dismissRequested();
    event->accept();
}

void AnnotationLinksOverlay::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placePanel();
}

void AnnotationLinksOverlay::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    raise();
}

bool AnnotationLinksOverlay::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parent() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    // Close and the links leave the arrows (which a button would take to
    // move the focus, and the list to scroll) to the screen, which steps
    // through the images with them.
    if (watched != parent() && event->type() == QEvent::KeyPress && isArrow(*static_cast<QKeyEvent *>(event))) {
        event->ignore();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
