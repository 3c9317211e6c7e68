#include "ui/SegmentedPicker.h"

#include "ui/AppStyle.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QActionGroup>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

namespace {

constexpr int iconSide = 18;

// One segment: its share of the picker's shape, filled, with its symbol.
class PickerSegment final : public QToolButton {
    Q_OBJECT
public:
    PickerSegment(SegmentedPicker *picker, QAction *choice) : QToolButton(picker), m_picker(picker)
    {
        setDefaultAction(choice);
        setToolButtonStyle(Qt::ToolButtonIconOnly);
        setIconSize(QSize(iconSide, iconSide));
        setFocusPolicy(Qt::NoFocus);
        setCursor(Qt::ArrowCursor);
        setAttribute(Qt::WA_Hover);
        setAccessibleName(choice->text());
        connect(choice, &QAction::changed, this, [this, choice] { setAccessibleName(choice->text()); });
    }

    QSize sizeHint() const override { return {iconSide + 16, iconSide + 10}; }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        // The picker's shape, seen from this segment: only the outer ends
        // are rounded.
        QPainterPath shape;
        const double radius = SegmentedPicker::cornerRadius;
        shape.addRoundedRect(QRectF(m_picker->rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
        painter.setClipPath(shape.translated(-QPointF(pos())));

        QColor fill = isChecked() ? AppStyle::accent(palette()) : m_picker->tint();
        if (!isEnabled())
            fill.setAlphaF(0.35f);
        else if (isDown())
            fill = fill.darker(125);
        else if (underMouse() && !isChecked())
            fill = fill.lighter(112);
        painter.fillRect(rect(), fill);

        // A hairline between two segments that are not chosen.
        const QList<QAbstractButton *> segments = m_picker->segments();
        const qsizetype index = segments.indexOf(this);
        if (index > 0 && !isChecked() && !segments[index - 1]->isChecked()) {
            painter.setPen(QPen(QColor(255, 255, 255, 70), 1));
            painter.drawLine(QPointF(0.5, 5), QPointF(0.5, height() - 5));
        }
        const QRect iconRect(QPoint((width() - iconSize().width()) / 2, (height() - iconSize().height()) / 2),
                             iconSize());
        icon().paint(&painter, iconRect, Qt::AlignCenter, isEnabled() ? QIcon::Normal : QIcon::Disabled);
    }

private:
    SegmentedPicker *m_picker;
};

// A segment is one of a set of radio buttons.
class SegmentAccessible final : public QAccessibleWidget {
public:
    explicit SegmentAccessible(PickerSegment *segment) : QAccessibleWidget(segment, QAccessible::RadioButton) {}

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        const auto *segment = static_cast<const PickerSegment *>(widget());
        state.checkable = true;
        state.checked = segment->isChecked();
        return state;
    }
    QStringList actionNames() const override { return QStringList{pressAction()} + QAccessibleWidget::actionNames(); }
    void doAction(const QString &actionName) override
    {
        auto *segment = static_cast<PickerSegment *>(widget());
        if (actionName == pressAction()) {
            if (segment->isEnabled())
                segment->click();
            return;
        }
        QAccessibleWidget::doAction(actionName);
    }
};

QAccessibleInterface *accessiblePicker(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    if (className == QLatin1String("SegmentedPicker"))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Grouping);
    if (className == QLatin1String("PickerSegment"))
        return new SegmentAccessible(static_cast<PickerSegment *>(object));
    return nullptr;
}

} // namespace

SegmentedPicker::SegmentedPicker(const QString &title, QActionGroup *choices, QWidget *parent)
    : QWidget(parent)
    , m_tint(QColor(0x8e, 0x8e, 0x93))
{
    static const bool accessibleInstalled = [] {
        QAccessible::installFactory(accessiblePicker);
        return true;
    }();
    Q_UNUSED(accessibleInstalled);
    Q_ASSERT(choices->isExclusive());
    setAccessibleName(title);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    for (QAction *choice : choices->actions()) {
        auto *segment = new PickerSegment(this, choice);
        // A neighbour's hairline depends on this one's state.
        connect(segment, &QAbstractButton::toggled, this, qOverload<>(&QWidget::update));
        row->addWidget(segment);
        m_segments.append(segment);
    }
}

QAbstractButton *SegmentedPicker::segmentFor(QAction *choice) const
{
    for (QAbstractButton *segment : m_segments) {
        if (static_cast<QToolButton *>(segment)->defaultAction() == choice)
            return segment;
    }
    return nullptr;
}

void SegmentedPicker::setTint(const QColor &tint)
{
    m_tint = tint;
    update();
}

#include "SegmentedPicker.moc"
