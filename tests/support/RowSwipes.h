#pragma once

#include "browser/RowSwipe.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QTest>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

// A touchpad's wheel event over the list's row: sideways pixels (negative:
// the content goes left), and the phase when the desktop gives one (a
// wheel's notches give angles alone); answers whether it was taken.
inline bool wheelOverRow(QAbstractItemView *list, int row, QPoint pixels, Qt::ScrollPhase phase,
                         QPoint angle = {})
{
    QWidget *viewport = list->viewport();
    const QPointF at = list->visualRect(list->model()->index(row, 0)).center();
    QWheelEvent event(at, viewport->mapToGlobal(at), pixels, angle.isNull() ? pixels * 2 : angle, Qt::NoButton,
                      Qt::NoModifier, phase, false);
    QApplication::sendEvent(viewport, &event);
    return event.isAccepted();
}

// A touchpad's swipe over the row, with phases or without, that uncovers
// `fraction` of the row's actions (or of the full-swipe distance) in steps,
// and ends.
inline void swipeRow(QAbstractItemView *list, RowSwipeActions *swipes, int row, double fraction,
                     bool ofFullSwipe = false, bool phases = true)
{
    const int direction = list->layoutDirection() == Qt::RightToLeft ? 1 : -1;
    const Qt::ScrollPhase update = phases ? Qt::ScrollUpdate : Qt::NoScrollPhase;
    if (phases)
        wheelOverRow(list, row, {}, Qt::ScrollBegin);
    // The first move starts it, and tells the distances.
    QVERIFY(wheelOverRow(list, row, QPoint(direction * 2, 1), update));
    QVERIFY(swipes->isSwiping());
    QCOMPARE(swipes->row().row(), row);
    const double reach = fraction * (ofFullSwipe ? swipes->fullSwipeDistance() : swipes->actionsWidth());
    double done = swipes->reveal();
    while (std::abs(reach - done) >= 1) {
        const int step = int(std::clamp(reach - done, -20.0, 20.0));
        QVERIFY(wheelOverRow(list, row, QPoint(direction * step, 1), update));
        done += step;
    }
    if (phases)
        wheelOverRow(list, row, {}, Qt::ScrollEnd);
    else
        QTRY_VERIFY(!swipes->isSwiping()); // the pause ends it
}
