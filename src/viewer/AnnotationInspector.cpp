#include "viewer/AnnotationInspector.h"

#include "ui/AppStyle.h"
#include "ui/SystemSymbol.h"
#include "viewer/AnnotationViewState.h"
#include "viewer/ImageAnnotations.h"

#include <QAbstractButton>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace {

constexpr int chipSpacing = 8;
constexpr int insetX = 10;
constexpr int singleLine = Qt::AlignVCenter | Qt::TextSingleLine;
constexpr int insetY = 5;

QColor grey(double opacity)
{
    QColor colour(142, 142, 147);
    colour.setAlphaF(float(opacity));
    return colour;
}

QFont chipFont()
{
    return AppStyle::withWeight(AppStyle::caption(), QFont::DemiBold);
}

// One group's switch. Its name is drawn as it is ("&" included); it is on
// while the group is shown.
class GroupChip final : public QAbstractButton {
public:
    GroupChip(const AnnotationGroupSummary &summary, QWidget *parent) : QAbstractButton(parent)
    {
        setFocusPolicy(Qt::TabFocus);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        setSummary(summary);
    }

    void setSummary(const AnnotationGroupSummary &summary)
    {
        m_summary = summary;
        setAccessibleName(summary.name);
        updateAccessibility();
        updateGeometry();
        update();
    }
    const AnnotationGroupSummary &summary() const { return m_summary; }

    void setOn(bool on)
    {
        if (on == m_on)
            return;
        m_on = on;
        updateAccessibility();
        update();
    }
    bool isOn() const { return m_on; }

    QSize sizeHint() const override
    {
        const QFontMetrics metrics(chipFont());
        // A pixel to spare for the text's fractional width.
        const int width = metrics.horizontalAdvance(m_summary.name) + 1 + chipSpacing
                          + metrics.horizontalAdvance(m_summary.countText());
        return {width + 2 * insetX, metrics.height() + 2 * insetY};
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF shape = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        const double radius = shape.height() / 2;
        QPainterPath capsule;
        capsule.addRoundedRect(shape, radius, radius);
        if (m_on)
            painter.fillPath(capsule, grey(isDown() ? 0.32 : 0.22));
        painter.setPen(QPen(grey(m_on ? 0.38 : 0.24), 1));
        painter.drawPath(capsule);
        if (hasFocus())
            AppStyle::paintFocusRing(painter, rect(), height() / 2.0, palette());
        const QFontMetrics metrics(chipFont());
        const QString count = m_summary.countText();
        const QRect text = rect().adjusted(insetX, 0, -insetX, 0);
        const int countWidth = metrics.horizontalAdvance(count);
        painter.setFont(chipFont());
        painter.setPen(m_on ? AppStyle::primary(palette()) : AppStyle::secondary(palette()));
        const int nameWidth = std::max(0, text.width() - countWidth - chipSpacing);
        painter.drawText(QRect(text.left(), text.top(), nameWidth, text.height()), singleLine | Qt::AlignLeft,
                         metrics.elidedText(m_summary.name, Qt::ElideRight, nameWidth));
        painter.setPen(m_on ? AppStyle::orange() : AppStyle::secondary(palette()));
        painter.drawText(QRect(text.right() + 1 - countWidth, text.top(), countWidth, text.height()),
                         singleLine | Qt::AlignRight, count);
    }

    void focusInEvent(QFocusEvent *event) override
    {
        QAbstractButton::focusInEvent(event);
        for (QWidget *ancestor = parentWidget(); ancestor; ancestor = ancestor->parentWidget()) {
            if (auto *scroll = qobject_cast<QScrollArea *>(ancestor)) {
                scroll->ensureWidgetVisible(this, 8, 0);
                break;
            }
        }
    }

    void changeEvent(QEvent *event) override
    {
        QAbstractButton::changeEvent(event);
        if (event->type() == QEvent::FontChange)
            updateGeometry();
    }

private:
    void updateAccessibility()
    {
        const int count = int(m_summary.count);
        setAccessibleDescription(m_on ? AnnotationInspector::tr("%Ln annotations, shown", nullptr, count)
                                      : AnnotationInspector::tr("%Ln annotations, hidden", nullptr, count));
    }

    AnnotationGroupSummary m_summary;
    bool m_on = true;
};

// A row that scrolls sideways, also with the vertical wheel, without bars.
class ChipScroll final : public QScrollArea {
public:
    explicit ChipScroll(QWidget *parent) : QScrollArea(parent)
    {
        setFrameShape(QFrame::NoFrame);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setWidgetResizable(true);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        viewport()->setAutoFillBackground(false);
        // The chips take the focus, and scroll themselves into view.
        setFocusPolicy(Qt::NoFocus);
    }

