#pragma once

// What the grid benchmarks share: showing a grid over images, and the
// stall meter for the event loop.

#include "browser/LibraryGrid.h"
#include "browser/LibraryGridView.h"
#include "support/StallMeter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QList>
#include <QWindow>

#include <algorithm>

// Gives the grid its images and shows it at 1280 by 900, drawn once;
// answers the milliseconds that took.
inline double showGrid(LibraryGrid &grid, const QList<AtlasImage *> &images)
{
    QElapsedTimer open;
    open.start();
    grid.setHasImages(true);
    grid.setHasSelection(true);
    grid.setImages(images);
    grid.resize(1280, 900);
    grid.show();
    while (!grid.windowHandle() || !grid.windowHandle()->isExposed())
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    grid.view()->viewport()->repaint();
    return open.nsecsElapsed() / 1e6;
}

