#pragma once

#include <QColor>
#include <QList>
#include <QObject>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QPointF>
#include <QString>
#include <QTimer>
#include <QVariantAnimation>

#include <functional>
#include <optional>

class QAbstractButton;
class QAbstractItemView;
class QMouseEvent;
class QWheelEvent;
class QWidget;

// One of the actions a row's swipe uncovers.
struct SwipeAction {
    QString title;
    QString symbol;
    QColor tint;
    bool destructive = false;
    std::function<void()> run;

    // The fill of a destructive action, and the blue of the others'.
    static QColor destructiveTint();
    static QColor blue();
};

// How far a swipe has uncovered a row's actions and where it comes to rest:
// arithmetic over the distances, in pixels.
class RowSwipeTrack {
public:
    // What the end of a swipe does.
    enum class Outcome {
        closed,    // the actions are covered again
        opened,    // they stay uncovered, at their full width
        fullSwipe, // the first action runs
    };

    RowSwipeTrack() = default;
    // `actionsWidth`: the actions side by side; `rowWidth`: the row's.
    RowSwipeTrack(double actionsWidth, double rowWidth);

    double actionsWidth() const { return m_actionsWidth; }
    double rowWidth() const { return m_rowWidth; }
    // Past it, the end of the swipe runs the first action: well beyond the
    // actions, and beyond most of a wide row.
    double fullSwipeDistance() const;

    // How much of the actions shows: 0 to the row's width.
    double reveal() const { return m_reveal; }
    void setReveal(double reveal);
    // Uncovers `delta` more (covers, when negative).
    void slide(double delta) { setReveal(m_reveal + delta); }
    bool isPastFullSwipe() const { return m_actionsWidth > 0 && m_reveal >= fullSwipeDistance(); }

    // Where the swipe goes when it ends here: past the full-swipe distance
    // it runs the first action; uncovered half-way or more, the actions
    // stay open; otherwise they close.
    Outcome outcome() const;

private:
    double m_actionsWidth = 0;
    double m_rowWidth = 0;
    double m_reveal = 0;
};

// Swipe actions on the rows of a list. A sideways swipe over a row (two
// fingers on a touchpad, which reach the list as horizontal wheel events
// with pixel deltas, or a finger on a touch screen) slides the row towards
// its leading edge, uncovering its actions at the trailing edge, the first
// outermost; the row moves as a sideways scroll would move it. Where the
// swipe ends, the actions close, stay open, or (past the full-swipe
// distance, when the first action has grown over the others) the first
// action runs. A click on an uncovered action runs it; a click elsewhere in
// the list, a scroll, or a swipe over another row covers them again. One
// row at a time shows its actions.
//
// A swipe ends with its wheel events' end phase, or where the desktop
// gives no phases, once they pause. A wheel without pixel deltas, or whose
// first move is more upright than sideways, scrolls the list as ever.
class RowSwipeActions : public QObject {
    Q_OBJECT
public:
    // The actions of the row of a model index, as they are now; none for a
    // row without actions.
    using ActionsOf = std::function<QList<SwipeAction>(const QModelIndex &index)>;

    RowSwipeActions(QAbstractItemView *view, ActionsOf actionsOf);
    ~RowSwipeActions() override;

    // The row whose actions show or are being uncovered; invalid when none.
    QModelIndex row() const { return m_row; }
    double reveal() const { return m_track.reveal(); }
    double actionsWidth() const { return m_track.actionsWidth(); }
    double fullSwipeDistance() const { return m_track.fullSwipeDistance(); }
    // A swipe is under way (the actions' place follows it).
    bool isSwiping() const { return m_gesture == Gesture::swipe; }
    // The buttons of the uncovered actions, in the order of the actions.
    QList<QAbstractButton *> buttons() const;
    // How far the content of a row is moved sideways (negative: to the left).
    double contentShift(const QModelIndex &index) const;

    // Covers the actions; at once, or sliding back.
    void close(bool animated = true);

    // The quiet spell that ends a swipe whose events carry no phases, and
    // one whose end phase has not come.
    static constexpr int quietMilliseconds = 180;
    static constexpr int phasedQuietMilliseconds = 1000;
    // The narrowest an action gets when uncovered whole.
    static constexpr int minimumActionWidth = 74;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class Gesture { none, scroll, swipe };

    bool wheel(QWheelEvent *event);
    bool mouse(QMouseEvent *event);
    // A swipe over the row starts (or, over the open row, goes on).
    bool begin(const QModelIndex &index);
    void slideBy(double sideways);
    void endGesture();
    void settle();
    void runAction(int at);
    void setReveal(double reveal);
    void placeActions();
    void dropButtons();
    void updateRow();
    // Sideways pixels as more of the actions uncovered.
    double uncovering(double sideways) const;

    QAbstractItemView *m_view;
    // The view's viewport, which it deletes before this filter: events
    // that come meanwhile are told apart without asking the view.
    QWidget *m_viewport;
    ActionsOf m_actionsOf;
    QPointer<QWidget> m_bar;
    QList<QAbstractButton *> m_buttons;
    QList<double> m_widths;

    QPersistentModelIndex m_row;
    RowSwipeTrack m_track;
    Gesture m_gesture = Gesture::none;
    QTimer m_quiet;
    QVariantAnimation m_settling;
    // A touch screen's press, until it turns into a swipe or ends.
    std::optional<QPointF> m_touchFrom;
    QPersistentModelIndex m_touchRow;
};
