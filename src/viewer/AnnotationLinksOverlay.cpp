#include "viewer/AnnotationLinksOverlay.h"

#include "platform/DesktopHelper.h"
#include "ui/AppStyle.h"
#include "ui/FadeIn.h"
#include "ui/SystemSymbol.h"
#include "viewer/AnnotationLinkRow.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

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

} // namespace

AnnotationLinksOverlay::AnnotationLinksOverlay(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::StrongFocus);

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
    auto *closeButton = new QToolButton(m_panel);
    closeButton->setDefaultAction(m_close);
    closeButton->setAutoRaise(true);
    closeButton->setToolButtonStyle(Qt::ToolButtonIconOnly);
    const int closeSide = QFontMetrics(AppStyle::headline()).height() + 2;
    closeButton->setIconSize(QSize(closeSide, closeSide));
    closeButton->setCursor(Qt::ArrowCursor);
    header->addWidget(closeButton);
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
    m_focusWatch =
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) { keepFocus(now); });
}

AnnotationLinksOverlay::~AnnotationLinksOverlay()
{
    // The focus moves on as the widget part of the panel goes, when the
    // panel is no more.
    disconnect(m_focusWatch);
}

void AnnotationLinksOverlay::setContent(const QString &title, const QList<AnnotationLink> &links)
{
    m_title = title;
    static_cast<PanelHeading *>(m_heading)->setTitle(title);
    qDeleteAll(m_rows);
    m_rows.clear();
    for (const AnnotationLink &link : links) {
        if (!AnnotationLinkRow::hasRow(link))
            continue;
        auto *row = new AnnotationLinkRow(link, m_scroll->widget());
        connect(row, &QAbstractButton::clicked, this, [this, link] { open(link); });
        m_rowLayout->insertWidget(m_rowLayout->count() - 1, row);
        m_rows.append(row);
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

void AnnotationLinksOverlay::enter(int milliseconds)
{
    setTakesInput(true);
    if (isHidden())
        show();
    fadeIn(this, milliseconds);
}

void AnnotationLinksOverlay::leave(int milliseconds)
{
    if (isHidden() || m_leaving)
        return;
    setTakesInput(false);
    fadeOut(this, milliseconds);
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
    m_scroll->widget()->adjustSize();
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
    // The keyboard goes to the panel (Tab reaches its links) while it is up.
    raise();
    setFocus(Qt::PopupFocusReason);
}

QList<QWidget *> AnnotationLinksOverlay::focusStops() const
{
    // In the order of the window's focus chain.
    QList<QWidget *> stops;
    for (QWidget *widget = nextInFocusChain(); widget && widget != this; widget = widget->nextInFocusChain()) {
        if (isAncestorOf(widget) && widget->isVisibleTo(this) && widget->isEnabled()
            && (widget->focusPolicy() & Qt::TabFocus))
            stops.append(widget);
    }
    return stops;
}

bool AnnotationLinksOverlay::focusNextPrevChild(bool next)
{
    if (!takesKeys())
        return QWidget::focusNextPrevChild(next);
    // Round the panel's own controls, never out of it.
    const QList<QWidget *> stops = focusStops();
    if (stops.isEmpty())
        return true;
    const qsizetype count = stops.size();
    qsizetype at = -1;
    for (qsizetype i = 0; i < count && at < 0; ++i) {
        if (stops[i] == QApplication::focusWidget() || stops[i]->isAncestorOf(QApplication::focusWidget()))
            at = i;
    }
    const qsizetype to = at < 0 ? (next ? 0 : count - 1) : (at + (next ? 1 : count - 1)) % count;
    stops[to]->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

void AnnotationLinksOverlay::keepFocus(QWidget *focused)
{
    // The focus that comes to the covered screen (a Tab from beside it, say)
    // comes to the panel.
    QWidget *covered = parentWidget();
    if (!focused || !takesKeys() || !covered || focused == this || isAncestorOf(focused))
        return;
    if (focused == covered || covered->isAncestorOf(focused))
        setFocus(Qt::OtherFocusReason);
}

void AnnotationLinksOverlay::keyPressEvent(QKeyEvent *event)
{
    // What the panel's controls leave of a key goes no further than the
    // panel (Escape is Close's shortcut).
    event->setAccepted(takesKeys());
}

void AnnotationLinksOverlay::keyReleaseEvent(QKeyEvent *event)
{
    event->setAccepted(takesKeys());
}

bool AnnotationLinksOverlay::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parent() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}
