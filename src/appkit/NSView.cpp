#include "appkit/NSView.h"

#include "appkit/NSTrackingArea.h"
#include "appkit/NSViewController.h"

#include <QCursor>
#include <QMouseEvent>
#include <QWidget>

bool NSView::mouseCurrentlyInBounds(const QWidget &view)
{
    if (!view.isVisible() || !view.window()->windowHandle())
        return false;
    return view.rect().contains(view.mapFromGlobal(QCursor::pos()));
}

QPointF NSView::localPoint(const QWidget &view, const QMouseEvent &windowEvent)
{
    return view.mapFrom(view.window(), windowEvent.position());
}

NSViewController *NSView::viewController(const QWidget &view)
{
    // The walk ends at the view's window: a dialog's parent window is
    // another window, not a container of the dialog's views.
    for (const QWidget *widget = &view; widget; widget = widget->parentWidget()) {
        if (auto *controller = dynamic_cast<NSViewController *>(const_cast<QWidget *>(widget)))
            return controller;
        if (widget->isWindow())
            break;
    }
    return nullptr;
}

NSTrackingArea *NSView::createMouseEnterAndExitTrackingArea(QWidget &view)
{
    return new NSTrackingArea(view, NSTrackingArea::mouseEnteredAndExited | NSTrackingArea::activeInKeyWindow);
}
