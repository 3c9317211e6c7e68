#include "viewer/DetailDrawer.h"

#include "ui/AppStyle.h"
#include "ui/FrameClock.h"
#include "viewer/MetadataStrip.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <cmath>

namespace {

// The platform's default padding, and the room left below a page's end.
constexpr int padding = 16;
constexpr int bottomRoom = 20;

// One page dot: a small disc, filled for the page shown.
class PageDot final : public QAbstractButton {
public:
    PageDot(const QString &name, QWidget *parent) : QAbstractButton(parent)
    {
        setCheckable(true);
        setAutoExclusive(true);
        setFocusPolicy(Qt::TabFocus);
        setAccessibleName(name);
        setToolTip(name);
    }
    QSize sizeHint() const override { return {16, 16}; }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor colour = palette().color(QPalette::WindowText);
        colour.setAlphaF(isChecked() ? 0.8f : 0.25f);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawEllipse(QRectF(rect()).center(), 3.5, 3.5);
    }
};

// The pages side by side, clipped to the row: the owner places them; the
// row is as large as the largest of them wants to be.
class PageRow final : public QWidget {
public:
    PageRow(std::function<void()> place, QWidget *parent) : QWidget(parent), m_place(std::move(place)) {}

    QSize sizeHint() const override { return largest(&QWidget::sizeHint); }
    QSize minimumSizeHint() const override { return largest(&QWidget::minimumSizeHint); }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QWidget::resizeEvent(event);
        m_place();
    }

private:
    QSize largest(QSize (QWidget::*hint)() const) const
    {
        QSize size(0, 0);
        for (const QWidget *page : findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            size = size.expandedTo((page->*hint)());
        return size;
    }

    std::function<void()> m_place;
};

QScrollArea *pageScrollArea(QWidget *content, QWidget *parent)
{
    auto *scroll = new QScrollArea(parent);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(true);
    scroll->setWidget(content);
    return scroll;
}

// One entry as a row: its title, room, and its value.
QWidget *metadataRow(const MetadataEntry &entry, QWidget *parent)
{
    auto *row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    const MetadataStrip::EntryLabels labels = MetadataStrip::entryLabels(
        entry, AppStyle::withWeight(AppStyle::caption2(), QFont::DemiBold), AppStyle::caption(), row);
    layout->addWidget(labels.title);
    layout->addSpacing(8);
    layout->addStretch(1);
    layout->addWidget(labels.value);
    return row;
}

} // namespace

DetailDrawer::DetailDrawer(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // The page's place moves in fractions of a page, the scroll in whole
    // points.
    m_pageSpring.setRestDistance(0.001);
    m_scrollSpring.setRestDistance(0.5);
    m_frames = new FrameClock(this);
    connect(m_frames, &FrameClock::ticked, this, &DetailDrawer::advance);
    m_pageRow = new PageRow([this] { placePages(); }, this);
    layout->addWidget(m_pageRow, 1);

    m_annotationsSlot = new QWidget;
    auto *annotations = new QVBoxLayout(m_annotationsSlot);
    annotations->setContentsMargins(padding, padding, padding, padding + bottomRoom);
    annotations->setSpacing(12);
    annotations->addStretch(1);
    m_annotationsScroll = pageScrollArea(m_annotationsSlot, m_pageRow);
    m_pages.append(m_annotationsScroll);

    auto *metadata = new QWidget;
    m_metadataRows = new QVBoxLayout(metadata);
    m_metadataRows->setContentsMargins(padding, padding, padding, padding + bottomRoom);
    m_metadataRows->setSpacing(8);
    m_metadataRows->addStretch(1);
    m_pages.append(pageScrollArea(metadata, m_pageRow));

    m_dots = new QWidget(this);
    auto *dots = new QHBoxLayout(m_dots);
    dots->setContentsMargins(0, 2, 0, 4);
    dots->setSpacing(2);
    dots->addStretch(1);
    const QStringList names{QStringLiteral("Annotations"), QStringLiteral("Metadata")};
    for (int page = 0; page < int(names.size()); ++page) {
        auto *dot = new PageDot(names.at(page), m_dots);
        connect(dot, &QAbstractButton::clicked, this, [this, page] {
            // The dot shows the screen's page, not its own click.
            setPage(this->page());
            emit pageRequested(page);
        });
        dots->addWidget(dot);
    }
    dots->addStretch(1);
    layout->addWidget(m_dots);
    setPage(annotationsPage);
}

