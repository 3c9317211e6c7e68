#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// Where a sheet goes over its window: centred at the top of the window's
// content, unless that would cover the area it is to keep in sight (the
// point the user just placed, with room for its marker and the start of
// its label). It then goes below that area, else above it, else beside it
// (the side with more room first), whichever fits in the window; failing
// that, whichever fits on the screen; failing that, below the area, moved
// onto the screen.
//
// Everything is in global coordinates, and the sheet is its whole frame:
// its title bar must stay clear of the area as much as its content.
struct SheetPlacement {
    // The window's content area.
    QRect window;
    // The screen's available area; null when unknown (nothing beyond the
    // window is tried).
    QRect screen;
    // The sheet's size, frame included.
    QSize frame;
    // The area to keep in sight; null when there is none.
    QRect uncovered;

    // The room kept around the area, on every side.
    static constexpr int margin = 16;

    // The top-left corner of the sheet's frame.
    QPoint framePosition() const;
};
