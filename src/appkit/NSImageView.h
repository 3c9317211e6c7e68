#pragma once

#include <QRectF>
#include <QSize>
#include <QSizeF>

#include <optional>

// Where an image view shows its image: scaled to fit its bounds, keeping
// the aspect ratio, and centred. View and pixel coordinates both have
// their origin at the top left.
struct NSImageView {
    QSizeF bounds;
    std::optional<QSizeF> imageSize;   // none: the view shows no image
    std::optional<QSize> pixelSize;    // the image's pixels, when known
    bool scalesDownOnly = true;        // never enlarges a smaller image

    std::optional<qreal> scale() const;
    // The displayed image's rectangle in the view, to whole points.
    std::optional<QRectF> scaledImageRect() const;
    // The part of the image under `rect` (view coordinates), in pixels;
    // none when it misses the displayed image.
    std::optional<QRectF> rectInImageCoordinates(const QRectF &rect) const;
};
