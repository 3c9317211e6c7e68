#include "viewer/AnnotationList.h"

#include "ui/AppStyle.h"
#include "ui/ContentUnavailableView.h"
#include "ui/PaintedAccessible.h"
#include "ui/SystemSymbol.h"
#include "viewer/AnnotationViewState.h"
#include "viewer/ImageAnnotations.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QEvent>
#include <QHash>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>

#include <algorithm>

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

class AnnotationListAccessible;

// A row of the list, or its link button.
class AnnotationElementAccessible final : public PaintedAccessible {
public:
    AnnotationElementAccessible(AnnotationList *list, const AnnotationList::FocusStop &stop,
                                const AnnotationListAccessible *owner)
        : PaintedAccessible(list), m_stop(stop), m_owner(owner)
    {
    }

    bool isValid() const override
    {
        const AnnotationRow *shown = row();
        return shown && (!m_stop.linkButton || !shown->links.isEmpty());
    }
    QAccessibleInterface *parent() const override;
    int childCount() const override
    {
        const AnnotationRow *shown = row();
        return !m_stop.linkButton && shown && !shown->links.isEmpty() ? 1 : 0;
    }
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return childCount() == 1 && child == this->child(0) ? 0 : -1;
    }
    QString text(QAccessible::Text kind) const override
    {
        const AnnotationRow *shown = row();
        if (!shown)
            return {};
        if (kind == QAccessible::Name)
            return m_stop.linkButton ? showLinksButtonName(shown->displayName()) : shown->displayName();
        if (kind == QAccessible::Value && !m_stop.linkButton)
            return shown->tags.join(QStringLiteral(", "));
        return {};
    }
    QAccessible::Role role() const override { return m_stop.linkButton ? QAccessible::Button : QAccessible::ListItem; }
    QAccessible::State state() const override
    {
        QAccessible::State state = PaintedAccessible::state();
        const AnnotationList *shown = list();
        state.focusable = true;
        state.focused = shown && shown->hasFocus() && shown->focusStop() == m_stop;
        if (!m_stop.linkButton) {
            state.selectable = true;
            state.selected = shown && shown->isHighlighted(m_stop.id);
        }
        return state;
    }
    QRect area() const override
    {
        const AnnotationList *shown = list();
        const std::optional<QRect> place = !shown        ? std::nullopt
                                           : m_stop.linkButton ? shown->linkButtonRect(m_stop.id)
                                                               : shown->rowRect(m_stop.id);
        return place.value_or(QRect());
    }
    void press() override
    {
        if (isValid())
            list()->activate(m_stop);
    }

private:
    AnnotationList *list() const { return static_cast<AnnotationList *>(widget()); }
    const AnnotationRow *row() const
    {
        const AnnotationList *shown = list();
        if (!shown)
            return nullptr;
        for (const AnnotationRow &row : shown->rows()) {
            if (row.id == m_stop.id)
                return &row;
        }
        return nullptr;
    }

    AnnotationList::FocusStop m_stop;
    const AnnotationListAccessible *m_owner;
};

// The list: its rows are its children (the empty state's view when it has
// none), the one with the focus stop its focused child.
class AnnotationListAccessible final : public QAccessibleWidget {
public:
    explicit AnnotationListAccessible(AnnotationList *list) : QAccessibleWidget(list, QAccessible::List) {}
    ~AnnotationListAccessible() override { PaintedAccessible::deleteAll(m_elements); }

    int childCount() const override
    {
        return list()->rows().isEmpty() ? QAccessibleWidget::childCount() : int(list()->rows().size());
    }
    QAccessibleInterface *child(int index) const override
    {
        const QList<AnnotationRow> &rows = list()->rows();
        if (rows.isEmpty())
            return QAccessibleWidget::child(index);
        return index >= 0 && index < rows.size() ? element({rows[index].id, false}) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        const QList<AnnotationRow> &rows = list()->rows();
        if (rows.isEmpty())
            return QAccessibleWidget::indexOfChild(child);
        for (qsizetype i = 0; i < rows.size(); ++i) {
            const QAccessible::Id id = m_elements.value(key({rows[i].id, false}));
            if (id && QAccessible::accessibleInterface(id) == child)
                return int(i);
        }
        return -1;
    }
    QAccessibleInterface *focusChild() const override
    {
        const std::optional<AnnotationList::FocusStop> stop = list()->focusStop();
        return list()->hasFocus() && stop ? element(*stop) : nullptr;
    }

