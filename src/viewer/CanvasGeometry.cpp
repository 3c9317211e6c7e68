#include "viewer/CanvasGeometry.h"

namespace {

bool sameSize(const QSizeF &a, const QSizeF &b)
{
    return a.width() == b.width() && a.height() == b.height();
}

// Limits a unit coordinate: at or below 0 gives 0, above 1 gives 1.
double unit(double value)
{
    if (value <= 0)
        return 0;
    return value > 1 ? 1 : value;
}

} // namespace

FittedImage::FittedImage(const QSizeF &imageSize, const QSizeF &viewportSize)
    : imageSize(imageSize), viewportSize(viewportSize)
{
    const double iw = imageSize.width(), ih = imageSize.height();
    const double vw = viewportSize.width(), vh = viewportSize.height();
    if (!(iw > 0 && ih > 0 && vw > 0 && vh > 0)) {
        rect = QRectF(0, 0, vw, vh);
        return;
    }
    const double aspect = iw / ih;
    double w = vw, h = vw / aspect;
    if (vw / vh >= aspect) {
        h = vh;
        w = aspect * vh;
    }
    rect = QRectF((vw - w) * 0.5, (vh - h) * 0.5, w, h);
}

bool operator==(const FittedImage &a, const FittedImage &b)
{
    return sameSize(a.imageSize, b.imageSize) && sameSize(a.viewportSize, b.viewportSize)
        && a.rect.x() == b.rect.x() && a.rect.y() == b.rect.y() && a.rect.width() == b.rect.width()
        && a.rect.height() == b.rect.height();
}

QPointF ZoomPanTransform::map(const QPointF &point) const
{
    const QPointF c = centre();
    return QPointF(offset.width(), offset.height()) + c + (point - c) * scale;
}

QRectF ZoomPanTransform::map(const QRectF &rect) const
{
    return QRectF(map(rect.topLeft()), rect.size() * scale);
}

bool operator==(const ZoomPanTransform &a, const ZoomPanTransform &b)
{
    return a.scale == b.scale && sameSize(a.offset, b.offset) && sameSize(a.viewportSize, b.viewportSize);
}

QPointF CanvasGeometry::viewPoint(const QPointF &imagePoint) const
{
    const QRectF &rect = fitted.rect;
    return transform.map(QPointF(rect.x() + unit(imagePoint.x()) * rect.width(),
                                 rect.y() + unit(imagePoint.y()) * rect.height()));
}

QPointF CanvasGeometry::imagePoint(const QPointF &viewPoint) const
{
    QPointF u = viewPoint;
    if (transform.scale != 0) {
        const QPointF c = transform.centre();
        u = c + (viewPoint - QPointF(transform.offset.width(), transform.offset.height()) - c) / transform.scale;
    }
    const QRectF &rect = fitted.rect;
    if (!(rect.width() > 0 && rect.height() > 0))
        return {0, 0};
    return {unit((u.x() - rect.x()) / rect.width()), unit((u.y() - rect.y()) / rect.height())};
}
