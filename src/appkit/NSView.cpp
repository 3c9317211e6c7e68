#include "appkit/NSView.h"

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