    QSize sizeHint() const override
    {
        if (!widget())
            return QScrollArea::sizeHint();
        return {QScrollArea::sizeHint().width(), widget()->sizeHint().height()};
    }
    QSize minimumSizeHint() const override { return {0, sizeHint().height()}; }

protected:
    void wheelEvent(QWheelEvent *event) override
    {
        const QPoint delta = event->angleDelta();
        const int steps = std::abs(delta.x()) > std::abs(delta.y()) ? delta.x() : delta.y();
        QScrollBar *bar = horizontalScrollBar();
        if (bar->maximum() == 0) {
            event->ignore();
            return;
        }
        bar->setValue(bar->value() - steps / 120.0 * bar->singleStep() * 3);
        event->accept();
    }
};

} // namespace

AnnotationInspector::AnnotationInspector(ImageAnnotations *annotations, AnnotationViewState *state, QWidget *parent)
    : QWidget(parent)
    , m_annotations(annotations)
    , m_state(state)
{
    setAccessibleName(tr("Annotation groups"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 8, 0, 8);
    layout->setSpacing(0);

    m_empty = new QWidget(this);
    auto *emptyRow = new QHBoxLayout(m_empty);
    emptyRow->setContentsMargins(0, 0, 0, 0);
    emptyRow->setSpacing(4);
    auto *emptySymbol = new QLabel(m_empty);
    const int symbolSide = QFontMetrics(AppStyle::caption()).height();
    emptySymbol->setPixmap(SystemSymbol::icon(QStringLiteral("tag"), AppStyle::secondary(palette()))
                               .pixmap(QSize(symbolSide, symbolSide), devicePixelRatioF()));
    auto *emptyText = new QLabel(tr("No annotation groups"), m_empty);
    emptyText->setFont(AppStyle::caption());
    AppStyle::makeSecondary(*emptyText);
    emptyRow->addWidget(emptySymbol);
    emptyRow->addWidget(emptyText);
    emptyRow->addStretch(1);
    layout->addWidget(m_empty);

    m_scroll = new ChipScroll(this);
    auto *chips = new QWidget(m_scroll);
    m_chipRow = new QHBoxLayout(chips);
    m_chipRow->setContentsMargins(1, 1, 1, 1);
    m_chipRow->setSpacing(chipSpacing);
    m_chipRow->addStretch(1);
    m_scroll->setWidget(chips);
    chips->setAutoFillBackground(false);
    layout->addWidget(m_scroll);
    layout->addStretch(1);

    if (annotations)
        connect(annotations, &ImageAnnotations::listingChanged, this, &AnnotationInspector::refresh);
    if (state)
        connect(state, &AnnotationViewState::disabledGroupsChanged, this, &AnnotationInspector::updateChips);
    refresh();
}

QAbstractButton *AnnotationInspector::chip(const QString &name) const
{
    for (QAbstractButton *chip : m_chips) {
        if (static_cast<GroupChip *>(chip)->summary().name == name)
            return chip;
    }
    return nullptr;
}

void AnnotationInspector::refresh()
{
    const QList<AnnotationGroupSummary> summaries =
        m_annotations ? groupSummaries(m_annotations->points(), m_annotations->regions())
                      : QList<AnnotationGroupSummary>();
    const bool sameNames = summaries.size() == m_summaries.size()
                           && std::equal(summaries.begin(), summaries.end(), m_summaries.begin(),
                                         [](const auto &a, const auto &b) { return a.name == b.name; });
    m_summaries = summaries;
    if (sameNames && m_chips.size() == m_summaries.size()) {
        // The same chips, new counts: keeps the keyboard focus where it is.
        for (qsizetype i = 0; i < m_chips.size(); ++i)
            static_cast<GroupChip *>(m_chips[i])->setSummary(m_summaries[i]);
    } else {
        qDeleteAll(m_chips);
        m_chips.clear();
        for (const AnnotationGroupSummary &summary : std::as_const(m_summaries)) {
            auto *chip = new GroupChip(summary, m_scroll->widget());
            connect(chip, &QAbstractButton::clicked, this, [this, chip] { emit groupToggled(chip->summary().name); });
            m_chipRow->insertWidget(m_chipRow->count() - 1, chip);
            m_chips.append(chip);
        }
    }
    m_empty->setVisible(m_summaries.isEmpty());
    m_scroll->setVisible(!m_summaries.isEmpty());
    updateChips();
}

void AnnotationInspector::updateChips()
{
    const QSet<QString> disabled = m_state ? m_state->disabledGroups() : QSet<QString>();
    for (QAbstractButton *chip : std::as_const(m_chips)) {
        auto *groupChip = static_cast<GroupChip *>(chip);
        groupChip->setOn(!disabled.contains(groupChip->summary().name));
    }
}
