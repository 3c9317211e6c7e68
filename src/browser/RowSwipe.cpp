#include "browser/RowSwipe.h"

#include "ui/AppStyle.h"
#include "ui/SystemSymbol.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QPointingDevice>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

// How far a finger on a touch screen moves sideways before its press
// turns into a swipe.
constexpr double touchSlop = 12;
// The space around an action's title.
constexpr double titlePadding = 24;

QFont titleFont()
{
    return AppStyle::withWeight(AppStyle::caption(), QFont::Medium);
}

// One uncovered action: its colour filled, the symbol over the title in
// white. A click runs it; it takes no keyboard focus (the row's menu offers
// the same from the keyboard).
class SwipeButton final : public QAbstractButton {
public:
    SwipeButton(const SwipeAction &action, QWidget *parent)
        : QAbstractButton(parent)
        , m_symbol(action.symbol)
        , m_tint(action.tint)
    {
        setText(action.title);
        setAccessibleName(action.title);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillRect(rect(), isDown() ? m_tint.darker(115) : m_tint);
        const QFont font = titleFont();
        const QFontMetricsF metrics(font);
        const double symbol = metrics.height() * 1.25;
        const double gap = 3;
        const double top = (height() - symbol - gap - metrics.height()) / 2;
        SystemSymbol::paint(painter, m_symbol, QRectF((width() - symbol) / 2, top, symbol, symbol), Qt::white);
        painter.setFont(font);
        painter.setPen(Qt::white);
        const QRectF line(4, top + symbol + gap, std::max(0, width() - 8), metrics.height());
        painter.drawText(line, Qt::AlignHCenter | Qt::AlignVCenter,
                         metrics.elidedText(text(), Qt::ElideRight, line.width()));
    }

private:
    QString m_symbol;
    QColor m_tint;
};

} // namespace

QColor SwipeAction::destructiveTint()
{
    return QColor(255, 59, 48);
}

QColor SwipeAction::blue()
{
    return QColor(0, 122, 255);
}

// The distances

RowSwipeTrack::RowSwipeTrack(double actionsWidth, double rowWidth)
    : m_actionsWidth(std::max(0.0, actionsWidth))
    , m_rowWidth(std::max(0.0, rowWidth))
{
}

double RowSwipeTrack::fullSwipeDistance() const
{
    return std::max(m_actionsWidth * 1.4, m_rowWidth * 0.6);
}

void RowSwipeTrack::setReveal(double reveal)
{
    m_reveal = std::clamp(reveal, 0.0, std::max(m_rowWidth, fullSwipeDistance()));
}

RowSwipeTrack::Outcome RowSwipeTrack::outcome() const
{
    if (isPastFullSwipe())
        return Outcome::fullSwipe;
    if (m_actionsWidth > 0 && m_reveal >= m_actionsWidth / 2)
        return Outcome::opened;
    return Outcome::closed;
}

// The list's swipes

RowSwipeActions::RowSwipeActions(QAbstractItemView *view, ActionsOf actionsOf)
    : QObject(view)
    , m_view(view)
    , m_viewport(view->viewport())
    , m_actionsOf(std::move(actionsOf))
{
    m_bar = new QWidget(m_viewport);
    m_bar->hide();
    m_viewport->installEventFilter(this);

    m_quiet.setSingleShot(true);
    connect(&m_quiet, &QTimer::timeout, this, &RowSwipeActions::endGesture);

    m_settling.setDuration(200);
    m_settling.setEasingCurve(QEasingCurve::OutCubic);
    connect(&m_settling, &QVariantAnimation::valueChanged, this,
            [this](const QVariant &value) { setReveal(value.toDouble()); });
    connect(&m_settling, &QVariantAnimation::finished, this, [this] {
        if (m_track.reveal() <= 0)
            close(false);
    });

    // Rows that change go with their actions; the others move them along.
    const auto follow = [this] {
        if (m_row.isValid()) {
            placeActions();
        } else if (m_bar && m_bar->isVisible()) {
            close(false);
        } else if (m_gesture == Gesture::swipe) {
            m_gesture = Gesture::none;
            m_track = RowSwipeTrack();
        }
    };
    QAbstractItemModel *model = view->model();
    connect(model, &QAbstractItemModel::modelReset, this, follow);
    connect(model, &QAbstractItemModel::rowsRemoved, this, follow);
    connect(model, &QAbstractItemModel::rowsInserted, this, follow);
    connect(model, &QAbstractItemModel::layoutChanged, this, follow);
    connect(view->verticalScrollBar(), &QScrollBar::valueChanged, this, &RowSwipeActions::placeActions);
}