    // The one interface of a row or link button, made when first asked for.
    QAccessibleInterface *element(const AnnotationList::FocusStop &stop) const
    {
        QAccessible::Id &made = m_elements[key(stop)];
        if (!made)
            made = QAccessible::registerAccessibleInterface(new AnnotationElementAccessible(list(), stop, this));
        return QAccessible::accessibleInterface(made);
    }

private:
    AnnotationList *list() const { return static_cast<AnnotationList *>(widget()); }
    static QString key(const AnnotationList::FocusStop &stop)
    {
        return stop.id.toString(QUuid::WithoutBraces) + (stop.linkButton ? QStringLiteral("/link") : QString());
    }

    mutable QHash<QString, QAccessible::Id> m_elements;
};

QAccessibleInterface *AnnotationElementAccessible::parent() const
{
    if (!m_stop.linkButton)
        return QAccessible::queryAccessibleInterface(widget());
    return m_owner->element({m_stop.id, false});
}

QAccessibleInterface *AnnotationElementAccessible::child(int index) const
{
    return index == 0 && childCount() == 1 ? m_owner->element({m_stop.id, true}) : nullptr;
}

QAccessibleInterface *accessibleList(const QString &className, QObject *object)
{
    if (className == QLatin1String("AnnotationList") && object && object->isWidgetType())
        return new AnnotationListAccessible(static_cast<AnnotationList *>(object));
    return nullptr;
}

void announceFocus(AnnotationList *list)
{
    if (!QAccessible::isActive() || !list->hasFocus())
        return;
    if (QAccessibleInterface *focused = QAccessible::queryAccessibleInterface(list)->focusChild()) {
        QAccessibleEvent event(focused, QAccessible::Focus);
        QAccessible::updateAccessibility(&event);
    }
}

} // namespace

AnnotationList::AnnotationList(ImageAnnotations *annotations, AnnotationViewState *state, QWidget *parent)
    : QWidget(parent)
    , m_annotations(annotations)
    , m_state(state)
    , m_empty(new ContentUnavailableView(this))
{
    static const bool accessibleInstalled = [] {
        QAccessible::installFactory(accessibleList);
        return true;
    }();
    Q_UNUSED(accessibleInstalled);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName(tr("Annotations"));
    if (annotations)
        connect(annotations, &ImageAnnotations::listingChanged, this, &AnnotationList::refresh);
    if (state) {
        connect(state, &AnnotationViewState::disabledGroupsChanged, this, &AnnotationList::refresh);
        connect(state, &AnnotationViewState::highlightedIDChanged, this, &AnnotationList::highlightChanged);
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
    // The focus stays with its annotation while it is listed, else goes to
    // the row now in its place.
    if (m_focus) {
        const QList<FocusStop> stops = focusStops();
        if (!stops.contains(*m_focus)) {
            const auto same = std::find_if(m_rows.cbegin(), m_rows.cend(),
                                           [this](const AnnotationRow &row) { return row.id == m_focus->id; });
            if (same != m_rows.cend())
                m_focus = FocusStop{m_focus->id, false};
            else
                m_focus = m_rows.isEmpty() ? std::nullopt : std::optional(FocusStop{m_rows.constFirst().id, false});
        }
    }
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::ObjectReorder);
        QAccessible::updateAccessibility(&event);
    }
    updateGeometry();
    update();
}

void AnnotationList::highlightChanged()
{
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::SelectionWithin);
        QAccessible::updateAccessibility(&event);
    }
    update();
}

bool AnnotationList::isHighlighted(const QUuid &id) const
{
    return m_state && m_state->highlightedID() == id;
}

void AnnotationList::activate(const FocusStop &stop)
{
    const auto row = std::find_if(m_rows.cbegin(), m_rows.cend(),
                                  [&stop](const AnnotationRow &row) { return row.id == stop.id; });
    if (row == m_rows.cend())
        return;
    if (stop.linkButton) {
        if (!row->links.isEmpty())
            emit showLinksRequested(row->id);
        return;
    }
    emit highlightRequested(isHighlighted(row->id) ? std::nullopt : std::optional<QUuid>(row->id));
}

