#include "viewer/AnnotationList.h"

#include "ui/AppStyle.h"
#include "ui/ContentUnavailableView.h"
#include "ui/SystemSymbol.h"
#include "viewer/AnnotationViewState.h"
#include "viewer/ImageAnnotations.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {

constexpr int leadingPadding = 12;
constexpr int trailingPadding = 8;
constexpr int verticalPadding = 8;
constexpr int spacing = 10;
constexpr int minimumGap = 8;
constexpr int linkTrailingPadding = 12;
constexpr int divider = 1;
constexpr int singleLine = Qt::AlignVCenter | Qt::TextSingleLine;

QFont nameFont()
{
    return AppStyle::caption();
}

QFont tagFont()
{
    return AppStyle::caption2();
}

QFont linkFont()
{
    return AppStyle::withWeight(AppStyle::caption2(), QFont::DemiBold);
}

} // namespace

AnnotationList::AnnotationList(ImageAnnotations *annotations, AnnotationViewState *state, QWidget *parent)
    : QWidget(parent)
    , m_annotations(annotations)
    , m_state(state)
    , m_empty(new ContentUnavailableView(this))
{
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName(tr("Annotations"));
    if (annotations)
        connect(annotations, &ImageAnnotations::listingChanged, this, &AnnotationList::refresh);
    if (state) {
        connect(state, &AnnotationViewState::disabledGroupsChanged, this, &AnnotationList::refresh);
        connect(state, &AnnotationViewState::highlightedIDChanged, this, qOverload<>(&QWidget::update));
    }
    refresh();
}

void AnnotationList::setLinkSlotWidth(int width)
{
    m_linkSlotWidth = std::max(0, width);
    update();
}

void AnnotationList::refresh()
{
    const QList<PointAnnotation *> points = m_annotations ? m_annotations->points() : QList<PointAnnotation *>();
    const QList<RegionAnnotation *> regions = m_annotations ? m_annotations->regions() : QList<RegionAnnotation *>();
    m_rows = annotationRows(points, regions, m_state ? m_state->disabledGroups() : QSet<QString>());
    if (m_rows.isEmpty())
        m_empty->setContent(emptyAnnotationList(listableAnnotationCount(points, regions)));
    m_empty->setVisible(m_rows.isEmpty());
    m_empty->setGeometry(rect());
    m_pressed = {};
    updateGeometry();
    update();
}

int AnnotationList::rowHeight() const
{
    const int text = std::max(QFontMetrics(nameFont()).height(), QFontMetrics(tagFont()).height());
    return verticalPadding + text + verticalPadding;
}

QRect AnnotationList::rowRectAt(qsizetype row) const
{
    return {0, int(row) * (rowHeight() + divider), width(), rowHeight()};
}

QRect AnnotationList::linkButtonRectAt(qsizetype row) const
{
    const QRect rowRect = rowRectAt(row);
    return {rowRect.right() + 1 - m_linkSlotWidth, rowRect.top(), m_linkSlotWidth, rowRect.height()};
}

std::optional<QRect> AnnotationList::rowRect(const QUuid &id) const
{
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].id == id)
            return rowRectAt(i);
    }
    return std::nullopt;
}

std::optional<QRect> AnnotationList::linkButtonRect(const QUuid &id) const
{
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].id == id && !m_rows[i].links.isEmpty())
            return linkButtonRectAt(i);
    }
    return std::nullopt;
}

QSize AnnotationList::sizeHint() const
{
    if (m_rows.isEmpty())
        return m_empty->sizeHint();
    return {leadingPadding + 120 + m_linkSlotWidth, int(m_rows.size()) * (rowHeight() + divider) - divider};
}

QSize AnnotationList::minimumSizeHint() const
{
    return {m_linkSlotWidth + leadingPadding + trailingPadding, sizeHint().height()};
}

AnnotationList::Target AnnotationList::targetAt(const QPoint &position) const
{
    const int pitch = rowHeight() + divider;
    if (position.y() < 0 || position.x() < 0 || position.x() >= width())
        return {};
    const qsizetype row = position.y() / pitch;
    if (row >= m_rows.size() || position.y() - row * pitch >= rowHeight())
        return {};
    const bool onButton = !m_rows[row].links.isEmpty() && linkButtonRectAt(row).contains(position);
    return {row, onButton};
}

