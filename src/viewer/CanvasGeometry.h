#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>

// Coordinates of a canvas: unit image coordinates run from (0, 0) at the
// picture's top-left corner to (1, 1) at its bottom-right corner (where
// annotations are stored); view coordinates are the canvas's own, origin at
// its top-left, y growing downwards. Equality of these values is exact,
// component by component.

// Where the picture lies in the viewport when fitted by aspect ratio and
// centred, before any zoom.
struct FittedImage {
    FittedImage(const QSizeF &imageSize, const QSizeF &viewportSize);

    QSizeF imageSize;
    QSizeF viewportSize;
    // The aspect-fit rectangle in view coordinates; the whole viewport when
    // either size is empty.
    QRectF rect;

    friend bool operator==(const FittedImage &a, const FittedImage &b);
};

// The zoom in effect for one paint of a canvas (a gesture in progress
// included), with the viewport it was computed for. Zoom is about the
// viewport's centre, then the offset is added.
struct ZoomPanTransform {
    double scale = 1;
    QSizeF offset{0, 0};
    QSizeF viewportSize{0, 0};

    QPointF centre() const { return {viewportSize.width() * 0.5, viewportSize.height() * 0.5}; }
    // A view point of the unzoomed canvas, zoomed: offset + c + (point − c) × scale.
    QPointF map(const QPointF &point) const;
    QRectF map(const QRectF &rect) const;

    friend bool operator==(const ZoomPanTransform &a, const ZoomPanTransform &b);
};

// The fitted picture and the zoom of one paint, for the same viewport.
struct CanvasGeometry {
    FittedImage fitted;
    ZoomPanTransform transform;

    // The view point of a unit image point (limited to 0...1 first).
    QPointF viewPoint(const QPointF &imagePoint) const;
    // The unit image point under a view point, limited to 0...1; (0, 0) when
    // the fitted rectangle is empty. A zero scale maps without dividing.
    QPointF imagePoint(const QPointF &viewPoint) const;
    // The picture's rectangle in view coordinates, zoomed.
    QRectF pictureRect() const { return transform.map(fitted.rect); }

    friend bool operator==(const CanvasGeometry &a, const CanvasGeometry &b)
    {
        return a.fitted == b.fitted && a.transform == b.transform;
    }
};