RowSwipeActions::~RowSwipeActions()
{
    // The list may be half gone: nothing of a swipe runs any more.
    m_settling.disconnect(this);
    m_quiet.disconnect(this);
}

QList<QAbstractButton *> RowSwipeActions::buttons() const
{
    return m_buttons;
}

double RowSwipeActions::contentShift(const QModelIndex &index) const
{
    if (!m_row.isValid() || index != m_row)
        return 0;
    return m_view->layoutDirection() == Qt::RightToLeft ? m_track.reveal() : -m_track.reveal();
}

double RowSwipeActions::uncovering(double sideways) const
{
    // The row goes where the sideways scroll takes the content: towards
    // the leading edge uncovers the trailing one.
    return m_view->layoutDirection() == Qt::RightToLeft ? sideways : -sideways;
}

bool RowSwipeActions::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_viewport) {
        switch (event->type()) {
        case QEvent::Wheel:
            return wheel(static_cast<QWheelEvent *>(event));
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::MouseButtonRelease:
            return mouse(static_cast<QMouseEvent *>(event));
        case QEvent::Resize:
            // The row's width changes: the actions go.
            if (m_row.isValid() && m_gesture != Gesture::swipe)
                close(false);
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

bool RowSwipeActions::wheel(QWheelEvent *event)
{
    switch (event->phase()) {
    case Qt::ScrollMomentum:
        // What glides on after a swipe is not the swipe's.
        return m_gesture == Gesture::swipe;
    case Qt::ScrollEnd: {
        const bool swiping = m_gesture == Gesture::swipe;
        endGesture();
        return swiping;
    }
    case Qt::ScrollBegin:
        endGesture();
        break;
    case Qt::NoScrollPhase:
    case Qt::ScrollUpdate:
        break;
    }
    const QPoint pixels = event->pixelDelta();
    if (m_gesture == Gesture::none) {
        if (pixels.isNull()) {
            // A wheel's notches, or a touchpad's begin without a move yet.
            if (!event->angleDelta().isNull())
                close();
            return false;
        }
        const bool sideways = std::abs(pixels.x()) > std::abs(pixels.y());
        if (!sideways || !begin(m_view->indexAt(event->position().toPoint()))) {
            m_gesture = Gesture::scroll;
            close();
        } else {
            m_gesture = Gesture::swipe;
        }
    }
    // Without phases, a pause ends the gesture; with them, the end phase
    // does (a long pause only, should it never come).
    m_quiet.start(event->phase() == Qt::NoScrollPhase ? quietMilliseconds : phasedQuietMilliseconds);
    if (m_gesture != Gesture::swipe)
        return false;
    slideBy(pixels.x());
    return true;
}

bool RowSwipeActions::mouse(QMouseEvent *event)
{
    const QPointingDevice *device = event->pointingDevice();
    const bool touch = device && device->type() == QInputDevice::DeviceType::TouchScreen;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        m_touchFrom.reset();
        if (m_row.isValid() && m_gesture != Gesture::swipe) {
            // A click beside the uncovered actions only covers them.
            close();
            return true;
        }
        if (touch && event->button() == Qt::LeftButton) {
            m_touchFrom = event->position();
            m_touchRow = m_view->indexAt(event->position().toPoint());
        }
        return false;
    case QEvent::MouseMove:
        if (!touch || !m_touchFrom)
            return false;
        if (m_gesture != Gesture::swipe) {
            const QPointF moved = event->position() - *m_touchFrom;
            if (std::abs(moved.x()) < touchSlop || std::abs(moved.x()) < 2 * std::abs(moved.y()))
                return false;
            if (!begin(m_touchRow)) {
                m_touchFrom.reset();
                return false;
            }
            m_gesture = Gesture::swipe;
        }
        slideBy(event->position().x() - m_touchFrom->x());
        m_touchFrom = event->position();
        return true;
    case QEvent::MouseButtonRelease:
        if (touch && m_touchFrom && m_gesture == Gesture::swipe)
            endGesture();
        m_touchFrom.reset();
        return false;
    default:
        return false;
    }
}

bool RowSwipeActions::begin(const QModelIndex &index)
{
    if (!index.isValid())
        return false;
    const QList<SwipeAction> actions = m_actionsOf(index);
    if (actions.isEmpty())
        return false;
    m_settling.stop();
    const bool sameRow = m_row.isValid() && index == m_row;
    const double reveal = sameRow ? m_track.reveal() : 0;
    if (!sameRow)
        close(false);
    m_row = index;

    dropButtons();
    double width = 0;
    const QFontMetricsF metrics(titleFont());
    for (qsizetype i = 0; i < actions.size(); ++i) {
        auto *button = new SwipeButton(actions.at(i), m_bar);
        connect(button, &QAbstractButton::clicked, this, [this, i] { runAction(int(i)); });
        m_buttons.append(button);
        const double actionWidth =
            std::max<double>(minimumActionWidth, metrics.horizontalAdvance(actions.at(i).title) + titlePadding);
        m_widths.append(actionWidth);
        width += actionWidth;
    }
    m_track = RowSwipeTrack(width, m_view->visualRect(index).width());
    setReveal(reveal);
    return true;
}

void RowSwipeActions::slideBy(double sideways)
{
    if (!m_row.isValid())
        return;
    setReveal(m_track.reveal() + uncovering(sideways));
}

void RowSwipeActions::endGesture()
{
    m_quiet.stop();
    const bool swiping = m_gesture == Gesture::swipe;
    m_gesture = Gesture::none;
    if (swiping)
        settle();
}

void RowSwipeActions::settle()
{
    if (!m_row.isValid())
        return;
    double target = 0;
    switch (m_track.outcome()) {
    case RowSwipeTrack::Outcome::fullSwipe:
        runAction(0);
        return;
    case RowSwipeTrack::Outcome::opened:
        target = m_track.actionsWidth();
        break;
    case RowSwipeTrack::Outcome::closed:
        if (m_track.reveal() <= 0) {
            close(false);
            return;
        }
        break;
    }
    m_settling.stop();
    m_settling.setStartValue(m_track.reveal());
    m_settling.setEndValue(target);
    m_settling.start();
}

void RowSwipeActions::runAction(int at)
{
    // Asked for afresh: the row's entry as it is now. The actions are
    // covered before the action runs, which may change the list.
    const QModelIndex index = m_row;
    close(false);
    if (!index.isValid())
        return;
    const QList<SwipeAction> actions = m_actionsOf(index);
    if (at < actions.size() && actions.at(at).run)
        actions.at(at).run();
}

void RowSwipeActions::close(bool animated)
{
    if (m_gesture == Gesture::swipe) {
        m_gesture = Gesture::none;
        m_quiet.stop();
    }
    if (animated && m_row.isValid() && m_track.reveal() > 0 && m_view->isVisible()) {
        m_settling.stop();
        m_settling.setStartValue(m_track.reveal());
        m_settling.setEndValue(0.0);
        m_settling.start();
        return;
    }
    m_settling.stop();
    updateRow();
    m_row = QPersistentModelIndex();
    m_track = RowSwipeTrack();
    dropButtons();
    if (m_bar)
        m_bar->hide();
}

void RowSwipeActions::dropButtons()
{
    // Later: one of them may be the button whose click is running.
    for (QAbstractButton *button : std::as_const(m_buttons)) {
        button->hide();
        button->deleteLater();
    }
    m_buttons.clear();
    m_widths.clear();
}

void RowSwipeActions::setReveal(double reveal)
{
    updateRow();
    m_track.setReveal(reveal);
    placeActions();
    updateRow();
}

void RowSwipeActions::placeActions()
{
    if (!m_bar)
        return;
    const double reveal = m_track.reveal();
    if (!m_row.isValid() || reveal <= 0 || m_buttons.isEmpty()) {
        m_bar->hide();
        return;
    }
    const QRect row = m_view->visualRect(m_row);
    const int shown = int(std::lround(reveal));
    const bool rightToLeft = m_view->layoutDirection() == Qt::RightToLeft;
    m_bar->setGeometry(rightToLeft ? row.left() : row.right() + 1 - shown, row.top(), shown, row.height());
    // The first action outermost; past the full-swipe distance it covers
    // the others.
    const bool full = m_track.isPastFullSwipe();
    double edge = 0; // from the trailing edge
    for (qsizetype i = 0; i < m_buttons.size(); ++i) {
        const double width = full ? (i == 0 ? reveal : 0) : reveal * m_widths.at(i) / m_track.actionsWidth();
        const int from = int(std::lround(edge));
        const int to = int(std::lround(edge + width));
        QAbstractButton *button = m_buttons.at(i);
        button->setGeometry(rightToLeft ? from : shown - to, 0, to - from, row.height());
        button->setVisible(to > from);
        edge += width;
    }
    m_bar->show();
    m_bar->raise();
}

void RowSwipeActions::updateRow()
{
    if (m_row.isValid())
        m_viewport->update(m_view->visualRect(m_row));
}