void AnnotationList::paintEvent(QPaintEvent *event)
{
    if (m_rows.isEmpty())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const std::optional<QUuid> highlighted = m_state ? m_state->highlightedID() : std::nullopt;
    const QFontMetrics names(nameFont()), tags(tagFont()), links(linkFont());
    const QColor secondary = AppStyle::secondary(palette());
    QColor tint = AppStyle::orange();
    tint.setAlphaF(0.16f);
    const int pitch = rowHeight() + divider;
    const qsizetype first = std::max(0, event->rect().top() / pitch);
    const qsizetype last = std::min(m_rows.size() - 1, qsizetype(event->rect().bottom() / pitch));
    for (qsizetype i = first; i <= last; ++i) {
        const AnnotationRow &row = m_rows[i];
        const QRect rect = rowRectAt(i);
        if (highlighted && *highlighted == row.id)
            painter.fillRect(rect, tint);
        if (i + 1 < m_rows.size())
            painter.fillRect(QRect(rect.left(), rect.bottom() + 1, rect.width(), divider),
                             palette().color(QPalette::Mid));

        // Name and tags share the room before the link column; each gives
        // way to the other down to half of it.
        const QRect text = rect.adjusted(leadingPadding, verticalPadding, -(m_linkSlotWidth + trailingPadding),
                                         -verticalPadding);
        const QString tagText = row.tags.join(QStringLiteral(", "));
        const int room = std::max(0, text.width() - minimumGap);
        int tagWidth = tagText.isEmpty() ? 0 : std::min(tags.horizontalAdvance(tagText) + 1, room);
        int nameWidth = std::min(names.horizontalAdvance(row.displayName()) + 1, room - tagWidth);
        if (nameWidth < room / 2 && tagWidth > room / 2) {
            nameWidth = std::min(names.horizontalAdvance(row.displayName()) + 1, room / 2);
            tagWidth = room - nameWidth;
        }
        painter.setFont(nameFont());
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(QRect(text.left(), text.top(), nameWidth, text.height()), singleLine | Qt::AlignLeft,
                         names.elidedText(row.displayName(), Qt::ElideRight, nameWidth));
        if (tagWidth > 0) {
            painter.setFont(tagFont());
            painter.setPen(secondary);
            painter.drawText(QRect(text.right() + 1 - tagWidth, text.top(), tagWidth, text.height()),
                             singleLine | Qt::AlignRight, tags.elidedText(tagText, Qt::ElideRight, tagWidth));
        }
        if (!row.links.isEmpty()) {
            // The symbol and the number, against the column's trailing edge.
            const QRect slot = linkButtonRectAt(i).adjusted(0, verticalPadding, -linkTrailingPadding, -verticalPadding);
            const QString count = QString::number(row.links.size());
            const int symbol = links.height();
            const int countWidth = links.horizontalAdvance(count);
            const QRect countRect(slot.right() + 1 - countWidth, slot.top(), countWidth, slot.height());
            painter.setFont(linkFont());
            painter.setPen(AppStyle::orange());
            painter.drawText(countRect, singleLine | Qt::AlignRight, count);
            SystemSymbol::paint(painter, QStringLiteral("link"),
                                QRectF(countRect.left() - 3 - symbol, slot.center().y() - symbol / 2.0 + 0.5, symbol,
                                       symbol),
                                AppStyle::orange());
        }
    }
}

void AnnotationList::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_empty->setGeometry(rect());
}

void AnnotationList::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton ? targetAt(event->position().toPoint()) : Target();
    event->setAccepted(m_pressed.row >= 0);
}

void AnnotationList::mouseReleaseEvent(QMouseEvent *event)
{
    const Target pressed = m_pressed;
    m_pressed = {};
    if (event->button() != Qt::LeftButton || pressed.row < 0 || targetAt(event->position().toPoint()) != pressed)
        return;
    const AnnotationRow &row = m_rows[pressed.row];
    if (pressed.linkButton) {
        emit showLinksRequested(row.id);
        return;
    }
    const bool isHighlighted = m_state && m_state->highlightedID() == row.id;
    emit highlightRequested(isHighlighted ? std::nullopt : std::optional<QUuid>(row.id));
}

void AnnotationList::mouseMoveEvent(QMouseEvent *event)
{
    if (targetAt(event->position().toPoint()).linkButton)
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
    QWidget::mouseMoveEvent(event);
}

void AnnotationList::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        updateGeometry();
}
