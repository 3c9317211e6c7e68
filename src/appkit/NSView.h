#pragma once

#include <QPointF>

class QMouseEvent;
class QWidget;

struct NSView {
    // Whether the pointer is over the widget now; false while the widget
    // is not shown in a window.
    static bool mouseCurrentlyInBounds(const QWidget &view);
    // The position of a mouse event received by `view`'s window, in the
    // view's coordinates.
    static QPointF localPoint(const QWidget &view, const QMouseEvent &windowEvent);
};
