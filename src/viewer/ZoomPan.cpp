#include "viewer/ZoomPan.h"

#include <cmath>

namespace {

// Limits one offset component to ±limit (limit ≥ 0).
double limited(double value, double limit)
{
    if (value <= -limit)
        value = -limit;
    if (limit < value)
        value = limit;
    return value;
}

bool isFinite(const QSizeF &size)
{
    return std::isfinite(size.width()) && std::isfinite(size.height());
}

} // namespace

QSizeF ZoomPan::panLimit(double scale, const QSizeF &viewportSize)
{
    return {viewportSize.width() * (scale - 1) * 0.5, viewportSize.height() * (scale - 1) * 0.5};
}

void ZoomPan::setScale(double factor, const QSizeF &viewportSize)
{
    if (!std::isfinite(factor))
        return;
    scale = factor <= minimumScale ? minimumScale : factor;
    if (scale > maximumScale)
        scale = maximumScale;
    if (scale <= minimumScale) {
        offset = {0, 0};
        return;
    }
    const QSizeF limit = panLimit(scale, viewportSize);
    offset = {limited(offset.width(), limit.width()), limited(offset.height(), limit.height())};
}

void ZoomPan::pan(const QSizeF &translation, const QSizeF &viewportSize)
{
    if (scale <= minimumScale) {
        offset = {0, 0};
        return;
    }
    if (!isFinite(translation))
        return;
    offset = clampedOffset(translation, scale, viewportSize);
}

QSizeF ZoomPan::clampedOffset(const QSizeF &translation, double shownScale, const QSizeF &viewportSize) const
{
    if (shownScale <= minimumScale)
        return {0, 0};
    const QSizeF moved = isFinite(translation) ? offset + translation : offset;
    const QSizeF limit = panLimit(shownScale, viewportSize);
    return {limited(moved.width(), limit.width()), limited(moved.height(), limit.height())};
}

double ZoomPan::shownScale(double magnification) const
{
    const double product = scale * magnification;
    if (!std::isfinite(product))
        return scale;
    return std::min(std::max(product, minimumScale), maximumScale);
}
