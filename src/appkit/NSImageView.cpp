#include "appkit/NSImageView.h"

#include <cmath>

std::optional<qreal> NSImageView::scale() const
{
    if (!imageSize || imageSize->isEmpty())
        return std::nullopt;
    if (scalesDownOnly && imageSize->width() < bounds.width() && imageSize->height() < bounds.height())
        return 1.0;
    return std::min(bounds.width() / imageSize->width(), bounds.height() / imageSize->height());
}

std::optional<QRectF> NSImageView::scaledImageRect() const
{
    const auto factor = scale();
    if (!factor)
        return std::nullopt;
    const qreal w = std::floor(imageSize->width() * *factor + 0.5);
    const qreal h = std::floor(imageSize->height() * *factor + 0.5);
    const qreal x = std::floor((bounds.width() - w) * 0.5 + 0.5);
    const qreal y = std::floor((bounds.height() - h) * 0.5 + 0.5);
    return QRectF(x, y, w, h);
}

std::optional<QRectF> NSImageView::rectInImageCoordinates(const QRectF &rect) const
{
    const auto shown = scaledImageRect();
    if (!shown)
        return std::nullopt;
    const QRectF hit = rect.normalized().intersected(*shown);
    if (hit.isEmpty())
        return std::nullopt;
    QRectF relative = hit.translated(-shown->topLeft());
    if (!pixelSize || shown->isEmpty())
        return relative;
    const qreal sx = pixelSize->width() / shown->width();
    const qreal sy = pixelSize->height() / shown->height();
    return QRectF(relative.x() * sx, relative.y() * sy, relative.width() * sx, relative.height() * sy);
}