QList<AnnotationList::FocusStop> AnnotationList::focusStops() const
{
    QList<FocusStop> stops;
    for (const AnnotationRow &row : m_rows) {
        stops.append({row.id, false});
        if (!row.links.isEmpty())
            stops.append({row.id, true});
    }
    return stops;
}

void AnnotationList::moveFocus(const std::optional<FocusStop> &stop, bool reveal)
{
    m_focus = stop;
    update();
    announceFocus(this);
    if (!stop || !reveal)
        return;
    // Scrolled into view in the drawer.
    const std::optional<QRect> area = stop->linkButton ? linkButtonRect(stop->id) : rowRect(stop->id);
    for (QWidget *ancestor = parentWidget(); ancestor && area; ancestor = ancestor->parentWidget()) {
        if (auto *scroll = qobject_cast<QScrollArea *>(ancestor); scroll && scroll->widget()) {
            const QPoint centre = mapTo(scroll->widget(), area->center());
            scroll->ensureVisible(centre.x(), centre.y(), area->width() / 2, area->height() / 2 + 4);
            break;
        }
    }
}

void AnnotationList::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    const QList<FocusStop> stops = focusStops();
    if (stops.isEmpty()) {
        moveFocus(std::nullopt);
    } else if (event->reason() == Qt::TabFocusReason) {
        moveFocus(stops.constFirst());
    } else if (event->reason() == Qt::BacktabFocusReason) {
        moveFocus(stops.constLast());
    } else if (!m_focus || !stops.contains(*m_focus)) {
        // Not by the keyboard (a click, the window activated): nothing
        // scrolls under the pointer.
        const std::optional<QUuid> highlighted = m_state ? m_state->highlightedID() : std::nullopt;
        const bool listed = highlighted && stops.contains(FocusStop{*highlighted, false});
        moveFocus(listed ? FocusStop{*highlighted, false} : stops.constFirst(), false);
    } else {
        moveFocus(m_focus, false);
    }
}

void AnnotationList::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    update();
}

bool AnnotationList::focusNextPrevChild(bool next)
{
    if (hasFocus() && m_focus) {
        const QList<FocusStop> stops = focusStops();
        const qsizetype at = stops.indexOf(*m_focus) + (next ? 1 : -1);
        if (at >= 0 && at < stops.size()) {
            moveFocus(stops[at]);
            return true;
        }
    }
    return QWidget::focusNextPrevChild(next);
}

void AnnotationList::keyPressEvent(QKeyEvent *event)
{
    const bool acts = event->key() == Qt::Key_Space || event->key() == Qt::Key_Return
                      || event->key() == Qt::Key_Enter;
    if (acts && m_focus && !event->isAutoRepeat()
        && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        activate(*m_focus);
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
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
            const QString count = QLocale().toString(row.links.size());
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
    if (hasFocus() && m_focus) {
        // The keyboard focus: a ring inside the row or round the link button.
        const std::optional<QRect> area = m_focus->linkButton ? linkButtonRect(m_focus->id) : rowRect(m_focus->id);
        if (area) {
            QPainterPath ring;
            ring.addRoundedRect(QRectF(*area).adjusted(2, 2, -2, -2), 5, 5);
            painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
            painter.setBrush(Qt::NoBrush);
            painter.drawPath(ring);
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
    if (m_pressed.row >= 0) {
        // Where it was pressed, without scrolling under the pointer.
        moveFocus(FocusStop{m_rows[m_pressed.row].id, m_pressed.linkButton}, false);
    }
    event->setAccepted(m_pressed.row >= 0);
}

void AnnotationList::mouseReleaseEvent(QMouseEvent *event)
{
    const Target pressed = m_pressed;
    m_pressed = {};
    if (event->button() != Qt::LeftButton || pressed.row < 0 || targetAt(event->position().toPoint()) != pressed)
        return;
    activate({m_rows[pressed.row].id, pressed.linkButton});
}

void AnnotationList::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        updateGeometry();
}
