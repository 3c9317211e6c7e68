#include "ui/SheetPlacement.h"

#include <QList>

#include <algorithm>

QPoint SheetPlacement::framePosition() const
{
    const QRect home(QPoint(window.left() + (window.width() - frame.width()) / 2, window.top()), frame);
    if (uncovered.isNull())
        return home.topLeft();
    const QRect keep = uncovered.adjusted(-margin, -margin, margin, margin);
    if (!home.intersects(keep))
        return home.topLeft();

    // Below and above stay centred on the window; beside stays at its top.
    QRect below = home;
    below.moveTop(keep.bottom() + 1);
    QRect above = home;
    above.moveBottom(keep.top() - 1);
    QRect right = home;
    right.moveLeft(keep.right() + 1);
    QRect left = home;
    left.moveRight(keep.left() - 1);
    const bool rightHasMore = window.right() - keep.right() >= keep.left() - window.left();
    const QList<QRect> candidates{below, above, rightHasMore ? right : left, rightHasMore ? left : right};

    for (const QRect &bounds : {window, screen}) {
        if (bounds.isNull())
            continue;
        for (const QRect &candidate : candidates) {
            if (bounds.contains(candidate))
                return candidate.topLeft();
        }
    }
    // Nowhere clear: below the area, on the screen.
    const QRect bounds = screen.isNull() ? window : screen;
    return {std::clamp(below.left(), bounds.left(), std::max(bounds.left(), bounds.right() + 1 - below.width())),
            std::clamp(below.top(), bounds.top(), std::max(bounds.top(), bounds.bottom() + 1 - below.height()))};
}
