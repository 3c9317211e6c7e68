#include "viewer/MetadataStrip.h"

#include "ui/AppStyle.h"
#include "ui/Divider.h"
#include "ui/FocusRingOverlay.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace {

// The platform's default padding beside the strip's parts.
constexpr int padding = 16;

// One entry as a column: its title over its value.
QWidget *metadataColumn(const MetadataEntry &entry, QWidget *parent)
{
    auto *column = new QWidget(parent);
    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    const MetadataStrip::EntryLabels labels = MetadataStrip::entryLabels(
        entry, AppStyle::withWeight(AppStyle::caption(), QFont::DemiBold), AppStyle::callout(), column);
    layout->addWidget(labels.title);
    layout->addWidget(labels.value);
    return column;
}

} // namespace

MetadataStrip::EntryLabels MetadataStrip::entryLabels(const MetadataEntry &entry, const QFont &titleFont,
                                                      const QFont &valueFont, QWidget *parent)
{
    auto *title = new QLabel(entry.title, parent);
    title->setTextFormat(Qt::PlainText);
    title->setFont(titleFont);
    AppStyle::makeSecondary(*title);
    auto *value = new QLabel(entry.value, parent);
    value->setTextFormat(Qt::PlainText);
    value->setFont(valueFont);
    return {title, value};
}

MetadataStrip::MetadataStrip(QWidget *parent) : QWidget(parent)
{
    setFixedHeight(stripHeight);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_summary = new QScrollArea(this);
    m_summary->setFrameShape(QFrame::NoFrame);
    m_summary->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_summary->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_summary->setWidgetResizable(true);
    m_summary->viewport()->setAutoFillBackground(false);
    m_summary->viewport()->installEventFilter(this);
    // A focus stop, Left and Right scrolling it.
    new FocusRingOverlay(m_summary);
    m_summary->installEventFilter(this);
    auto *row = new QWidget(m_summary);
    row->setAutoFillBackground(false);
    m_columns = new QHBoxLayout(row);
    m_columns->setContentsMargins(padding, 0, padding, 0);
    m_columns->setSpacing(20);
    m_columns->addStretch(1);
    m_summary->setWidget(row);
    layout->addWidget(m_summary, 1);

    layout->addWidget(new Divider(Qt::Vertical, this));

    m_inspectorSlot = new QWidget(this);
    auto *inspector = new QVBoxLayout(m_inspectorSlot);
    inspector->setContentsMargins(padding, 0, padding, 0);
    layout->addWidget(m_inspectorSlot, 1);
}

void MetadataStrip::setEntries(const QList<MetadataEntry> &entries)
{
    if (entries == m_entries)
        return;
    m_entries = entries;
    replaceEntries(*m_columns, entries,
                   [this](const MetadataEntry &entry) { return metadataColumn(entry, m_summary->widget()); },
                   Qt::AlignVCenter);
}

void MetadataStrip::replaceEntries(QBoxLayout &layout, const QList<MetadataEntry> &entries,
                                   const std::function<QWidget *(const MetadataEntry &)> &make,
                                   Qt::Alignment alignment)
{
    while (layout.count() > 1) {
        QLayoutItem *item = layout.takeAt(0);
        delete item->widget();
        delete item;
    }
    for (qsizetype i = 0; i < entries.size(); ++i)
        layout.insertWidget(int(i), make(entries.at(i)), 0, alignment);
}

bool MetadataStrip::isScrollable() const
{
    return m_summary->horizontalScrollBar()->maximum() > 0;
}

bool MetadataStrip::eventFilter(QObject *watched, QEvent *event)
{
    // Only the sideways keys scroll, and only a row that can: the others
    // travel on to the screen.
    if (watched == m_summary && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        const bool sideways = key == Qt::Key_Left || key == Qt::Key_Right;
        if ((sideways && !isScrollable()) || key == Qt::Key_Up || key == Qt::Key_Down) {
            event->ignore();
            return true;
        }
    }
    // The row scrolls sideways with either wheel direction.
    if (watched == m_summary->viewport() && event->type() == QEvent::Wheel) {
        auto *wheel = static_cast<QWheelEvent *>(event);
        QScrollBar *bar = m_summary->horizontalScrollBar();
        if (bar->maximum() == 0)
            return false;
        const QPoint pixels = wheel->pixelDelta();
        const QPoint angle = wheel->angleDelta();
        int delta = 0;
        if (!pixels.isNull())
            delta = std::abs(pixels.x()) >= std::abs(pixels.y()) ? pixels.x() : pixels.y();
        else
            delta = (std::abs(angle.x()) >= std::abs(angle.y()) ? angle.x() : angle.y()) * bar->singleStep() / 40;
        bar->setValue(bar->value() - delta);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
