#include "viewer/DetailDrawer.h"

#include "ui/AppStyle.h"
#include "viewer/MetadataStrip.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QVBoxLayout>

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
        setCursor(Qt::PointingHandCursor);
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
    m_pages = new QStackedWidget(this);
    layout->addWidget(m_pages, 1);

    m_annotationsSlot = new QWidget;
    auto *annotations = new QVBoxLayout(m_annotationsSlot);
    annotations->setContentsMargins(padding, padding, padding, padding + bottomRoom);
    annotations->setSpacing(12);
    annotations->addStretch(1);
    m_annotationsScroll = pageScrollArea(m_annotationsSlot, m_pages);
    m_pages->addWidget(m_annotationsScroll);

    auto *metadata = new QWidget;
    m_metadataRows = new QVBoxLayout(metadata);
    m_metadataRows->setContentsMargins(padding, padding, padding, padding + bottomRoom);
    m_metadataRows->setSpacing(8);
    m_metadataRows->addStretch(1);
    m_pages->addWidget(pageScrollArea(metadata, m_pages));

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

void DetailDrawer::setPage(int page)
{
    page = std::clamp(page, int(annotationsPage), int(metadataPage));
    m_pages->setCurrentIndex(page);
    const QList<QWidget *> dots = pageDots();
    static_cast<QAbstractButton *>(dots.at(page))->setChecked(true);
}

int DetailDrawer::page() const
{
    return m_pages->currentIndex();
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
    const QRect centred = area.isEmpty() ? descendant->rect() : area;
    const QPoint centre = descendant->mapTo(m_annotationsSlot, centred.center());
    QScrollBar *bar = m_annotationsScroll->verticalScrollBar();
    bar->setValue(centre.y() - m_annotationsScroll->viewport()->height() / 2);
}
