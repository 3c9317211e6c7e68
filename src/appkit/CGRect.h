#pragma once

#include <QPointF>
#include <QRectF>
#include <QString>

// Rectangle helpers. Corners are named as in y-up drawing coordinates:
// the bottom left corner is the one at the minimum x and minimum y.
struct CGRect {
    // Origin at `from`, size `to` − `from` (width and height may be negative).
    static QRectF fromPoints(const QPointF &from, const QPointF &to);
    // "min x, min y; max x, max y", each rounded to a whole number.
    static QString description(const QRectF &rect);
    // The corners, from the minimum and maximum x and y, so that a rectangle
    // of negative size (as fromPoints() makes) has the same corners as the
    // area it covers.
    static QPointF bottomLeft(const QRectF &rect) { return rect.normalized().topLeft(); }
    static QPointF topLeft(const QRectF &rect) { return rect.normalized().bottomLeft(); }
    static QPointF topRight(const QRectF &rect) { return rect.normalized().bottomRight(); }
    static QPointF bottomRight(const QRectF &rect) { return rect.normalized().topRight(); }
    // A rectangle of size x by y with the same centre.
    static QRectF insetTo(const QRectF &rect, qreal x, qreal y);
    // (0, min y + height / 2 − other height / 2): where `other` sits
    // centred vertically in `rect`; x is always 0.
    static QPointF centredPoint(const QRectF &rect, const QRectF &other);
};
