#include "viewer/CanvasOverlay.h"

void CanvasOverlay::prepare(const CanvasGeometry &, qreal) {}

bool CanvasOverlay::drawsPicture(const PictureSource *, const QColor &, bool)
{
    return false;
}

bool CanvasOverlay::pointerPressed(const QPointF &, const CanvasGeometry &)
{
    return false;
}

void CanvasOverlay::pointerMoved(const QPointF &, const CanvasGeometry &) {}

void CanvasOverlay::pointerReleased(const QPointF &, const CanvasGeometry &) {}

void CanvasOverlay::pointerCancelled() {}

void CanvasOverlay::tapped(const QPointF &, int, const CanvasGeometry &) {}

std::optional<Qt::CursorShape> CanvasOverlay::cursorAt(const QPointF &, const CanvasGeometry &) const
{
    return std::nullopt;
}

QList<OverlayControl> CanvasOverlay::controls(const CanvasGeometry &)
{
    return {};
}
