#include "appkit/CGRect.h"

QRectF CGRect::fromPoints(const QPointF &from, const QPointF &to)
{
    return QRectF(from, QSizeF(to.x() - from.x(), to.y() - from.y()));
}

QString CGRect::description(const QRectF &rect)
{
    const QRectF r = rect.normalized();
    return QString::asprintf("%.0f, %.0f; %.0f, %.0f", r.left(), r.top(), r.right(), r.bottom());
}

QRectF CGRect::insetTo(const QRectF &rect, qreal x, qreal y)
{
    const qreal dx = (rect.width() - x) * 0.5;
    const qreal dy = (rect.height() - y) * 0.5;
    return rect.adjusted(dx, dy, -dx, -dy);
}

QPointF CGRect::centredPoint(const QRectF &rect, const QRectF &other)
{
    return {0, rect.top() + rect.height() * 0.5 - other.height() * 0.5};
}