void DetailDrawer::setPage(int page, bool animated)
{
    page = std::clamp(page, int(annotationsPage), int(metadataPage));
    m_page = page;
    static_cast<QAbstractButton *>(pageDots().at(page))->setChecked(true);
    if (animated) {
        m_pageSpring.setTarget(page);
        if (!m_pageSpring.isSettled())
            m_frames->start();
    } else {
        m_pageSpring.jumpTo(page);
    }
    placePages();
}

void DetailDrawer::placePages()
{
    // Each page lies a whole width from the next; the pages in view, and
    // the one the drawer turns to, show.
    const int width = m_pageRow->width();
    const double direction = layoutDirection() == Qt::RightToLeft ? -1 : 1;
    for (int index = 0; index < int(m_pages.size()); ++index) {
        QWidget *page = m_pages.at(index);
        const double distance = index - m_pageSpring.value();
        page->setGeometry(int(std::lround(direction * distance * width)), 0, width, m_pageRow->height());
        const bool shown = index == m_page || std::abs(distance) < 1;
        if (!shown && page->isAncestorOf(QApplication::focusWidget()))
            m_pages.at(m_page)->setFocus(Qt::OtherFocusReason);
        page->setVisible(shown);
    }
}

QList<QWidget *> DetailDrawer::pageDots() const
{
    QList<QWidget *> dots;
    for (QAbstractButton *dot : m_dots->findChildren<QAbstractButton *>(Qt::FindDirectChildrenOnly))
        dots.append(dot);
    return dots;
}

void DetailDrawer::setEntries(const QList<MetadataEntry> &entries)
{
    if (entries == m_entries)
        return;
    m_entries = entries;
    MetadataStrip::replaceEntries(*m_metadataRows, entries, [this](const MetadataEntry &entry) {
        return metadataRow(entry, m_metadataRows->parentWidget());
    });
}

void DetailDrawer::centreInAnnotations(QWidget *descendant, const QRect &area)
{
    if (!descendant || !m_annotationsSlot->isAncestorOf(descendant))
        return;
    m_centred = descendant;
    m_centredArea = area.isEmpty() ? descendant->rect() : area;
    startScrolling();
}

void DetailDrawer::startScrolling()
{
    // A scroll on its way heads for the new place without a jolt.
    const int shown = m_annotationsScroll->verticalScrollBar()->value();
    if (!m_scrolling || shown != m_scrollShown)
        m_scrollSpring.jumpTo(shown);
    m_scrollShown = shown;
    m_scrolling = true;
    // The list's place as its latest change has laid it out.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    aimScroll();
    m_frames->start();
}

void DetailDrawer::aimScroll()
{
    // Aimed afresh on every frame: the row stays the target while the list
    // moves under it, or is laid out as its page comes into view.
    if (!m_centred)
        return;
    const QPoint centre = m_centred->mapTo(m_annotationsSlot, m_centredArea.center());
    const QScrollBar *bar = m_annotationsScroll->verticalScrollBar();
    m_scrollSpring.setTarget(
        std::clamp(centre.y() - m_annotationsScroll->viewport()->height() / 2, bar->minimum(), bar->maximum()));
}

void DetailDrawer::advance(double seconds)
{
    m_pageSpring.advance(seconds);
    placePages();
    QScrollBar *bar = m_annotationsScroll->verticalScrollBar();
    if (m_scrolling && bar->value() != m_scrollShown) {
        // The user scrolled meanwhile: the list is theirs.
        m_scrolling = false;
        m_centred = nullptr;
    } else if (m_scrolling) {
        aimScroll();
        m_scrollSpring.advance(seconds);
        bar->setValue(int(std::lround(m_scrollSpring.value())));
        m_scrollShown = bar->value();
        if (m_scrollSpring.isSettled()) {
            m_scrolling = false;
            m_centred = nullptr;
        }
    }
    if (!m_scrolling && m_pageSpring.isSettled())
        m_frames->stop();
}
