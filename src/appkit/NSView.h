#pragma once

#include <QPointF>

class NSTrackingArea;
class NSViewController;
class QMouseEvent;
class QWidget;

struct NSView {
    // Whether the pointer is over the widget now; false while the widget
    // is not shown in a window.
    static bool mouseCurrentlyInBounds(const QWidget &view);
    // The position of a mouse event received by `view`'s window, in the
    // view's coordinates.
    static QPointF localPoint(const QWidget &view, const QMouseEvent &windowEvent);
    // The nearest view controller from `view` itself outwards through its
    // parents up to its window; none when no widget there is one.
    static NSViewController *viewController(const QWidget &view);
    // Starts reporting the pointer's coming in and going out of the widget's
    // bounds while its window is active; the widget owns the area.
    static NSTrackingArea *createMouseEnterAndExitTrackingArea(QWidget &view);
};
